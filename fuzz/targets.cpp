// The fuzz targets' routines (a program runs a range of them): the exports
// of small inputs, then those that work on spectra and the routines beneath
// them, called as their callers call them.
#include <string>

#include "calibration/line_location.h"
#include "checks/check_buffers.h"
#include "checks/line_measurement.h"
#include "chromdata/sibling_standin.h"
#include "chromdata/spectrum_source_standin.h"
#include "fuzz_support.h"
#include "numeric/filter_kernels.h"

namespace {
using namespace lumitra::fuzz;
using namespace lumitra::calibration;
using namespace lumitra::checks;
using namespace lumitra::numeric;

// Tables of any record, multiple and flag; lookups in any tables.
void FuzzTable(Input& in) {
    const CalibrationRecord record = in.Record();
    const auto n = in.InRange<int16_t>(-2, 8);
    const auto call = in.Flag() ? Lumitra_GetWavelengthTableForDisplay : Lumitra_GetWavelengthTable;
    int32_t *table = nullptr, count = -1;
    in.Call([&] {
        const int32_t status = call(in.Int32(), in.OneIn(16) ? nullptr : &record, n, &table, in.OneIn(16) ? nullptr : &count);
        FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY}) && (status == S_OK) == (table != nullptr));
        FUZZ_EXPECT(status != S_OK || count % 512 == 0 || count % 611 == 0);
        return lumitra::module::TaskFree(table), status;
    });
}

void FuzzLookup(Input& in) {
    std::vector<int32_t> values(size_t(in.Count(20, 700)));
    for (auto& v : values) v = in.Flag() ? in.Int32() : 19000 + 100 * in.InRange(0, 700);
    const ExactArray<int32_t> table(values);
    const auto n = int32_t(values.size());
    uint16_t out[3];
    const int32_t index = Lumitra_FindTargetElement(in.Int32(), table.get(), n);
    const int32_t status = Lumitra_GetElementIndexFromWavelengthTable(in.Int32(), in.Int32(), n > 0 ? table.get() : nullptr,
                                                                      n, &out[0], &out[1]);
    FUZZ_EXPECT(index >= 0 && index <= 65535 && OneOf(status, {S_OK, E_INVALIDARG}));
    // Counted tables of exactly their count.
    std::vector<uint32_t> a = {uint32_t(n)}, b = {0};
    a.insert(a.end(), values.begin(), values.end());
    const size_t from = n > 0 ? in.InRange<size_t>(0, size_t(n - 1)) : 0;
    for (size_t i = from; i < size_t(n) && i < from + in.InRange<size_t>(0, 40); ++i) b.push_back(a[i + 1]);
    b[0] = uint32_t(b.size() - 1);
    const ExactArray<uint32_t> countedA(a), countedB(b);
    const int32_t equal =
        in.Call([&] { return Lumitra_IsWavelengthTableEqual(countedA.get(), countedB.get(), out, out + 1, out + 2); });
    FUZZ_EXPECT(OneOf(equal, {S_OK, E_OUTOFMEMORY}));
    double position = 0;
    const CalibrationRecord record = in.Record();
    FUZZ_EXPECT(Lumitra_GetPdaCorrectedEleNo(0, &record, in.Int32(), &position) == S_OK);
}

