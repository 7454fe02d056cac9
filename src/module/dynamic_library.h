// Loading of the host's sibling libraries by their Windows file name.
//
// On Windows the file name is used as it stands: LoadLibraryA's standard
// search (the host program's folder, the system folders, the Windows
// folder, the current folder, PATH), which is where hosts place their
// siblings. Entries are found by name or ordinal.
//
// On Linux "NAME.DLL" becomes "libname.so", looked for first beside the
// object that holds the library's code (liblumitra.so, or the program that
// links the library statically), then on the loader's search path for
// that object (LD_LIBRARY_PATH, its RUNPATH, the system folders and the
// loader cache). Relative folders of that path are skipped, so a sibling
// is never taken from the working directory. Ordinal n of NAME.DLL becomes
// the symbol "NAME_Ordinaln".
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
