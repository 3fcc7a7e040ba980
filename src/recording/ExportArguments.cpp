#include "ExportArguments.h"

#include <charconv>
#include <cmath>

#include "RecordFormat.h"
#include "RecordingLimits.h"

namespace recording {
namespace {

// `digits` digits at the start of `text`, taken off it.
std::optional<int> TakeDigits(std::string_view& text, size_t digits) {
  if (text.size() < digits) return std::nullopt;
  int value = 0;
  for (size_t i = 0; i < digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  text.remove_prefix(digits);
  return value;
}

bool Take(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// Days since 1970-01-01 of a civil date.
int64_t DaysOf(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::optional<int64_t> ParseMoment(std::string_view text) {
  const auto year = TakeDigits(text, 4);
  if (!year || !Take(text, '-')) return std::nullopt;
  const auto month = TakeDigits(text, 2);
  if (!month || !Take(text, '-')) return std::nullopt;
  const auto day = TakeDigits(text, 2);
  if (!day || !(Take(text, 'T') || Take(text, ' '))) return std::nullopt;
  const auto hour = TakeDigits(text, 2);
  if (!hour || !Take(text, ':')) return std::nullopt;
  const auto minute = TakeDigits(text, 2);
  if (!minute || !Take(text, ':')) return std::nullopt;
  const auto second = TakeDigits(text, 2);
  if (!second) return std::nullopt;
  const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (*month < 1 || *month > 12 || *day < 1 || *day > monthDays[*month - 1] || *hour > 23 ||
      *minute > 59 || *second > 59) {
    return std::nullopt;
  }
  int64_t micros = 0;
  if (Take(text, '.')) {
    int64_t scale = 100000;
    size_t digits = 0;
    while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
      if (++digits > 6) return std::nullopt;
      micros += (text.front() - '0') * scale;
      scale /= 10;
      text.remove_prefix(1);
    }
    if (digits == 0) return std::nullopt;
  }
  int64_t offsetSeconds = 0;
  if (!Take(text, 'Z')) {
    Take(text, ' ');
    const bool east = Take(text, '+');
    if (!east && !Take(text, '-')) return std::nullopt;
    const auto hours = TakeDigits(text, 2);
    Take(text, ':');
    const auto minutes = TakeDigits(text, 2);
    if (!hours || !minutes || *hours > 14 || *minutes > 59) return std::nullopt;
    offsetSeconds = (east ? 1 : -1) * (*hours * 3600 + *minutes * 60);
  }
  if (!text.empty()) return std::nullopt;
  const int64_t seconds =
      DaysOf(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second - offsetSeconds;
  return seconds * 1'000'000 + micros;
}

}  // namespace

std::optional<int64_t> ParseExportTime(std::string_view text, int64_t startUtcMicros) {
  if (text.find('-') != std::string_view::npos || text.find(':') != std::string_view::npos)
    return ParseMoment(text);
  double zero = 1;  // a span that starts at the start: "0", "0.000", "0s"
  const std::string_view number = text.ends_with('s') ? text.substr(0, text.size() - 1) : text;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), zero, std::chars_format::fixed);
  if (error == std::errc() && end == number.data() + number.size() && zero == 0 &&
      !number.empty() && number.front() != '-')
    return startUtcMicros;
  const auto seconds = ParseDuration(text);
  if (!seconds || *seconds > 1e9) return std::nullopt;
  return startUtcMicros + std::llround(*seconds * 1e6);
}

std::optional<std::vector<int>> ParseChannelList(std::string_view text) {
  std::vector<int> channels;
  std::vector<bool> taken(kChannels, false);
  while (true) {
    const size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    const auto number = [&item]() -> std::optional<int> {
      int value = 0;
      const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
      if (error != std::errc() || end == item.data() || value < 1 || value > kChannels)
        return std::nullopt;
      item.remove_prefix(static_cast<size_t>(end - item.data()));
      return value;
    };
    const auto first = number();
    if (!first) return std::nullopt;
    int last = *first;
    if (Take(item, '-')) {
      const auto to = number();
      if (!to || *to < *first) return std::nullopt;
      last = *to;
    }
    if (!item.empty()) return std::nullopt;
    for (int c = *first; c <= last; ++c) {
      if (taken[c - 1]) return std::nullopt;
      taken[c - 1] = true;
      channels.push_back(c - 1);
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return channels;
}

}  // namespace recording
