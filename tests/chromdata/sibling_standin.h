// Access from a test to the stand-in sibling library (varnex2_standin.c)
// that the library loads: its controls and its counters.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "lumitra/lumitra.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace lumitra::test {

#if defined(_WIN32)
inline constexpr const char* kSiblingFile = "Varnex2.dll";
#else
inline constexpr const char* kSiblingFile = "libvarnex2.so";
#endif

// How often the stand-in has been attached to this process.
inline long SiblingAttachCount() {
#if defined(_WIN32)
    char text[32];
    if (::GetEnvironmentVariableA("VARNEX2_STANDIN_ATTACHES", text, sizeof text) == 0) return 0;
    return std::atol(text);
#else
    const char* text = std::getenv("VARNEX2_STANDIN_ATTACHES");
    return text == nullptr ? 0 : std::atol(text);
#endif
}

// Whether the stand-in is loaded in this process (no reference taken);
// with `release`, drops one reference to it, as if its loader released it.
inline bool SiblingLoaded(bool release = false) {
#if defined(_WIN32)
    HMODULE handle = ::GetModuleHandleA(kSiblingFile);
    if (release) ::FreeLibrary(handle);
#else
    void* handle = ::dlopen(kSiblingFile, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    if (handle != nullptr && release) ::dlclose(handle);
#endif
    return handle != nullptr;
}

// The stand-in's controls, through a reference of the test's own that is
// kept for the life of the process.
class SiblingControls {
public:
    SiblingControls() {
#if defined(_WIN32)
        handle_ = ::LoadLibraryA(kSiblingFile);
#else
        handle_ = ::dlopen(kSiblingFile, RTLD_NOW | RTLD_LOCAL);
#endif
        setResults_ = reinterpret_cast<SetResultsFn>(Find("StandIn_SetResults"));
        free_ = reinterpret_cast<FreeRecord>(Find("Tool_FreeUVSpecData"));
    }
    bool Ready() const { return setResults_ != nullptr && free_ != nullptr; }
    void SetResults(int32_t failStatus, int32_t successStatus) const {
        setResults_(failStatus, successStatus);
    }
    void Free(UVSpecData* record) const { free_(record); }

private:
    using SetResultsFn = void(LUMITRA_CALL*)(int32_t, int32_t);
    using FreeRecord = void(LUMITRA_CALL*)(UVSpecData*);

    void* Find(const char* name) const {
        if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
        return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
        return ::dlsym(handle_, name);
#endif
    }

#if defined(_WIN32)
    HMODULE handle_ = nullptr;
#else
    void* handle_ = nullptr;
#endif
    SetResultsFn setResults_ = nullptr;
    FreeRecord free_ = nullptr;
};

}  // namespace lumitra::test
