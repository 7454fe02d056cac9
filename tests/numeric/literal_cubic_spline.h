// The cubic spline object's set-up and evaluation in plain form: each grid
// point's interval searched and its value computed on its own, one point at
// a time. The tests and benchmarks compare the library's spline with it bit
// for bit.
#pragma once

#include <cstdint>
#include <vector>

namespace lumitra::test {

class LiteralCubicSpline {
public:
    // Knots must be valid (n >= 3, x strictly increasing).
    LiteralCubicSpline(const std::vector<int32_t>& x, const std::vector<double>& y, double yp1,
                       double ypn)
        : x_(x), y_(y), y2_(x.size()) {
        const int32_t n = static_cast<int32_t>(x.size());
        std::vector<double> sig(n, 0.0), u(n);
        for (int32_t i = 1; i <= n - 2; ++i)
            sig[i] = double(Sub(x[i], x[i - 1])) / double(Sub(x[i + 1], x[i - 1]));
        auto h = [&](int32_t i) { return double(Sub(x[i + 1], x[i])); };
        y2_[0] = yp1 > 9.9e29 ? 0.0 : -0.5;  // natural start, or the slope yp1
        u[0] = yp1 > 9.9e29 ? 0.0 : ((y[1] - y[0]) / h(0) - yp1) * (3.0 / h(0));
        for (int32_t i = 1; i <= n - 2; ++i) {
            const double p = y2_[i - 1] * sig[i] + 2.0;
            y2_[i] = (sig[i] - 1.0) / p;
            const double d = (y[i + 1] - y[i]) / h(i) - (y[i] - y[i - 1]) / h(i - 1);
            u[i] = (d * 6.0 / double(Sub(x[i + 1], x[i - 1])) - sig[i] * u[i - 1]) / p;
        }
        const double qn = ypn > 9.9e29 ? 0.0 : 0.5;  // natural end, or the slope ypn
        const double un = ypn > 9.9e29 ? 0.0 : (ypn - (y[n - 1] - y[n - 2]) / h(n - 2)) * (3.0 / h(n - 2));
        y2_[n - 1] = (un - qn * u[n - 2]) / (qn * y2_[n - 2] + 1.0);
        for (int32_t k = n - 2; k >= 0; --k) y2_[k] = y2_[k] * y2_[k + 1] + u[k];
    }

    const std::vector<double>& SecondDerivatives() const { return y2_; }

    static int32_t GridPoint(int32_t start, int32_t step, int32_t i) {
        return int32_t(uint32_t(start) + uint32_t(i) * uint32_t(step));
    }

    // The upper knot of every grid point's interval, 0 outside the range.
    std::vector<int32_t> IntervalIndex(int32_t count, int32_t start, int32_t step) const {
        const int32_t n = static_cast<int32_t>(x_.size());
        std::vector<int32_t> index(count, 0);
        int32_t i = 0;
        while (i < count && GridPoint(start, step, i) < x_[0]) ++i;
        int32_t k = 0;
        for (; i < count; ++i) {
            const int32_t t = GridPoint(start, step, i);
            if (t > x_[n - 1]) break;
            while (k < n - 1 && !(x_[k] <= t && t < x_[k + 1])) ++k;
            if (k == n - 1) break;
            index[i] = k + 1;
        }
        return index;
    }

    std::vector<double> Evaluate(int32_t count, int32_t start, int32_t step) const {
        const std::vector<int32_t> index = IntervalIndex(count, start, step);
        std::vector<double> values(count, 0.0);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t t = GridPoint(start, step, i);
            const int32_t hi = index[i], lo = hi - 1;
            if (hi == 0) continue;  // 0.0 outside the range
            const double h = double(Sub(x_[hi], x_[lo]));
            const double a = double(Sub(x_[hi], t)) / h;
            const double b = double(Sub(t, x_[lo])) / h;
            values[i] = (b * y_[hi] + a * y_[lo]) +
                        h * h * ((a * a * a - a) * y2_[lo] + (b * b * b - b) * y2_[hi]) / 6.0;
        }
        return values;
    }

private:
    static int32_t Sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }

    std::vector<int32_t> x_;
    std::vector<double> y_;
    std::vector<double> y2_;
};

}  // namespace lumitra::test
