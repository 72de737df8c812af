#pragma once
// CLAP parameters live in their own range (min to max); the host speaks normalized values.
#include <cstdint>

namespace ovhost::clap_values {

// The smallest range the host divides by, so that min = max still gives a defined value.
inline constexpr double kMinimumRange = 1e-12;

// clamp((plain - min) / max(range, 1e-12), 0, 1); NaN stays NaN.
double normalized_from_plain(double plain, double min_value, double max_value);

// x clamped to 0..1 (NaN counts as 0), then x * range + min; a stepped parameter is taken to
// the nearest integer, halves away from zero.
double plain_from_normalized(double normalized, double min_value, double max_value, bool stepped);

// The nearest integer to the range (halves away from zero), saturated to 32 bits.
std::int32_t step_count(double min_value, double max_value);

}  // namespace ovhost::clap_values
