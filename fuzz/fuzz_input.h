// Turns the fuzzer's bytes into arguments that stay inside the exports'
// pointer contracts: arrays of exactly the size a contract requires (so
// that AddressSanitizer sees any access beyond them), records with any
// contents, counts and indices of any value the contract leaves free, and
// numbers that include NaN, infinities, subnormals and the int32 extremes.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "lumitra/lumitra.h"
#include "optics/dispersion.h"
#include "support/random.h"

namespace lumitra::fuzz {

// Lines of the detector's lamps and filters (nm); synthetic spectra put
// their peaks near the elements where these fall, so that the searches of
// the calibration and the checks find something most of the time.
inline constexpr double kKnownLines[] = {656.1, 486.0, 360.8, 287.6, 253.7, 404.7, 435.8, 546.1};

// A heap array of exactly the given values, never null (not even when
// empty): AddressSanitizer reports any access beyond it.
template <typename T>
class ExactArray {
public:
    explicit ExactArray(const std::vector<T>& values)
        : size_(values.size()), data_(new T[values.size()]) {
        if (size_ > 0) std::memcpy(data_.get(), values.data(), size_ * sizeof(T));
    }
    T* get() const { return data_.get(); }
    T& operator[](size_t i) const { return data_[i]; }
    // Bit-for-bit equality with `values` (NaN payloads included).
    bool Holds(const std::vector<T>& values) const {
        return values.size() == size_ &&
               (size_ == 0 || std::memcmp(values.data(), data_.get(), size_ * sizeof(T)) == 0);
    }

private:
    size_t size_;
    std::unique_ptr<T[]> data_;
};

class Input {
public:
    Input(const uint8_t* data, size_t size) : bytes_(data, size) {}

    // Once the bytes run out, every choice below takes its common case
    // (Flag() false, OneIn() false, the first of several cases), so that
    // short inputs reach the deep paths too.
    bool Flag() { return bytes_.ConsumeBool(); }
    // True about once in `n` draws.
    bool OneIn(uint8_t n) { return bytes_.ConsumeIntegralInRange<uint8_t>(1, n) == n; }
    template <typename T>
    T InRange(T lo, T hi) {
        return bytes_.ConsumeIntegralInRange<T>(lo, hi);
    }
    template <typename T, size_t N>
    T PickFrom(const T (&values)[N]) {
        return values[bytes_.ConsumeIntegralInRange<size_t>(0, N - 1)];
    }

    // Any int32, with the edges and small values often.
    int32_t Int32() {
        static constexpr int32_t kEdges[] = {
            0,     1,     -1,     2,    INT32_MIN, INT32_MAX, INT32_MIN + 1, INT32_MAX - 1,
            65535, 65536, -65536, 32767};
        switch (bytes_.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                return PickFrom(kEdges);
            case 1:
                return bytes_.ConsumeIntegralInRange<int32_t>(-1000, 1000);
            default:
                return bytes_.ConsumeIntegral<int32_t>();
        }
    }
    int16_t Int16() {
        static constexpr int16_t kEdges[] = {0, 1, -1, 2, INT16_MIN, INT16_MAX};
        return Flag() ? PickFrom(kEdges) : bytes_.ConsumeIntegral<int16_t>();
    }

    // Any double: the special values, an arbitrary bit pattern, or a number
    // of ordinary size.
    double Double() {
        constexpr double kInf = std::numeric_limits<double>::infinity();
        static constexpr double kSpecials[] = {0.0,
                                               -0.0,
                                               1.0,
                                               -1.0,
                                               kInf,
                                               -kInf,
                                               std::numeric_limits<double>::quiet_NaN(),
                                               -std::numeric_limits<double>::quiet_NaN(),
                                               std::numeric_limits<double>::max(),
                                               -std::numeric_limits<double>::max(),
                                               std::numeric_limits<double>::denorm_min(),
                                               std::numeric_limits<double>::min(),
                                               2147483648.0,
                                               -2147483649.0,
                                               1e10,
                                               -1e10};
        switch (bytes_.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                return PickFrom(kSpecials);
            case 1: {
                const uint64_t bits = bytes_.ConsumeIntegral<uint64_t>();
                double value;
                std::memcpy(&value, &bits, sizeof value);
                return value;
            }
            default:
                return bytes_.ConsumeFloatingPointInRange<double>(-1e6, 1e6);
        }
    }

