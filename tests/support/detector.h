// A simulated detector: element spectra (512 values, element 1 first) with
// Gaussian lines where a detector whose true calibration is known shows
// them. Tests check that the library finds what was put there.
#pragma once

#include <cmath>
#include <vector>

#include "lumitra/lumitra.h"

namespace lumitra::test {

struct Line {
    double centre;  // element position (element 1 = 1.0)
    double height;
    double sigma;   // Gaussian width in elements
};

// A sloping baseline plus the lines, sampled at the elements.
inline std::vector<double> Spectrum(const std::vector<Line>& lines, double base = 50.0,
                                    double slope = 0.05) {
    std::vector<double> spectrum(LUMITRA_ELEMENT_COUNT);
    for (int i = 0; i < LUMITRA_ELEMENT_COUNT; ++i) {
        double value = base + slope * i;
        for (const auto& line : lines) {
            const double z = (i + 1.0 - line.centre) / line.sigma;
            value += line.height * std::exp(-0.5 * z * z);
        }
        spectrum[size_t(i)] = value;
    }
    return spectrum;
}

// Element position at which a detector calibrated as `record` shows a line.
inline double PositionOf(const CalibrationRecord& record, double wavelength) {
    double position = 0.0;
    Lumitra_GetPdaCorrectedEleNo(0, &record, static_cast<int32_t>(std::lround(wavelength * 100.0)),
                                 &position);
    return position;
}

struct Lamps {
    std::vector<double> d2, holmium, hg1, hg2;
};

// Deuterium lamp, holmium-oxide filter trace (bands as maxima on a broad
// continuum) and mercury lamp of a detector whose true calibration is `truth`.
inline Lamps MakeLamps(const CalibrationRecord& truth, double slit = 1.0) {
    auto at = [&](double wavelength) { return PositionOf(truth, wavelength); };
    Lamps lamps;
    lamps.d2 = Spectrum({{at(486.0), 8000.0, 1.1 * slit}, {at(656.1), 20000.0, 1.1 * slit},
                         {at(300.0), 3000.0, 60.0}});
    lamps.holmium = Spectrum({{at(287.6), 1500.0, 1.6 * slit}, {at(360.8), 2500.0, 1.8 * slit},
                              {at(330.0), 30000.0, 90.0}},
                             200.0, 0.3);
    lamps.hg1 = Spectrum({{at(253.7), 12000.0, 0.9 * slit}, {at(404.7), 500.0, 0.9 * slit}});
    lamps.hg2 = Spectrum({{at(404.7), 6000.0, 0.9 * slit}, {at(435.8), 9000.0, 0.9 * slit},
                          {at(546.1), 11000.0, 0.9 * slit}});
    return lamps;
}

}  // namespace lumitra::test