// Lamp maxima on display-grid or element spectra (tables read n long), and
// the maximum voltage of any series.
void FuzzLamps(Input& in) {
    if (in.OneIn(3)) {
        const int32_t count = in.OneIn(8) ? in.InRange(INT32_MIN, 0) : in.Count(100, 5000);
        const ExactArray<double> values(in.Values(size_t(std::max(count, 0))));
        int32_t maximum = 0;
        const int32_t status = Lumitra_GetMaxVoltage(in.OneIn(16) ? nullptr : values.get(), count, &maximum);
        return FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG}));
    }
    const int32_t display = in.Flag() ? 0 : in.Int32();
    int32_t n = display == 0 ? in.Count(600, 1100) : in.Int32(), w = in.InRange(10000, 40000), at = 0;
    std::vector<int32_t> wavelengths(display == 0 ? size_t(n) : 0);
    for (auto& v : wavelengths) v = in.Flag() ? in.Int32() : (w += in.InRange(-5, 400));
    const ExactArray<int32_t> table(wavelengths);
    const ExactArray<double> spectrum(in.Values(display == 0 ? size_t(n) : LUMITRA_DISPLAY_GRID_COUNT));
    if (display == 0 && n > 1024 && in.Flag()) n = in.InRange(1025, INT32_MAX);  // refused unread
    double reference = 0, maximum = 0;
    const auto call = in.Flag() ? Lumitra_GetD2LampSpectrumMaxInfo : Lumitra_GetWLampSpectrumMaxInfo;
    const int32_t status = in.Call([&] {
        return call(display, in.OneIn(16) ? nullptr : table.get(), n, in.OneIn(16) ? nullptr : spectrum.get(),
                    in.OneIn(16) ? nullptr : &reference, &maximum, &at);
    });
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_FAIL, E_OUTOFMEMORY}));
}

// Peak tables of exactly their count with any flags and times.
void FuzzPeaks(Input& in) {
    const int32_t count = in.OneIn(8) ? in.Int32() : in.Count(8, 300);
    const size_t records = count > 0 && count <= 300 ? size_t(count) : 0;
    std::vector<unsigned char> bytes(4 + records * LUMITRA_PEAK_RECORD_SIZE);
    for (auto& b : bytes) b = in.OneIn(4) ? in.InRange<unsigned char>(0, 255) : 0;
    const int32_t declared = count > 300 ? in.InRange(INT32_MIN, 0) : count;
    std::memcpy(bytes.data(), &declared, 4);
    const ExactArray<unsigned char> table(bytes);
    int32_t a = 0, b = 0;
    const int32_t peak = in.Flag() ? in.InRange(0, int32_t(records) + 1) : in.Int32(), time = in.Int32();
    const int32_t found = Lumitra_GetPeakFromRT(table.get(), time, int16_t(in.Int32()));
    FUZZ_EXPECT(OneOf(Lumitra_GetBasePeaks(table.get(), peak, &a, &b), {S_OK, E_ABORT, E_INVALIDARG}) &&
                OneOf(Lumitra_GetBaseTimes(table.get(), peak, &a, &b), {S_OK, E_ABORT, E_INVALIDARG}) &&
                OneOf(Lumitra_GetBaseTimesFromRT(table.get(), time, &a, &b), {S_OK, E_ABORT}) && found >= 0 &&
                found <= std::max(declared, 0));
}

// Background subtraction against a data source and a sibling allocator
// answering any status and shape, as a spectrum or as a UV record.
void FuzzSubtraction(Input& in) {
    lumitra::test::StandInSpectrumSource source;
    int32_t times[3];
    const auto points = size_t(in.Count(20, 600));
    for (int32_t& t : times) {
        lumitra::test::StandInSpectrumSource::Reply reply;
        const size_t n = in.OneIn(8) ? size_t(in.Count(20, 600)) : points;
        t = in.Flag() ? in.InRange(-5, 5) : in.Int32(), reply.values = in.Values(n);
        for (size_t i = 0; i < n; ++i) reply.wavelengths.push_back(in.OneIn(16) ? in.Int32() : int32_t(20000 + 100 * i));
        reply.status = in.OneIn(8) ? in.Int32() : S_OK;
        if (in.OneIn(16)) reply.countElement = in.Int32();
        if (in.OneIn(16)) reply.reportedCount = in.InRange(INT32_MIN, -1);
        reply.arraysOnFailure = in.OneIn(4), reply.withoutValues = in.OneIn(16), reply.withoutWavelengths = in.OneIn(16);
        source.At(t, reply);
    }
    const BGSubtractionRequest request{times[0], times[1], times[2], source.Source(), uint16_t(in.Int32()), int16_t(in.Int32())};
    static const lumitra::test::SiblingControls sibling;
    sibling.SetResults(in.OneIn(6) ? in.InRange(INT32_MIN, -1) : 0, in.OneIn(6) ? in.InRange(0, INT32_MAX) : 0);
    UVSpecData uv{};
    double* values = nullptr;
    int32_t *wavelengths = nullptr, count = 0, record = in.Flag();
    in.Call([&] {
        if (record) return Lumitra_GetBGSubtractedUVSpecData(&request, &uv), sibling.Free(&uv), 0;
        const int32_t status = Lumitra_GetBGSubtractedSpectrum(&request, &values, &count, &wavelengths);
        return status >= 0 ? (lumitra::module::TaskFree(values), lumitra::module::TaskFree(wavelengths), status) : status;
    });
    sibling.SetResults(0, 0);
}

