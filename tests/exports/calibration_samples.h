// Calling-convention samples of the calibration and check exports (see
// export_samples.h): harmless calls on small synthetic spectra.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"

namespace lumitra::test {

struct CalibrationSampleData {
    std::vector<double> d2 = Lamp(383.0, 248.8);
    std::vector<double> second = Lamp(146.5, 93.3);
    std::vector<double> dark = std::vector<double>(512, 1.0);
    CalibrationRecord record{36080, 9376, 65610, 24528};
    CalibrationRecord out{};
    WavelengthCheckResult result{};
    UserCheckList list{};

    // A baseline with narrow lines at two element positions.
    static std::vector<double> Lamp(double a, double b) {
        std::vector<double> s(512);
        for (int i = 0; i < 512; ++i) {
            const double za = (i + 1 - a) / 1.2, zb = (i + 1 - b) / 1.2;
            s[size_t(i)] = 100.0 + 20000.0 * std::exp(-0.5 * za * za) + 8000.0 * std::exp(-0.5 * zb * zb);
        }
        return s;
    }
};

inline bool MakeCalibrationSample(const std::string& name, CalibrationSampleData& d,
                                  std::vector<uint32_t>& words,
                                  std::function<std::string(int32_t)>& check) {
    auto word = [](const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); };
    auto pushDouble = [](std::vector<uint32_t>& w, double value) {
        uint32_t halves[2];
        std::memcpy(halves, &value, sizeof value);
        w.push_back(halves[0]);
        w.push_back(halves[1]);
    };
    auto expect = [](int32_t wanted) {
        return [wanted](int32_t status) -> std::string {
            return status == wanted ? "" : "status " + std::to_string(status);
        };
    };
    if (name == "Lumitra_DoWavelengthCalibration") {
        words = {0, word(d.dark.data()), word(d.d2.data()), 0, word(d.second.data()), word(&d.out)};
        check = [&d](int32_t status) -> std::string {
            return status == S_OK && d.out.position2 == 24512 ? "" : "calibration failed";
        };
    } else if (name == "Lumitra_DoWavelengthCalibrationEx") {
        words = {0, word(d.d2.data()), word(d.second.data()), 0, 0, word(&d.out), 7};
        check = expect(E_INVALIDARG);
    } else if (name == "Lumitra_DoWavelengthCalibrationForWideSlit") {
        words = {word(d.d2.data()), word(&d.out)};
        check = expect(S_OK);
    } else if (name == "Lumitra_DoWavelengthCheckD2Ho" || name == "Lumitra_DoWavelengthCheckD2Hg") {
        words = {0};
        pushDouble(words, 0.5);
        words.insert(words.end(), {word(&d.record), 0, word(d.d2.data()), 0, word(d.second.data()),
                                   word(&d.result)});
        if (name == "Lumitra_DoWavelengthCheckD2Hg") words[6] = word(d.second.data());
        check = [&d](int32_t status) -> std::string {
            return status == S_OK && d.result.referenceWavelength[1] == 656.1 ? "" : "check failed";
        };
    } else if (name == "Lumitra_DoUserDefinedWavelengthCheck") {
        d.list.checkCount = 1;
        d.list.lines[0].targetWavelength = 65610;
        d.list.lines[0].halfWindow = 200;
        d.list.lines[0].allowedDeviation = 100;
        words = {0, word(&d.record), word(d.dark.data()), word(d.d2.data()), word(&d.list)};
        check = expect(S_OK);
    } else {
        return false;
    }
    return true;
}

}  // namespace lumitra::test
