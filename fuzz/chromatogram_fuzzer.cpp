// Chromatogram utilities: peak tables of any count (of exactly that many
// records) with any flags and times, with any peak number and time; the
// background subtraction in both forms against a data source that answers
// with any status, mismatched counts and wavelengths, negative counts,
// missing arrays and any values, and a sibling allocator that fails or
// succeeds with any status; the caption of any wavelength list.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "chromdata/sibling_standin.h"
#include "chromdata/spectrum_source_standin.h"
#include "fuzz_expect.h"
#include "fuzz_input.h"
#include "lumitra/lumitra.h"

namespace {

using lumitra::fuzz::CallScope;
using lumitra::fuzz::ExactArray;
using lumitra::fuzz::Input;
using lumitra::test::StandInSpectrumSource;

constexpr int32_t kUntouched = 0x7A7A7A7A;

int32_t WrappingSum(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
int32_t WrappingDifference(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }

// ---------------------------------------------------------------- peaks

struct PeakTable {
    std::vector<unsigned char> bytes;
    int32_t count = 0;

    int32_t Field(int32_t record, size_t offset) const {
        int32_t value;
        std::memcpy(&value, &bytes[size_t(record) * LUMITRA_PEAK_RECORD_SIZE + offset], 4);
        return value;
    }
};

PeakTable MakePeakTable(Input& in) {
    PeakTable t;
    t.count = in.OneIn(8) ? in.Int32() : in.Count(8, 300);
    const size_t records = t.count > 0 && t.count <= 300 ? size_t(t.count) : 0;
    if (t.count > 300) t.count = in.InRange<int32_t>(INT32_MIN, 0);
    t.bytes.assign(4 + records * LUMITRA_PEAK_RECORD_SIZE, 0);
    std::memcpy(t.bytes.data(), &t.count, 4);
    static constexpr uint32_t kBits[] = {0x4, 0x10, 0x100, 0x800};
    const bool ordered = in.Flag();
    int32_t time = in.InRange<int32_t>(-1000, 1000);
    for (size_t k = 0; k < records; ++k) {
        uint32_t flags = in.OneIn(8) ? in.InRange<uint32_t>(0, UINT32_MAX) : 0;
        for (uint32_t bit : kBits)
            if (in.OneIn(3)) flags |= bit;
        int32_t times[3];  // retention, start, end
        if (ordered) {
            times[1] = time;
            times[0] = time + in.InRange<int32_t>(0, 50);
            times[2] = times[0] + in.InRange<int32_t>(0, 50);
            time = times[2] + in.InRange<int32_t>(-10, 20);
        } else {
            for (int32_t& v : times) v = in.Int32();
        }
        unsigned char* record = &t.bytes[k * LUMITRA_PEAK_RECORD_SIZE];
        std::memcpy(record + LUMITRA_PEAK_FLAGS_OFFSET, &flags, 4);
        std::memcpy(record + LUMITRA_PEAK_RETENTION_TIME_OFFSET, &times[0], 4);
        std::memcpy(record + LUMITRA_PEAK_START_TIME_OFFSET, &times[1], 4);
        std::memcpy(record + LUMITRA_PEAK_END_TIME_OFFSET, &times[2], 4);
    }
    return t;
}

void FuzzPeaks(Input& in) {
    const PeakTable t = MakePeakTable(in);
    const ExactArray<unsigned char> table(t.bytes);
    const int32_t peak =
        in.Flag() ? in.InRange<int32_t>(-1, t.count > 0 ? t.count + 1 : 2) : in.Int32();
    // Often the retention time of a peak, else any time.
    const int32_t time =
        t.count >= 1 && t.count <= 300 && in.Flag()
            ? t.Field(in.InRange<int32_t>(0, t.count - 1), LUMITRA_PEAK_RETENTION_TIME_OFFSET)
            : in.Int32();

    int32_t first = kUntouched, last = kUntouched;
    const int32_t status = Lumitra_GetBasePeaks(table.get(), peak, &first, &last);
    if (t.count < 1)
        FUZZ_EXPECT(status == E_ABORT);
    else if (peak < 1 || peak > t.count)
        FUZZ_EXPECT(status == E_INVALIDARG);
    else
        FUZZ_EXPECT(status == S_OK);
    if (status != S_OK) {
        FUZZ_EXPECT(first == kUntouched && last == kUntouched);
    } else {
        FUZZ_EXPECT(first >= 1 && first <= peak && last >= 1 && last <= t.count);
    }

    int32_t start = kUntouched, end = kUntouched;
    FUZZ_EXPECT(Lumitra_GetBaseTimes(table.get(), peak, &start, &end) == status);
    if (status == S_OK) {
        FUZZ_EXPECT(start == t.Field(first - 1, LUMITRA_PEAK_START_TIME_OFFSET));
        FUZZ_EXPECT(end == t.Field(last - 1, LUMITRA_PEAK_END_TIME_OFFSET));
    } else {
        FUZZ_EXPECT(start == kUntouched && end == kUntouched);
    }

    const int16_t fallback = in.Flag() ? 1 : in.Int16();
    const int32_t found = Lumitra_GetPeakFromRT(table.get(), time, fallback);
    FUZZ_EXPECT(found >= 0 && found <= (t.count > 0 ? t.count : 0));
    // With the fallback some peak is found, unless every distance is the
    // largest int32 (the search's start value).
    bool nearer = false;
    for (int32_t k = 0; k < t.count; ++k) {
        const int32_t d = WrappingDifference(time, t.Field(k, LUMITRA_PEAK_RETENTION_TIME_OFFSET));
        nearer = nearer || (d < 0 ? WrappingDifference(0, d) : d) < INT32_MAX;
    }
    if (fallback == 1 && nearer) FUZZ_EXPECT(found >= 1);
    const int32_t at = Lumitra_GetPeakFromRT(table.get(), time, 0);
    if (at >= 1) {
        FUZZ_EXPECT(t.Field(at - 1, LUMITRA_PEAK_START_TIME_OFFSET) <= time &&
                    time <= t.Field(at - 1, LUMITRA_PEAK_END_TIME_OFFSET));
    }
    start = end = kUntouched;
    const int32_t fromTime = Lumitra_GetBaseTimesFromRT(table.get(), time, &start, &end);
    if (at < 1)
        FUZZ_EXPECT(fromTime == E_ABORT && start == kUntouched && end == kUntouched);
    else
        FUZZ_EXPECT(fromTime == S_OK);
}

// ------------------------------------------------- background subtraction

struct Scenario {
    StandInSpectrumSource source;
    int32_t times[3];  // spectrum, background 1, background 2
    StandInSpectrumSource::Reply replies[3];
    BGSubtractionRequest request{};
};

// Three replies that mostly fit together, with the source's misbehaviours
// now and then.
void MakeScenario(Input& in, Scenario& s) {
    const size_t points = size_t(in.Count(6, 600));
    const std::vector<int32_t> wavelengths = in.Wavelengths(points);
    s.times[0] = in.Int32();
    for (int k = 1; k < 3; ++k)
        s.times[k] = in.Flag() ? WrappingSum(s.times[0], in.InRange(-3, 3)) : in.Int32();
    for (int k = 0; k < 3; ++k) {
        auto& r = s.replies[k];
        const size_t n = in.OneIn(8) ? size_t(in.Count(6, 600)) : points;
        r.values = in.Spectrum(n);
        r.wavelengths = in.OneIn(8) ? in.Wavelengths(n) : wavelengths;
        r.wavelengths.resize(n);
        if (in.OneIn(6)) r.status = in.Flag() ? in.InRange<int32_t>(INT32_MIN, -1) : in.Int32();
        if (in.OneIn(8)) r.countElement = in.Int32();
        if (in.OneIn(16)) r.reportedCount = in.InRange<int32_t>(INT32_MIN, -1);
        r.arraysOnFailure = in.OneIn(2);
        r.withoutValues = in.OneIn(24);
        r.withoutWavelengths = in.OneIn(24);
        s.source.At(s.times[k], r);
    }
    s.request = {
        s.times[0], s.times[1], s.times[2], s.source.Source(), in.InRange<uint16_t>(0, 65535),
        in.Int16()};
}

// The subtracted value of point i, written out from the contract.
double Expected(const Scenario& s, size_t i) {
    const double v = s.replies[0].values[i], b1 = s.replies[1].values[i],
                 b2 = s.replies[2].values[i];
    const int32_t t = s.times[0], t1 = s.times[1], t2 = s.times[2];
    if (t == t1) return v - b1;
    if (t == t2) return v - b2;
    if (b2 == b1) return v - b1;
    return v -
           (((b2 - b1) * double(WrappingDifference(t, t1))) / double(WrappingDifference(t2, t1)) +
            b1);
}

bool FailingStatusOf(const Scenario& s, int32_t status) {
    if (status == E_UNEXPECTED || status == E_OUTOFMEMORY) return true;
    for (const auto& r : s.replies)
        if (r.status == status) return true;
    return false;
}

void FuzzSubtractedSpectrum(Input& in) {
    Scenario s;
    MakeScenario(in, s);
    double* values = reinterpret_cast<double*>(uintptr_t{0x10});
    int32_t* wavelengths = reinterpret_cast<int32_t*>(uintptr_t{0x20});
    int32_t count = kUntouched;
    CallScope scope(in.AllocationToFail());
    const int32_t status =
        Lumitra_GetBGSubtractedSpectrum(&s.request, &values, &count, &wavelengths);
    if (status < 0) {
        FUZZ_EXPECT(FailingStatusOf(s, status));
        FUZZ_EXPECT(count == kUntouched && values == reinterpret_cast<double*>(uintptr_t{0x10}) &&
                    wavelengths == reinterpret_cast<int32_t*>(uintptr_t{0x20}));
        return;
    }
    const auto& spectrum = s.replies[0];
    FUZZ_EXPECT(status == s.replies[2].status);
    FUZZ_EXPECT(count == int32_t(spectrum.values.size()));
    FUZZ_EXPECT(wavelengths[0] == spectrum.countElement.value_or(count));
    for (size_t i = 0; i < spectrum.values.size(); ++i) {
        const double expected = Expected(s, i);
        FUZZ_EXPECT(std::memcmp(&values[i], &expected, sizeof expected) == 0);
        FUZZ_EXPECT(wavelengths[i + 1] == spectrum.wavelengths[i]);
    }
    lumitra::fuzz::ReleaseTask(values);
    lumitra::fuzz::ReleaseTask(wavelengths);
}

void FuzzUVSpecData(Input& in) {
    static const lumitra::test::SiblingControls sibling;
    FUZZ_EXPECT(sibling.Ready());
    Scenario s;
    MakeScenario(in, s);
    const int32_t allocatorFailure = in.OneIn(6) ? in.InRange<int32_t>(INT32_MIN, -1) : 0;
    const int32_t allocatorSuccess = in.OneIn(6) ? in.InRange<int32_t>(0, INT32_MAX) : 0;
    sibling.SetResults(allocatorFailure, allocatorSuccess);
    UVSpecData record;
    std::memset(&record, 0x5C, sizeof record);
    const long calls = sibling.AllocationCalls();
    int32_t status;
    {
        CallScope scope(in.AllocationToFail());
        status = Lumitra_GetBGSubtractedUVSpecData(&s.request, &record);
    }
    sibling.SetResults(0, 0);
    const bool allocatorCalled = sibling.AllocationCalls() != calls;
    if (status < 0) {
        FUZZ_EXPECT(FailingStatusOf(s, status) || (allocatorCalled && status == allocatorFailure));
        if (!allocatorCalled) {
            const UVSpecData zero{};
            FUZZ_EXPECT(lumitra::fuzz::SameBytes(record, zero));
        }
        FUZZ_EXPECT(record.values == nullptr && record.wavelengths == nullptr);
        FUZZ_EXPECT(sibling.OutstandingArrays() == 0);
        return;
    }
    const auto& spectrum = s.replies[0];
    const auto n = int32_t(spectrum.values.size());
    FUZZ_EXPECT(allocatorCalled && status == allocatorSuccess);
    FUZZ_EXPECT(record.time == s.times[0] && record.pointCount == n);
    FUZZ_EXPECT(record.reserved1 == 0 && record.reserved2 == 0);
    double largest = -1.7976931348623157e308, smallest = 1.7976931348623157e308;
    for (int32_t i = 0; i < n; ++i) {
        const double expected = Expected(s, size_t(i));
        FUZZ_EXPECT(std::memcmp(&record.values[i], &expected, sizeof expected) == 0);
        FUZZ_EXPECT(record.wavelengths[i] == spectrum.wavelengths[size_t(i)]);
        if (expected > largest) largest = expected;
        if (expected < smallest) smallest = expected;
    }
    FUZZ_EXPECT(record.maxValue == largest && record.minValue == smallest);
    if (n > 0) {
        FUZZ_EXPECT(record.firstWavelength == spectrum.wavelengths[0]);
        FUZZ_EXPECT(record.lastWavelength == spectrum.wavelengths[size_t(n - 1)]);
    }
    sibling.Free(&record);
    FUZZ_EXPECT(sibling.OutstandingArrays() == 0);
}

// --------------------------------------------------------------- caption

void FuzzCaption(Input& in) {
    LambdaList list;
    std::vector<unsigned char> bytes(sizeof list);
    for (auto& b : bytes) b = in.InRange<unsigned char>(0, 255);
    std::memcpy(&list, bytes.data(), sizeof list);
    if (in.Flag()) list.count1 = in.InRange<uint16_t>(0, 12);
    if (in.Flag()) list.count2 = in.InRange<uint16_t>(0, 12);
    static constexpr int32_t kOptions[] = {1, 2, 0x101, 0x102, 0, 3, 0x201, -1};
    const int32_t options = in.Flag() ? in.PickFrom(kOptions) : in.Int32();
    const int16_t decimals = in.OneIn(8) ? in.Int16() : in.InRange<int16_t>(-3, 12);
    std::string caption(size_t(in.InRange(0, 40)), 'x');
    const ExactArray<unsigned char> record(bytes);
    std::memcpy(record.get(), &list, sizeof list);

    const int32_t status = Lumitra_GetStringLambdaMinMax(options, caption, record.get(), decimals);
    const int kind = options & 0xFF;
    const auto count = int16_t(kind == 1 ? list.count1 : list.count2);
    const bool firstOnly = (options & 0x100) != 0;
    if ((kind != 1 && kind != 2) || count > 10) {
        FUZZ_EXPECT(status == E_INVALIDARG && caption.empty());
        return;
    }
    FUZZ_EXPECT(status == S_OK);
    size_t separators = 0;
    for (char c : caption) separators += c == '/';
    if (count <= 0)
        FUZZ_EXPECT(caption == (firstOnly ? " " : ""));
    else
        FUZZ_EXPECT(separators == (firstOnly ? 0u : size_t(count - 1)) && !caption.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    switch (in.InRange(0, 3)) {
        case 0:
            FuzzPeaks(in);
            break;
        case 1:
            FuzzSubtractedSpectrum(in);
            break;
        case 2:
            FuzzUVSpecData(in);
            break;
        default:
            FuzzCaption(in);
            break;
    }
    return 0;
}