// The caption of any wavelength list.
void FuzzCaption(Input& in) {
    std::vector<unsigned char> bytes(sizeof(LambdaList));
    for (auto& b : bytes) b = in.InRange<unsigned char>(0, 255);
    const ExactArray<unsigned char> list(bytes);
    if (in.Flag()) reinterpret_cast<LambdaList*>(list.get())->count2 = in.InRange<uint16_t>(0, 12);
    std::string caption(size_t(in.InRange(0, 40)), 'x');
    const int32_t status = Lumitra_GetStringLambdaMinMax(in.Flag() ? in.InRange(0, 0x203) : in.Int32(), caption, list.get(),
                                                         in.OneIn(8) ? int16_t(in.Int32()) : in.InRange<int16_t>(-3, 12));
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG}) && (status == S_OK || caption.empty()));
}

// The spline on scans of chosen end: samples on a rising abscissa, knots
// i0..i1 picked by startX and endX above a sample or on one, a 0.0 ending the
// data at a chosen sample, or any startX and endX; arrays of exactly the
// room the contract asks for the range found.
void FuzzSpline(Input& in) {
    const int32_t mode = in.Flag() ? in.InRange(0, 1) : in.Int32(), steps = in.Flag() ? 64 : in.InRange(-1, 130);
    const int32_t samples = in.InRange(2, in.OneIn(8) ? 1100 : 40), f = std::max(steps, 1);
    const int32_t outCount = in.Flag() ? samples * f + 1 : in.InRange(-2, (samples + 1) * f);
    std::vector<double> x(size_t(samples) + 1);  // a 0.0 after the data
    std::vector<int32_t> y(x.size());
    double at = in.Flag() ? 1.0 : in.InRange(1, 1000) / 8.0;
    for (int32_t k = 0; k < samples; ++k, at += in.Flag() ? 1.0 : in.InRange(1, 64) / 16.0)
        x[k] = at, y[k] = in.Flag() ? in.InRange(-100000, 100000) : in.Int32();
    // startX in (x[i0], x[i0 + 1]] (or at most x[0]), endX in (x[i1 - 1], x[i1]] (or at most x[i0]).
    const int32_t i0 = in.InRange(0, samples - 2), i1 = in.InRange(i0, samples - 1);
    auto above = [&](int32_t k) { return x[k - 1] + (x[k] - x[k - 1]) * in.InRange(1, 4) / 4.0; };
    double startX = i0 == 0 && in.Flag() ? x[0] - in.InRange(0, 4) : above(i0 + 1);
    double endX = i1 == i0 ? x[i0] - in.InRange(0, 4) : above(i1);
    const bool exact = !in.OneIn(16);
    if (!exact) startX = in.Double(), endX = in.Double();
    const int32_t z = in.OneIn(4) ? in.InRange(1, samples - 1) : samples;  // 0.0 ends the data there
    x[z] = 0.0;
    // The knots, points and room that result: midpoint passes write the eight-fold series up to endX and its
    // next midpoint, the rule reads four on, up to outCount; out of order, what any uses. Both scans stop at a
    // 0.0 and at index outCount - 1, so the first knot may lie before i0. With endX at most x[i0] the second
    // scan then takes the next sample if endX lies above the first knot, refused if that is outCount - 1 and
    // still below endX; served, outY is written up to (first + 2) * F, for a first scan stopped at
    // outCount - 1 that is outCount * F, far past outCount.
    const bool midpoint = mode == 0, ordered = exact && i1 > i0 && z > i1;
    const int32_t first = startX <= x[0] ? 0 : std::max(0, std::min({i0, z - 1, outCount - 2}));
    const bool early = i1 == i0 && first < i0;
    const int32_t last = early ? first + (endX > x[first]) : i1 == i0 ? i0 : std::min(i1, z);
    const bool unreached = last == outCount - 1 && x[last] != 0.0 && endX > x[last];
    const int32_t q = outCount / f, m = last - first + 1, n = int32_t(m / (1.0 / f)), series = 8 * i1 + 2;
    const bool valid = exact && steps > 0 && q >= 2 && m >= 2 && m <= 1025 && n < 65536 && last < outCount && !unreached;
    const size_t room = !midpoint ? (exact ? 1 : size_t(samples + 1) * f + 65537)
                        : ordered ? size_t(std::max(series, std::min(outCount + 1, series + 4)))
                                  : size_t(2 * std::max(outCount, 0) + 2);
    x.resize(std::max({x.size(), midpoint ? room : 0, size_t(std::max(q, 0))})), y.resize(x.size());
    const size_t outX = std::max({size_t(std::max(outCount, 1)), room, valid ? size_t(q * f + 1) : 0});
    const size_t outY = std::max({size_t(std::max(outCount, 1)), room, valid ? size_t(first * f + n + 1) : 0});
    const ExactArray<double> ix(x), ox(std::vector<double>(outX, -7.25));
    const ExactArray<int32_t> iy(y), oy(std::vector<int32_t>(outY, 0x5A5A5A5A));
    SplineRequest request{mode, ix.get(), iy.get(), ox.get(), oy.get(), 0, startX, endX, outCount, steps};
    const int32_t status = in.Call([&] { return Lumitra_SplineInterpolation(&request); });
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY}) && request.inX == ix.get() && request.outY == oy.get() &&
                (midpoint || !exact || valid == (status != E_INVALIDARG)) &&
                (!midpoint || !ordered || outCount < series + 2 || status != E_INVALIDARG));
    // Refused: nothing written. Midpoint passes keep the samples at every
    // eighth place; a spline meets its knots (F a power of two) but the last,
    // the abscissae their samples, and points not evaluated stay cleared.
    FUZZ_EXPECT(status != E_INVALIDARG || (std::equal(x.begin(), x.end(), ix.get()) && std::equal(y.begin(), y.end(), iy.get()) &&
                                           std::count(ox.get(), ox.get() + outX, -7.25) == long(outX) &&
                                           std::count(oy.get(), oy.get() + outY, 0x5A5A5A5A) == long(outY)));
    if (status != S_OK) return;
    for (int32_t k = 0; midpoint && ordered && k < i1; ++k) FUZZ_EXPECT(ox.get()[8 * k] == x[k] && oy.get()[8 * k] == y[k]);
    if (midpoint || !valid) return;
    for (int32_t k = 0; k < m - 1 && (f & (f - 1)) == 0; ++k) FUZZ_EXPECT(oy.get()[(first + k) * f] == y[first + k]);
    for (int32_t r = 0; r < q; ++r) FUZZ_EXPECT(ox.get()[r * f] == x[r]);
    for (int32_t o = 0; o < outCount; ++o) FUZZ_EXPECT((o >= first * f && o <= first * f + n) || oy.get()[o] == 0);
}

