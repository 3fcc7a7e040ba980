#include "ProductionCheck.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "AdcFigures.h"
#include "BlockPolling.h"
#include "CardIdentity.h"
#include "ChannelValues.h"
#include "DigitalInput.h"
#include "DigitalOutput.h"
#include "DllDef.h"
#include "LossWatch.h"
#include "StartStop.h"

namespace selftest {

namespace {

std::string Format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string Volts(double volts) {
  return Format("%.4f V", volts);
}

Check Named(const char* name) {
  Check check;
  check.name = name;
  return check;
}

// Adds a measurement held to [low, high] (either may be open); says whether it is within.
// A figure that came out as no number (NaN, infinite) was not measured and fails.
bool Measure(Check& check, std::string name, double value, const char* unit,
             std::optional<double> low, std::optional<double> high) {
  const std::optional<double> measured = std::isfinite(value) ? std::optional(value) : std::nullopt;
  const bool within = measured && (!low || *measured >= *low) && (!high || *measured <= *high);
  check.measurements.push_back({std::move(name), measured, unit, low, high, within});
  return within;
}

struct ChannelFigures {
  double sum = 0, squares = 0;
  float minimum = 1e9f, maximum = -1e9f;
  long count = 0;
  double mean() const { return count ? sum / count : 0; }
  double noise() const {
    const double m = mean();
    return count ? std::sqrt(std::max(0.0, squares / count - m * m)) : 0;
  }
};

Check IdentityCheck(DllDef& dll, const Profile& profile, std::string& line) {
  Check check = Named("identity");
  const auto identity = card::RequestIdentity(dll);
  if (!identity) {
    check.detail = identity.failure().reason;
    return check;
  }
  line = identity.value();
  check.measured = line;
  check.limits = card::IdentityLine(profile.identity.data());
  check.passed = std::equal(profile.identity.begin(), profile.identity.end(), dll.IoctlOut.begin());
  if (!check.passed) check.detail = "the card answers as another card";
  return check;
}

// Acquires the profile's number of blocks and keeps every channel's figures.
Check AcquisitionCheck(DllDef& dll, const Profile& profile, const Clock& clock,
                       const std::atomic<bool>& interrupted,
                       std::array<ChannelFigures, 64>& figures,
                       std::array<std::vector<float>, 64>& records) {
  Check check = Named("acquisition");
  const auto started = acquisition::StartAcquisition(dll);
  if (!started) {
    check.detail = started.failure().subject + ": " + started.failure().reason;
    return check;
  }
  if (!started.value().started) {
    check.detail =
        "the start was refused: " + acquisition::RefusalText(started.value().errorNumber);
    return check;
  }
  const int blockCells = dll.ChannelCount * dll.PointsPerChannel;
  const double nominalRate = static_cast<double>(dll.IntrArg5) / blockCells;  // blocks a second
  check.limits = std::to_string(profile.blocks) + " blocks, " + Format("%.3f", nominalRate) +
                 " blocks/s " + Format("+-%.0f%%", profile.rateTolerance * 100);
  const double start = clock.nowSeconds();
  double first = 0, last = 0;
  int received = 0;
  acquisition::LossWatch losses;
  losses.Begin(acquisition::BlockPeriodSeconds(dll));
  while (received < profile.blocks && !interrupted) {
    const double polled = clock.nowSeconds();
    if (polled - start > profile.timeoutSeconds) break;
    const auto waiting = card::Attempt(dll.library(), [&] { return dll.QueryBuf(); });
    const double answered = clock.nowSeconds();
    if (!waiting) {
      check.detail = waiting.failure().subject + ": " + waiting.failure().reason;
      return check;
    }
    losses.Account(polled, answered, waiting.value());
    for (int k = 0; k < waiting.value() && received < profile.blocks; ++k) {
      const auto fetched = card::Attempt([&] { return acquisition::FetchBlock(dll); });
      if (!fetched || fetched.value().status != 1) {
        check.detail =
            "block " + std::to_string(received + 1) + " was fetched with status " +
            (fetched ? std::to_string(fetched.value().status) : fetched.failure().reason);
        return check;
      }
      const double now = clock.nowSeconds();
      if (received == 0) first = now;
      last = now;
      ++received;
      const acquisition::BlockView& block = fetched.value().block;
      for (int pt = 0; pt < block.points; ++pt) {
        for (int ch = 0; ch < block.channels && ch < 64; ++ch) {
          const float v = acquisition::VoltsOfCell(block.cell(pt, ch), acquisition::kVoltageScale);
          ChannelFigures& f = figures[ch];
          f.sum += v;
          f.squares += static_cast<double>(v) * v;
          f.minimum = std::min(f.minimum, v);
          f.maximum = std::max(f.maximum, v);
          ++f.count;
        }
      }
      for (int ch = 0; ch < block.channels && ch < 64; ++ch) {
        if (profile.dynamic[ch]) acquisition::AppendChannelCodes(block, ch, records[ch]);
      }
    }
    if (received < profile.blocks) clock.sleepMs(20);
  }
  const double rate = received > 1 && last > first ? (received - 1) / (last - first) : 0;
  Measure(check, "blocks received", received, "blocks", profile.blocks, std::nullopt);
  Measure(check, "block rate", rate, "blocks/s", nominalRate * (1 - profile.rateTolerance),
          nominalRate * (1 + profile.rateTolerance));
  Measure(check, "lost blocks", static_cast<double>(losses.lost()), "blocks", std::nullopt, 0.0);
  check.measured = std::to_string(received) + " blocks, " + Format("%.3f", rate) + " blocks/s, " +
                   std::to_string(losses.lost()) + " lost";
  check.limits += ", none lost";
  if (interrupted) {
    check.detail = "interrupted";
  } else if (losses.lost() > 0) {
    check.detail = std::to_string(losses.lost()) + " blocks the card finished never arrived";
  } else if (received < profile.blocks) {
    check.detail = "only " + std::to_string(received) + " of " + std::to_string(profile.blocks) +
                   " blocks arrived within " + Format("%.0f s", profile.timeoutSeconds);
  } else if (std::abs(rate - nominalRate) > nominalRate * profile.rateTolerance) {
    check.detail = rate < nominalRate ? "blocks arrive too slowly, or some were skipped"
                                      : "blocks arrive too fast";
  } else {
    check.passed = true;
  }
  return check;
}

bool Within(const ChannelFigures& f, const ChannelLimits& limits) {
  return (!limits.level || std::abs(f.mean() - *limits.level) <= limits.tolerance) &&
         f.noise() <= limits.noise && f.minimum >= limits.minimum && f.maximum <= limits.maximum;
}

Check AnalogCheck(const Profile& profile, const std::array<ChannelFigures, 64>& figures) {
  Check check = Named("analog");
  int checked = 0, failed = 0;
  std::string detail;
  for (int ch = 0; ch < 64; ++ch) {
    if (!profile.channels[ch]) continue;
    ++checked;
    const ChannelLimits& limits = *profile.channels[ch];
    const ChannelFigures& f = figures[ch];
    const std::string channel = "channel " + std::to_string(ch + 1);
    std::optional<double> low, high;
    if (limits.level) {
      low = *limits.level - limits.tolerance;
      high = *limits.level + limits.tolerance;
    }
    Measure(check, channel + " mean", f.mean(), "V", low, high);
    Measure(check, channel + " noise", f.noise(), "V", std::nullopt, limits.noise);
    Measure(check, channel + " minimum", f.minimum, "V", limits.minimum, std::nullopt);
    Measure(check, channel + " maximum", f.maximum, "V", std::nullopt, limits.maximum);
    if (Within(f, limits)) continue;
    ++failed;
    std::string line = "channel " + std::to_string(ch + 1) + ": mean " + Volts(f.mean()) +
                       ", noise " + Volts(f.noise()) + ", min " + Volts(f.minimum) + ", max " +
                       Volts(f.maximum);
    // A level that belongs to another channel points at a shifted or swapped input.
    for (int other = 0; other < 64; ++other) {
      const auto& o = profile.channels[other];
      if (other != ch && o && o->level && limits.level &&
          std::abs(f.mean() - *o->level) <= o->tolerance) {
        line += "; reads channel " + std::to_string(other + 1) + "'s level (shifted or swapped)";
        break;
      }
    }
    if (limits.level && std::abs(f.mean() - *limits.level) > limits.tolerance) {
      line += "; expected " + Volts(*limits.level) + " +- " + Volts(limits.tolerance);
    } else if (f.noise() > limits.noise) {
      line += "; noise above " + Volts(limits.noise);
    } else {
      line += "; outside " + Volts(limits.minimum) + " .. " + Volts(limits.maximum);
    }
    if (!detail.empty()) detail += "\n";
    detail += line;
  }
  check.measured = std::to_string(checked - failed) + " of " + std::to_string(checked) +
                   " channels within their limits";
  check.limits = "the profile's level, tolerance, noise and range per channel";
  check.passed = failed == 0;
  check.detail = detail;
  return check;
}

// Each profiled channel's dynamic figures, each one a measurement held to its limit.
Check DynamicCheck(const Profile& profile, const std::array<std::vector<float>, 64>& records,
                   double sampleRateHz) {
  Check check = Named("dynamic");
  check.limits = "the profile's frequency, SNR, SINAD, ENOB, THD and noise per channel (" +
                 std::string(acquisition::kAnalysisWindowName) + " window)";
  int checked = 0, failed = 0;
  for (int ch = 0; ch < 64; ++ch) {
    if (!profile.dynamic[ch]) continue;
    ++checked;
    const DynamicLimits& limits = *profile.dynamic[ch];
    const auto figures = acquisition::MeasureAdcFigures(records[ch], sampleRateHz);
    const std::string channel = "channel " + std::to_string(ch + 1);
    Check figuresOf;  // this channel's measurements, added to the check's below
    std::vector<Measurement>& measured = figuresOf.measurements;
    const auto add = [&](const char* figure, double value, const char* unit,
                         std::optional<double> low, std::optional<double> high) {
      Measure(figuresOf, channel + " " + figure, value, unit, low, high);
    };
    if (limits.frequencyHz) {
      add("frequency", figures.fundamentalHz, "Hz", *limits.frequencyHz - limits.frequencyTolerance,
          *limits.frequencyHz + limits.frequencyTolerance);
      if (!figures.sine) measured.back().passed = false;  // no tone at all
    }
    if (limits.minSnrDb) add("SNR", figures.snrDb, "dB", limits.minSnrDb, std::nullopt);
    if (limits.minSinadDb) add("SINAD", figures.sinadDb, "dB", limits.minSinadDb, std::nullopt);
    if (limits.minEnob) add("ENOB", figures.enob, "bits", limits.minEnob, std::nullopt);
    if (limits.maxThdDb) add("THD", figures.thdDb, "dBc", std::nullopt, limits.maxThdDb);
    if (limits.maxNoiseCodes) {
      add("noise", figures.noiseRmsCodes, "codes", std::nullopt, limits.maxNoiseCodes);
    }
    bool channelPassed = true;
    for (const Measurement& m : measured) {
      if (m.passed) continue;
      channelPassed = false;
      if (!check.detail.empty()) check.detail += "\n";
      check.detail +=
          m.name + " " + (m.value ? Format("%.2f", *m.value) + " " + m.unit : "not measured") +
          "; " +
          (m.low && m.high ? Format("expected %.2f", *m.low) + Format(" .. %.2f", *m.high)
           : m.low         ? Format("at least %.2f", *m.low)
                           : Format("at most %.2f", *m.high));
      if (m.name.ends_with("frequency") && !figures.sine) check.detail += " (no tone found)";
    }
    failed += channelPassed ? 0 : 1;
    check.measurements.insert(check.measurements.end(), measured.begin(), measured.end());
  }
  check.measured = std::to_string(checked - failed) + " of " + std::to_string(checked) +
                   " channels within their limits";
  check.passed = failed == 0;
  return check;
}

// Sets all 16 outputs at once: bits 0 to 7 are group 0, bits 8 to 15 group 1.
base::Result<> SetOutputs(DllDef& dll, uint16_t bits) {
  if (auto low = dio::OutputByte(dll, 0, static_cast<int16_t>(bits & 0xFF)); !low) return low;
  return dio::OutputByte(dll, 1, static_cast<int16_t>(bits >> 8));
}

// Both input words as 16 bits, or nothing when the card wrote nothing back.
std::optional<uint16_t> ReadInputs(DllDef& dll) {
  constexpr int16_t kUnwritten = 0x5A5A;  // left in place by a card that writes nothing
  dio::DiWordBuffer words;
  words.fill(kUnwritten);
  const auto read = dio::ReadInputWords(dll, words);
  if (!read || (words[0] == kUnwritten && words[1] == kUnwritten)) return std::nullopt;
  return static_cast<uint16_t>((words[0] & 0xFF) | ((words[1] & 0xFF) << 8));
}

Check DigitalCheck(DllDef& dll, const Profile& profile, const Clock& clock,
                   const std::atomic<bool>& interrupted) {
  Check check = Named("digital");
  uint16_t wired = 0;  // the input bits the cable brings something back on
  for (int out = 0; out < 16; ++out) {
    if (profile.loopback[out] >= 0) wired |= static_cast<uint16_t>(1u << profile.loopback[out]);
  }
  auto expected = [&](uint16_t outputs) {
    uint16_t in = 0;
    for (int out = 0; out < 16; ++out) {
      if ((outputs >> out & 1) && profile.loopback[out] >= 0) in |= 1u << profile.loopback[out];
    }
    return in;
  };
  check.limits = "walking 1 and walking 0 over 16 output bits read back on the wired inputs";
  std::string detail;
  int steps = 0, wrong = 0;
  std::array<int, 16> misreadBy{};  // patterns that read back wrong, by output bit driven
  for (bool walkingOne : {true, false}) {
    for (int bit = 0; bit < 16 && !interrupted; ++bit) {
      const uint16_t outputs = walkingOne ? (1u << bit) : static_cast<uint16_t>(~(1u << bit));
      if (auto set = SetOutputs(dll, outputs); !set) {
        check.detail = set.failure().subject + ": " + set.failure().reason;
        return check;
      }
      clock.sleepMs(profile.settleMs);
      const auto inputs = ReadInputs(dll);
      ++steps;
      if (!inputs) {
        check.detail = "the inputs answer nothing";
        return check;
      }
      const uint16_t want = expected(outputs), got = *inputs & wired;
      if (got == want) continue;
      ++wrong;
      ++misreadBy[bit];
      for (int in = 0; in < 16; ++in) {
        if (((got ^ want) >> in & 1) == 0) continue;
        std::string line = std::string(walkingOne ? "walking 1" : "walking 0") + " on output " +
                           std::to_string(bit) + ": input " + std::to_string(in) + " reads " +
                           std::to_string(got >> in & 1) + ", expected " +
                           std::to_string(want >> in & 1);
        line += (got >> in & 1) == (walkingOne ? 1 : 0)
                    ? " (crossed with output " + std::to_string(bit) + ")"
                    : " (stuck)";
        if (detail.find(line) == std::string::npos) {
          if (!detail.empty()) detail += "\n";
          detail += line;
        }
      }
    }
  }
  check.measured = std::to_string(steps - wrong) + " of " + std::to_string(steps) +
                   " patterns read back as sent";
  for (int bit = 0; bit < 16 && !interrupted; ++bit) {
    Measure(check, "output bit " + std::to_string(bit) + " patterns misread", misreadBy[bit],
            "patterns", std::nullopt, 0.0);
  }
  check.passed = wrong == 0 && !interrupted;
  check.detail = interrupted ? "interrupted" : detail;
  return check;
}

}  // namespace

bool Outcome::passed() const {
  return ranAtAll && !checks.empty() &&
         std::all_of(checks.begin(), checks.end(), [](const Check& c) { return c.passed; });
}

Verdict Outcome::verdict() const {
  if (!ranAtAll) return Verdict::NotRun;
  if (aborted) return Verdict::Aborted;
  return passed() ? Verdict::Pass : Verdict::Fail;
}

const Check* Outcome::firstFailure() const {
  for (const Check& c : checks) {
    if (!c.passed) return &c;
  }
  return nullptr;
}

Clock SystemClock() {
  return Clock{
      .nowSeconds =
          [] {
            return std::chrono::duration<double>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
          },
      .sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
  };
}

Outcome Run(DllDef& dll, const Profile& profile, const Clock& clock,
            const std::function<void(const std::string&)>& progress,
            const std::atomic<bool>& interrupted) {
  Outcome outcome;
  if (auto loaded = dll.library().Load(); !loaded) {
    outcome.ranAtAll = false;
    outcome.whyNot = loaded.failure().subject + ": " + loaded.failure().reason;
    return outcome;
  }
  std::array<ChannelFigures, 64> figures{};
  std::array<std::vector<float>, 64> records{};  // codes of the channels with dynamic limits
  progress("identity");
  outcome.checks.push_back(IdentityCheck(dll, profile, outcome.identityLine));
  progress("acquisition");
  outcome.checks.push_back(AcquisitionCheck(dll, profile, clock, interrupted, figures, records));
  if (outcome.checks.back().passed) {
    progress("analog");
    outcome.checks.push_back(AnalogCheck(profile, figures));
    if (std::any_of(profile.dynamic.begin(), profile.dynamic.end(),
                    [](const auto& d) { return d.has_value(); })) {
      progress("dynamic");
      const double sampleRateHz =
          dll.ChannelCount > 0 ? static_cast<double>(dll.IntrArg5) / dll.ChannelCount : 0;
      outcome.checks.push_back(DynamicCheck(profile, records, sampleRateHz));
    }
  }
  (void)acquisition::StopAcquisition(dll);
  if (!interrupted) {
    progress("digital");
    outcome.checks.push_back(DigitalCheck(dll, profile, clock, interrupted));
  }
  // Whatever happened: the card stopped, its outputs at 0.
  progress("stop");
  Check stop = Named("stop");
  stop.limits = "acquisition stopped, outputs 0";
  const auto stopped = acquisition::StopAcquisition(dll);
  const auto cleared = SetOutputs(dll, 0);
  stop.passed = stopped && cleared;
  stop.measured = stop.passed ? "stopped, outputs 0" : "the card could not be reached";
  outcome.checks.push_back(stop);
  outcome.aborted = interrupted;
  return outcome;
}

}  // namespace selftest
