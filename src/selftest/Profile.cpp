#include "Profile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "Checksum.h"
#include "HostName.h"
#include "NumberForms.h"
#include "NumericReading.h"
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
  const auto value = numtext::ParseNumber(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
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

// What a profile's lines have given so far, and where.
struct Parsing {
  Profile profile;
  int number = 0;                      // the line being read
  std::map<std::string, int> keyLine;  // "section.key": the line that gave it
  std::array<int, 64> channelLine{};   // the line that gave each channel, 0 for none
  std::array<int, 64> dynamicLine{};   // the same in [dynamic]
  int lineSection = 0;                 // the line that opened [line], 0 for none
  bool identityOnly = false;
};

// Why a key's value is refused, or nothing when it is taken.
using Refusal = std::optional<std::string>;

// Gives `limits` to every channel of `range`, unless one of them has some already: then says
// which, and on which line.
template <typename Limits>
Refusal GiveRange(Parsing& p, std::pair<int, int> range, std::array<int, 64>& lines,
                  std::array<std::optional<Limits>, 64>& slots, const Limits& limits) {
  for (int ch = range.first; ch <= range.second; ++ch) {
    if (lines[ch - 1]) {
      return "channel " + std::to_string(ch) + " is already given on line " +
             std::to_string(lines[ch - 1]);
    }
    lines[ch - 1] = p.number;
    slots[ch - 1] = limits;
  }
  return std::nullopt;
}

Refusal CardKey(Parsing& p, const std::string& key, const std::string& value,
                const std::vector<std::string>& words) {
  static const std::map<std::string, std::pair<int, int>> kBytes = {
      {"type", {4, 255}}, {"speed", {2, 2550}}, {"resolution", {3, 255}}};
  if (key == "identity_only") {
    if (value != "yes" && value != "no") return "yes or no expected";
    p.identityOnly = value == "yes";
  } else if (key == "name") {
    const auto first = words.size() == 2 ? Whole(words[0], 0, 255) : std::nullopt;
    const auto second = words.size() == 2 ? Whole(words[1], 0, 255) : std::nullopt;
    if (!first || !second) return "two numbers 0 to 255 expected";
    p.profile.identity[0] = static_cast<uint8_t>(*first);
    p.profile.identity[1] = static_cast<uint8_t>(*second);
  } else if (auto byte = kBytes.find(key); byte != kBytes.end()) {
    const auto v = Whole(value, 0, byte->second.second);
    if (!v) return "a whole number 0 to " + std::to_string(byte->second.second) + " expected";
    if (key == "speed" && *v % 10 != 0) return "the speed is in tens of K";
    p.profile.identity[byte->second.first] = static_cast<uint8_t>(key == "speed" ? *v / 10 : *v);
  } else {
    return "unknown key";
  }
  return std::nullopt;
}

Refusal AcquisitionKey(Parsing& p, const std::string& key, const std::string& value,
                       const std::vector<std::string>&) {
  if (key == "blocks") {
    const auto v = Whole(value, 2, 1000);
    if (!v) return "a whole number 2 to 1000 expected";
    p.profile.blocks = *v;
  } else if (key == "rate_tolerance") {
    const auto v = Within(value, 0, 1);
    if (!v || *v <= 0 || *v >= 1) return "a fraction between 0 and 1 expected";
    p.profile.rateTolerance = *v;
  } else if (key == "timeout_s") {
    const auto v = Within(value, 0, 3600);
    if (!v || *v <= 0) return "a number of seconds above 0, at most 3600, expected";
    p.profile.timeoutSeconds = *v;
  } else {
    return "unknown key";
  }
  return std::nullopt;
}

// channels = level|* tolerance noise [minimum maximum]
Refusal ChannelsKey(Parsing& p, const std::string& key, const std::string&,
                    const std::vector<std::string>& words) {
  const auto range = ChannelRange(key);
  if (!range) return "a channel 1 to 64, or a range like 5-64, expected";
  if (words.size() != 3 && words.size() != 5) {
    return "level (or *), tolerance, noise and optionally minimum, maximum";
  }
  ChannelLimits limits;
  if (words[0] != "*") {
    const auto level = Within(words[0], -kMostVolts, kMostVolts);
    if (!level) return "the level '" + words[0] + "' is not a number of volts";
    limits.level = static_cast<float>(*level);
  }
  const auto tolerance = Within(words[1], 0, kMostVolts);
  const auto noise = Within(words[2], 0, kMostVolts);
  if (!tolerance) return "the tolerance is not a number of volts >= 0";
  if (!noise) return "the noise is not a number of volts >= 0";
  limits.tolerance = static_cast<float>(*tolerance);
  limits.noise = static_cast<float>(*noise);
  if (words.size() == 5) {
    const auto low = Within(words[3], -kMostVolts, kMostVolts);
    const auto high = Within(words[4], -kMostVolts, kMostVolts);
    if (!low || !high) return "the minimum and maximum must be numbers of volts";
    if (*low > *high) return "the minimum is above the maximum";
    limits.minimum = static_cast<float>(*low);
    limits.maximum = static_cast<float>(*high);
  }
  return GiveRange(p, *range, p.channelLine, p.profile.channels, limits);
}

// A dynamic line's tone: its frequency and tolerance, or "dc"; gives the word after it.
Refusal ToneOf(const std::vector<std::string>& words, DynamicLimits& limits, size_t& next) {
  next = 1;
  if (words.empty()) return "a frequency in Hz and its tolerance, or dc, expected first";
  if (words[0] == "dc") return std::nullopt;
  const auto hz = words.size() > 1 ? Within(words[0], 0, kMostHz) : std::nullopt;
  const auto tolerance = words.size() > 1 ? Within(words[1], 0, kMostHz) : std::nullopt;
  if (!hz || *hz <= 0 || !tolerance) {
    return "a frequency in Hz and its tolerance, or dc, expected first";
  }
  if (*hz >= acquisition::kChannelSampleRateHz / 2) {
    return "a tone at or above half a channel's sample rate (" +
           numtext::Fixed(acquisition::kChannelSampleRateHz / 2, 3) + " Hz) cannot be measured";
  }
  limits.frequencyHz = *hz;
  limits.frequencyTolerance = *tolerance;
  next = 2;
  return std::nullopt;
}

// The figures after the tone: any of snr, sinad, enob, thd, noise, each with its limit.
Refusal FiguresOf(const std::vector<std::string>& words, size_t next, DynamicLimits& limits) {
  if (next == words.size()) return "no figure to check";
  for (; next < words.size(); next += 2) {
    const std::string& figure = words[next];
    std::optional<double>* slot = figure == "snr"     ? &limits.minSnrDb
                                  : figure == "sinad" ? &limits.minSinadDb
                                  : figure == "enob"  ? &limits.minEnob
                                  : figure == "thd"   ? &limits.maxThdDb
                                  : figure == "noise" ? &limits.maxNoiseCodes
                                                      : nullptr;
    if (!slot) return "'" + figure + "' is not snr, sinad, enob, thd or noise";
    if (slot->has_value()) return figure + " is given twice";
    const auto v =
        next + 1 < words.size() ? Within(words[next + 1], -kMostDb, kMostDb) : std::nullopt;
    if (!v) return figure + " needs a number";
    if (figure != "thd" && *v < 0) return figure + " cannot be below 0";
    *slot = *v;
  }
  if (!limits.frequencyHz &&
      (limits.minSnrDb || limits.minSinadDb || limits.minEnob || limits.maxThdDb)) {
    return "a DC input has only its noise to check";
  }
  return std::nullopt;
}

// channels = frequency tolerance | dc, then any of: snr, sinad, enob, thd, noise
Refusal DynamicKey(Parsing& p, const std::string& key, const std::string&,
                   const std::vector<std::string>& words) {
  const auto range = ChannelRange(key);
  if (!range) return "a channel 1 to 64, or a range like 5-64, expected";
  DynamicLimits limits;
  size_t next = 1;
  if (auto refused = ToneOf(words, limits, next)) return refused;
  if (auto refused = FiguresOf(words, next, limits)) return refused;
  return GiveRange(p, *range, p.dynamicLine, p.profile.dynamic, limits);
}

Refusal StationKey(Parsing& p, const std::string& key, const std::string& value,
                   const std::vector<std::string>&) {
  if (key == "name") {
    if (value.empty()) return "a name expected";
    p.profile.station = value;
  } else if (key == "serial_pattern") {
    if (const auto problem = SerialPatternProblem(value)) {
      return "'" + value + "' is not a regular expression: " + *problem;
    }
    p.profile.serialPattern = value;
  } else {
    return "unknown key";
  }
  return std::nullopt;
}

// "same", "none", or pairs "output:input" of bits 0 to 15, separated by commas.
Refusal LoopbackOf(const std::string& value, std::array<int, 16>& loopback) {
  loopback.fill(-1);
  if (value == "same") {
    for (int bit = 0; bit < 16; ++bit) loopback[bit] = bit;
  } else if (value != "none") {
    for (const std::string& pair : Words(value, ',')) {
      const size_t colon = pair.find(':');
      const auto out = Whole(pair.substr(0, colon), 0, 15);
      const auto in =
          colon == std::string::npos ? std::nullopt : Whole(pair.substr(colon + 1), 0, 15);
      if (!out || !in) return "'" + pair + "' is not output:input, 0 to 15";
      loopback[*out] = *in;
    }
  }
  return std::nullopt;
}

Refusal DigitalKey(Parsing& p, const std::string& key, const std::string& value,
                   const std::vector<std::string>&) {
  if (key == "settle_ms") {
    const auto v = Whole(value, 0, 10000);
    if (!v) return "a whole number of milliseconds 0 to 10000 expected";
    p.profile.settleMs = *v;
    return std::nullopt;
  }
  if (key == "loopback") return LoopbackOf(value, p.profile.loopback);
  return "unknown key";
}

Refusal LineKey(Parsing& p, const std::string& key, const std::string& value,
                const std::vector<std::string>& words) {
  static const char* const kModes[] = {"disable", "allow",     "prefer",
                                       "require", "verify-ca", "verify-full"};
  LineSettings& line = p.profile.line ? *p.profile.line : p.profile.line.emplace();
  // An empty value would quietly stand for libpq's default: the key is left out for that.
  if (value.empty()) return "a value expected (leave the key out for libpq's default)";
  // Where libpq would read "a = b" out of a value, a station could be pointed anywhere.
  if (words.size() > 1 || value.find_first_of("'\\=") != std::string::npos) {
    return "one word without quotes, backslashes or '=' expected";
  }
  if (key == "host") {
    line.host = value;
  } else if (key == "port") {
    const auto port = Whole(value, 1, 65535);
    if (!port) return "a port 1 to 65535 expected";
    line.port = *port;
  } else if (key == "database") {
    line.database = value;
  } else if (key == "user") {
    line.user = value;
  } else if (key == "service") {
    line.service = value;
  } else if (key == "sslmode") {
    if (std::find_if(std::begin(kModes), std::end(kModes),
                     [&](const char* mode) { return value == mode; }) == std::end(kModes)) {
      return "disable, allow, prefer, require, verify-ca or verify-full expected";
    }
    line.sslmode = value;
  } else if (key == "password") {
    return "a password is never kept in a profile: give it in the PostgreSQL password file "
           "(~/.pgpass, mode 600) or a service file";
  } else {
    return "unknown key";
  }
  return std::nullopt;
}

// The sections a profile has, each with the reader of its keys. A key is given once, except
// in the channel sections, where a channel is given once.
struct Section {
  const char* name;
  Refusal (*read)(Parsing&, const std::string& key, const std::string& value,
                  const std::vector<std::string>& words);
  bool keysOnce;
};
constexpr Section kSections[] = {
    {"card", CardKey, true},          {"acquisition", AcquisitionKey, true},
    {"channels", ChannelsKey, false}, {"dynamic", DynamicKey, false},
    {"digital", DigitalKey, true},    {"station", StationKey, true},
    {"line", LineKey, true},
};

const Section* SectionNamed(const std::string& name) {
  for (const Section& section : kSections) {
    if (name == section.name) return &section;
  }
  return nullptr;
}

// A profile that checks nothing would pass any card.
bool ChecksSomething(const Parsing& p) {
  const auto given = [](const std::array<int, 64>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](int l) { return l; });
  };
  const auto& loopback = p.profile.loopback;
  const bool anyBit = p.keyLine.count("digital.loopback") &&
                      std::any_of(loopback.begin(), loopback.end(), [](int in) { return in >= 0; });
  return given(p.channelLine) || given(p.dynamicLine) || anyBit || p.identityOnly;
}

