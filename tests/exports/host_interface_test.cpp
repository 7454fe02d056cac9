// The shipped library as a host sees it: loaded by file name, its export
// table, its imports and version, and (on 32-bit Windows) the calling
// convention of every export: arguments removed by the callee, registers,
// flags and floating-point control state preserved, a 4-byte-aligned stack
// accepted.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>
#include <string>

#include "export_samples.h"
#include "export_table.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using lumitra::test::kExports;

#if defined(_WIN32)
using Handle = HMODULE;
Handle Load() { return ::LoadLibraryA("Lumitra.dll"); }
void Unload(Handle h) { ::FreeLibrary(h); }
void* Find(Handle h, const char* name) { return reinterpret_cast<void*>(::GetProcAddress(h, name)); }
#else
using Handle = void*;
Handle Load() { return ::dlopen("liblumitra.so", RTLD_NOW | RTLD_LOCAL); }
void Unload(Handle h) { ::dlclose(h); }
void* Find(Handle h, const char* name) { return ::dlsym(h, name); }
#endif

TEST(HostInterface, LoadsAndUnloadsRepeatedly) {
    for (int round = 0; round < 2; ++round) {
        Handle library = Load();
        ASSERT_NE(library, nullptr) << "round " << round;
        EXPECT_NE(Find(library, "Lumitra_GetWavelengthTable"), nullptr);
        Unload(library);
    }
}

// Names the library exports, with their ordinals where the platform has them.
std::map<std::string, unsigned> ExportedNames(Handle library) {
    std::map<std::string, unsigned> names;
#if defined(_WIN32)
    auto* base = reinterpret_cast<const uint8_t*>(library);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names[reinterpret_cast<const char*>(base + nameRvas[i])] = ordinals[i] + exports->Base;
#else
    for (const auto& e : kExports)
        if (Find(library, e.name) != nullptr) names[e.name] = e.ordinal;
#endif
    return names;
}

TEST(HostInterface, ExportTableNamesAndOrdinals) {
    Handle library = Load();
    ASSERT_NE(library, nullptr);
    const auto names = ExportedNames(library);
    // Exactly the 24 exports, each under its fixed ordinal.
    EXPECT_EQ(names.size(), 24u);
    for (const auto& [name, ordinal] : names) {
        bool known = false;
        for (const auto& e : kExports) {
            if (name == e.name) {
                known = true;
                EXPECT_EQ(ordinal, e.ordinal) << name;
            }
        }
        EXPECT_TRUE(known) << "unexpected export " << name;
    }
#if !defined(_WIN32)
    // Internal functions stay hidden.
    EXPECT_EQ(Find(library, "_ZN7lumitra6optics20WavelengthToPositionEd"), nullptr);
    EXPECT_NE(Find(library, "CoTaskMemAlloc"), nullptr);
    EXPECT_NE(Find(library, "CoTaskMemFree"), nullptr);
#endif
    Unload(library);
}

#if defined(_WIN32)
TEST(HostInterface, ImportsOnlySystemLibraries) {
    Handle library = Load();
    ASSERT_NE(library, nullptr);
    auto* base = reinterpret_cast<const uint8_t*>(library);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const std::set<std::string> allowed = {"KERNEL32.DLL", "OLE32.DLL", "MSVCRT.DLL"};
    int count = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         d->Name != 0; ++d, ++count) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        for (auto& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(allowed.count(name)) << "imports " << name;
    }
    EXPECT_GT(count, 0);
    Unload(library);
}

TEST(HostInterface, VersionResource) {
    char path[MAX_PATH];
    Handle library = Load();
    ASSERT_NE(library, nullptr);
    ASSERT_GT(::GetModuleFileNameA(library, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD ms = (LUMITRA_VERSION_MAJOR << 16) | LUMITRA_VERSION_MINOR;
    const DWORD ls = (LUMITRA_VERSION_PATCH << 16) | LUMITRA_VERSION_TWEAK;
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
    Unload(library);
}

#endif

#if defined(_WIN32) && !defined(_WIN64)
struct ProbeState {
    uint32_t espBefore, espAfter, ebx, esi, edi, ebp, eflags, fpuBefore, fpuAfter, mxcsrBefore,
        mxcsrAfter, probeEbp, function;
};
extern "C" ProbeState lumitra_probe_state;
extern "C" int32_t __cdecl lumitra_probe_call(const void* fn, const uint32_t* args, int32_t words,
                                              int32_t misalignWords);

TEST(HostInterface, CallingConventionOfEveryExport) {
    Handle library = Load();
    ASSERT_NE(library, nullptr);
    auto* freeTask = reinterpret_cast<void (*)(void*)>(&::CoTaskMemFree);
    int probed = 0;
    for (const auto& e : kExports) {
        void* fn = Find(library, e.name);
        if (fn == nullptr) continue;
        for (int32_t misalign = 0; misalign < 4; ++misalign) {
            lumitra::test::SampleData data;
            data.freeTask = freeTask;
            lumitra::test::ExportSample sample;
            ASSERT_TRUE(lumitra::test::MakeSample(e.name, data, sample))
                << "no calling-convention sample for " << e.name;
            ASSERT_EQ(sample.words.size() * 4, e.argumentBytes) << e.name;
            const int32_t status =
                lumitra_probe_call(fn, sample.words.data(), int32_t(sample.words.size()), misalign);
            const auto& s = lumitra_probe_state;
            const uint32_t removed = s.espAfter - s.espBefore;
            EXPECT_EQ(removed, e.callerCleans ? 0u : e.argumentBytes) << e.name;
            EXPECT_EQ(s.ebx, 0x11111111u) << e.name;
            EXPECT_EQ(s.esi, 0x22222222u) << e.name;
            EXPECT_EQ(s.edi, 0x33333333u) << e.name;
            EXPECT_EQ(s.ebp, 0x44444444u) << e.name;
            EXPECT_EQ(s.eflags & 0x400u, 0u) << e.name << ": direction flag left set";
            EXPECT_EQ(s.fpuBefore & 0xFFFFu, s.fpuAfter & 0xFFFFu) << e.name;
            // MXCSR control bits (rounding, masks, DAZ/FZ) are the caller's;
            // the sticky exception flags in bits 0-5 are not.
            EXPECT_EQ(s.mxcsrBefore & ~0x3Fu, s.mxcsrAfter & ~0x3Fu) << e.name;
            EXPECT_EQ(sample.check(status), "") << e.name << " misaligned by " << misalign;
        }
        ++probed;
    }
    EXPECT_EQ(probed, 24);
    Unload(library);
}
#endif

}  // namespace
