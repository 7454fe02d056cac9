// A stand-in for the host's refinement library: the vertex of the parabola
// through the coarse maximum and its two neighbours, in elements (element
// 1 = 1.0). Arguments other than the calibration's (512 values, 64
// sub-steps) give NaN, which the tests would notice.
#include <cstdint>

#if defined(_WIN32)
#define STANDIN_CALL __stdcall
#define STANDIN_EXPORT
#else
#define STANDIN_CALL
#define STANDIN_EXPORT __attribute__((visibility("default")))
#endif

namespace {
int32_t Refine(int32_t count, int32_t index, double* result, const double* spectrum,
               int32_t subSteps) {
    if (count != 512 || subSteps != 64 || index < 1 || index > count - 2) {
        *result = 0.0 / 0.0 * 0.0;
        return -1;
    }
    const double a = spectrum[index - 1], b = spectrum[index], c = spectrum[index + 1];
    const double curvature = a - 2.0 * b + c;
    const double offset = curvature == 0.0 ? 0.0 : 0.5 * (a - c) / curvature;
    *result = index + 1 + offset;
    return 0;
}
}  // namespace

#if defined(REFINE_STANDIN_WITHOUT_ENTRY)
// A sibling that loads but has no ordinal-17 entry.
extern "C" STANDIN_EXPORT int32_t STANDIN_CALL KESTRONA_Ordinal18(int32_t value) { return value; }
#elif defined(_WIN32)
extern "C" int32_t STANDIN_CALL RefineLinePosition(int32_t count, int32_t index, double* result,
                                                   const double* spectrum, int32_t subSteps) {
    return Refine(count, index, result, spectrum, subSteps);
}
#else
extern "C" STANDIN_EXPORT int32_t KESTRONA_Ordinal17(int32_t count, int32_t index, double* result,
                                                     const double* spectrum, int32_t subSteps) {
    return Refine(count, index, result, spectrum, subSteps);
}
#endif
