#include "RecordingLimits.h"

#include <charconv>
#include <cmath>

namespace recording {
namespace {

// A number at the start of `text`, taken off it.
std::optional<double> TakeNumber(std::string_view& text) {
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end == text.data() || !std::isfinite(value) || value < 0) {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return value;
}

}  // namespace

std::optional<double> ParseDuration(std::string_view text) {
  if (text.empty()) return std::nullopt;
  double seconds = 0;
  std::string_view units = "hms";  // each at most once, in this order
  while (!text.empty()) {
    const auto number = TakeNumber(text);
    if (!number) return std::nullopt;
    if (text.empty()) {
      if (units != "hms") return std::nullopt;  // "1h30" means nothing sure
      seconds = *number;
      break;
    }
    const size_t at = units.find(text.front());
    if (at == std::string_view::npos) return std::nullopt;
    seconds += *number * (units[at] == 'h' ? 3600 : units[at] == 'm' ? 60 : 1);
    units.remove_prefix(at + 1);
    text.remove_prefix(1);
  }
  if (seconds <= 0) return std::nullopt;
  return seconds;
}

std::optional<uint64_t> ParseSize(std::string_view text) {
  const auto number = TakeNumber(text);
  if (!number) return std::nullopt;
  double factor = 1;
  if (text.size() == 1 || (text.size() == 2 && (text[1] == 'B' || text[1] == 'b'))) {
    constexpr std::string_view units = "KMGT";
    const size_t at = units.find(static_cast<char>(text[0] & ~0x20));
    if (at == std::string_view::npos) return std::nullopt;
    factor = std::pow(1024.0, static_cast<double>(at + 1));
  } else if (!text.empty()) {
    return std::nullopt;
  }
  const double bytes = std::floor(*number * factor);
  if (bytes < 1 || bytes > 9e18) return std::nullopt;
  return static_cast<uint64_t>(bytes);
}

}  // namespace recording
