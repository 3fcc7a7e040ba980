// A recording with a trigger between the block feed and the recorder: every trigger written
// as an event at its own time, and either every block kept or only the spans around the
// triggers (pre to post, overlapping spans joined, each block written once, in order), the
// blocks between them skipped by choice. The window's recording row and `--record --trigger`
// both go through it.
//
// The trigger counts its blocks as the recorder does, from the acquisition's first block and
// with the lost ones, so a trigger's time (seconds from the acquisition's start) becomes the
// recorder's (seconds after the first sample of the last block handed over) by the number
// of that block alone. Kept spans are written once their post time has passed (or at the
// stop, cut short), so they reach the disk up to the post time later than the card made them;
// a block no future trigger's pre time can reach any more is skipped at once, so a recording
// whose trigger never comes still ends at its time limit.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "Block.h"
#include "Recorder.h"
#include "Trigger.h"

namespace recording {

// What a triggered recording keeps.
enum class TriggeredKeep {
  All,    // every block, each trigger marked
  Spans,  // only pre..post around each trigger
};
const char* TriggeredKeepName(TriggeredKeep keep);  // "all", "spans": recording.json's word

// A trigger's event in the recorder's time base, `lastBlock` the number of the last block
// handed to the recorder (counted as the trigger counts them), `blockSeconds` one block's
// card time.
EventFacts EventOf(const acquisition::FiredTrigger& fired, int64_t lastBlock, double blockSeconds);

// The blocks a span of card time touches, first..last, both whole; for a span of nothing
// (to <= from) the block that holds `from`.
struct BlockSpan {
  int64_t first = 0, last = 0;
  bool operator==(const BlockSpan&) const = default;
};
BlockSpan BlocksOf(double fromSeconds, double toSeconds, double blockSeconds);
// Spans in order of their first block, overlapping or touching ones joined into one, none
// before block 0 (an earlier start is cut there; one wholly before it is dropped).
std::vector<BlockSpan> JoinSpans(std::vector<BlockSpan> spans);

class TriggeredRecording {
 public:
  TriggeredRecording(Recorder& recorder, const acquisition::TriggerSetup& setup,
                     TriggeredKeep keep);
  TriggeredRecording(const TriggeredRecording&) = delete;
  TriggeredRecording& operator=(const TriggeredRecording&) = delete;

  // In place of the recorder's Add: false once the recording has ended.
  bool Add(const acquisition::BlockView& block, int lostBefore);
  // The acquisition stopped or the recording ends: spans still waiting for their post time
  // are written as far as they came. After a stop the caller pauses the recorder.
  void Stopped();

  int64_t fired() const { return trigger_->firedCount(); }

 private:
  void Fired(const acquisition::FiredTrigger& fired);
  void Captured(acquisition::TriggerCapture&& capture);
  void SkipBefore(int64_t block);

  Recorder& recorder_;
  TriggeredKeep keep_;
  std::unique_ptr<acquisition::Trigger> trigger_;
  double preSeconds_;
  double blockSeconds_ = 0;
  int64_t delivered_ = -1;  // the latest block fed, counted as the trigger counts them
  int64_t next_ = 0;        // the next block the recorder has not taken or skipped
  bool going_ = true;
  std::map<int64_t, int> lostBefore_;  // Spans: losses before blocks not yet handed over
  std::deque<int64_t> waiting_;        // Spans: first blocks of the spans not yet captured
};

}  // namespace recording