// The low-frequency filter on any signal and half-width, every vector width
// giving the export's bits.
void FuzzFilter(Input& in) {
    const std::vector<double> signal = in.Values(size_t(in.Count(300, 2100)));
    const ExactArray<double> values(signal), copy(signal), result(signal.size());
    const int32_t count = in.OneIn(16) ? in.InRange(INT32_MIN, -1) : int32_t(signal.size());
    const auto halfWidth = in.Flag() ? in.InRange<uint32_t>(0, 700) : in.InRange<uint32_t>(0, UINT32_MAX);
    const int32_t status = in.Call([&] { return Lumitra_FiltrateLowFrequency(values.get(), count, halfWidth); });
    const bool filtered = status == S_OK && halfWidth != 0;
    FUZZ_EXPECT(OneOf(status, {S_OK, E_OUTOFMEMORY}) &&
                (filtered || signal.empty() || !std::memcmp(values.get(), signal.data(), signal.size() * 8)));
    for (int set = 0; filtered && set <= int(BestInstructionSet()); ++set) {
        WindowMeanKernelFor(InstructionSet(set))(copy.get(), count, halfWidth, result.get());
        FUZZ_EXPECT(std::memcmp(result.get(), values.get(), signal.size() * 8) == 0);
    }
}

// The calibration exports: either method (the refinement stand-in answering
// any position, NaN too), lamps or drawn spectra and darks, null pointers, any
// record, kind and copies; the record changes only where the contract lets it.
void FuzzCalibration(Input& in) {
    const int which = in.InRange(0, 2);
    const int32_t method = in.Flag() ? 0 : in.Int32(), kind = in.Flag() ? in.InRange(0, 1) : in.Int32();
    const lumitra::test::Lamps lamps = in.Lamps();
    const auto first = in.Optional(!in.OneIn(16), lamps.d2), second = in.Optional(!in.OneIn(16), lamps.holmium);
    const auto dark1 = in.Optional(in.Flag(), {}), dark2 = in.Optional(in.Flag(), {});
    const auto copy1 = in.Optional(in.Flag(), {}), copy2 = in.Optional(in.Flag(), {});
    const CalibrationRecord given = in.Record();
    CalibrationRecord record = given, *const out = in.OneIn(16) ? nullptr : &record;
    const int32_t status = in.Call([&] {
        return which == 0   ? Lumitra_DoWavelengthCalibration(method, Get(dark1), Get(first), Get(dark2), Get(second), out)
               : which == 1 ? Lumitra_DoWavelengthCalibrationForWideSlit(Get(first), out)
                            : Lumitra_DoWavelengthCalibrationEx(method, Get(first), Get(second), Get(copy1), Get(copy2), out,
                                                                kind);
    });
    const bool changed = std::memcmp(&record, &given, sizeof record) != 0;
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY, E_FAIL, E_CALIBRATION_RANGE}) &&
                (!changed || status == S_OK || status == E_CALIBRATION_RANGE));
    if (status == E_CALIBRATION_RANGE || (changed && which != 1 && kind == 0))
        FUZZ_EXPECT(record.wavelength1 == 36080 && record.wavelength2 == 65610);
}

