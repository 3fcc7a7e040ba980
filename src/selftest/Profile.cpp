#include "Profile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "Checksum.h"
#include "HostName.h"
#include "SerialPattern.h"
#include "StartStop.h"

namespace selftest {

using base::Failure;

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A comment starts with ; or # at the line's start or after a space or tab, so a value
// holds either character when it does not follow a blank ("KZB#[0-9]+").
size_t CommentStart(const std::string& line) {
  for (size_t at = line.find_first_of(";#"); at != std::string::npos;
       at = line.find_first_of(";#", at + 1)) {
    if (line.find_first_not_of(" \t") == at || line[at - 1] == ' ' || line[at - 1] == '\t') {
      return at;
    }
  }
  return std::string::npos;
}

std::vector<std::string> Words(const std::string& text, char extraSeparator = ' ') {
  std::vector<std::string> words;
  std::string word;
  for (char c : text + ' ') {
    if (c == ' ' || c == '\t' || c == extraSeparator) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

// A finite whole number or decimal, nothing after it: "nan", "inf" and "1e999" are refused,
// so no limit can be one that every value passes.
std::optional<double> Number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// A number within low..high; the range is checked before anything is converted.
std::optional<double> Within(const std::string& text, double low, double high) {
  const auto value = Number(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::optional<int> Whole(const std::string& text, int low, int high) {
  const auto value = Within(text, low, high);
  if (!value || *value != std::floor(*value)) return std::nullopt;
  return static_cast<int>(*value);
}

// A profile is a few lines; anything larger is not one.
constexpr size_t kMostProfileBytes = 1 << 20;

// Volts a channel's limits may name: the card's range, with room to spare.
constexpr double kMostVolts = 10;
// A frequency below the sample rate, and decibels a 16-bit figure could reach.
constexpr double kMostHz = 100000;
constexpr double kMostDb = 300;

// "5" or "5-64", channels counted from 1.
std::optional<std::pair<int, int>> ChannelRange(const std::string& key) {
  const size_t dash = key.find('-');
  const auto first = Whole(key.substr(0, dash), 1, 64);
  const auto last = dash == std::string::npos ? first : Whole(key.substr(dash + 1), 1, 64);
  if (!first || !last || *first > *last) return std::nullopt;
  return std::make_pair(*first, *last);
}

}  // namespace

base::Result<Profile> ParseProfile(const std::string& text, const std::string& name) {
  Profile profile;
  profile.name = name;
  profile.checksum = base::Checksum(text);
  for (int bit = 0; bit < 16; ++bit) profile.loopback[bit] = bit;

  std::istringstream lines(text);
  std::string line, section;
  int number = 0;
  std::map<std::string, int> keyLine;  // "section.key": the line that gave it
  std::array<int, 64> channelLine{};   // the line that gave each channel, 0 for none
  std::array<int, 64> dynamicLine{};   // the same in [dynamic]
  bool identityOnly = false;
  // Gives `limits` to every channel of `range`, unless one of them has some already: then
  // says which, and on which line.
  const auto giveRange = [&](std::pair<int, int> range, std::array<int, 64>& lines, auto& slots,
                             const auto& limits) -> std::optional<std::string> {
    for (int ch = range.first; ch <= range.second; ++ch) {
      if (lines[ch - 1]) {
        return "channel " + std::to_string(ch) + " is already given on line " +
               std::to_string(lines[ch - 1]);
      }
      lines[ch - 1] = number;
      slots[ch - 1] = limits;
    }
    return std::nullopt;
  };
  auto refuse = [&](const std::string& key, const std::string& why) -> base::Result<Profile> {
    return Failure{Failure::Kind::ProfileRefused, name,
                   "line " + std::to_string(number) + ", " + key + ": " + why};
  };
  while (std::getline(lines, line)) {
    ++number;
    line = Trim(line.substr(0, CommentStart(line)));
    if (line.empty()) continue;
    if (line.front() == '[') {
      section = Trim(line.substr(1, line.find(']') - 1));
      if (section != "card" && section != "acquisition" && section != "channels" &&
          section != "dynamic" && section != "digital" && section != "station") {
        return refuse("[" + section + "]", "unknown section");
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return refuse(line, "no '='");
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    const std::vector<std::string> words = Words(value);
    if (section != "channels" && section != "dynamic") {
      const auto [seen, first] = keyLine.emplace(section + "." + key, number);
      if (!first) return refuse(key, "already given on line " + std::to_string(seen->second));
    }

    if (section == "card") {
      static const std::map<std::string, std::pair<int, int>> kBytes = {
          {"type", {4, 255}}, {"speed", {2, 2550}}, {"resolution", {3, 255}}};
      if (key == "identity_only") {
        if (value != "yes" && value != "no") return refuse(key, "yes or no expected");
        identityOnly = value == "yes";
      } else if (key == "name") {
        const auto first = words.size() == 2 ? Whole(words[0], 0, 255) : std::nullopt;
        const auto second = words.size() == 2 ? Whole(words[1], 0, 255) : std::nullopt;
        if (!first || !second) return refuse(key, "two numbers 0 to 255 expected");
        profile.identity[0] = static_cast<uint8_t>(*first);
        profile.identity[1] = static_cast<uint8_t>(*second);
      } else if (auto byte = kBytes.find(key); byte != kBytes.end()) {
        const auto v = Whole(value, 0, byte->second.second);
        if (!v)
          return refuse(key,
                        "a whole number 0 to " + std::to_string(byte->second.second) + " expected");
        if (key == "speed" && *v % 10 != 0) return refuse(key, "the speed is in tens of K");
        profile.identity[byte->second.first] = static_cast<uint8_t>(key == "speed" ? *v / 10 : *v);
      } else {
        return refuse(key, "unknown key");
      }
    } else if (section == "acquisition") {
      if (key == "blocks") {
        const auto v = Whole(value, 2, 1000);
        if (!v) return refuse(key, "a whole number 2 to 1000 expected");
        profile.blocks = *v;
      } else if (key == "rate_tolerance") {
        const auto v = Within(value, 0, 1);
        if (!v || *v <= 0 || *v >= 1) return refuse(key, "a fraction between 0 and 1 expected");
        profile.rateTolerance = *v;
      } else if (key == "timeout_s") {
        const auto v = Within(value, 0, 3600);
        if (!v || *v <= 0)
          return refuse(key, "a number of seconds above 0, at most 3600, expected");
        profile.timeoutSeconds = *v;
      } else {
        return refuse(key, "unknown key");
      }
    } else if (section == "channels") {
      // channels = level|* tolerance noise [minimum maximum]
      const auto range = ChannelRange(key);
      if (!range) return refuse(key, "a channel 1 to 64, or a range like 5-64, expected");
      if (words.size() != 3 && words.size() != 5) {
        return refuse(key, "level (or *), tolerance, noise and optionally minimum, maximum");
      }
      ChannelLimits limits;
      if (words[0] != "*") {
        const auto level = Within(words[0], -kMostVolts, kMostVolts);
        if (!level) return refuse(key, "the level '" + words[0] + "' is not a number of volts");
        limits.level = static_cast<float>(*level);
      }
      const auto tolerance = Within(words[1], 0, kMostVolts);
      const auto noise = Within(words[2], 0, kMostVolts);
      if (!tolerance) return refuse(key, "the tolerance is not a number of volts >= 0");
      if (!noise) return refuse(key, "the noise is not a number of volts >= 0");
      limits.tolerance = static_cast<float>(*tolerance);
      limits.noise = static_cast<float>(*noise);
      if (words.size() == 5) {
        const auto low = Within(words[3], -kMostVolts, kMostVolts);
        const auto high = Within(words[4], -kMostVolts, kMostVolts);
        if (!low || !high) return refuse(key, "the minimum and maximum must be numbers of volts");
        if (*low > *high) return refuse(key, "the minimum is above the maximum");
        limits.minimum = static_cast<float>(*low);
        limits.maximum = static_cast<float>(*high);
      }
      if (auto taken = giveRange(*range, channelLine, profile.channels, limits)) {
        return refuse(key, *taken);
      }
    } else if (section == "dynamic") {
      // channels = frequency tolerance | dc, then any of: snr, sinad, enob, thd, noise
      const auto range = ChannelRange(key);
      if (!range) return refuse(key, "a channel 1 to 64, or a range like 5-64, expected");
      DynamicLimits limits;
      size_t next = 1;
      if (!words.empty() && words[0] != "dc") {
        const auto hz = words.size() > 1 ? Within(words[0], 0, kMostHz) : std::nullopt;
        const auto tolerance = words.size() > 1 ? Within(words[1], 0, kMostHz) : std::nullopt;
        if (!hz || *hz <= 0 || !tolerance) {
          return refuse(key, "a frequency in Hz and its tolerance, or dc, expected first");
        }
        if (*hz >= acquisition::kChannelSampleRateHz / 2) {
          char half[32];
          std::snprintf(half, sizeof half, "%.3f", acquisition::kChannelSampleRateHz / 2);
          return refuse(key, "a tone at or above half a channel's sample rate (" +
                                 std::string(half) + " Hz) cannot be measured");
        }
        limits.frequencyHz = *hz;
        limits.frequencyTolerance = *tolerance;
        next = 2;
      } else if (words.empty()) {
        return refuse(key, "a frequency in Hz and its tolerance, or dc, expected first");
      }
      if (next == words.size()) return refuse(key, "no figure to check");
      for (; next < words.size(); next += 2) {
        const std::string& figure = words[next];
        std::optional<double>* slot = figure == "snr"     ? &limits.minSnrDb
                                      : figure == "sinad" ? &limits.minSinadDb
                                      : figure == "enob"  ? &limits.minEnob
                                      : figure == "thd"   ? &limits.maxThdDb
                                      : figure == "noise" ? &limits.maxNoiseCodes
                                                          : nullptr;
        if (!slot) return refuse(key, "'" + figure + "' is not snr, sinad, enob, thd or noise");
        if (slot->has_value()) return refuse(key, figure + " is given twice");
        const auto v =
            next + 1 < words.size() ? Within(words[next + 1], -kMostDb, kMostDb) : std::nullopt;
        if (!v) return refuse(key, figure + " needs a number");
        if (figure != "thd" && *v < 0) return refuse(key, figure + " cannot be below 0");
        *slot = *v;
      }
      if (!limits.frequencyHz &&
          (limits.minSnrDb || limits.minSinadDb || limits.minEnob || limits.maxThdDb)) {
        return refuse(key, "a DC input has only its noise to check");
      }
      if (auto taken = giveRange(*range, dynamicLine, profile.dynamic, limits)) {
        return refuse(key, *taken);
      }
    } else if (section == "station") {
      if (key == "name") {
        if (value.empty()) return refuse(key, "a name expected");
        profile.station = value;
      } else if (key == "serial_pattern") {
        if (const auto problem = SerialPatternProblem(value)) {
          return refuse(key, "'" + value + "' is not a regular expression: " + *problem);
        }
        profile.serialPattern = value;
      } else {
        return refuse(key, "unknown key");
      }
    } else if (section == "digital") {
      if (key == "settle_ms") {
        const auto v = Whole(value, 0, 10000);
        if (!v) return refuse(key, "a whole number of milliseconds 0 to 10000 expected");
        profile.settleMs = *v;
      } else if (key == "loopback") {
        // "same", "none", or pairs "output:input" of bits 0 to 15, separated by commas.
        profile.loopback.fill(-1);
        if (value == "same") {
          for (int bit = 0; bit < 16; ++bit) profile.loopback[bit] = bit;
        } else if (value != "none") {
          for (const std::string& pair : Words(value, ',')) {
            const size_t colon = pair.find(':');
            const auto out = Whole(pair.substr(0, colon), 0, 15);
            const auto in =
                colon == std::string::npos ? std::nullopt : Whole(pair.substr(colon + 1), 0, 15);
            if (!out || !in) return refuse(key, "'" + pair + "' is not output:input, 0 to 15");
            profile.loopback[*out] = *in;
          }
        }
      } else {
        return refuse(key, "unknown key");
      }
    } else {
      return refuse(key, "a key outside any section");
    }
  }
  // A profile that checks nothing would pass any card.
  const auto given = [](const std::array<int, 64>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](int l) { return l; });
  };
  const bool anyChannel = given(channelLine) || given(dynamicLine);
  const bool anyBit =
      keyLine.count("digital.loopback") &&
      std::any_of(profile.loopback.begin(), profile.loopback.end(), [](int in) { return in >= 0; });
  if (!anyChannel && !anyBit && !identityOnly) {
    return Failure{Failure::Kind::ProfileRefused, name,
                   "checks no analog channel and no output bit: give [channels] or a [digital] "
                   "loopback, or say identity_only = yes in [card]"};
  }
  return profile;
}

std::string StationName(const Profile& profile) {
  return profile.station.empty() ? base::HostName() : profile.station;
}

base::Result<Profile> LoadProfile(const std::string& path) {
  namespace fs = std::filesystem;
  // The name is UTF-8: on Windows it is opened by its wide form, not the code page's.
  const fs::path file(std::u8string(path.begin(), path.end()));
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (error || !fs::exists(status))
    return Failure{Failure::Kind::ProfileRefused, path, "cannot be read"};
  // Only a regular file is read: a FIFO would wait for a writer, a device never end.
  if (!fs::is_regular_file(status)) {
    return Failure{Failure::Kind::ProfileRefused, path, "not a regular file"};
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return Failure{Failure::Kind::ProfileRefused, path, "cannot be read"};
  std::string text(kMostProfileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMostProfileBytes) {
    return Failure{Failure::Kind::ProfileRefused, path, "larger than 1 MiB: not a profile"};
  }
  return ParseProfile(text, path);
}

}  // namespace selftest
