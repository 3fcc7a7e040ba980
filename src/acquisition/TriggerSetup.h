// A trigger as the operator writes it on the command line, read into what the trigger
// watches for, or refused with the reason:
//   ch5,rising,1.5V,hyst=0.1V,holdoff=100ms      an edge through a level
//   ch5,enter,-1V..1V                             entering (or leaving) a window
// and the spans kept around it (`--pre 10s`, `--post 30s`).
#pragma once

#include <optional>
#include <string_view>

#include "Failure.h"

namespace acquisition {

// What a trigger watches for on its channel.
enum class TriggerKind {
  Rising,   // from below level - hysteresis up through the level
  Falling,  // from above level + hysteresis down through the level
  Either,   // either of the two
  Enter,    // from outside the window by the hysteresis into low..high
  Leave,    // from inside the window by the hysteresis out of low..high
};

// The card's channels, the input's range, and the most the ring holds before a trigger.
inline constexpr int kTriggerChannels = 64;
inline constexpr double kTriggerMostVolts = 5.0;
inline constexpr double kTriggerMostPreSeconds = 60.0;
// What a trigger takes when the text does not say.
inline constexpr double kTriggerDefaultHysteresisVolts = 0.05;
inline constexpr double kTriggerDefaultPreSeconds = 10.0;
inline constexpr double kTriggerDefaultPostSeconds = 30.0;

struct TriggerSetup {
  int channel = 0;  // 0-based: "ch1" is 0
  TriggerKind kind = TriggerKind::Rising;
  double levelVolts = 0;               // the edge kinds
  double lowVolts = 0, highVolts = 0;  // the window kinds
  double hysteresisVolts = kTriggerDefaultHysteresisVolts;
  double holdoffSeconds = 0;  // no trigger sooner than this after the last
  double preSeconds = kTriggerDefaultPreSeconds;
  double postSeconds = kTriggerDefaultPostSeconds;
};

// The trigger's text; the pre and post times as typed ("10s", "500ms"), or empty for their
// defaults. Refused (Failure::Kind::TriggerRefused, a Cause saying why, the refused part
// shown safe in the reason) for an unknown channel, a level beyond +-5 V, a window whose low
// end is not below its high end, a hysteresis that leaves the trigger nothing to arm on, a
// pre time over 60 s, a time of zero or less (holdoff may be 0), or anything else.
base::Result<TriggerSetup> ParseTriggerSetup(std::string_view text, std::string_view pre = {},
                                             std::string_view post = {});

// A time as typed, in seconds: a number with "s", "ms" or "us" after it (seconds without);
// empty when it does not read as one.
std::optional<double> ParseTriggerSeconds(std::string_view text);

// The words of a kind as the text writes them ("rising").
const char* TriggerKindWord(TriggerKind kind);

}  // namespace acquisition
