// A recording straight from the card, without a window: the card polled on a steady clock,
// every delivered block handed to the recorder with the blocks the loss watch found lost
// before it, until the recorder ends, the card fails, or `stop` is set.
#pragma once

#include <atomic>
#include <functional>

#include "Description.h"
#include "Failure.h"
#include "Recorder.h"
#include "TriggeredRecording.h"

class DllDef;

namespace recording {

// The card's facts for a recording's description, from the parameters a start has set.
Description CardDescription(DllDef& dll, const std::string& identity, const std::string& program);

struct CardRecordingSteps {
  std::function<double()> steadySeconds;
  std::function<void(int ms)> sleepMs;
  std::function<void(const RecorderStatus&)> everySecond;  // for the progress shown
};

// Polls a started card into `recorder`, through `triggered` when it is given (its trigger
// fed each block; its spans still waiting written as far as they came at the end). Fails
// when the card library or an entry point goes missing (the recording so far stays whole).
base::Result<> RecordCard(DllDef& dll, Recorder& recorder, const std::atomic<bool>& stop,
                          const CardRecordingSteps& steps, TriggeredRecording* triggered = nullptr);

}  // namespace recording
