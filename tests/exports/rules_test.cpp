// The numbers a binding reads from the library (lumitra_rules.h), each tied
// to what the exports do with them: the line searches to the contract's
// worked windows and to the lines the calibrations and checks report for
// simulated detectors, the grating model to the tables, the range test to
// the calibration, the limits to the exports that enforce them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lumitra/lumitra_rules.h"
#include "module/task_allocator.h"
#include "support/detector.h"
#include "support/test_support.h"

namespace lumitra::test {
namespace {

constexpr int32_t kCalibration = LUMITRA_OPERATION_CALIBRATION, kWideSlit = LUMITRA_OPERATION_WIDE_SLIT,
                  kHolmium = LUMITRA_OPERATION_HOLMIUM_CHECK, kMercury = LUMITRA_OPERATION_MERCURY_CHECK;

struct Described {
    int32_t status, count = 0;
    LumitraLineSearch s[LUMITRA_MAX_LINE_SEARCHES];
};
Described Describe(int32_t operation, const CalibrationRecord& record, const double* const* differences) {
    Described d;
    d.status = LumitraRules_DescribeSearches(operation, &record, differences, d.s, LUMITRA_MAX_LINE_SEARCHES, &d.count);
    return d;
}

std::vector<double> Data(const double* difference, int32_t samplesPerElement, int32_t filterHalfWidth) {
    std::vector<double> data(32832, -1.0);
    int32_t count = 0;
    EXPECT_EQ(LumitraRules_SearchedData(difference, samplesPerElement, filterHalfWidth, data.data(), 32832, &count), S_OK);
    data.resize(size_t(count));
    return data;
}

// The search made again on the data LumitraRules_SearchedData gives.
int32_t FoundAgain(const double* difference, const LumitraLineSearch& s) {
    const auto data = Data(difference, s.samplesPerElement, s.filterHalfWidth);
    int32_t found = -1;
    for (int32_t k = s.firstSample; k <= s.lastSample; ++k)
        if (data[size_t(k)] > (found < 0 ? s.floor : data[size_t(found)])) found = k;
    return found;
}

double Position(const CalibrationRecord& record, double nm) {
    double position = 0;
    EXPECT_EQ(LumitraModel_PositionsOf(&record, &nm, 1, &position), S_OK);
    return position;
}

// Every line of both checks, for the uncalibrated and a stored record: its
// window lies one element above where PositionsOf puts it (the anchor line
// on the record's measured position), at the contract's worked centres.
TEST(Rules, SearchWindowsOfTheWorkedExamples) {
    const double references[2][6] = {{486.0, 656.1, 287.6, 360.8}, {486.0, 656.1, 253.7, 404.7, 435.8, 546.1}};
    const int32_t halfWidths[2][6] = {{256, 1280, 256, 640}, {256, 1280, 640, 640, 640, 640}};
    const int32_t uncalibrated[2][6] = {{15791, 24448, -1, -1}, {15791, 24448, 3840, 11631, 13224, 18865}};
    for (const CalibrationRecord& record : {CalibrationRecord{0, 0, 0, 0}, CalibrationRecord{36080, 9376, 65610, 24528}})
        for (int check = 0; check < 2; ++check) {
            const Described d = Describe(check ? kMercury : kHolmium, record, nullptr);
            double slope, model, measured;
            ASSERT_TRUE(d.status == S_OK && d.count == (check ? 6 : 4) &&
                        LumitraModel_Decode(&record, &slope, &model, &measured) == S_OK);
            for (int i = 0; i < d.count; ++i) {
                const LumitraLineSearch& s = d.s[i];
                const auto centre = int32_t(i == 1 ? 64.0 * measured - 64 : 64.0 * Position(record, s.reference));
                const int32_t worked = record.position2 == 0 ? uncalibrated[check][i]
                                                             : i == 1 ? 24464 : s.reference == 360.8 ? 9376 : -1;
                EXPECT_TRUE(s.reference == references[check][i] && s.firstSample == centre - halfWidths[check][i] &&
                            s.lastSample == centre + halfWidths[check][i] && (worked < 0 || centre == worked) &&
                            s.samplesPerElement == 64 && s.foundSample == -1 && s.foundPosition == 0.0 &&
                            s.floor == (check && i < 2 ? 0.0 : -1e10) && s.filterHalfWidth == (!check && i >= 2 ? 640 : 0) &&
                            s.firstPosition == 1.0 + s.firstSample / 64.0 && s.lastPosition == 1.0 + s.lastSample / 64.0)
                    << references[check][i] << ": " << s.firstSample << ".." << s.lastSample;
            }
        }
}

// Detectors whose calibration is known: the calibrations find their lines
// where the searches do, and the checks measure them there. Checked with
// their own record every line is within 0.06 nm and passes; with a record
// one element off, about an element's worth off (1.0 .. 1.5 nm), and fails.
TEST(Rules, SimulatedDetectorsMeasuredWhereTheSearchesFindTheirLines) {
    struct Detector {
        CalibrationRecord truth;
        double slit;
        int32_t recordShift;  // of the record the checks get
    };
    const Detector detectors[] = {{{0, 0, 0, 0}, 1.0, 0},
                                  {{36080, 9510, 65610, 24640}, 1.0, 64},
                                  {{36080, 9200, 65610, 24320}, 0.7, 0},
                                  {{48600, 16000, 65610, 24600}, 1.0, 64},
                                  {{36080, 9520, 65610, 24640}, 2.5, -40}};
    for (const auto& d : detectors) {
        SCOPED_TRACE(d.truth.position2);
        const Lamps l = MakeLamps(d.truth, d.slit);
        const auto dark = Spectrum({{PositionOf(d.truth, 656.1) + 6.0, 4000.0, 0.8}}, 12.0, 0.02);
        Lamps lit = l, diff = l;  // each spectrum with the dark, and less it as the library forms it
        for (auto member : {&Lamps::d2, &Lamps::holmium, &Lamps::hg1, &Lamps::hg2})
            for (size_t i = 0; i < 512; ++i) (lit.*member)[i] += dark[i], (diff.*member)[i] = (lit.*member)[i] - dark[i];

        CalibrationRecord made{}, wide{};
        ASSERT_EQ(Lumitra_DoWavelengthCalibration(0, dark.data(), lit.d2.data(), dark.data(), lit.holmium.data(), &made), S_OK);
        const double* twoLines[] = {diff.d2.data(), diff.holmium.data()};
        const Described c = Describe(kCalibration, d.truth, twoLines);
        EXPECT_TRUE(c.count == 2 && c.s[0].foundSample + 64 == made.position1 && c.s[1].foundSample + 64 == made.position2 &&
                    c.s[0].firstSample == c.s[1].foundSample - 15744 && c.s[0].lastSample == c.s[1].foundSample - 14464);
        ASSERT_EQ(Lumitra_DoWavelengthCalibrationForWideSlit(l.d2.data(), &wide), S_OK);
        const double* wideSlit[] = {l.d2.data()};
        const Described w = Describe(kWideSlit, d.truth, wideSlit);
        EXPECT_LE(std::abs(wide.position2 - 64 - w.s[0].foundSample), 3) << "the half-height centre of the line found";

        const int32_t shift = d.truth.position2 == 0 ? 0 : d.recordShift;
        const CalibrationRecord record{d.truth.wavelength1, d.truth.position1 - shift, d.truth.wavelength2,
                                       d.truth.position2 - shift};
        WavelengthCheckResult ho{}, hg{};
        ASSERT_EQ(Lumitra_DoWavelengthCheckD2Ho(0, 0.5, &record, dark.data(), lit.d2.data(), dark.data(), lit.holmium.data(), &ho), S_OK);
        ASSERT_EQ(Lumitra_DoWavelengthCheckD2Hg(0, -0.5, &record, dark.data(), lit.d2.data(), lit.hg1.data(), lit.hg2.data(), &hg), S_OK);
        const double* holmium[] = {diff.d2.data(), diff.holmium.data()};
        const double* mercury[] = {diff.d2.data(), diff.hg1.data(), diff.hg2.data()};
        const struct {
            Described searches;
            const double* const* inputs;
            const WavelengthCheckResult* result;  // of a check, whose lines it reports
        } operations[] = {{c, twoLines, nullptr}, {w, wideSlit, nullptr},
                          {Describe(kHolmium, record, holmium), holmium, &ho},
                          {Describe(kMercury, record, mercury), mercury, &hg}};
        for (const auto& o : operations)
            for (int i = 0; i < o.searches.count; ++i) {
                const LumitraLineSearch& s = o.searches.s[i];
                ASSERT_NE(s.foundSample, -1) << s.reference;
                EXPECT_EQ(FoundAgain(o.inputs[s.input], s), s.foundSample) << s.reference;
                if (o.result == nullptr) continue;
                const WavelengthCheckResult& r = *o.result;
                // Holmium bands are measured at the sample found, the other
                // lines at their half-height midpoint, near it.
                double measured = 0;
                ASSERT_EQ(LumitraModel_WavelengthsAt(&record, &s.foundPosition, 1, &measured), S_OK);
                if (s.filterHalfWidth != 0)
                    EXPECT_EQ(measured, r.measuredWavelength[i]) << s.reference;
                else
                    EXPECT_NEAR(Position(record, r.measuredWavelength[i]), s.foundPosition, 0.15) << s.reference;
                const double deviation = r.deviation[i];
                EXPECT_TRUE(r.lineCount == o.searches.count && r.referenceWavelength[i] == s.reference &&
                            deviation == r.measuredWavelength[i] - s.reference && r.lineWidth[i] > 0.5 * d.slit &&
                            r.lineWidth[i] < 12.0 * d.slit)
                    << s.reference;
                EXPECT_TRUE(shift == 0   ? std::fabs(deviation) < 0.06 && r.withinTolerance[i] == 1
                            : shift == 64 ? deviation > 1.0 && deviation < 1.5 && r.withinTolerance[i] == 0
                                          : true)
                    << s.reference << " nm, shift " << shift << ": " << deviation;
            }
    }
}

TEST(Rules, ModelIsTheTables) {
    SplitMix64 random(7);
    for (int r = 0; r < 40; ++r) {
        const int32_t shift = int32_t(random.Uniform(-400, 400)), stretch = int32_t(random.Uniform(-30, 30));
        const CalibrationRecord record = r == 0 ? CalibrationRecord{0, 0, 0, 0}
                                                : CalibrationRecord{r % 2 ? 36080 : 48600, (r % 2 ? 9376 : 15990) + shift,
                                                                    65610, 24528 + shift + stretch};
        int32_t* table = nullptr;
        int32_t count = 0;
        ASSERT_EQ(Lumitra_GetWavelengthTable(0, &record, 1, &table, &count), S_OK);
        std::vector<double> positions(512), nm(512);
        for (int i = 0; i < 512; ++i) positions[size_t(i)] = i + 1;
        ASSERT_EQ(LumitraModel_WavelengthsAt(&record, positions.data(), 512, nm.data()), S_OK);
        for (int i = 0; i < 512; ++i) ASSERT_EQ(int32_t(nm[size_t(i)] * 100), table[i]) << r << " element " << i + 1;
        module::TaskFree(table);
        for (int32_t w = 18000 + int32_t(random.Uniform(0, 99)); w <= 82000; w += 997) {
            double element = 0;
            ASSERT_EQ(Lumitra_GetPdaCorrectedEleNo(0, &record, w, &element), S_OK);
            ASSERT_EQ(Bits(Position(record, w / 100.0)), Bits(element)) << w;
        }
        // The record's model position is the nominal model's, cut to 0.01.
        double slope, model, measured, nominal = 0, line2 = record.wavelength2 / 100.0;
        ASSERT_TRUE(LumitraModel_Decode(&record, &slope, &model, &measured) == S_OK &&
                    LumitraModel_NominalPositions(&line2, 1, &nominal) == S_OK);
        EXPECT_EQ(model, r == 0 ? 385.03 : int32_t(nominal * 100) / 100.0);
    }
    double slope, model, measured;
    const CalibrationRecord stored{36080, 9376, 65610, 24528};
    ASSERT_EQ(LumitraModel_Decode(&stored, &slope, &model, &measured), S_OK);
    EXPECT_TRUE(std::fabs(slope - 1.0013111) < 1e-7 && model == 385.03 && measured == 383.25);
}

TEST(Rules, RangeTestIsTheCalibrations) {
    LumitraLimits limits;
    ASSERT_EQ(LumitraInfo_GetLimits(&limits), S_OK);
    // {36080, 9510, 65610, 24640} with both positions moved, and equal positions (slope 0).
    const int32_t cases[][3] = {{9510, 24640, S_OK},  {9062, 24192, S_OK},  {9061, 24191, E_CALIBRATION_RANGE},
                                {10012, 25142, S_OK}, {10013, 25143, E_CALIBRATION_RANGE}, {192, 192, S_OK},
                                {191, 191, E_CALIBRATION_RANGE}, {32640, 32640, S_OK}, {32641, 32641, E_CALIBRATION_RANGE}};
    for (const auto& c : cases) {
        const CalibrationRecord record{36080, c[0], 65610, c[1]};
        double low = 0, high = 0;
        EXPECT_EQ(LumitraModel_RangeTest(&record, &low, &high), c[2]) << c[0];
        EXPECT_TRUE(low == Position(record, limits.rangeLowWavelength) && high == Position(record, limits.rangeHighWavelength) &&
                    c[2] == (low >= limits.rangeLowPosition && high <= limits.rangeHighPosition ? S_OK : E_CALIBRATION_RANGE) &&
                    (c[0] != 9510 || (std::fabs(low - 10.0035) < 1e-4 && std::fabs(high - 502.153) < 1e-3)));
    }
    // Detectors with their lines near the ends of the range: the calibration's
    // status is the range test's of the record it writes.
    int statuses[2] = {0, 0};
    for (int32_t shift : {-451, -450, -449, -448, -447, 501, 502, 503, 504, 505}) {
        const Lamps lamps = MakeLamps({36080, 9510 + shift, 65610, 24640 + shift});
        CalibrationRecord record{};
        const int32_t status = Lumitra_DoWavelengthCalibration(0, nullptr, lamps.d2.data(), nullptr, lamps.holmium.data(), &record);
        double low, high;
        EXPECT_EQ(LumitraModel_RangeTest(&record, &low, &high), status) << shift;
        ++statuses[status == S_OK];
        EXPECT_TRUE(record.wavelength1 == limits.calibrationLine1 && record.wavelength2 == limits.calibrationLine2);
    }
    EXPECT_TRUE(statuses[0] > 0 && statuses[1] > 0);
}

TEST(Rules, LimitsAreWhatTheExportsEnforce) {
    LumitraLimits l;
    ASSERT_EQ(LumitraInfo_GetLimits(&l), S_OK);
    EXPECT_STREQ(LumitraInfo_Version(), LUMITRA_VERSION);
    const CalibrationRecord none{0, 0, 0, 0};
    int32_t *table = nullptr, *grid = nullptr, count = 0, gridCount = 0;
    ASSERT_EQ(Lumitra_GetWavelengthTable(0, &none, 1, &table, &count), S_OK);
    ASSERT_EQ(Lumitra_GetWavelengthTableForDisplay(1, &none, 1, &grid, &gridCount), S_OK);
    EXPECT_TRUE(count == l.elementCount && gridCount == l.displayGridCount && grid[0] == l.displayGridFirst * 100 &&
                grid[gridCount - 1] == l.displayGridLast * 100);
    module::TaskFree(table);
    module::TaskFree(grid);
    // The fine grid passes through the thousandths of the element values
    // that fit; one beyond the limit does not fit.
    std::vector<double> values(512), big(512, l.fineValueLimit), bigger(512, l.fineValueLimit + 0.001);
    for (size_t i = 0; i < 512; ++i) values[i] = std::sin(0.1 * double(i)) * 1000.0;
    const auto fine = Data(values.data(), l.fineSteps, 0);
    ASSERT_EQ(fine.size(), size_t(l.fineCount));
    for (int32_t e = 1; e < l.elementCount; ++e)
        ASSERT_EQ(fine[size_t(l.fineSteps * (e - 1))], std::trunc(values[size_t(e - 1)] * 1000.0) / 1000.0) << e;
    EXPECT_TRUE(Data(big.data(), l.fineSteps, 0)[999] == l.fineValueLimit && Data(bigger.data(), l.fineSteps, 0)[999] < 0);
    EXPECT_EQ(Data(values.data(), 1, 0), values);
    const double* inputs[] = {values.data(), values.data()};
    EXPECT_EQ(Describe(kCalibration, none, inputs).s[0].filterHalfWidth, l.filterHalfWidth);
    EXPECT_EQ(Describe(kHolmium, none, nullptr).s[3].filterHalfWidth, l.filterHalfWidth);
    // Line counts and options of the user-defined check, knot counts of the lamp maxima.
    UserCheckList list{};
    list.lines[0] = list.lines[1] = list.lines[2] = list.lines[3] = {40000, 10, 10, 0, 0, 0, 0, {}};
    for (int32_t lines : {l.userCheckMaxLines, l.userCheckMaxLines + 1})
        for (int32_t option : {l.userCheckMaxOption, l.userCheckMaxOption + 1}) {
            list.checkCount = int16_t(lines), list.option = int16_t(option);
            EXPECT_EQ(Lumitra_DoUserDefinedWavelengthCheck(0, &none, values.data(), values.data(), &list) == E_INVALIDARG,
                      lines > l.userCheckMaxLines || option > l.userCheckMaxOption);
        }
    std::vector<int32_t> wavelengths(2000);
    for (size_t i = 0; i < wavelengths.size(); ++i) wavelengths[i] = int32_t(19000 + 10 * i);
    const std::vector<double> lamp(2000, 1.0);
    double reference, maximum;
    int32_t at;
    for (int32_t n : {l.lampMinPoints - 1, l.lampMinPoints, l.lampMaxPoints, l.lampMaxPoints + 1})
        EXPECT_EQ(Lumitra_GetD2LampSpectrumMaxInfo(0, wavelengths.data(), n, lamp.data(), &reference, &maximum, &at),
                  n < l.lampMinPoints ? E_FAIL : n > l.lampMaxPoints ? E_INVALIDARG : S_OK) << n;
    // References and band ends on the display grid.
    const struct {
        decltype(&Lumitra_GetD2LampSpectrumMaxInfo) lamp;
        double reference, first, last;
    } lamps[] = {{&Lumitra_GetD2LampSpectrumMaxInfo, l.d2LampReference, l.d2BandFirst, l.d2BandLast},
                 {&Lumitra_GetWLampSpectrumMaxInfo, l.wLampReference, l.wBandFirst, l.wBandLast}};
    auto index = [&](double nm) { return size_t(std::lround(nm - l.displayGridFirst)); };
    for (const auto& c : lamps)
        for (double edge : {c.first, c.last}) {
            std::vector<double> spectrum(611, 1.0);
            spectrum[index(c.reference)] = 5.0, spectrum[index(edge)] = 9.0, spectrum[index(c.first) - 1] = 50.0;
            if (index(c.last) < 610) spectrum[index(c.last) + 1] = 50.0;  // outside the band
            ASSERT_EQ(c.lamp(1, nullptr, 0, spectrum.data(), &reference, &maximum, &at), S_OK);
            EXPECT_TRUE(reference == 5.0 && maximum == 9.0 && at == int32_t(edge * 100)) << edge;
        }
}

}  // namespace
}  // namespace lumitra::test
