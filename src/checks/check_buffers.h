// Working memory of the lamp checks: the fine wavelength array, fine
// spectra and a scratch buffer of element blocks, allocated in a fixed
// order, zero-filled, and released on every path.
#pragma once

#include <cstdint>

#include "checks/line_measurement.h"
#include "module/task_array.h"
#include "numeric/fine_grid.h"
#include "optics/dispersion.h"

namespace lumitra::checks {

using FineArray = module::TaskArray<double>;

inline FineArray AllocateFineArray() { return FineArray::Zeroed(numeric::kFineAllocation); }

// Scratch of `blocks` element spectra; the first three serve as the
// spectrum copy, background copy and difference of PrepareFineSpectrum.
struct Scratch {
    module::TaskArray<double> memory;
    static Scratch Allocate(int blocks) {
        return Scratch{module::TaskArray<double>::Zeroed(static_cast<std::size_t>(blocks) *
                                                         LUMITRA_ELEMENT_COUNT)};
    }
    explicit operator bool() const { return static_cast<bool>(memory); }
    ScratchBlocks Blocks() const {
        double* base = memory.get();
        return {base, base + LUMITRA_ELEMENT_COUNT, base + 2 * LUMITRA_ELEMENT_COUNT};
    }
};

// The fine wavelengths of elements 1 .. 512 at 64 sub-steps.
inline void FillFineWavelengths(const optics::DispersionParameters& d, double* wavelengths) {
    std::int32_t count = 0;
    optics::BuildWavelengthArray(wavelengths, &count, d.slope, d.modelPosition, d.measuredPosition,
                                 1, LUMITRA_ELEMENT_COUNT, numeric::kFineSteps);
}

}  // namespace lumitra::checks
