#pragma once
// Number formatting with std::to_chars, so that every platform prints the same digits.
// Non-finite values print as "inf", "-inf" and "NaN"; the signed forms write "+inf" for
// positive infinity and leave NaN unsigned. A negative zero keeps its sign ("-0", "-0.0").
#include <cstdint>
#include <string>

namespace ov::num {

// Shortest text that reads back exactly, never with an exponent, whole values without
// ".0": -16 -> "-16", -14.5 -> "-14.5", 1e21 -> "1000000000000000000000", 1e-7 -> "0.0000001".
std::string plain(double value);

// Fixed notation with `decimals` digits after the point ("{:.1}"), correctly rounded from
// the exact binary value (ties to even): -23.04 -> "-23.0", 99.96 -> "100.0".
std::string fixed(double value, int decimals);

// As fixed, always with a sign ("{:+.1}"): 0 -> "+0.0", -0.3 -> "-0.3".
std::string signed_fixed(double value, int decimals);

// As plain, always with a sign ("{:+}" of a float): 0.2 -> "+0.2", 0 -> "+0".
std::string signed_plain(double value);

// "{:+}" of a whole number: 3 -> "+3", 0 -> "+0", -3 -> "-3".
std::string signed_integer(std::int64_t value);

}  // namespace ov::num
