// Loading of the host's sibling libraries by their Windows file name.
//
// On Windows the file name is used as it stands (LoadLibraryA searches the
// application's folder, the system folders and PATH) and entries are found
// by name or ordinal. On Linux "NAME.DLL" becomes "libname.so" (found by
// dlopen's search, including LD_LIBRARY_PATH and this library's own
// folder), and ordinal n of NAME.DLL becomes the symbol "NAME_Ordinaln".
#pragma once

#include <string>

namespace lumitra::module {

class DynamicLibrary {
public:
    // Loads the library; check IsLoaded().
    explicit DynamicLibrary(const char* windowsFileName);
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    // Releases the library unless KeepLoaded() was called.
    ~DynamicLibrary();

    bool IsLoaded() const noexcept { return handle_ != nullptr; }
    void* FindByName(const char* name) const noexcept;
    void* FindByOrdinal(unsigned ordinal) const noexcept;
    // Leaves the library loaded until the process ends.
    void KeepLoaded() noexcept { keep_ = true; }

    // The file name that the platform's loader is asked for.
    static std::string PlatformFileName(const char* windowsFileName);
    // The symbol that stands for an ordinal on platforms without ordinals.
    static std::string OrdinalSymbolName(const char* windowsFileName, unsigned ordinal);

private:
    std::string windowsFileName_;
    void* handle_ = nullptr;
    bool keep_ = false;
};

}  // namespace lumitra::module
