// The low-frequency filter in plain form: one output at a time, its window
// summed afresh in ascending order. The tests and benchmarks compare the
// library with it bit for bit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "lumitra/lumitra.h"

namespace lumitra::test {

// sum + value by the x86 instruction, with the running sum as its first
// operand: when both are NaN, x86 keeps the first one's NaN. A plain `+`
// would leave the operand order to the compiler.
inline double X86Add(double sum, double value) {
    asm("addsd %1, %0" : "+x"(sum) : "x"(value));
    return sum;
}

inline int32_t LiteralFiltrateLowFrequency(double* signal, int32_t count, uint32_t halfWidth) {
    if (halfWidth == 0) return S_OK;
    if (count < 0 || uint64_t(count) * 8u > 0xFFFFFFFFu) return E_OUTOFMEMORY;
    std::vector<double> working(count, 0.0);
    const int64_t w = halfWidth;
    for (int64_t i = 0; i < count; ++i) {
        double sum = 0.0;
        int64_t k = 0;
        // j runs from i - w to i + w; indices outside the signal add
        // nothing, so the stretches wholly outside it are not walked.
        const int64_t from = std::max<int64_t>(i - w, -1), to = std::min<int64_t>(i + w, count);
        for (int64_t j = from; j <= to; ++j) {
            if (0 <= j && j < count) {
                sum = X86Add(sum, signal[j]);
                ++k;
            }
        }
        if (k > 0) working[size_t(i)] = signal[i] - sum / double(k);
    }
    if (count > 0) std::memcpy(signal, working.data(), sizeof(double) * size_t(count));
    return S_OK;
}

}  // namespace lumitra::test
