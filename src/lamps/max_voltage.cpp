#include "lamps/max_voltage.h"

#include "numeric/truncation.h"

namespace lumitra::lamps {

std::int32_t MaxVoltage(const double* values, std::int32_t count) noexcept {
    double maximum = -2147483648.0;
    for (std::int32_t i = 0; i < count; ++i)
        if (maximum < values[i]) maximum = values[i];
    return numeric::TruncateToInt32(maximum);
}

}  // namespace lumitra::lamps
