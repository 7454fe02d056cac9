// Windows entry point of Lumitra.dll. The C++ runtime has constructed the
// application object by the time DllMain runs for process attach; the only
// load-time work of our own is to make sure the process can still give us a
// little local memory, as the host expects a module to check.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        HLOCAL probe = ::LocalAlloc(LMEM_FIXED, 8192);
        if (probe == nullptr) return FALSE;
        ::LocalFree(probe);
    }
    return TRUE;
}
#endif
