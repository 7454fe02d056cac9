// Synthetic element spectra with lines at known positions, for tests that
// check that the calibration finds what was put there.
#pragma once

#include <cmath>
#include <vector>

namespace lumitra::test {

struct Line {
    double centre;  // position in elements (element 1 = 1.0)
    double height;
    double sigma;   // Gaussian width in elements
};

// A spectrum of 512 element values: a sloping baseline plus Gaussian lines,
// each line sampled at the element positions 1 .. 512.
inline std::vector<double> SyntheticSpectrum(const std::vector<Line>& lines, double base = 50.0,
                                             double slope = 0.05) {
    std::vector<double> spectrum(512);
    for (int i = 0; i < 512; ++i) {
        const double position = i + 1.0;
        double value = base + slope * i;
        for (const auto& line : lines) {
            const double z = (position - line.centre) / line.sigma;
            value += line.height * std::exp(-0.5 * z * z);
        }
        spectrum[size_t(i)] = value;
    }
    return spectrum;
}

// Fine index (64 sub-steps per element, element 1 at index 0) of a position.
inline int FineIndexOf(double position) { return static_cast<int>(std::lround((position - 1.0) * 64)); }

}  // namespace lumitra::test
