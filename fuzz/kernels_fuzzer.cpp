// The numerical kernels against their literal versions: spline requests of
// either mode with four arrays of exactly outCount values and any abscissae,
// ordinates, range ends and sub-steps; the low-frequency filter on any
// signal with any half-width. Results must equal the literal versions bit
// for bit, requests the literal version finds outside the limits must be
// refused with nothing written, and memory failures must leave the state
// the contract states.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_expect.h"
#include "fuzz_input.h"
#include "lumitra/lumitra.h"
#include "numeric/literal_filter.h"
#include "numeric/literal_spline_interpolation.h"

namespace {

using lumitra::fuzz::CallScope;
using lumitra::fuzz::ExactArray;
using lumitra::fuzz::Input;

// Abscissae: ascending with a step, ending in 0.0 somewhere or not, or any.
std::vector<double> Abscissae(Input& in, size_t n) {
    std::vector<double> x(n);
    if (in.OneIn(4)) {
        for (double& v : x) v = in.Double();
    } else {
        const double start = in.Flag() ? 1.0 : in.InRange<int32_t>(-50, 50);
        const double step = in.Flag() ? 1.0 : in.InRange<int32_t>(-100, 400) / 64.0;
        for (size_t i = 0; i < n; ++i) x[i] = start + step * double(i);
    }
    if (n > 0 && in.OneIn(3)) x[in.InRange<size_t>(0, n - 1)] = 0.0;
    return x;
}

std::vector<int32_t> Ordinates(Input& in, size_t n) {
    std::vector<int32_t> y(n);
    const bool wide = in.OneIn(4);
    for (int32_t& v : y) v = wide ? in.Int32() : in.InRange<int32_t>(-100000, 100000);
    return y;
}

void FuzzSpline(Input& in) {
    const int32_t mode = in.Flag() ? 0 : (in.Flag() ? 1 : in.Int32());
    const int32_t outCount = in.OneIn(16) ? in.InRange<int32_t>(-3, 70000) : in.Count(300, 5000);
    const size_t n = size_t(outCount > 0 ? outCount : 0);
    static constexpr int32_t kSteps[] = {64, 1, 2, 3, 4, 7, 8, 16, 0, -1, INT32_MIN, INT32_MAX};
    const int32_t subSteps = in.Flag() ? in.InRange<int32_t>(-2, 200) : in.PickFrom(kSteps);
    const std::vector<double> inX = Abscissae(in, n);
    const std::vector<int32_t> inY = Ordinates(in, n);
    const std::vector<double> outX = Abscissae(in, n);
    const std::vector<int32_t> outY = Ordinates(in, n);
    const double startX = in.Flag() ? in.InRange<int32_t>(-5, 600) : in.Double();
    const double endX = in.Flag() ? in.InRange<int32_t>(-5, 600) : in.Double();

    using lumitra::test::TrackedArray;
    lumitra::test::LiteralRequest literal{mode,
                                          TrackedArray<double>(inX),
                                          TrackedArray<int32_t>(inY),
                                          TrackedArray<double>(outX),
                                          TrackedArray<int32_t>(outY),
                                          startX,
                                          endX,
                                          outCount,
                                          subSteps};
    const bool withinLimits = lumitra::test::LiteralSplineInterpolation(literal);

    const ExactArray<double> ix(inX), ox(outX);
    const ExactArray<int32_t> iy(inY), oy(outY);
    SplineRequest request{mode, ix.get(), iy.get(), ox.get(), oy.get(),
                          0,    startX,   endX,     outCount, subSteps};
    const SplineRequest original = request;
    const bool withRequest = !in.OneIn(32);
    CallScope scope(in.AllocationToFail());
    const int32_t status = Lumitra_SplineInterpolation(withRequest ? &request : nullptr);
    FUZZ_EXPECT(lumitra::fuzz::SameBytes(request, original));
    if (status == E_INVALIDARG) {
        // Refused: a null request or one outside the limits; nothing written.
        FUZZ_EXPECT(!withRequest || !withinLimits);
        FUZZ_EXPECT(ix.Holds(inX) && iy.Holds(inY) && ox.Holds(outX) && oy.Holds(outY));
        return;
    }
    FUZZ_EXPECT(withinLimits);
    if (CallScope::FailureDelivered()) {
        FUZZ_EXPECT(status == E_OUTOFMEMORY && mode != 0);
        for (size_t i = 0; i < n; ++i) FUZZ_EXPECT(ox[i] == 0.0 && oy[i] == 0);
        return;
    }
    FUZZ_EXPECT(status == S_OK);
    FUZZ_EXPECT(ox.Holds(literal.outX.Data()) && oy.Holds(literal.outY.Data()));
    FUZZ_EXPECT(ix.Holds(literal.inX.Data()) && iy.Holds(literal.inY.Data()));
}

void FuzzFilter(Input& in) {
    const int32_t count = in.OneIn(16) ? in.Int32() : in.Count(200, 3000);
    static constexpr uint32_t kWidths[] = {0, 1, 640, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
    const uint32_t halfWidth =
        in.Flag() ? in.PickFrom(kWidths) : in.InRange<uint32_t>(0, uint32_t(count > 0 ? count : 8));
    // The signal is read only for counts the filter accepts; keep those
    // within what a test can hold.
    const size_t length = count > 0 && count <= 3000 ? size_t(count) : 4;
    const std::vector<double> signal = in.Spectrum(length);
    if (count > 3000 && halfWidth != 0 && count <= 0x1FFFFFFF) return;

    std::vector<double> expected = signal;
    lumitra::test::LiteralFiltrateLowFrequency(expected.data(), count, halfWidth);
    const ExactArray<double> filtered(signal);
    CallScope scope(in.AllocationToFail());
    const int32_t status = Lumitra_FiltrateLowFrequency(filtered.get(), count, halfWidth);
    if (CallScope::FailureDelivered() || (halfWidth != 0 && (count < 0 || count > 0x1FFFFFFF))) {
        FUZZ_EXPECT(status == E_OUTOFMEMORY && filtered.Holds(signal));
        return;
    }
    FUZZ_EXPECT(status == S_OK && filtered.Holds(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    if (in.Flag())
        FuzzSpline(in);
    else
        FuzzFilter(in);
    return 0;
}
