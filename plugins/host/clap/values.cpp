#include "clap/values.h"

#include <cmath>
#include <limits>

namespace ovhost::clap_values {

double normalized_from_plain(double plain, double min_value, double max_value) {
    const double range = max_value - min_value;
    const double divisor = range > kMinimumRange ? range : kMinimumRange;
    const double value = (plain - min_value) / divisor;
    if (value < 0.0) return 0.0;
    if (value > 1.0) return 1.0;
    return value;  // NaN passes through, and is shown as null
}

double plain_from_normalized(double normalized, double min_value, double max_value, bool stepped) {
    // Written this way round so that NaN clamps to 0 as well.
    const double x = normalized > 0.0 ? (normalized < 1.0 ? normalized : 1.0) : 0.0;
    const double plain = x * (max_value - min_value) + min_value;
    return stepped ? std::round(plain) : plain;
}

std::int32_t step_count(double min_value, double max_value) {
    const double steps = std::round(max_value - min_value);
    if (std::isnan(steps)) return 0;
    if (steps >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (steps <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(steps);
}

}  // namespace ovhost::clap_values
