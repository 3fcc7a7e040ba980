#include "CardRecording.h"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "BlockFeed.h"
#include "CardLibrary.h"
#include "ChannelValues.h"
#include "DllDef.h"
#include "NominalPace.h"
#include "RecordFormat.h"
#include "StartStop.h"

namespace recording {
namespace {

// Blocks over which a pace other than the nominal one is measured (within about 2 % at 10 ms
// polls), and how far off the nominal period the loss watch still learns the card itself.
constexpr int64_t kMeasuredBlocks = 32;
constexpr double kLossWatchAllowance = 0.05;

}  // namespace

Description CardDescription(DllDef& dll, const std::string& identity, const std::string& program) {
  Description d;
  d.card = identity;
  d.cardLibrary = dll.library().path();
  d.program = program;
  // The start's parameters, also before the first start has set them.
  d.aggregateRateHz = dll.IntrArg5 > 0 ? dll.IntrArg5 : acquisition::kStartSampleRateHz;
  d.blockSeconds = dll.IntrArg5 > 0 ? acquisition::BlockPeriodSeconds(dll)
                                    : static_cast<double>(acquisition::kStartChannels) *
                                          recording::kPoints / acquisition::kStartSampleRateHz;
  const acquisition::VoltageScale& scale = acquisition::kVoltageScale;
  d.zeroCode = scale.ZeroCode;
  d.voltsPerCode = static_cast<double>(scale.SpanVolts) / scale.FullScaleCount;
  d.fullScaleCount = scale.FullScaleCount;
  d.spanVolts = scale.SpanVolts;
  return d;
}

base::Result<> RecordCard(DllDef& dll, Recorder& recorder, const std::atomic<bool>& stop,
                          const CardRecordingSteps& steps) {
  const double nominal = acquisition::BlockPeriodSeconds(dll);
  acquisition::BlockFeed feed(dll);
  feed.Begin(nominal);
  const acquisition::LossWatch& losses = feed.losses();
  NominalPace pace(nominal);
  int64_t lostSoFar = 0;
  // A poll's blocks, and those held while a stall's count is still on an edge: each poll's
  // blocks after the loss before them. Blocks still held when the recording stops (under a
  // second's worth) are left out rather than written at a place not known.
  std::vector<int16_t> cells;
  struct Held {
    size_t blocks;
    int64_t lost;  // by the loss watch, for when the nominal pace is no longer judged
  };
  std::vector<Held> held;
  const auto handOver = [&](const std::vector<int64_t>* settled) {
    size_t all = 0;
    for (const Held& h : held) all += h.blocks;
    recorder.Handover(all);
    bool going = true;
    const int16_t* next = cells.data();
    for (size_t i = 0; i < held.size() && going; ++i) {
      const int64_t lost = settled ? (*settled)[i] : held[i].lost;
      for (size_t b = 0; b < held[i].blocks && going; ++b, next += kCodesPerRecord) {
        going = recorder.Add({.cells = next,
                              .channels = kChannels,
                              .points = kPoints,
                              .aggregateRate = dll.IntrArg5},
                             b == 0 ? static_cast<int>(lost) : 0);
      }
    }
    held.clear();
    cells.clear();
    return going;
  };
  // A card paced otherwise than its start parameters say (a simulated card run faster) is
  // watched at the period its own deliveries show, once enough have come to measure it.
  std::optional<double> firstAnswered;
  int64_t sinceFirst = 0;
  bool measured = false;
  double lastSaid = steps.steadySeconds();
  bool going = true;
  while (going && !stop) {
    const double asked = steps.steadySeconds();
    std::optional<double> answered;
    size_t blocks = 0;
    const auto polled =
        feed.Poll(std::numeric_limits<int>::max(),
                  {.onLoss = {},
                   .take =
                       [&](const acquisition::FetchedBlock& fetched) {
                         if (!answered) answered = steps.steadySeconds();
                         if (fetched.status != 1 || fetched.block.cellCount() != kCodesPerRecord) {
                           return true;
                         }
                         cells.insert(cells.end(), fetched.block.cells,
                                      fetched.block.cells + kCodesPerRecord);
                         ++blocks;
                         return true;
                       },
                   .ring = false},
                  steps.steadySeconds);
    if (!polled) return polled.failure();
    const double answeredAt = answered.value_or(steps.steadySeconds());
    // A loss the loss watch settled late (its count grew) comes before the next blocks too.
    if (blocks > 0) {
      held.push_back({blocks, losses.lost() - lostSoFar});
      lostSoFar = losses.lost();
      if (!firstAnswered) {
        firstAnswered = answeredAt;
      } else {
        sinceFirst += static_cast<int64_t>(blocks);
      }
    }
    switch (pace.Poll(asked, answeredAt, static_cast<int64_t>(blocks))) {
      case NominalPace::State::Settled:
        if (!held.empty()) going = handOver(&pace.lost());
        break;
      case NominalPace::State::Holding:
        break;
      case NominalPace::State::Retired:
        if (!held.empty()) going = handOver(pace.lost().empty() ? nullptr : &pace.lost());
        break;
    }
    if (pace.retired() && !measured && sinceFirst >= kMeasuredBlocks) {
      measured = true;
      const double period = (answeredAt - *firstAnswered) / static_cast<double>(sinceFirst);
      if (std::abs(period / nominal - 1) > kLossWatchAllowance) {
        feed.Begin(period);
        lostSoFar = 0;
      }
    }
    if (recorder.Status().ended != EndReason::None) break;
    const double now = steps.steadySeconds();
    if (steps.everySecond && now - lastSaid >= 1) {
      lastSaid = now;
      steps.everySecond(recorder.Status());
    }
    steps.sleepMs(10);
  }
  return {};
}

}  // namespace recording
