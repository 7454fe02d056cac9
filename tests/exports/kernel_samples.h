// Calling-convention samples of the kernel exports (see export_samples.h):
// a five-sample filter with half-width 1 and a three-sample spline request
// refined to four sub-steps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"

namespace lumitra::test {

struct KernelSampleData {
    double signal[5] = {1, 2, 3, 4, 10};
    double inX[3] = {1, 2, 3};
    int32_t inY[3] = {0, 64, 0};
    double outX[13] = {};
    int32_t outY[13] = {};
    SplineRequest request{1, inX, inY, outX, outY, 0, 1.0, 3.0, 13, 4};
};

inline bool MakeKernelSample(const std::string& name, KernelSampleData& d,
                             std::vector<uint32_t>& words,
                             std::function<std::string(int32_t)>& check) {
    auto word = [](const void* p) { return uint32_t(reinterpret_cast<uintptr_t>(p)); };
    if (name == "Lumitra_FiltrateLowFrequency") {
        words = {word(d.signal), 5, 1};
        check = [&d](int32_t status) -> std::string {
            // Windows {1,2}, {1,2,3}, {2,3,4}, {3,4,10}, {4,10}.
            const bool ok = status == S_OK && d.signal[0] == -0.5 && d.signal[1] == 0.0 &&
                            d.signal[2] == 0.0 && d.signal[3] == 4.0 - 17.0 / 3.0 &&
                            d.signal[4] == 3.0;
            return ok ? "" : "wrong filtered signal";
        };
    } else if (name == "Lumitra_SplineInterpolation") {
        words = {word(&d.request)};
        check = [&d](int32_t status) -> std::string {
            const bool ok = status == S_OK && d.outY[4] == 64 && d.outY[0] == 0 &&
                            d.outX[2] == 1.5 && d.outX[12] == 4.0;
            return ok ? "" : "wrong spline interpolation";
        };
    } else {
        return false;
    }
    return true;
}

}  // namespace lumitra::test
