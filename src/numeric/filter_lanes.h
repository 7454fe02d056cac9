// The window-mean kernel written once for any vector width. Each source
// file that includes it selects an instruction set first and supplies a
// lane type L:
//   L::kLanes, L::kVectors   outputs per vector, vectors per block
//   L::Vec                   the vector type
//   Zero, Load, Store, Add, Sub, Div
//   AddLanes(acc, base, first, last)
//       adds base[first..last] to lanes first..last of acc, leaving the
//       other lanes exactly as they are and reading nothing else.
//
// Lane l of a vector computes output o = i + l. Its window sum starts at
// 0.0 and adds signal[o - w + t] for t = 0 .. 2w, skipping indices outside
// the signal, so every lane adds exactly the samples of its own window in
// ascending order, as the one-output-at-a-time loop does; only the outputs
// are computed side by side. Everything here has internal linkage, so each
// instruction set keeps its own copy.
#pragma once

#include <cstdint>

namespace lumitra::numeric {
namespace {

inline std::int64_t LaneMin(std::int64_t a, std::int64_t b) { return a < b ? a : b; }
inline std::int64_t LaneMax(std::int64_t a, std::int64_t b) { return a < b ? b : a; }

// Samples in the clipped window of output o.
inline double WindowCount(std::int64_t o, std::int64_t count, std::int64_t w) {
    return static_cast<double>(LaneMin(count - 1, o + w) - LaneMax(0, o - w) + 1);
}

// Pointer to signal[index] for an index that may lie outside the signal;
// only the lanes inside it are ever read through it.
inline const double* Offset(const double* signal, std::int64_t index) {
    return reinterpret_cast<const double*>(reinterpret_cast<std::uintptr_t>(signal) +
                                           static_cast<std::uintptr_t>(index * 8));
}

template <class L>
void SubtractWindowMeansInLanes(const double* signal, std::int32_t count32,
                                std::uint32_t halfWidth, double* result) {
    using Vec = typename L::Vec;
    constexpr int kLanes = L::kLanes;
    constexpr int kVectors = L::kVectors;
    constexpr std::int64_t kBlock = kLanes * kVectors;
    const std::int64_t count = count32;
    const std::int64_t w = halfWidth;

    for (std::int64_t i = 0; i < count; i += kBlock) {
        Vec sum[kVectors];
        for (int v = 0; v < kVectors; ++v) sum[v] = L::Zero();

        // Window steps t in which some lane of the block meets the signal,
        // and the middle stretch in which every lane does.
        const std::int64_t tFirst = LaneMax(0, w - i - (kBlock - 1));
        const std::int64_t tLast = LaneMin(2 * w, count - 1 - i + w);
        const std::int64_t tFullFirst = LaneMin(LaneMax(w - i, tFirst), tLast + 1);
        const std::int64_t tFullLast = LaneMax(LaneMin(count - kBlock - i + w, tLast), tFullFirst - 1);

        auto clippedStep = [&](std::int64_t t) {
            for (int v = 0; v < kVectors; ++v) {
                const std::int64_t base = i + v * kLanes - w + t;
                const std::int64_t first = LaneMax(0, -base);
                const std::int64_t last = LaneMin(kLanes - 1, count - 1 - base);
                if (first <= last)
                    sum[v] = L::AddLanes(sum[v], Offset(signal, base), static_cast<int>(first),
                                         static_cast<int>(last));
            }
        };
        for (std::int64_t t = tFirst; t < tFullFirst; ++t) clippedStep(t);
        // In the middle stretch vector v adds, at step t, the samples that
        // vector 0 adds at step t + v*kLanes: one load at shifted step s
        // serves every vector, each still taking its steps in order.
        const std::int64_t lag = (kVectors - 1) * kLanes;
        const double* window = signal + (i - w);
        auto sharedStep = [&](std::int64_t s, bool allInStretch) {
            const Vec samples = L::Load(window + s);
            for (int v = 0; v < kVectors; ++v) {
                const std::int64_t t = s - v * kLanes;
                if (allInStretch || (tFullFirst <= t && t <= tFullLast)) sum[v] = L::Add(sum[v], samples);
            }
        };
        if (tFullFirst <= tFullLast) {
            const std::int64_t steadyFirst = tFullFirst + lag;
            std::int64_t s = tFullFirst;
            for (; s < steadyFirst && s <= tFullLast + lag; ++s) sharedStep(s, false);
            for (; s <= tFullLast; ++s) sharedStep(s, true);
            for (; s <= tFullLast + lag; ++s) sharedStep(s, false);
        }
        for (std::int64_t t = tFullLast + 1; t <= tLast; ++t) clippedStep(t);

        for (int v = 0; v < kVectors; ++v) {
            const std::int64_t o0 = i + v * kLanes;
            if (o0 >= count) break;
            if (o0 + kLanes <= count) {
                double counts[kLanes];
                for (int l = 0; l < kLanes; ++l) counts[l] = WindowCount(o0 + l, count, w);
                L::Store(result + o0,
                         L::Sub(L::Load(signal + o0), L::Div(sum[v], L::Load(counts))));
            } else {
                double sums[kLanes];
                L::Store(sums, sum[v]);
                for (std::int64_t o = o0; o < count; ++o)
                    result[o] = signal[o] - sums[o - o0] / WindowCount(o, count, w);
            }
        }
    }
}

}  // namespace
}  // namespace lumitra::numeric