// The calibration's line location on fine spectra as the resampling leaves
// them: the anchor and 360.8 nm windows, the wide-slit half-height centre; a
// clean line in the anchor window is centred to within a sample.
void FuzzLineLocation(Input& in) {
    const ExactArray<double> first(kFineAllocation), second(kFineAllocation);
    const Drawn line = in.Fill(first.get(), kFineCount, kFineSteps, 24640);
    in.Fill(second.get(), kFineCount, kFineSteps, 24640 - 15104);
    const bool both = !in.OneIn(4);
    uint32_t anchor = 1, found = 1;
    LocateCalibrationLines(first.get(), both ? second.get() : nullptr, &anchor, both ? &found : nullptr);
    FUZZ_EXPECT((anchor == 0 || Within(anchor, kAnchorWindow)) &&
                (!both || found == 0 || (anchor != 0 && Within(found, SecondLineWindow(anchor)))));
    if (anchor == 0) return;
    const auto p = int32_t(anchor);
    const int32_t centre = HalfHeightCenter(first.get(), p, p - kBaselineSpan, p + kBaselineSpan);
    FUZZ_EXPECT(centre == 0 || std::abs(centre - p) <= kBaselineSpan);
    if (line.clean && Within(line.centre, SampleWindow{kAnchorWindow.first + 1, kAnchorWindow.last - 1}))
        FUZZ_EXPECT(std::fabs(centre - line.centre) <= 1.5);
}

