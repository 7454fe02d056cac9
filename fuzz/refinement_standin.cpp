// Stand-in for the host's refinement library (libkestrona.so) in the fuzz
// folder: its ordinal-17 entry reads the whole spectrum it is given and
// answers with the position the fuzzer chose (any double), one per call.
#include <cstdint>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
double g_results[2] = {0.0, 0.0};
int g_calls = 0;
}  // namespace

// The positions of the next two refinements (the 656.1 nm line, then the
// 360.8 nm line).
STANDIN_EXPORT void FuzzRefinement_SetResults(double first, double second) {
    g_results[0] = first;
    g_results[1] = second;
    g_calls = 0;
}

STANDIN_EXPORT int32_t KESTRONA_Ordinal17(int32_t count, int32_t index, double* result,
                                          const double* spectrum, int32_t subSteps) {
    // Every value the library hands over must be readable.
    volatile double sum = 0.0;
    for (int32_t i = 0; i < count; ++i) sum = sum + spectrum[i];
    *result = g_results[g_calls++ % 2];
    return index >= 0 && index < count && subSteps == 64 ? 0 : -1;
}
