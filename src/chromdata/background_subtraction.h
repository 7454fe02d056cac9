// A spectrum of a chromatographic run with its background removed: the
// host's data source delivers the spectrum and two background spectra, and
// the background is interpolated (or extrapolated) linearly in time.
#pragma once

#include <cstdint>

#include "lumitra/lumitra.h"
#include "module/task_array.h"

namespace lumitra::chromdata {

// The subtracted spectrum as arrays for the caller: `values` holds count
// doubles, `wavelengths` count + 1 int32 (at least 2), element 0 copied
// from the spectrum's own array (the point count) and elements 1..count
// the wavelengths. Both come from the task allocator and are freed with
// the struct unless released to the caller.
struct SubtractedSpectrum {
    module::TaskArray<double> values;
    std::int32_t count = 0;
    module::TaskArray<std::int32_t> wavelengths;
};

// Status: the data source's own failure, E_UNEXPECTED when the three
// spectra do not fit together, E_OUTOFMEMORY, or on success the status of
// the last data-source call. *result is written only on success. Every
// array received from the data source is freed on every path.
std::int32_t SubtractBackground(const BGSubtractionRequest& request,
                                SubtractedSpectrum* result) noexcept;

// Background-corrected value of one point. Time differences are formed in
// 32 bits; equal background times with different backgrounds divide by
// zero and follow IEEE arithmetic.
double SubtractedValue(double spectrum, double background1, double background2,
                       std::int32_t time, std::int32_t time1, std::int32_t time2) noexcept;

}  // namespace lumitra::chromdata
