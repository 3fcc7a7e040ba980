#include "NumberForms.h"

#include <charconv>

namespace numtext {
namespace {

template <typename T>
void AppendDigits(std::string& out, T value, int base = 10) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, base);
  (void)ec;  // the buffer holds any 64-bit value
  out.append(buf, end);
}

}  // namespace

void AppendSignedColumn(std::string& out, int32_t value) {
  if (value >= 0) out += ' ';
  AppendDigits(out, value);
}

std::string SignedColumn(int32_t value) {
  std::string s;
  AppendSignedColumn(s, value);
  return s;
}

void AppendPlainDecimal(std::string& out, int32_t value) {
  AppendDigits(out, value);
}

std::string PlainDecimal(int32_t value) {
  std::string s;
  AppendPlainDecimal(s, value);
  return s;
}

void AppendHex(std::string& out, int32_t value) {
  uint32_t pattern =
      value < 0 && value >= INT16_MIN ? static_cast<uint16_t>(value) : static_cast<uint32_t>(value);
  size_t start = out.size();
  AppendDigits(out, pattern, 16);
  for (size_t i = start; i < out.size(); ++i) {
    if (out[i] >= 'a' && out[i] <= 'f') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  }
}

std::string Hex(int32_t value) {
  std::string s;
  AppendHex(s, value);
  return s;
}

void AppendVolts(std::string& out, float volts, VoltPattern pattern) {
  char buf[64];
  auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, static_cast<double>(volts), std::chars_format::fixed, 3);
  if (ec != std::errc()) return;  // only a value beyond 1e60 volts could get here
  const char* begin = buf;
  bool negative = *begin == '-';
  if (negative) ++begin;
  bool allZero = true;
  for (const char* p = begin; p < end; ++p) allZero = allZero && (*p == '0' || *p == '.');
  if (negative && !allZero) out += '-';
  if (pattern == VoltPattern::NoIntegerZero && begin[0] == '0' && begin[1] == '.') ++begin;
  out.append(begin, static_cast<size_t>(end - begin));
}

std::string Volts(float volts, VoltPattern pattern) {
  std::string s;
  AppendVolts(s, volts, pattern);
  return s;
}

void AppendFixed(std::string& out, double value, int decimals) {
  // The largest double has 309 digits before the point.
  const size_t start = out.size();
  out.resize(start + 320 + static_cast<size_t>(decimals < 0 ? 0 : decimals));
  const auto [end, ec] = std::to_chars(out.data() + start, out.data() + out.size(), value,
                                       std::chars_format::fixed, decimals < 0 ? 6 : decimals);
  (void)ec;  // the room above holds every double
  out.resize(static_cast<size_t>(end - out.data()));
}

std::string Fixed(double value, int decimals) {
  std::string s;
  AppendFixed(s, value, decimals);
  return s;
}

std::string General(double value, int significant) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general,
                                       significant < 0    ? 6
                                       : significant > 40 ? 40
                                                          : significant);
  (void)ec;  // 40 digits, a sign, a point and a four-character exponent fit
  return std::string(buf, end);
}

}  // namespace numtext