// The lamp checks' exports: the detector's true record or any, any
// tolerance, its lamps or drawn spectra and backgrounds, null pointers.
void FuzzLampChecks(Input& in) {
    CalibrationRecord given;
    const lumitra::test::Lamps lamps = in.Lamps(&given);
    const bool holmium = in.Flag();
    given = in.Flag() ? in.Record() : given;
    const auto background = in.Optional(in.Flag(), {}), d2 = in.Optional(!in.OneIn(16), lamps.d2);
    const auto first = in.Optional(!in.OneIn(8), holmium ? lamps.holmium : lamps.hg1);
    const auto second = in.Optional(!in.OneIn(8), lamps.hg2);
    WavelengthCheckResult result, *out = in.OneIn(16) ? nullptr : &result;
    const CalibrationRecord* record = in.OneIn(16) ? nullptr : &given;
    const double tolerance = in.Flag() ? in.InRange(-100, 100) / 100.0 : in.Double();
    const int32_t status = in.Call([&] {
        return holmium ? Lumitra_DoWavelengthCheckD2Ho(in.Int32(), tolerance, record, Get(background), Get(d2), Get(second),
                                                       Get(first), out)
                       : Lumitra_DoWavelengthCheckD2Hg(in.Int32(), tolerance, record, Get(background), Get(d2), Get(first),
                                                       Get(second), out);
    });
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY}));
}

// The user check: targets at or past the grid's ends, windows beyond it or
// negative; lines evaluated in order up to one that fails, each found
// within its window.
void FuzzUserCheck(Input& in) {
    const int32_t display = in.Flag() ? 0 : in.Int32();
    const CalibrationRecord given = in.Record();
    UserCheckList list, before;
    std::memset(&list, 0x5A, sizeof list);
    list.checkCount = in.Flag() ? in.InRange<int16_t>(1, 4) : int16_t(in.Int32());
    list.option = in.Flag() ? in.InRange<int16_t>(0, 3) : int16_t(in.Int32());
    for (auto& line : list.lines) {
        line.targetWavelength = in.Flag() ? in.InRange(18990, 80010) : in.Flag() ? 19000 + 1525 * in.InRange(0, 40) : in.Int32();
        line.halfWindow = in.Flag() ? in.InRange(-5, 600) : in.Int32();
        line.allowedDeviation = in.Int32(), line.findMinimum = in.Int32();
    }
    const size_t n = display == 0 ? LUMITRA_ELEMENT_COUNT : LUMITRA_DISPLAY_GRID_COUNT;
    const auto first = in.Optional(!in.OneIn(16), {}, n), second = in.Optional(!in.OneIn(16), {}, n);
    before = list;
    const int32_t status = in.Call([&] {
        return Lumitra_DoUserDefinedWavelengthCheck(display, in.OneIn(16) ? nullptr : &given, Get(first), Get(second),
                                                    in.OneIn(16) ? nullptr : &list);
    });
    int evaluated = 0;
    for (int i = 0; i < 4; ++i) {
        const UserCheckLine &line = list.lines[i], &was = before.lines[i];
        if (std::memcmp(&line, &was, sizeof line) == 0) continue;
        FUZZ_EXPECT(i == evaluated++ && std::llabs(int64_t(line.foundWavelength) - line.targetWavelength) <= line.halfWindow &&
                    line.difference == line.targetWavelength - line.foundWavelength &&
                    line.passed == (std::llabs(line.difference) <= line.allowedDeviation ? 1 : 0));
    }
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG, E_OUTOFMEMORY, E_FAIL}) && evaluated <= std::max<int>(list.checkCount, 0) &&
                (status != S_OK || evaluated == list.checkCount));
}

