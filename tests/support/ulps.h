// Comparison of doubles within a few units in the last place: the examples
// of the detector documentation are rounded decimals.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace lumitra::test {

inline int64_t UlpDistance(double a, double b) {
    if (a == b) return 0;
    int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    if (ia < 0) ia = INT64_MIN - ia;
    if (ib < 0) ib = INT64_MIN - ib;
    return ia > ib ? ia - ib : ib - ia;
}

inline bool NearUlps(double a, double b, int64_t ulps = 4) { return UlpDistance(a, b) <= ulps; }

inline uint64_t Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace lumitra::test
