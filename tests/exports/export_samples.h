// One harmless call per export, as 32-bit argument words, for the
// calling-convention probe. Each sample owns the data its pointers address
// and checks the call's outcome afterwards.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"
#include "calibration_samples.h"
#include "kernel_samples.h"
#include "utility_samples.h"

namespace lumitra::test {

struct ExportSample {
    std::vector<uint32_t> words;
    // Called with the status the export returned; returns an error text,
    // empty when the outcome is right.
    std::function<std::string(int32_t)> check;
};

// Word of a pointer (32-bit targets only).
template <typename T>
uint32_t Word(T* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}
inline uint32_t Word(int32_t value) { return static_cast<uint32_t>(value); }
// A double argument takes two words, low word first.
inline void PushDouble(std::vector<uint32_t>& words, double value) {
    uint32_t halves[2];
    std::memcpy(halves, &value, sizeof value);
    words.push_back(halves[0]);
    words.push_back(halves[1]);
}

// Data kept alive for the samples of one probe run.
struct SampleData {
    CalibrationRecord record{36080, 9376, 65610, 24528};
    int32_t* table = nullptr;
    int32_t count = 0;
    double position = 0;
    void (*freeTask)(void*) = nullptr;
    UtilitySampleData utility;
    KernelSampleData kernels;
    CalibrationSampleData calibration;
};

inline bool MakeSample(const std::string& name, SampleData& d, ExportSample& sample) {
    auto tableCheck = [&d](int32_t expectedCount) {
        return [&d, expectedCount](int32_t status) -> std::string {
            const bool ok = status == S_OK && d.count == expectedCount && d.table != nullptr;
            if (d.table != nullptr) d.freeTask(d.table);
            d.table = nullptr;
            return ok ? "" : "table call failed";
        };
    };
    if (name == "Lumitra_GetWavelengthTable") {
        sample.words = {0, Word(&d.record), 1, Word(&d.table), Word(&d.count)};
        sample.check = tableCheck(512);
    } else if (name == "Lumitra_GetWavelengthTableForDisplay") {
        sample.words = {1, Word(&d.record), 1, Word(&d.table), Word(&d.count)};
        sample.check = tableCheck(611);
    } else if (name == "Lumitra_GetPdaCorrectedEleNo") {
        sample.words = {0, Word(&d.record), Word(65610), Word(&d.position)};
        sample.check = [&d](int32_t status) -> std::string {
            return status == S_OK && d.position == 383.25 ? "" : "wrong corrected element";
        };
    } else if (!MakeKernelSample(name, d.kernels, sample.words, sample.check) &&
               !MakeUtilitySample(name, d.utility, d.freeTask, sample.words, sample.check) &&
               !MakeCalibrationSample(name, d.calibration, sample.words, sample.check)) {
        return false;
    }
    return true;
}

}  // namespace lumitra::test
