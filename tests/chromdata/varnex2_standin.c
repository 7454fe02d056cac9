/* Stand-in for the host's sibling library Varnex2.dll / libvarnex2.so.
 *
 * Tool_AllocateUVSpecData gives a UV spectrum record arrays of `count`
 * doubles and int32 values (task allocator on Windows, malloc on Linux);
 * Tool_FreeUVSpecData releases them. Before allocating it scribbles over
 * every other field, so a test sees that the library overwrites them.
 * StandIn_SetResults lets a test make the next call fail or succeed with a
 * chosen status; the process attaches are counted in an environment
 * variable, so that the count survives an unload.
 *
 * Built with VARNEX2_WITHOUT_ALLOCATOR it lacks Tool_AllocateUVSpecData. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "lumitra/lumitra.h"

#if defined(_WIN32)
#define STANDIN_EXPORT __declspec(dllexport)
#define STANDIN_CALL __stdcall
#define ARRAY_ALLOC(bytes) CoTaskMemAlloc(bytes)
#define ARRAY_FREE(block) CoTaskMemFree(block)
#else
#define STANDIN_EXPORT __attribute__((visibility("default")))
#define STANDIN_CALL
#define ARRAY_ALLOC(bytes) malloc(bytes)
#define ARRAY_FREE(block) free(block)
#endif

#define ATTACH_VARIABLE "VARNEX2_STANDIN_ATTACHES"

/* Atomic accesses throughout: hosts call the sibling from several threads. */
#define LOAD(variable) __atomic_load_n(&(variable), __ATOMIC_SEQ_CST)
#define STORE(variable, value) __atomic_store_n(&(variable), (value), __ATOMIC_SEQ_CST)

static int32_t g_failStatus = 0;    /* next call fails with this when negative */
static int32_t g_successStatus = 0; /* status of a successful call */

static void CountAttach(void) {
    char text[32];
    long attaches = 0;
#if defined(_WIN32)
    if (GetEnvironmentVariableA(ATTACH_VARIABLE, text, sizeof text) > 0) attaches = atol(text);
    snprintf(text, sizeof text, "%ld", attaches + 1);
    SetEnvironmentVariableA(ATTACH_VARIABLE, text);
#else
    const char* value = getenv(ATTACH_VARIABLE);
    if (value != NULL) attaches = atol(value);
    snprintf(text, sizeof text, "%ld", attaches + 1);
    setenv(ATTACH_VARIABLE, text, 1);
#endif
}

#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) CountAttach();
    return TRUE;
}
#else
__attribute__((constructor)) static void OnLoad(void) { CountAttach(); }
#endif

#if !defined(VARNEX2_WITHOUT_ALLOCATOR)
STANDIN_EXPORT int32_t STANDIN_CALL Tool_AllocateUVSpecData(UVSpecData* record, int32_t count) {
    const size_t points = count > 0 ? (size_t)count : 1;
    const UVSpecData scribbled = {0x5A5A5A5A, -7, -7, -7, 12345.0, -12345.0,
                                  record->values, record->wavelengths, 0x11111111, 0x22222222};
    *record = scribbled;
    const int32_t failStatus = LOAD(g_failStatus);
    if (failStatus < 0) {
        STORE(g_failStatus, 0);
        return failStatus;
    }
    record->values = (double*)ARRAY_ALLOC(points * sizeof(double));
    record->wavelengths = (int32_t*)ARRAY_ALLOC(points * sizeof(int32_t));
    if (record->values == NULL || record->wavelengths == NULL) {
        ARRAY_FREE(record->values);
        ARRAY_FREE(record->wavelengths);
        record->values = NULL;
        record->wavelengths = NULL;
        return E_OUTOFMEMORY;
    }
    return LOAD(g_successStatus);
}
#endif

STANDIN_EXPORT void STANDIN_CALL Tool_FreeUVSpecData(UVSpecData* record) {
    ARRAY_FREE(record->values);
    ARRAY_FREE(record->wavelengths);
    record->values = NULL;
    record->wavelengths = NULL;
}

/* The next allocation fails with failStatus (when negative); successful
 * ones return successStatus. */
STANDIN_EXPORT void STANDIN_CALL StandIn_SetResults(int32_t failStatus, int32_t successStatus) {
    STORE(g_failStatus, failStatus);
    STORE(g_successStatus, successStatus);
}