// Beneath the lamp checks: for any record, its lines' windows (within the
// fine samples, or empty), search, measurement and evaluation on fine spectra
// and fine wavelengths of the record, or a straight scale rising, flat or falling.
void FuzzLineMeasurement(Input& in) {
    const auto dispersion = lumitra::optics::DecodeCalibration(in.Record());
    const CheckPlan& plan = in.Flag() ? kHolmiumCheck : kMercuryCheck;
    const ExactArray<double> w(kFineAllocation);
    const bool recordScale = in.OneIn(4);
    const double lowest = in.InRange(100, 900), step = in.InRange(-100, 100) / 4096.0;
    for (int32_t k = 0; k < kLastDefinedFineIndex; ++k) w.get()[k] = lowest + step * k;
    if (recordScale) FillFineWavelengths(dispersion, w.get());
    SampleWindow windows[8];
    for (size_t e = 0; e < plan.lines.size(); ++e) {
        windows[e] = LineWindow(plan.lines[e], dispersion);
        FUZZ_EXPECT(windows[e].first > windows[e].last || (windows[e].first >= 0 && windows[e].last <= kLastDefinedFineIndex));
    }
    Spectrum fine[3];
    const double* spectra[3] = {};
    for (int32_t input = 0; input < plan.inputCount; ++input) {
        const auto window = windows[in.InRange<size_t>(0, plan.lines.size() - 1)];
        if (in.OneIn(8)) continue;
        spectra[input] = Get(fine[input] = std::make_unique<ExactArray<double>>(kFineAllocation));
        in.Fill(Get(fine[input]), kFineCount, kFineSteps, (window.first + window.last) / 2.0);
    }
    const double tolerance = in.Flag() ? in.InRange(-100, 100) / 100.0 : in.Double();
    WavelengthCheckResult result{};
    MeasureCheckLines(plan, spectra, w.get(), dispersion, tolerance, &result);
    for (size_t e = 0; e < plan.lines.size(); ++e) {
        const double width = result.lineWidth[e], deviation = result.deviation[e];
        const int32_t flag = result.withinTolerance[e], unmeasured = plan.lines[e].fromMidpoint && width == 0.0;
        FUZZ_EXPECT(!spectra[plan.lines[e].input] ||
                    (width >= 0.0 && (!unmeasured || (std::isnan(deviation) && flag == 0)) &&
                     (flag == 0 || (flag == 1 && std::fabs(deviation) <= std::fabs(tolerance)))));
    }
    // The measurement alone, at a deuterium window's maximum: a midpoint only
    // with a positive width, none on a scale not rising (a peak from sample
    // 63 on). Unless half the height overflows: with a value beyond a
    // hundredth of the largest double within the base's span of the peak
    // (no resampled spectrum holds one) the level can be infinite, and the
    // interpolated crossings with it, of opposite signs on a falling scale.
    if (spectra[0] == nullptr) return;
    const auto p = int32_t(IndexOrZero(FindMaximum(spectra[0], windows[in.InRange(0, 1)], kNoLineBelow)));
    const double* const near = spectra[0] + std::max(0, p - kBaselineSpan);
    const bool huge = std::any_of(near, spectra[0] + std::min(kFineCount, p + kBaselineSpan + 1),
                                  [](double v) { return std::fabs(v) > std::numeric_limits<double>::max() / 100; });
    double width = -1.0, midpoint = -1e300;
    const bool withMidpoint = in.Flag();
    MeasureLineWidth(spectra[0], w.get(), p, 1, 512, kFineSteps, 50.0, &width, withMidpoint ? &midpoint : nullptr);
    FUZZ_EXPECT(width >= 0.0 && (midpoint != -1e300) == (withMidpoint && width > 0.0) &&
                (recordScale || step > 0 || p < 63 || width == 0 || (huge && std::isinf(width))));
}
}  // namespace

FUZZ_ROUTINES(FuzzTable, FuzzLookup, FuzzLamps, FuzzPeaks, FuzzSubtraction, FuzzCaption, FuzzSpline, FuzzFilter,
              FuzzCalibration, FuzzLineLocation, FuzzLampChecks, FuzzUserCheck, FuzzLineMeasurement)
