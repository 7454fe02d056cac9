// What every export validates: each call below breaks one rule of its
// contract (a null pointer it tests, a mode or count out of range) and
// must return the status the contract gives, before it writes anything.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "lumitra/lumitra.h"
#if !defined(_WIN32)
#include "lumitra/lumitra_rules.h"
#endif
#include "support/test_support.h"

namespace {

TEST(Validation, EveryExportRefusesWhatItValidates) {
    const CalibrationRecord record{36080, 9376, 65610, 24528};
    const std::vector<double> s(611, 1.0);
    const double* d = s.data();
    const int32_t lookup[3] = {19000, 19100, 19200};
    const uint32_t counted[3] = {2, 19000, 19100};
    std::vector<unsigned char> peaks(4 + LUMITRA_PEAK_RECORD_SIZE, 0);
    peaks[0] = 1;
    // Outputs the calls must leave alone.
    int32_t* table = nullptr;
    int32_t i1 = 7, i2 = 7;
    uint16_t u1 = 7, u2 = 7, u3 = 7;
    double d1 = 7, d2 = 7;
    CalibrationRecord out = record;
    WavelengthCheckResult result{};
    UserCheckList list{};
    list.checkCount = 1;
    SplineRequest* noRequest = nullptr;
    std::string caption = "old";
    LambdaList lambdas{};
#if !defined(_WIN32)
    LumitraLineSearch searches[LUMITRA_MAX_LINE_SEARCHES] = {};
    std::vector<double> data(32832, 7.0);
    const double* inputs[3] = {d, d, d};
#endif
    struct Case {
        const char* what;
        std::function<int32_t()> call;
        int32_t status;
    };
    const Case cases[] = {
        {"table without record", [&] { return Lumitra_GetWavelengthTable(0, nullptr, 1, &table, &i1); }, E_INVALIDARG},
        {"table without count", [&] { return Lumitra_GetWavelengthTableForDisplay(1, &record, 1, &table, nullptr); }, E_INVALIDARG},
        {"table multiple 0", [&] { return Lumitra_GetWavelengthTable(0, &record, 0, &table, &i1); }, E_INVALIDARG},
        {"element without position", [&] { return Lumitra_GetPdaCorrectedEleNo(0, &record, 65610, nullptr); }, E_INVALIDARG},
        {"comparison without output", [&] { return Lumitra_IsWavelengthTableEqual(counted, counted, &u1, nullptr, &u3); }, E_INVALIDARG},
        {"range without table", [&] { return Lumitra_GetElementIndexFromWavelengthTable(1, 2, nullptr, 3, &u1, &u2); }, E_INVALIDARG},
        {"range of nothing", [&] { return Lumitra_GetElementIndexFromWavelengthTable(1, 2, lookup, 0, &u1, &u2); }, E_INVALIDARG},
        {"range without output", [&] { return Lumitra_GetElementIndexFromWavelengthTable(1, 1, lookup, 3, &u1, nullptr); }, E_INVALIDARG},
        {"spline without request", [&] { return Lumitra_SplineInterpolation(noRequest); }, E_INVALIDARG},
        {"filter of a negative count", [&] { return Lumitra_FiltrateLowFrequency(nullptr, -1, 3); }, E_OUTOFMEMORY},
        {"calibration without spectrum", [&] { return Lumitra_DoWavelengthCalibration(0, nullptr, nullptr, nullptr, d, &out); }, E_INVALIDARG},
        {"calibration without record", [&] { return Lumitra_DoWavelengthCalibration(1, nullptr, d, nullptr, d, nullptr); }, E_INVALIDARG},
        {"wide slit without spectrum", [&] { return Lumitra_DoWavelengthCalibrationForWideSlit(nullptr, &out); }, E_INVALIDARG},
        {"calibration of kind -1", [&] { return Lumitra_DoWavelengthCalibrationEx(0, d, d, nullptr, nullptr, &out, -1); }, E_INVALIDARG},
        {"holmium check without result", [&] { return Lumitra_DoWavelengthCheckD2Ho(0, 1.0, &record, nullptr, d, nullptr, d, nullptr); }, E_INVALIDARG},
        {"holmium check without deuterium", [&] { return Lumitra_DoWavelengthCheckD2Ho(0, 1.0, &record, nullptr, nullptr, nullptr, d, &result); }, E_INVALIDARG},
        {"mercury check without calibration", [&] { return Lumitra_DoWavelengthCheckD2Hg(0, 1.0, nullptr, nullptr, d, d, d, &result); }, E_INVALIDARG},
        {"mercury check without hg2", [&] { return Lumitra_DoWavelengthCheckD2Hg(0, 1.0, &record, nullptr, d, d, nullptr, &result); }, E_INVALIDARG},
        {"user check without lines", [&] { return Lumitra_DoUserDefinedWavelengthCheck(0, &record, d, d, nullptr); }, E_INVALIDARG},
        {"user check of five lines", [&] { list.checkCount = 5; return Lumitra_DoUserDefinedWavelengthCheck(0, &record, d, d, &list); }, E_INVALIDARG},
        {"user check with option 4", [&] { list.checkCount = 1, list.option = 4; return Lumitra_DoUserDefinedWavelengthCheck(1, &record, d, d, &list); }, E_INVALIDARG},
        {"lamp without maximum", [&] { return Lumitra_GetD2LampSpectrumMaxInfo(1, nullptr, 0, d, &d1, nullptr, &i1); }, E_INVALIDARG},
        {"lamp without wavelengths", [&] { return Lumitra_GetWLampSpectrumMaxInfo(0, nullptr, 3, d, &d1, &d2, &i1); }, E_INVALIDARG},
        {"voltage without values", [&] { return Lumitra_GetMaxVoltage(nullptr, 3, &i1); }, E_INVALIDARG},
        {"voltage without maximum", [&] { return Lumitra_GetMaxVoltage(d, 3, nullptr); }, E_INVALIDARG},
        {"base of peak 0", [&] { return Lumitra_GetBasePeaks(peaks.data(), 0, &i1, &i2); }, E_INVALIDARG},
        {"base times of peak 2 of 1", [&] { return Lumitra_GetBaseTimes(peaks.data(), 2, &i1, &i2); }, E_INVALIDARG},
        {"caption of list kind 3", [&] { return Lumitra_GetStringLambdaMinMax(3, caption, &lambdas, 2); }, E_INVALIDARG},
#if !defined(_WIN32)
        {"limits nowhere", [&] { return LumitraInfo_GetLimits(nullptr); }, E_INVALIDARG},
        {"decoding without slope", [&] { return LumitraModel_Decode(&record, nullptr, &d1, &d2); }, E_INVALIDARG},
        {"positions of -1 wavelengths", [&] { return LumitraModel_PositionsOf(&record, d, -1, &d1); }, E_INVALIDARG},
        {"wavelengths without record", [&] { return LumitraModel_WavelengthsAt(nullptr, d, 1, &d1); }, E_INVALIDARG},
        {"nominal positions nowhere", [&] { return LumitraModel_NominalPositions(d, 1, nullptr); }, E_INVALIDARG},
        {"range test without high", [&] { return LumitraModel_RangeTest(&record, &d1, nullptr); }, E_INVALIDARG},
        {"searches of operation 5", [&] { return LumitraRules_DescribeSearches(5, &record, inputs, searches, 8, &i1); }, E_INVALIDARG},
        {"six searches in room for five", [&] { return LumitraRules_DescribeSearches(4, &record, inputs, searches, 5, &i1); }, E_INVALIDARG},
        {"calibration searches without data", [&] { return LumitraRules_DescribeSearches(2, &record, nullptr, searches, 8, &i1); }, E_INVALIDARG},
        {"searches without record", [&] { return LumitraRules_DescribeSearches(3, nullptr, nullptr, searches, 8, &i1); }, E_INVALIDARG},
        {"data of 2 samples per element", [&] { return LumitraRules_SearchedData(d, 2, 0, data.data(), 32832, &i1); }, E_INVALIDARG},
        {"fine data in room for less", [&] { return LumitraRules_SearchedData(d, 64, 0, data.data(), 32831, &i1); }, E_INVALIDARG},
        {"data of a negative filter", [&] { return LumitraRules_SearchedData(d, 1, -1, data.data(), 512, &i1); }, E_INVALIDARG},
#endif
    };
    for (const auto& c : cases) {
        lumitra::test::AllocationBalance balance;
        lumitra::module::allocation_hook::FailNthAllocation(1);  // nothing is allocated first
        EXPECT_EQ(c.call(), c.status) << c.what;
        EXPECT_FALSE(lumitra::module::allocation_hook::FailureDelivered()) << c.what;
    }
    EXPECT_TRUE(table == nullptr && i1 == 7 && i2 == 7 && u1 == 7 && u2 == 7 && u3 == 7 && d1 == 7 && d2 == 7);
    EXPECT_TRUE(out.position1 == record.position1 && out.position2 == record.position2);
    EXPECT_TRUE(result.lineCount == 0 && list.lines[0].passed == 0 && caption.empty());
#if !defined(_WIN32)
    EXPECT_TRUE(searches[0].foundSample == 0 && data == std::vector<double>(32832, 7.0));
#endif
}

}  // namespace
