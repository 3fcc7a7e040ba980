#include "TriggerSetup.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "NumericReading.h"
#include "ShownInput.h"

namespace acquisition {
namespace {

using Cause = base::Failure::Cause;

struct Word {
  TriggerKind kind;
  const char* text;
};
constexpr Word kKindWords[] = {{TriggerKind::Rising, "rising"},
                               {TriggerKind::Falling, "falling"},
                               {TriggerKind::Either, "either"},
                               {TriggerKind::Enter, "enter"},
                               {TriggerKind::Leave, "leave"}};

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// ASCII letters only, whatever the locale.
std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A plain decimal number: digits, a point, a sign and an exponent; no "inf", "nan" or hex.
std::optional<double> Decimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (const char c : text) {
    if (!Digit(c) && c != '.' && c != '+' && c != '-' && c != 'e' && c != 'E') {
      return std::nullopt;
    }
  }
  const std::optional<double> value = numtext::ParseNumber(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

// A number followed by one of the units, each with its factor; the first unit is also
// taken when none is written.
struct Unit {
  const char* suffix;
  double factor;
};
std::optional<double> WithUnit(std::string_view text, std::initializer_list<Unit> units) {
  const std::string lower = Lower(Trimmed(text));
  std::string_view number = lower;
  double factor = units.begin()->factor;
  // The longest suffix first, so "ms" is not read as "s".
  size_t matched = 0;
  for (const Unit& unit : units) {
    const std::string_view suffix = unit.suffix;
    if (suffix.size() > matched && EndsWith(lower, suffix)) {
      matched = suffix.size();
      factor = unit.factor;
    }
  }
  number.remove_suffix(matched);
  const std::optional<double> value = Decimal(Trimmed(number));
  if (!value) return std::nullopt;
  return *value * factor;
}

std::optional<double> Volts(std::string_view text) {
  return WithUnit(text, {{"v", 1.0}, {"mv", 1e-3}});
}

std::vector<std::string_view> Split(std::string_view text, char mark) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(mark);
    parts.push_back(Trimmed(text.substr(0, at)));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// The refusals of one text: what was typed, shown safe, and the part refused.
class Refusal {
 public:
  explicit Refusal(std::string_view text) : subject_(base::ShownInput(text)) {}
  base::Failure operator()(Cause cause, std::string_view part) const {
    return base::Failure{base::Failure::Kind::TriggerRefused, subject_, base::ShownInput(part),
                         cause};
  }

 private:
  std::string subject_;
};

// "ch5", "CH5" or "5": the channel's number as the window shows it (1 to 64 are channels).
std::optional<int> ChannelNumber(std::string_view text) {
  std::string lower = Lower(text);
  if (lower.compare(0, 2, "ch") == 0) lower.erase(0, 2);
  if (lower.empty() || lower.size() > 3) return std::nullopt;
  int number = 0;
  for (const char c : lower) {
    if (!Digit(c)) return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

bool InRange(double volts) {
  return volts >= -kTriggerMostVolts && volts <= kTriggerMostVolts;
}

// Whether the trigger can ever arm: the band it arms in lies within the input's range and,
// for a window, the hysteresis leaves room inside it.
bool CanArm(const TriggerSetup& s) {
  const double h = s.hysteresisVolts;
  switch (s.kind) {
    case TriggerKind::Rising:
      return s.levelVolts - h >= -kTriggerMostVolts;
    case TriggerKind::Falling:
      return s.levelVolts + h <= kTriggerMostVolts;
    case TriggerKind::Either:
      return s.levelVolts - h >= -kTriggerMostVolts || s.levelVolts + h <= kTriggerMostVolts;
    case TriggerKind::Enter:
      return 2 * h < s.highVolts - s.lowVolts &&
             (s.lowVolts - h >= -kTriggerMostVolts || s.highVolts + h <= kTriggerMostVolts);
    case TriggerKind::Leave:
      return 2 * h < s.highVolts - s.lowVolts;
  }
  return false;
}

// The condition's level or window into `setup`.
std::optional<base::Failure> ReadCondition(std::string_view text, TriggerSetup& setup,
                                           const Refusal& refused) {
  if (setup.kind == TriggerKind::Enter || setup.kind == TriggerKind::Leave) {
    const size_t dots = text.find("..");
    if (dots == std::string_view::npos) return refused(Cause::TriggerUnreadable, text);
    const std::optional<double> low = Volts(text.substr(0, dots));
    const std::optional<double> high = Volts(text.substr(dots + 2));
    if (!low || !high) return refused(Cause::TriggerUnreadable, text);
    if (!InRange(*low) || !InRange(*high)) return refused(Cause::TriggerLevelOutOfRange, text);
    if (*low >= *high) return refused(Cause::TriggerWindowEmpty, text);
    setup.lowVolts = *low;
    setup.highVolts = *high;
    return std::nullopt;
  }
  const std::optional<double> level = Volts(text);
  if (!level) return refused(Cause::TriggerUnreadable, text);
  if (!InRange(*level)) return refused(Cause::TriggerLevelOutOfRange, text);
  setup.levelVolts = *level;
  return std::nullopt;
}

// One "key=value" after the condition; each key at most once.
std::optional<base::Failure> ReadOption(std::string_view text, TriggerSetup& setup,
                                        std::vector<std::string>& seen, const Refusal& refused) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) return refused(Cause::TriggerUnreadable, text);
  const std::string key = Lower(Trimmed(text.substr(0, equals)));
  const std::string_view value = text.substr(equals + 1);
  for (const std::string& k : seen) {
    if (k == key) return refused(Cause::TriggerUnreadable, text);
  }
  seen.push_back(key);
  if (key == "hyst") {
    const std::optional<double> volts = Volts(value);
    if (!volts || *volts < 0) return refused(Cause::TriggerUnreadable, text);
    setup.hysteresisVolts = *volts;
  } else if (key == "holdoff") {
    const std::optional<double> seconds = ParseTriggerSeconds(value);
    if (!seconds) return refused(Cause::TriggerUnreadable, text);
    if (*seconds < 0) return refused(Cause::TriggerTimeNotPositive, text);
    setup.holdoffSeconds = *seconds;
  } else {
    return refused(Cause::TriggerUnreadable, text);
  }
  return std::nullopt;
}

// The pre or post time as typed into `seconds`; empty text keeps the default.
std::optional<base::Failure> ReadSpan(std::string_view text, double& seconds, double most,
                                      const Refusal& refused) {
  if (Trimmed(text).empty()) return std::nullopt;
  const std::optional<double> value = ParseTriggerSeconds(text);
  if (!value) return refused(Cause::TriggerUnreadable, text);
  if (*value <= 0) return refused(Cause::TriggerTimeNotPositive, text);
  if (*value > most) return refused(Cause::TriggerPreTooLong, text);
  seconds = *value;
  return std::nullopt;
}

}  // namespace

std::optional<double> ParseTriggerSeconds(std::string_view text) {
  return WithUnit(text, {{"s", 1.0}, {"ms", 1e-3}, {"us", 1e-6}});
}

const char* TriggerKindWord(TriggerKind kind) {
  for (const Word& word : kKindWords) {
    if (word.kind == kind) return word.text;
  }
  return "";
}

base::Result<TriggerSetup> ParseTriggerSetup(std::string_view text, std::string_view pre,
                                             std::string_view post) {
  const Refusal refused(text);
  const std::vector<std::string_view> parts = Split(text, ',');
  if (parts.size() < 3) return refused(Cause::TriggerUnreadable, text);
  TriggerSetup setup;
  const std::optional<int> channel = ChannelNumber(parts[0]);
  if (!channel || *channel < 1 || *channel > kTriggerChannels)
    return refused(Cause::TriggerChannelUnknown, parts[0]);
  setup.channel = *channel - 1;
  const std::string kindWord = Lower(parts[1]);
  bool known = false;
  for (const Word& word : kKindWords) {
    if (kindWord == word.text) {
      setup.kind = word.kind;
      known = true;
    }
  }
  if (!known) return refused(Cause::TriggerUnreadable, parts[1]);
  if (auto failure = ReadCondition(parts[2], setup, refused)) return *failure;
  std::vector<std::string> seen;
  for (size_t i = 3; i < parts.size(); ++i) {
    if (auto failure = ReadOption(parts[i], setup, seen, refused)) return *failure;
  }
  if (!CanArm(setup)) return refused(Cause::TriggerHysteresisTooLarge, text);
  if (auto failure = ReadSpan(pre, setup.preSeconds, kTriggerMostPreSeconds, refused))
    return *failure;
  if (auto failure =
          ReadSpan(post, setup.postSeconds, std::numeric_limits<double>::infinity(), refused))
    return *failure;
  return setup;
}

}  // namespace acquisition
