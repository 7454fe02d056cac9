#if !defined(_WIN32)
#include "module/sibling_search.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumitra::module {
namespace {

constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;

// The loader's record of the object (shared library or program) that holds
// this function, which is where the library's code lives.
link_map* OwnObject() {
    Dl_info info{};
    link_map* object = nullptr;
    if (::dladdr1(reinterpret_cast<void*>(&OwnObject), &info, reinterpret_cast<void**>(&object),
                  RTLD_DL_LINKMAP) == 0)
        return nullptr;
    return object;
}

// The folder the object was loaded from. The loader keeps it for every
// library, but for the program itself only when its run path uses $ORIGIN,
// and dlinfo() then copies from a null pointer: for a program that holds
// this code (the static library linked in), /proc/self/exe gives its folder.
bool ObjectFolder(link_map* object, char (&folder)[PATH_MAX]) {
    if (object->l_name != nullptr && object->l_name[0] != '\0')
        return ::dlinfo(object, RTLD_DI_ORIGIN, folder) == 0;
    const ssize_t length = ::readlink("/proc/self/exe", folder, PATH_MAX - 1);
    if (length <= 0) return false;
    folder[length] = '\0';
    char* slash = std::strrchr(folder, '/');
    if (slash == nullptr) return false;
    *slash = '\0';
    return true;
}

void* OpenIn(const std::string& folder, const std::string& fileName) {
    return ::dlopen((folder + "/" + fileName).c_str(), kOpenFlags);
}

// The loader's search path for a dlopen() from `object`, folder by folder.
// An empty element of LD_LIBRARY_PATH or of a RUNPATH ("$ORIGIN:") shows up
// here as a relative folder, and means the working directory.
struct SearchPath {
    std::unique_ptr<char[]> storage;
    const Dl_serinfo* info = nullptr;
};

SearchPath LoaderSearchPath(link_map* object) {
    SearchPath path;
    Dl_serinfo size{};
    if (::dlinfo(object, RTLD_DI_SERINFOSIZE, &size) != 0) return path;
    path.storage = std::make_unique<char[]>(size.dls_size);
    auto* info = reinterpret_cast<Dl_serinfo*>(path.storage.get());
    info->dls_size = size.dls_size;
    info->dls_cnt = size.dls_cnt;
    if (::dlinfo(object, RTLD_DI_SERINFO, info) != 0) return path;
    path.info = info;
    return path;
}

}  // namespace

void* OpenSibling(const std::string& fileName) {
    link_map* object = OwnObject();
    if (object == nullptr) return nullptr;

    char origin[PATH_MAX] = {};
    if (ObjectFolder(object, origin) && origin[0] == '/') {
        if (void* handle = OpenIn(origin, fileName)) return handle;
    }

    const SearchPath path = LoaderSearchPath(object);
    if (path.info == nullptr) return nullptr;
    bool relativeFolder = false;
    for (unsigned i = 0; i < path.info->dls_cnt; ++i) {
        const char* folder = path.info->dls_serpath[i].dls_name;
        if (folder[0] != '/') relativeFolder = true;
    }
    // Without a relative folder the loader's own search is safe, and it
    // also knows the folders of its cache (ld.so.conf).
    if (!relativeFolder) return ::dlopen(fileName.c_str(), kOpenFlags);
    for (unsigned i = 0; i < path.info->dls_cnt; ++i) {
        const char* folder = path.info->dls_serpath[i].dls_name;
        if (folder[0] != '/') continue;
        if (void* handle = OpenIn(folder, fileName)) return handle;
    }
    return nullptr;
}

}  // namespace lumitra::module
#endif
