#include "NumericReading.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace numtext {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Walks the text, stepping over blanks and tabs wherever they stand inside the number.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  char Peek() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  void Next() { ++pos_; }
  size_t Mark() const { return pos_; }
  void Rewind(size_t mark) { pos_ = mark; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

Reading ReadHex(Scanner& in) {
  Reading r;
  for (int d; (d = HexDigitValue(in.Peek())) >= 0; in.Next()) {
    r.value = r.value * 16 + d;
    r.hexBits = (r.hexBits << 4) | static_cast<uint64_t>(d);
  }
  return r;
}

// A decimal number whose exponent lies beyond what a double holds: decide between
// infinity and zero from the decimal position of its first significant digit.
double OutOfRange(bool negative, const std::string& whole, const std::string& fraction,
                  long long exponent) {
  long long magnitude;
  size_t firstWhole = whole.find_first_not_of('0');
  if (firstWhole != std::string::npos) {
    magnitude = static_cast<long long>(whole.size() - firstWhole) - 1 + exponent;
  } else {
    size_t firstFraction = fraction.find_first_not_of('0');
    if (firstFraction == std::string::npos) return negative ? -0.0 : 0.0;
    magnitude = -static_cast<long long>(firstFraction) - 1 + exponent;
  }
  double v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -v : v;
}

Reading ReadDecimal(Scanner& in) {
  bool negative = false;
  if (in.Peek() == '+' || in.Peek() == '-') {
    negative = in.Peek() == '-';
    in.Next();
  }
  std::string whole, fraction;
  for (; IsDigit(in.Peek()); in.Next()) whole += in.Peek();
  if (in.Peek() == '.') {
    in.Next();
    for (; IsDigit(in.Peek()); in.Next()) fraction += in.Peek();
  }
  if (whole.empty() && fraction.empty()) return {};

  // An exponent counts only when at least one digit follows the E and its sign.
  long long exponent = 0;
  if (in.Peek() == 'e' || in.Peek() == 'E') {
    size_t beforeE = in.Mark();
    in.Next();
    bool negativeExponent = false;
    if (in.Peek() == '+' || in.Peek() == '-') {
      negativeExponent = in.Peek() == '-';
      in.Next();
    }
    if (IsDigit(in.Peek())) {
      constexpr long long kCap = 1'000'000'000;  // far beyond any double; keeps the sum exact
      for (; IsDigit(in.Peek()); in.Next()) {
        if (exponent < kCap) exponent = exponent * 10 + (in.Peek() - '0');
      }
      if (negativeExponent) exponent = -exponent;
    } else {
      in.Rewind(beforeE);
    }
  }

  std::string normal = (whole.empty() ? "0" : whole) + "." + (fraction.empty() ? "0" : fraction) +
                       "e" + std::to_string(exponent);
  Reading r;
  auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), r.value);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    r.value = OutOfRange(negative, whole, fraction, exponent);
  } else if (negative) {
    r.value = -r.value;
  }
  return r;
}

}  // namespace

Reading ReadNumber(std::string_view text) {
  Scanner in(text);
  if (in.Peek() == '&') {
    size_t mark = in.Mark();
    in.Next();
    if (in.Peek() == 'H' || in.Peek() == 'h') {
      in.Next();
      return ReadHex(in);
    }
    in.Rewind(mark);
    return {};
  }
  return ReadDecimal(in);
}

std::optional<double> ParseNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // A second sign ("+-1") is no number; from_chars would take the minus.
  if (text.empty() || text[0] == '+' || text[0] == '-') return std::nullopt;
  auto format = std::chars_format::general;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    format = std::chars_format::hex;
    text.remove_prefix(2);
    if (text[0] == '+' || text[0] == '-') return std::nullopt;
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, format);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return negative ? -value : value;
}

std::optional<int16_t> RoundToInt16(double value) {
  double r = std::nearbyint(value);  // the default rounding mode sends halves to even
  if (!(r >= -32768.0 && r <= 32767.0)) return std::nullopt;
  return static_cast<int16_t>(r);
}

int16_t RoundToInt16Saturated(double value) {
  if (std::isnan(value)) return 0;
  if (auto r = RoundToInt16(value)) return *r;
  return value < 0 ? INT16_MIN : INT16_MAX;
}

}  // namespace numtext
