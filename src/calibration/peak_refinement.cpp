#include "calibration/peak_refinement.h"

#include "lumitra/lumitra.h"
#include "module/dynamic_library.h"
#include "numeric/fine_grid.h"

namespace lumitra::calibration {
namespace {
constexpr const char* kRefinementLibrary = "KESTRONA.DLL";
constexpr unsigned kRefinementOrdinal = 17;
}  // namespace

std::int32_t RefinePeakPosition(std::int32_t count, std::int32_t index, double* result,
                                const double* spectrum) {
    module::DynamicLibrary library(kRefinementLibrary);
    if (!library.IsLoaded()) return E_FAIL;
    auto refine = reinterpret_cast<LumitraRefinePositionFn>(
        library.FindByOrdinal(kRefinementOrdinal));
    if (refine == nullptr) return E_FAIL;
    // Asked for the resolution of a record (sub-steps per element); the
    // entry's own status carries nothing the calibration uses.
    (void)refine(count, index, result, spectrum, numeric::kFineSteps);
    return S_OK;
}

}  // namespace lumitra::calibration
