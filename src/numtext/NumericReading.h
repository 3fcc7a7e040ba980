// Reading numbers out of the text that an operator typed into a field, and out of files.
// Neither depends on the locale: the decimal mark is always a point.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace numtext {

struct Reading {
  // The number the text starts with; 0 when it starts with none, +-infinity when it is
  // too large for a double.
  double value = 0.0;
  // For an "&H" text only: its hexadecimal digits modulo 2^64, so that the low bits of a
  // text longer than a double can hold stay exact.
  uint64_t hexBits = 0;
};

// Leading blanks are skipped, then an optional sign, digits, fraction and exponent, with
// blanks and tabs inside the number skipped; "&H" reads the rest as hexadecimal digits.
// Reading stops at the first character that does not fit: "7abc" reads 7, "abc" reads 0.
Reading ReadNumber(std::string_view text);

inline double NumericValue(std::string_view text) {
  return ReadNumber(text).value;
}

// A whole text that is one number, as strtod reads it in the C locale: an optional sign,
// then decimal digits with a point and an exponent, "0x" and hexadecimal digits, "inf" or
// "nan". Empty when anything else is in the text (a comma, a blank, a unit) or when the
// number lies beyond a double's range either way.
std::optional<double> ParseNumber(std::string_view text);

// Nearest whole number, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4);
// empty when the result lies outside -32768..32767 or the value is not a number.
std::optional<int16_t> RoundToInt16(double value);

// The same rounding, with values beyond the 16-bit range pinned to its ends (NaN reads 0):
// for callers that clamp anyway and must not fail on huge input.
int16_t RoundToInt16Saturated(double value);

}  // namespace numtext
