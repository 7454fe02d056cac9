// Lamp spectra of a detector with a known calibration: deuterium,
// holmium-oxide filter and mercury lines where that calibration shows them.
#pragma once

#include <vector>

#include "calibration/synthetic_spectra.h"
#include "lumitra/lumitra.h"
#include "optics/dispersion.h"

namespace lumitra::test {

// Element position at which a detector calibrated as `record` shows a line.
inline double PositionOf(const CalibrationRecord& record, double wavelength) {
    const auto d = lumitra::optics::DecodeCalibration(record);
    return lumitra::optics::CalibratedPosition(wavelength, d.modelPosition, d.measuredPosition,
                                               d.slope);
}

struct Lamps {
    std::vector<double> d2, holmium, hg1, hg2;
};

// Lamp spectra of a detector whose true calibration is `truth`.
inline Lamps MakeLamps(const CalibrationRecord& truth) {
    auto at = [&](double wavelength) { return PositionOf(truth, wavelength); };
    Lamps lamps;
    lamps.d2 = SyntheticSpectrum({{at(486.0), 8000.0, 1.1}, {at(656.1), 20000.0, 1.1},
                                  {at(300.0), 3000.0, 60.0}});
    // Holmium-oxide bands as maxima of the filter trace on a broad continuum.
    lamps.holmium = SyntheticSpectrum({{at(287.6), 1500.0, 1.6}, {at(360.8), 2500.0, 1.8},
                                       {at(330.0), 30000.0, 90.0}}, 200.0, 0.3);
    lamps.hg1 = SyntheticSpectrum({{at(253.7), 12000.0, 0.9}, {at(404.7), 500.0, 0.9}});
    lamps.hg2 = SyntheticSpectrum(
        {{at(404.7), 6000.0, 0.9}, {at(435.8), 9000.0, 0.9}, {at(546.1), 11000.0, 0.9}});
    return lamps;
}

}  // namespace lumitra::test
