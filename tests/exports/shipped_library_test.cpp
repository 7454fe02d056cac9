// Every call of the export catalogue made on the shipped library as a host
// makes it, with the outcome it must have. On 32-bit Windows each call goes
// through the calling-convention probe, as from a host built with another
// compiler: arguments pushed on a stack only 4-byte aligned (misaligned on
// purpose by 0..3 words), callee-saved registers, the direction flag and
// the floating-point control state checked afterwards, and exactly the
// argument bytes of each __stdcall export (none of the __cdecl one) removed.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "export_cases.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace lumitra::test {
namespace {

#if defined(_WIN32) && !defined(_WIN64)
struct ProbeState {
    uint32_t espBefore, espAfter, ebx, esi, edi, ebp, eflags, fpuBefore, fpuAfter, mxcsrBefore,
        mxcsrAfter, probeEbp, function;
};
extern "C" ProbeState lumitra_probe_state;
extern "C" int32_t __cdecl lumitra_probe_call(const void* fn, const uint32_t* args, int32_t words,
                                              int32_t misalignWords);

// What the callee left behind that a host would notice.
std::string ProbeFindings(const std::vector<uint32_t>& words, bool callerCleans) {
    const auto& s = lumitra_probe_state;
    std::string found;
    const uint32_t removed = s.espAfter - s.espBefore;
    if (removed != (callerCleans ? 0u : 4u * uint32_t(words.size())))
        found += " removed " + std::to_string(removed) + " bytes;";
    if (s.ebx != 0x11111111u || s.esi != 0x22222222u || s.edi != 0x33333333u || s.ebp != 0x44444444u)
        found += " callee-saved register changed;";
    if (s.eflags & 0x400u) found += " direction flag left set;";
    if ((s.fpuBefore & 0xFFFFu) != (s.fpuAfter & 0xFFFFu)) found += " x87 control word changed;";
    // MXCSR control bits are the caller's; the sticky flags (bits 0-5) are not.
    if ((s.mxcsrBefore & ~0x3Fu) != (s.mxcsrAfter & ~0x3Fu)) found += " MXCSR changed;";
    return found;
}
#endif

TEST(ShippedLibrary, EveryExportCallAsAHostMakesIt) {
    std::set<std::string> exports;
    size_t named = 0;  // the 24 of every build, without the Linux-only ones
    for (const ExportCase& c : AllExportCases()) {
        named += exports.insert(c.exportName).second && c.exportName.rfind("Lumitra_", 0) == 0;
        SCOPED_TRACE(c.exportName + ", " + c.input);
#if defined(_WIN32) && !defined(_WIN64)
        for (int32_t misalign = 0; misalign < 4; ++misalign) {
            std::string findings;
            const Invoke probe(Invoke::Mode::kProbe,
                               [&](const void* fn, const std::vector<uint32_t>& words, bool callerCleans) {
                                   const int32_t status = lumitra_probe_call(
                                       fn, words.data(), int32_t(words.size()), misalign);
                                   findings = ProbeFindings(words, callerCleans);
                                   return status;
                               });
            EXPECT_EQ(c.run(probe).verdict, "") << "misaligned by " << misalign;
            EXPECT_EQ(findings, "") << "misaligned by " << misalign;
        }
#else
        EXPECT_EQ(RunAlone(c).verdict, "");
#endif
    }
    EXPECT_EQ(named, 24u);
#if !defined(_WIN32)
    // Exported by name, internal functions hidden.
    void* self = ::dlopen("liblumitra.so.1", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(self, nullptr);
    for (const auto& name : exports) EXPECT_NE(::dlsym(self, name.c_str()), nullptr) << name;
    EXPECT_EQ(::dlsym(self, "_ZN7lumitra6optics20WavelengthToPositionEd"), nullptr);
    ::dlclose(self);
#endif
}

}  // namespace
}  // namespace lumitra::test