    // A count for an array the call reads: small most of the time, up to
    // `largest` now and then.
    int32_t Count(int32_t typical, int32_t largest) {
        return OneIn(8) ? bytes_.ConsumeIntegralInRange<int32_t>(0, largest)
                        : bytes_.ConsumeIntegralInRange<int32_t>(0, typical);
    }

    // A calibration record: the uncalibrated one, a sound one near the
    // detector's, a degenerate one (equal positions or wavelengths, lines
    // exchanged) or any four integers.
    CalibrationRecord Record() {
        switch (bytes_.ConsumeIntegralInRange<int>(0, 4)) {
            case 0:
                return {0, 0, 0, 0};
            case 1:
            case 2:
                return {36080, 9376 + InRange<int32_t>(-700, 700), 65610,
                        24528 + InRange<int32_t>(-700, 700)};
            case 3: {
                const int32_t position = Int32();
                const int32_t wavelength = Int32();
                switch (bytes_.ConsumeIntegralInRange<int>(0, 3)) {
                    case 0:
                        return {36080, position, 65610, position};
                    case 1:
                        return {wavelength, 9376, wavelength, 24528};
                    case 2:
                        return {65610, 24528, 36080, 9376};
                    default:
                        return {wavelength, position, wavelength, position};
                }
            }
            default:
                return {Int32(), Int32(), Int32(), Int32()};
        }
    }

    // A spectrum of n values: lines on a baseline with noise, a constant,
    // or raw numbers; special values sprinkled over any of them.
    std::vector<double> Spectrum(size_t n) {
        std::vector<double> values(n, 0.0);
        switch (bytes_.ConsumeIntegralInRange<int>(0, 5)) {
            case 4: {
                const double constant = Double();
                for (double& v : values) v = constant;
                break;
            }
            case 5:
                for (double& v : values) v = Double();
                break;
            default:
                FillWithLines(values);
                break;
        }
        const int specials = OneIn(3) ? bytes_.ConsumeIntegralInRange<int>(1, 4) : 0;
        for (int k = 0; k < specials && n > 0; ++k)
            values[bytes_.ConsumeIntegralInRange<size_t>(0, n - 1)] = Double();
        return values;
    }

    // n wavelengths in 0.01 nm: ascending from a start with a step, or any.
    std::vector<int32_t> Wavelengths(size_t n) {
        std::vector<int32_t> table(n);
        if (OneIn(4)) {
            for (int32_t& w : table) w = Int32();
            return table;
        }
        int64_t w = Flag() ? Int32() : InRange<int32_t>(10000, 40000);
        const int64_t step = Flag() ? InRange<int32_t>(-5, 5) : InRange<int32_t>(1, 400);
        for (int32_t& entry : table) {
            entry = static_cast<int32_t>(static_cast<uint32_t>(w));
            w += step;
        }
        return table;
    }

    // Arms the allocation hook now and then: the kth allocation of the
    // next call fails.
    long AllocationToFail() { return OneIn(6) ? InRange<long>(1, 12) : 0; }

    bool Exhausted() { return bytes_.remaining_bytes() == 0; }

private:
    void FillWithLines(std::vector<double>& values) {
        const double base = Flag() ? InRange<int32_t>(-100, 1000) : Double();
        const double slope = InRange<int32_t>(-100, 100) / 100.0;
        const double noise = OneIn(2) ? 0.0 : InRange<int32_t>(0, 50);
        test::SplitMix64 random(bytes_.ConsumeIntegral<uint64_t>());
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = base + slope * double(i) + noise * (random.Unit() - 0.5);
        const int lines = 6 - bytes_.ConsumeIntegralInRange<int>(0, 6);
        for (int k = 0; k < lines; ++k) {
            const double centre = Flag() ? InRange<int32_t>(-20, 540)
                                         : optics::NominalElementOf(PickFrom(kKnownLines)) +
                                               InRange<int32_t>(-800, 800) / 100.0;
            const double height = Flag() ? Double() : 100000.0 - InRange<int32_t>(0, 99999);
            const double sigma = InRange<int32_t>(50, 1500) / 100.0;
            for (size_t i = 0; i < values.size(); ++i) {
                const double z = (double(i) + 1.0 - centre) / sigma;
                values[i] += height * std::exp(-0.5 * z * z);
            }
        }
    }

    FuzzedDataProvider bytes_;
};

}  // namespace lumitra::fuzz
