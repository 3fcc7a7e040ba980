#include "ProductionCheck.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "AdcFigures.h"
#include "BlockFeed.h"
#include "CardIdentity.h"
#include "CauseText.h"
#include "ChannelValues.h"
#include "DigitalInput.h"
#include "DigitalOutput.h"
#include "DllDef.h"
#include "NumberForms.h"
#include "StartStop.h"

namespace selftest {

namespace {

std::string Volts(double volts) {
  return numtext::Fixed(volts, 4) + " V";
}

Check Named(CheckKind kind) {
  Check check;
  check.kind = kind;
  return check;
}

// Ends a check the operator or the system stopped: it says nothing of the card.
void Interrupt(Check& check) {
  check.passed = false;
  check.interrupted = true;
  check.detail = kInterruptedDetail;
}

// Adds a measurement held to [low, high] (either may be open); says whether it is within.
// A figure that came out as no number (NaN, infinite) was not measured and fails.
bool Measure(Check& check, FigureId id, double value, const char* unit, std::optional<double> low,
             std::optional<double> high) {
  const std::optional<double> measured = std::isfinite(value) ? std::optional(value) : std::nullopt;
  const bool within = measured && (!low || *measured >= *low) && (!high || *measured <= *high);
  check.measurements.push_back({std::move(id), measured, unit, low, high, within});
  return within;
}

struct ChannelFigures {
  double sum = 0, squares = 0;
  float minimum = 1e9f, maximum = -1e9f;
  long count = 0;
  void Add(float v) {
    sum += v;
    squares += static_cast<double>(v) * v;
    minimum = std::min(minimum, v);
    maximum = std::max(maximum, v);
    ++count;
  }
  double mean() const { return count ? sum / count : 0; }
  double noise() const {
    const double m = mean();
    return count ? std::sqrt(std::max(0.0, squares / count - m * m)) : 0;
  }
};

Check IdentityCheck(DllDef& dll, const Profile& profile, std::string& line) {
  Check check = Named(CheckKind::Identity);
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

// What an acquisition gathers for the checks after it: every channel's figures, and the
// codes of the channels with dynamic limits.
struct Gathered {
  std::array<ChannelFigures, 64> figures{};
  std::array<std::vector<float>, 64> records{};
  int received = 0;
  double first = 0, last = 0;  // when the first and the last block arrived
  double rate() const { return received > 1 && last > first ? (received - 1) / (last - first) : 0; }
};

void Gather(const acquisition::BlockView& block, const Profile& profile, Gathered& gathered) {
  for (int pt = 0; pt < block.points; ++pt) {
    for (int ch = 0; ch < block.channels && ch < 64; ++ch) {
      gathered.figures[ch].Add(
          acquisition::VoltsOfCell(block.cell(pt, ch), acquisition::kVoltageScale));
    }
  }
  for (int ch = 0; ch < block.channels && ch < 64; ++ch) {
    if (profile.dynamic[ch]) acquisition::AppendChannelCodes(block, ch, gathered.records[ch]);
  }
}

// Polls the card until the profile's blocks are in, the time is up or the run is stopped;
// gives what went wrong on the way, or nothing.
std::optional<std::string> Acquire(acquisition::BlockFeed& feed, const Profile& profile,
                                   const Clock& clock, const std::atomic<bool>& interrupted,
                                   Gathered& gathered) {
  const double start = clock.nowSeconds();
  std::optional<std::string> fault;
  const auto take = [&](const acquisition::FetchedBlock& fetched) {
    if (fetched.status != 1) {
      fault = "block " + std::to_string(gathered.received + 1) + " was fetched with status " +
              std::to_string(fetched.status);
      return false;
    }
    gathered.last = clock.nowSeconds();
    if (gathered.received++ == 0) gathered.first = gathered.last;
    Gather(fetched.block, profile, gathered);
    return true;
  };
  while (gathered.received < profile.blocks && !interrupted) {
    if (clock.nowSeconds() - start > profile.timeoutSeconds) break;
    const auto polled = feed.Poll(profile.blocks - gathered.received, {.onLoss = {}, .take = take},
                                  clock.nowSeconds);
    if (!polled) return polled.failure().subject + ": " + polled.failure().reason;
    if (fault) return fault;
    if (gathered.received < profile.blocks) clock.sleepMs(20);
  }
  return std::nullopt;
}

// The acquisition's figures and verdict from what arrived, at what pace, and what was lost.
void Conclude(Check& check, const Profile& profile, double nominalRate, int64_t lost,
              const Gathered& gathered, bool interrupted) {
  const int received = gathered.received;
  const double rate = gathered.rate();
  Measure(check, "blocks received", received, "blocks", profile.blocks, std::nullopt);
  Measure(check, "block rate", rate, "blocks/s", nominalRate * (1 - profile.rateTolerance),
          nominalRate * (1 + profile.rateTolerance));
  Measure(check, "lost blocks", static_cast<double>(lost), "blocks", std::nullopt, 0.0);
  check.measured = std::to_string(received) + " blocks, " + numtext::Fixed(rate, 3) +
                   " blocks/s, " + std::to_string(lost) + " lost";
  check.limits += ", none lost";
  if (interrupted) {
    Interrupt(check);
  } else if (lost > 0) {
    check.detail = std::to_string(lost) + " blocks the card finished never arrived";
  } else if (received < profile.blocks) {
    check.detail = "only " + std::to_string(received) + " of " + std::to_string(profile.blocks) +
                   " blocks arrived within " + numtext::Fixed(profile.timeoutSeconds, 0) + " s";
  } else if (std::abs(rate - nominalRate) > nominalRate * profile.rateTolerance) {
    check.detail = rate < nominalRate ? "blocks arrive too slowly, or some were skipped"
                                      : "blocks arrive too fast";
  } else {
    check.passed = true;
  }
}

// Acquires the profile's number of blocks and keeps every channel's figures.
Check AcquisitionCheck(DllDef& dll, const Profile& profile, const Clock& clock,
                       const std::atomic<bool>& interrupted, Gathered& gathered) {
  Check check = Named(CheckKind::Acquisition);
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
  check.limits = std::to_string(profile.blocks) + " blocks, " + numtext::Fixed(nominalRate, 3) +
                 " blocks/s +-" + numtext::Fixed(profile.rateTolerance * 100, 0) + "%";
  acquisition::BlockFeed feed(dll);
  feed.Begin();
  if (auto fault = Acquire(feed, profile, clock, interrupted, gathered)) {
    check.detail = *fault;
    return check;
  }
  Conclude(check, profile, nominalRate, feed.losses().lost(), gathered, interrupted);
  return check;
}

bool Within(const ChannelFigures& f, const ChannelLimits& limits) {
  return (!limits.level || std::abs(f.mean() - *limits.level) <= limits.tolerance) &&
         f.noise() <= limits.noise && f.minimum >= limits.minimum && f.maximum <= limits.maximum;
}

Check AnalogCheck(const Profile& profile, const std::array<ChannelFigures, 64>& figures) {
  Check check = Named(CheckKind::Analog);
  int checked = 0, failed = 0;
  std::string detail;
  for (int ch = 0; ch < 64; ++ch) {
    if (!profile.channels[ch]) continue;
    ++checked;
    const ChannelLimits& limits = *profile.channels[ch];
    const ChannelFigures& f = figures[ch];
    const auto figure = [ch](const char* name) { return FigureId(Subject::Channel, ch + 1, name); };
    std::optional<double> low, high;
    if (limits.level) {
      low = *limits.level - limits.tolerance;
      high = *limits.level + limits.tolerance;
    }
    Measure(check, figure("mean"), f.mean(), "V", low, high);
    Measure(check, figure("noise"), f.noise(), "V", std::nullopt, limits.noise);
    Measure(check, figure("minimum"), f.minimum, "V", limits.minimum, std::nullopt);
    Measure(check, figure("maximum"), f.maximum, "V", std::nullopt, limits.maximum);
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

// A line of `detail` for each failing figure of a channel; says whether there was one.
bool AddFailures(const std::vector<Measurement>& measured, bool toneFound, std::string& detail) {
  bool failed = false;
  for (const Measurement& m : measured) {
    if (m.passed) continue;
    failed = true;
    if (!detail.empty()) detail += "\n";
    detail += m.id.Name() + " " +
              (m.value      ? numtext::Fixed(*m.value, 2) + " " + m.unit
               : !toneFound ? "no signal"
                            : "not measured") +
              "; " +
              (m.low && m.high
                   ? "expected " + numtext::Fixed(*m.low, 2) + " .. " + numtext::Fixed(*m.high, 2)
               : m.low ? "at least " + numtext::Fixed(*m.low, 2)
                       : "at most " + numtext::Fixed(*m.high, 2));
  }
  return failed;
}

// Each profiled channel's dynamic figures, each one a measurement held to its limit.
Check DynamicCheck(const Profile& profile, const std::array<std::vector<float>, 64>& records,
                   double sampleRateHz) {
  Check check = Named(CheckKind::Dynamic);
  check.limits = "the profile's frequency, SNR, SINAD, ENOB, THD and noise per channel (" +
                 std::string(acquisition::kAnalysisWindowName) + " window)";
  int checked = 0, failed = 0;
  for (int ch = 0; ch < 64; ++ch) {
    if (!profile.dynamic[ch]) continue;
    ++checked;
    const DynamicLimits& limits = *profile.dynamic[ch];
    const auto figures = acquisition::MeasureAdcFigures(records[ch], sampleRateHz);
    Check figuresOf;  // this channel's measurements, added to the check's below
    std::vector<Measurement>& measured = figuresOf.measurements;
    const auto add = [&](const char* figure, double value, const char* unit,
                         std::optional<double> low, std::optional<double> high) {
      Measure(figuresOf, FigureId(Subject::Channel, ch + 1, figure), value, unit, low, high);
    };
    // A tone expected and none found: none of its figures was measured, the noise beside
    // it neither (the figures hold no number for them).
    const bool noSignal = limits.frequencyHz && !figures.sine;
    if (limits.frequencyHz) {
      add("frequency", figures.fundamentalHz, "Hz", *limits.frequencyHz - limits.frequencyTolerance,
          *limits.frequencyHz + limits.frequencyTolerance);
    }
    if (limits.minSnrDb) add("SNR", figures.snrDb, "dB", limits.minSnrDb, std::nullopt);
    if (limits.minSinadDb) add("SINAD", figures.sinadDb, "dB", limits.minSinadDb, std::nullopt);
    if (limits.minEnob) add("ENOB", figures.enob, "bits", limits.minEnob, std::nullopt);
    if (limits.maxThdDb) add("THD", figures.thdDb, "dBc", std::nullopt, limits.maxThdDb);
    if (limits.maxNoiseCodes) {
      add("noise", noSignal ? std::nan("") : figures.noiseRmsCodes, "codes", std::nullopt,
          limits.maxNoiseCodes);
    }
    failed += AddFailures(measured, !noSignal, check.detail) ? 1 : 0;
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

// The input bits `outputs` should read back on, through the profile's loopback cable.
uint16_t Expected(const Profile& profile, uint16_t outputs) {
  uint16_t in = 0;
  for (int out = 0; out < 16; ++out) {
    if ((outputs >> out & 1) && profile.loopback[out] >= 0) in |= 1u << profile.loopback[out];
  }
  return in;
}

// A line for each input that read back wrong while `bit` walked, once per line.
void AddMisreads(bool walkingOne, int bit, uint16_t got, uint16_t want, std::string& detail) {
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

Check DigitalCheck(DllDef& dll, const Profile& profile, const Clock& clock,
                   const std::atomic<bool>& interrupted) {
  Check check = Named(CheckKind::Digital);
  const uint16_t wired = Expected(profile, 0xFFFF);  // the inputs the cable brings back
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
      const uint16_t want = Expected(profile, outputs), got = *inputs & wired;
      if (got == want) continue;
      ++wrong;
      ++misreadBy[bit];
      AddMisreads(walkingOne, bit, got, want, detail);
    }
  }
  check.measured = std::to_string(steps - wrong) + " of " + std::to_string(steps) +
                   " patterns read back as sent";
  for (int bit = 0; bit < 16 && !interrupted; ++bit) {
    Measure(check, FigureId(Subject::OutputBit, bit, "patterns misread"), misreadBy[bit],
            "patterns", std::nullopt, 0.0);
  }
  check.passed = wrong == 0 && !interrupted;
  check.detail = detail;
  if (interrupted) Interrupt(check);
  return check;
}

Check StopCheck(DllDef& dll) {
  Check stop = Named(CheckKind::Stop);
  stop.limits = "acquisition stopped, outputs 0";
  const auto stopped = acquisition::StopAcquisition(dll);
  const auto cleared = SetOutputs(dll, 0);
  stop.passed = stopped && cleared;
  stop.measured = stop.passed ? "stopped, outputs 0" : "the card could not be reached";
  return stop;
}

Check RunCheck(CheckKind kind, DllDef& dll, const Profile& profile, const Clock& clock,
               const std::atomic<bool>& interrupted, Gathered& gathered, Outcome& outcome) {
  switch (kind) {
    case CheckKind::Identity:
      return IdentityCheck(dll, profile, outcome.identityLine);
    case CheckKind::Acquisition:
      return AcquisitionCheck(dll, profile, clock, interrupted, gathered);
    case CheckKind::Analog:
      return AnalogCheck(profile, gathered.figures);
    case CheckKind::Dynamic:
      return DynamicCheck(profile, gathered.records,
                          acquisition::ChannelRateHz(dll.IntrArg5, dll.ChannelCount));
    case CheckKind::Digital:
      return DigitalCheck(dll, profile, clock, interrupted);
    case CheckKind::Stop:
      break;
  }
  return StopCheck(dll);
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

std::string CheckName(const Check& check) {
  return check.unknownName.empty() ? CheckName(check.kind) : check.unknownName;
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

std::vector<CheckKind> PlannedChecks(const Profile& profile) {
  std::vector<CheckKind> plan = {CheckKind::Identity, CheckKind::Acquisition, CheckKind::Analog};
  if (std::any_of(profile.dynamic.begin(), profile.dynamic.end(),
                  [](const auto& d) { return d.has_value(); })) {
    plan.push_back(CheckKind::Dynamic);
  }
  plan.insert(plan.end(), {CheckKind::Digital, CheckKind::Stop});
  return plan;
}

Outcome Run(DllDef& dll, const Profile& profile, const Clock& clock,
            const std::function<void(CheckKind)>& progress, const std::atomic<bool>& interrupted) {
  Outcome outcome;
  if (auto loaded = dll.library().Load(); !loaded) {
    outcome.ranAtAll = false;
    outcome.whyNot = loaded.failure().subject + ": " + base::ReasonInChinese(loaded.failure());
    return outcome;
  }
  Gathered gathered;
  bool acquired = false;
  for (const CheckKind kind : PlannedChecks(profile)) {
    // Analog and dynamic judge what the acquisition brought; digital runs on a card that
    // no longer acquires, and not at all once stopped. The stop runs whatever happened.
    if ((kind == CheckKind::Analog || kind == CheckKind::Dynamic) && !acquired) continue;
    if (kind == CheckKind::Digital) (void)acquisition::StopAcquisition(dll);
    if (kind == CheckKind::Digital && interrupted) continue;
    progress(kind);
    outcome.checks.push_back(RunCheck(kind, dll, profile, clock, interrupted, gathered, outcome));
    if (kind == CheckKind::Acquisition) acquired = outcome.checks.back().passed;
  }
  outcome.aborted = interrupted;
  return outcome;
}

}  // namespace selftest
