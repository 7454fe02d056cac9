#include "module/dynamic_library.h"

#include <cctype>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include "module/sibling_search.h"
#endif

namespace lumitra::module {
namespace {
std::string Stem(const char* fileName) {
    std::string stem(fileName);
    const auto dot = stem.rfind('.');
    if (dot != std::string::npos) stem.erase(dot);
    return stem;
}
}  // namespace

std::string DynamicLibrary::PlatformFileName(const char* windowsFileName) {
#if defined(_WIN32)
    return windowsFileName;
#else
    std::string name = "lib";
    for (char c : Stem(windowsFileName))
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name + ".so";
#endif
}

std::string DynamicLibrary::OrdinalSymbolName(const char* windowsFileName, unsigned ordinal) {
    return Stem(windowsFileName) + "_Ordinal" + std::to_string(ordinal);
}

DynamicLibrary::DynamicLibrary(const char* windowsFileName) : windowsFileName_(windowsFileName) {
    const std::string fileName = PlatformFileName(windowsFileName);
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(::LoadLibraryA(fileName.c_str()));
#else
    handle_ = OpenSibling(fileName);
#endif
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ == nullptr || keep_) return;
#if defined(_WIN32)
    ::FreeLibrary(static_cast<HMODULE>(handle_));
#else
    ::dlclose(handle_);
#endif
}

void* DynamicLibrary::FindByName(const char* name) const noexcept {
    if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return ::dlsym(handle_, name);
#endif
}

void* DynamicLibrary::FindByOrdinal(unsigned ordinal) const noexcept {
    if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(
        ::GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(ordinal)));
#else
    try {
        return ::dlsym(handle_, OrdinalSymbolName(windowsFileName_.c_str(), ordinal).c_str());
    } catch (...) {
        return nullptr;
    }
#endif
}

}  // namespace lumitra::module
