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

namespace {

// One recording's polls of the card: each poll's blocks are held until the card's pace says
// what was lost before them, then handed to the recorder. Blocks still held when the
// recording stops (under a second's worth) are left out rather than written at a place not
// known.
class CardPolls {
 public:
  CardPolls(DllDef& dll, Recorder& recorder, const CardRecordingSteps& steps,
            TriggeredRecording* triggered)
      : dll_(dll),
        recorder_(recorder),
        triggered_(triggered),
        steps_(steps),
        feed_(dll),
        nominal_(acquisition::BlockPeriodSeconds(dll)),
        pace_(nominal_) {
    feed_.Begin(nominal_);
  }

  // One poll and what it settled; false once the recorder takes no more. Fails when the card
  // library or an entry point goes missing.
  base::Result<bool> Next();

 private:
  base::Result<size_t> Fetch(std::optional<double>& answered);
  void Hold(size_t blocks, double answeredAt);
  bool HandOver(const std::vector<int64_t>* settled);
  void MeasurePace(double answeredAt);

  DllDef& dll_;
  Recorder& recorder_;
  TriggeredRecording* triggered_;
  const CardRecordingSteps& steps_;
  acquisition::BlockFeed feed_;
  const double nominal_;
  NominalPace pace_;
  int64_t lostSoFar_ = 0;
  // A poll's blocks, and those held while a stall's count is still on an edge: each poll's
  // blocks after the loss before them.
  std::vector<int16_t> cells_;
  struct Held {
    size_t blocks;
    int64_t lost;  // by the loss watch, for when the nominal pace is no longer judged
  };
  std::vector<Held> held_;
  // A card paced otherwise than its start parameters say (a simulated card run faster) is
  // watched at the period its own deliveries show, once enough have come to measure it.
  std::optional<double> firstAnswered_;
  int64_t sinceFirst_ = 0;
  bool measured_ = false;
};

base::Result<bool> CardPolls::Next() {
  const double asked = steps_.steadySeconds();
  std::optional<double> answered;
  const base::Result<size_t> fetched = Fetch(answered);
  if (!fetched) return fetched.failure();
  const size_t blocks = fetched.value();
  const double answeredAt = answered.value_or(steps_.steadySeconds());
  if (blocks > 0) Hold(blocks, answeredAt);
  bool going = true;
  switch (pace_.Poll(asked, answeredAt, static_cast<int64_t>(blocks))) {
    case NominalPace::State::Settled:
      if (!held_.empty()) going = HandOver(&pace_.lost());
      break;
    case NominalPace::State::Holding:
      break;
    case NominalPace::State::Retired:
      if (!held_.empty()) going = HandOver(pace_.lost().empty() ? nullptr : &pace_.lost());
      break;
  }
  MeasurePace(answeredAt);
  return going;
}

base::Result<size_t> CardPolls::Fetch(std::optional<double>& answered) {
  size_t blocks = 0;
  const auto polled =
      feed_.Poll(std::numeric_limits<int>::max(),
                 {.onLoss = {},
                  .take =
                      [&](const acquisition::FetchedBlock& fetched) {
                        if (!answered) answered = steps_.steadySeconds();
                        if (fetched.status != 1 || fetched.block.cellCount() != kCodesPerRecord)
                          return true;
                        cells_.insert(cells_.end(), fetched.block.cells,
                                      fetched.block.cells + kCodesPerRecord);
                        ++blocks;
                        return true;
                      },
                  .ring = false},
                 steps_.steadySeconds);
  if (!polled) return polled.failure();
  return blocks;
}

// A loss the loss watch settled late (its count grew) comes before the next blocks too.
void CardPolls::Hold(size_t blocks, double answeredAt) {
  const int64_t lost = feed_.losses().lost();
  held_.push_back({blocks, lost - lostSoFar_});
  lostSoFar_ = lost;
  if (!firstAnswered_) {
    firstAnswered_ = answeredAt;
  } else {
    sinceFirst_ += static_cast<int64_t>(blocks);
  }
}

bool CardPolls::HandOver(const std::vector<int64_t>* settled) {
  size_t all = 0;
  for (const Held& h : held_) all += h.blocks;
  recorder_.Handover(all);
  bool going = true;
  const int16_t* next = cells_.data();
  for (size_t i = 0; i < held_.size() && going; ++i) {
    const int64_t lost = settled ? (*settled)[i] : held_[i].lost;
    for (size_t b = 0; b < held_[i].blocks && going; ++b, next += kCodesPerRecord) {
      const acquisition::BlockView block{
          .cells = next, .channels = kChannels, .points = kPoints, .aggregateRate = dll_.IntrArg5};
      const int lostBefore = b == 0 ? static_cast<int>(lost) : 0;
      // The feed's Poll hands no block to subscribers: the trigger is fed here.
      going = triggered_ ? triggered_->Add(block, lostBefore) : recorder_.Add(block, lostBefore);
    }
  }
  held_.clear();
  cells_.clear();
  return going;
}

void CardPolls::MeasurePace(double answeredAt) {
  if (!pace_.retired() || measured_ || sinceFirst_ < kMeasuredBlocks) return;
  measured_ = true;
  const double period = (answeredAt - *firstAnswered_) / static_cast<double>(sinceFirst_);
  if (std::abs(period / nominal_ - 1) > kLossWatchAllowance) {
    feed_.Begin(period);
    lostSoFar_ = 0;
  }
}

}  // namespace

base::Result<> RecordCard(DllDef& dll, Recorder& recorder, const std::atomic<bool>& stop,
                          const CardRecordingSteps& steps, TriggeredRecording* triggered) {
  CardPolls polls(dll, recorder, steps, triggered);
  double lastSaid = steps.steadySeconds();
  bool going = true;
  while (going && !stop) {
    const base::Result<bool> next = polls.Next();
    if (!next) {
      if (triggered) triggered->Stopped();
      return next.failure();
    }
    going = next.value();
    if (recorder.Status().ended != EndReason::None) break;
    const double now = steps.steadySeconds();
    if (steps.everySecond && now - lastSaid >= 1) {
      lastSaid = now;
      steps.everySecond(recorder.Status());
    }
    steps.sleepMs(10);
  }
  if (triggered) triggered->Stopped();
  return {};
}

}  // namespace recording
