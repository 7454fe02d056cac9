// The UV spectrum record of a background-subtracted spectrum, its arrays
// from the stand-in sibling: the extremes of its values. (The arrays
// themselves, peak bases and captions: the export catalogue and the
// cross-build digest.)
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "lumitra/lumitra.h"
#include "sibling_standin.h"
#include "spectrum_source_standin.h"

namespace {

using lumitra::test::StandInSpectrumSource;
using Reply = StandInSpectrumSource::Reply;

Reply Points(std::vector<double> values, std::vector<int32_t> wavelengths = {}) {
    for (size_t i = wavelengths.size(); i < values.size(); ++i) wavelengths.push_back(19000 + 100 * int32_t(i));
    Reply reply;
    reply.values = std::move(values);
    reply.wavelengths = std::move(wavelengths);
    return reply;
}

// A source whose background is zero at times 0 and 100, the spectrum at 50.
int32_t UVRecord(Reply spectrum, UVSpecData* record) {
    StandInSpectrumSource source;
    Reply background = spectrum;
    for (auto& v : background.values) v = 0.0;
    background.status = S_OK;
    source.At(50, spectrum);
    source.At(0, background);
    source.At(100, background);
    const BGSubtractionRequest request{50, 0, 100, source.Source(), 0, 0};
    std::memset(record, 0xCD, sizeof *record);
    return Lumitra_GetBGSubtractedUVSpecData(&request, record);
}

TEST(UVSpecData, Records) {
    static const lumitra::test::SiblingControls sibling;
    struct Case {
        const char* what;
        std::vector<double> values;
        double maxValue, minValue;
    };
    const Case cases[] = {
        {"mixed values", {0.5, -2.0, 7.25, 3.0}, 7.25, -2.0},
        {"all negative: a negative maximum", {-3.0, -1.5, -9.0}, -1.5, -9.0},
        {"a NaN is never a new extreme", {1.0, NAN, -1.0}, 1.0, -1.0},
        {"no points: the start values", {}, -DBL_MAX, DBL_MAX},
        {"equal extremes: the first is kept", {0.0, -0.0}, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        UVSpecData r;
        ASSERT_EQ(UVRecord(Points(c.values, {25400, 25450, 25500, 25550}), &r), S_OK) << c.what;
        const auto n = int32_t(c.values.size());
        EXPECT_TRUE(r.time == 50 && r.pointCount == n && r.firstWavelength == (n ? 25400 : 0) &&
                    r.lastWavelength == (n ? 25400 + 50 * (n - 1) : 0) && r.reserved1 == 0 && r.reserved2 == 0)
            << c.what;
        EXPECT_TRUE(r.maxValue == c.maxValue && r.minValue == c.minValue &&
                    std::signbit(r.maxValue) == std::signbit(c.maxValue) &&
                    std::signbit(r.minValue) == std::signbit(c.minValue))
            << c.what;
        for (int32_t i = 0; i < n; ++i)
            EXPECT_TRUE(r.wavelengths[i] == 25400 + 50 * i && (r.values[i] == c.values[size_t(i)] || std::isnan(r.values[i])));
        sibling.Free(&r);
    }
}

}  // namespace