// One line of the file: a section's start, or a key of the current section; gives the key
// and why it is refused, or nothing.
std::optional<std::pair<std::string, std::string>> ReadLine(Parsing& p, std::string line,
                                                            const Section*& section) {
  line = Trim(line.substr(0, CommentStart(line)));
  if (line.empty()) return std::nullopt;
  if (line.front() == '[') {
    const std::string name = Trim(line.substr(1, line.find(']') - 1));
    section = SectionNamed(name);
    if (!section) return std::make_pair("[" + name + "]", std::string("unknown section"));
    if (name == "line" && !p.lineSection) p.lineSection = p.number;
    return std::nullopt;
  }
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return std::make_pair(line, std::string("no '='"));
  const std::string key = Trim(line.substr(0, equals));
  const std::string value = Trim(line.substr(equals + 1));
  if (!section || section->keysOnce) {
    const auto [seen, first] =
        p.keyLine.emplace(std::string(section ? section->name : "") + "." + key, p.number);
    if (!first) return std::make_pair(key, "already given on line " + std::to_string(seen->second));
  }
  if (!section) return std::make_pair(key, std::string("a key outside any section"));
  if (auto refused = section->read(p, key, value, Words(value)))
    return std::make_pair(key, *refused);
  return std::nullopt;
}

}  // namespace

base::Result<Profile> ParseProfile(const std::string& text, const std::string& name) {
  Parsing p;
  p.profile.name = name;
  p.profile.checksum = base::Checksum(text);
  for (int bit = 0; bit < 16; ++bit) p.profile.loopback[bit] = bit;
  std::istringstream lines(text);
  std::string line;
  const Section* section = nullptr;
  while (std::getline(lines, line)) {
    ++p.number;
    if (const auto refused = ReadLine(p, line, section)) {
      return Failure{
          Failure::Kind::ProfileRefused, name,
          "line " + std::to_string(p.number) + ", " + refused->first + ": " + refused->second};
    }
  }
  // A [line] without a key would send the runs nowhere said: a slip, not a choice.
  if (p.lineSection && !p.profile.line) {
    return Failure{Failure::Kind::ProfileRefused, name,
                   "line " + std::to_string(p.lineSection) +
                       ", [line]: an empty section: give its host (or service), or leave the "
                       "section out for a station without a line"};
  }
  if (!ChecksSomething(p)) {
    return Failure{Failure::Kind::ProfileRefused, name,
                   "checks no analog channel and no output bit: give [channels] or a [digital] "
                   "loopback, or say identity_only = yes in [card]"};
  }
  return p.profile;
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
