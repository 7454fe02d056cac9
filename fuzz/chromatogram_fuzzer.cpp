// Chromatogram utilities: peak tables of any count (of exactly that many
// records) with any flags and times, any peak number and time; both forms
// of the background subtraction against a data source that answers with
// any status, counts, wavelengths and values, missing arrays included, and
// a sibling allocator that fails or succeeds with any status; the caption
// of any wavelength list. Returned and received arrays are all released.
#include <string>

#include "chromdata/sibling_standin.h"
#include "chromdata/spectrum_source_standin.h"
#include "fuzz_support.h"

namespace {
using namespace lumitra::fuzz;
using lumitra::test::StandInSpectrumSource;

void FuzzPeaks(Input& in) {
    const int32_t count = in.OneIn(8) ? in.Int32() : in.Count(8, 300);
    const size_t records = count > 0 && count <= 300 ? size_t(count) : 0;
    std::vector<unsigned char> bytes(4 + records * LUMITRA_PEAK_RECORD_SIZE);
    for (auto& b : bytes) b = in.OneIn(4) ? in.InRange<unsigned char>(0, 255) : 0;
    const int32_t declared = count > 300 ? in.InRange<int32_t>(INT32_MIN, 0) : count;
    std::memcpy(bytes.data(), &declared, 4);
    const ExactArray<unsigned char> table(bytes);
    int32_t a = 0, b = 0;
    const int32_t peak = in.Flag() ? in.InRange<int32_t>(0, int32_t(records) + 1) : in.Int32(), time = in.Int32();
    FUZZ_EXPECT(OneOf(Lumitra_GetBasePeaks(table.get(), peak, &a, &b), {S_OK, E_ABORT, E_INVALIDARG}));
    FUZZ_EXPECT(OneOf(Lumitra_GetBaseTimes(table.get(), peak, &a, &b), {S_OK, E_ABORT, E_INVALIDARG}));
    FUZZ_EXPECT(OneOf(Lumitra_GetBaseTimesFromRT(table.get(), time, &a, &b), {S_OK, E_ABORT}));
    const int32_t found = Lumitra_GetPeakFromRT(table.get(), time, int16_t(in.Int32()));
    FUZZ_EXPECT(found >= 0 && found <= std::max(declared, 0));
}

// Spectra at three times, each reply with its own status and shape.
void Script(Input& in, StandInSpectrumSource& source, int32_t (&times)[3]) {
    const auto points = size_t(in.Count(20, 600));
    for (int32_t& t : times) {
        t = in.Flag() ? in.InRange<int32_t>(-5, 5) : in.Int32();
        StandInSpectrumSource::Reply reply;
        const size_t n = in.OneIn(8) ? size_t(in.Count(20, 600)) : points;
        reply.values = in.Spectrum(n);
        for (size_t i = 0; i < n; ++i) reply.wavelengths.push_back(in.OneIn(16) ? in.Int32() : int32_t(20000 + 100 * i));
        if (in.OneIn(8)) reply.status = in.Int32();
        if (in.OneIn(16)) reply.countElement = in.Int32();
        if (in.OneIn(16)) reply.reportedCount = in.InRange<int32_t>(INT32_MIN, -1);
        reply.arraysOnFailure = in.OneIn(4);
        reply.withoutValues = in.OneIn(16);
        reply.withoutWavelengths = in.OneIn(16);
        source.At(t, reply);
    }
}

void FuzzSubtraction(Input& in, bool record) {
    StandInSpectrumSource source;
    int32_t times[3];
    Script(in, source, times);
    const BGSubtractionRequest request{times[0], times[1], times[2], source.Source(), uint16_t(in.Int32()),
                                       int16_t(in.Int32())};
    if (record) {
        static const lumitra::test::SiblingControls sibling;
        sibling.SetResults(in.OneIn(6) ? in.InRange<int32_t>(INT32_MIN, -1) : 0,
                           in.OneIn(6) ? in.InRange<int32_t>(0, INT32_MAX) : 0);
        UVSpecData uv;
        {
            CallScope scope(in.AllocationToFail());
            Lumitra_GetBGSubtractedUVSpecData(&request, &uv);
        }
        sibling.SetResults(0, 0);
        sibling.Free(&uv);
        return;
    }
    double* values = nullptr;
    int32_t* wavelengths = nullptr;
    int32_t count = 0;
    CallScope scope(in.AllocationToFail());
    if (Lumitra_GetBGSubtractedSpectrum(&request, &values, &count, &wavelengths) >= 0) {
        lumitra::module::TaskFree(values);
        lumitra::module::TaskFree(wavelengths);
    }
}

void FuzzCaption(Input& in) {
    std::vector<unsigned char> bytes(sizeof(LambdaList));
    for (auto& b : bytes) b = in.InRange<unsigned char>(0, 255);
    const ExactArray<unsigned char> list(bytes);
    if (in.Flag()) reinterpret_cast<LambdaList*>(list.get())->count2 = in.InRange<uint16_t>(0, 12);
    std::string caption(size_t(in.InRange(0, 40)), 'x');
    const int32_t status = Lumitra_GetStringLambdaMinMax(in.Flag() ? in.InRange<int32_t>(0, 0x203) : in.Int32(), caption,
                                                         list.get(), in.OneIn(8) ? int16_t(in.Int32()) : in.InRange<int16_t>(-3, 12));
    FUZZ_EXPECT(OneOf(status, {S_OK, E_INVALIDARG}));
    if (status != S_OK) FUZZ_EXPECT(caption.empty());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    switch (in.InRange(0, 3)) {
        case 0: FuzzPeaks(in); break;
        case 1: FuzzSubtraction(in, false); break;
        case 2: FuzzSubtraction(in, true); break;
        default: FuzzCaption(in); break;
    }
    return 0;
}
