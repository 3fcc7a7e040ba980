#include "CardRecording.h"

#include <limits>

#include "BlockPolling.h"
#include "CardLibrary.h"
#include "ChannelValues.h"
#include "DllDef.h"
#include "LossWatch.h"
#include "RecordFormat.h"
#include "StartStop.h"

namespace recording {

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
  acquisition::LossWatch losses;
  losses.Begin(acquisition::BlockPeriodSeconds(dll));
  int64_t lostSoFar = 0;
  double lastSaid = steps.steadySeconds();
  bool going = true;
  while (going && !stop) {
    auto polled = card::Attempt(dll.library(), [&] {
      acquisition::PollCard(dll, losses, steps.steadySeconds, std::numeric_limits<int>::max(),
                            {.onLoss = {},
                             .take =
                                 [&](const acquisition::FetchedBlock& fetched) {
                                   if (fetched.status != 1) return true;
                                   // A loss settled late (its count grew) comes before the next
                                   // block too.
                                   const auto lost = static_cast<int>(losses.lost() - lostSoFar);
                                   lostSoFar = losses.lost();
                                   going = recorder.Add(fetched.block, lost);
                                   return going;
                                 },
                             .ring = false});
    });
    if (!polled) return polled.failure();
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
