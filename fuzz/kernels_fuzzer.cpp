// The kernels: spline requests of either mode with any abscissae, ordinates,
// range ends and sub-steps, on arrays sized as the contract says (the data
// end with a 0.0 abscissa, outputs have room for what the steps write), and
// the low-frequency filter on any signal with any half-width.
#include "fuzz_support.h"

namespace {
using namespace lumitra::fuzz;

void FuzzSpline(Input& in) {
    const auto samples = size_t(in.Count(40, 600));
    const int32_t mode = in.Flag() ? 0 : in.Int32();
    const int32_t steps = in.Flag() ? 64 : in.InRange<int32_t>(-2, 200);
    const int32_t outCount = in.Flag() ? int32_t(samples) * std::max(steps, 1) + 1 : in.InRange<int32_t>(-3, 40000);
    // Room: the outputs of a range starting at any sample (i0*F + n + 1, n
    // at most 65536) or the eight-fold series, and outCount.
    const size_t room = std::max<size_t>(size_t(std::max(outCount, 0)) + 2,
                                         (samples + 1) * size_t(std::max(steps, 8)) + 65537);
    std::vector<double> x(room, 0.0), outX(room);
    std::vector<int32_t> y(room), outY(room);
    double at = in.Double();
    for (size_t i = 0; i < samples; ++i) {
        x[i] = at == 0.0 ? 1.0 : at;
        at += in.Flag() ? 1.0 : in.Double();
        y[i] = in.Int32();
    }
    const ExactArray<double> ix(x), ox(outX);
    const ExactArray<int32_t> iy(y), oy(outY);
    SplineRequest request{mode, ix.get(), iy.get(), ox.get(), oy.get(), 0, in.Double(), in.Double(), outCount, steps};
    CallScope scope(in.AllocationToFail());
    FUZZ_EXPECT(OneOf(Lumitra_SplineInterpolation(&request), {S_OK, E_INVALIDARG, E_OUTOFMEMORY}));
    FUZZ_EXPECT(request.inX == ix.get() && request.outY == oy.get());
}

void FuzzFilter(Input& in) {
    const std::vector<double> signal = in.Spectrum(size_t(in.Count(300, 6000)));
    const ExactArray<double> values(signal);
    const auto halfWidth = in.Flag() ? in.InRange<uint32_t>(0, 700) : in.InRange<uint32_t>(0, UINT32_MAX);
    CallScope scope(in.AllocationToFail());
    const int32_t status = Lumitra_FiltrateLowFrequency(values.get(), int32_t(signal.size()), halfWidth);
    FUZZ_EXPECT(OneOf(status, {S_OK, E_OUTOFMEMORY}));
    if (status != S_OK) FUZZ_EXPECT(signal.empty() || std::memcmp(values.get(), signal.data(), signal.size() * 8) == 0);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    in.Flag() ? FuzzFilter(in) : FuzzSpline(in);
    return 0;
}
