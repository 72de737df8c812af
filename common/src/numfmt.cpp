#include "ov/numfmt.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace ov::num {

namespace {

// Digits before the point of the largest double, plus sign and point.
constexpr std::size_t kIntegerPartRoom = 312;
constexpr int kMaxDecimals = 1100;  // beyond this every double has only trailing zeros

std::optional<std::string> non_finite(double value) {
    if (std::isnan(value)) return std::string("NaN");
    if (std::isinf(value)) return std::string(value < 0 ? "-inf" : "inf");
    return std::nullopt;
}

// "+" in front of everything that does not already carry a sign; NaN stays unsigned.
std::string with_sign(std::string text) {
    if (text.front() != '-' && text != "NaN") text.insert(text.begin(), '+');
    return text;
}

}  // namespace

std::string plain(double value) {
    if (auto text = non_finite(value)) return *text;
    // The shortest digits that read back exactly come from the scientific form; fixed
    // notation is then written by moving the point and padding with zeros (the fixed form
    // of to_chars would print every exact digit of a large value instead: 1.5e300 must
    // print as 15 followed by zeros).
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));

    const std::size_t exponent_at = scientific.find('e');
    std::string_view mantissa = scientific.substr(0, exponent_at);
    int exponent = 0;
    std::string_view exponent_text = scientific.substr(exponent_at + 1);
    if (!exponent_text.empty() && exponent_text.front() == '+') exponent_text.remove_prefix(1);
    std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

    std::string out;
    if (!mantissa.empty() && mantissa.front() == '-') {
        out.push_back('-');
        mantissa.remove_prefix(1);
    }
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits.push_back(c);

    const int integer_digits = exponent + 1;  // digits before the point
    const int digit_count = static_cast<int>(digits.size());
    if (integer_digits <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-integer_digits), '0');
        out += digits;
    } else if (integer_digits >= digit_count) {
        out += digits;
        out.append(static_cast<std::size_t>(integer_digits - digit_count), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(integer_digits));
        out.push_back('.');
        out.append(digits, static_cast<std::size_t>(integer_digits));
    }
    return out;
}

std::string fixed(double value, int decimals) {
    if (auto text = non_finite(value)) return *text;
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    std::string buffer(kIntegerPartRoom + static_cast<std::size_t>(decimals), '\0');
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    buffer.resize(static_cast<std::size_t>(result.ptr - buffer.data()));
    return buffer;
}

std::string signed_fixed(double value, int decimals) { return with_sign(fixed(value, decimals)); }

std::string signed_plain(double value) { return with_sign(plain(value)); }

std::string signed_integer(std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return with_sign(std::string(buffer, result.ptr));
}

}  // namespace ov::num
