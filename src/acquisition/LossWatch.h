// Blocks the card finished but the program never got. The card library gives no sign of an
// overflowing queue, so losses are inferred: the card finishes block k at phase + k x period,
// and every poll says how many blocks had finished by its time. The phases and periods that
// agree with every poll so far form a small polygon, learned from the card's own deliveries
// (so a card running a little off its nominal rate is no alarm). A poll that finds fewer
// blocks than the card must have finished by then, at every point of the polygon, has lost
// the difference: a loss is never claimed that did not happen. A source that is not steady
// (a scripted card) never gets a learned polygon and is not judged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace acquisition {

struct LossEvent {
  double atSeconds = 0;  // the poll that found it, on the caller's clock
  int blocks = 0;
};

class LossWatch {
 public:
  // A new acquisition; `nominalPeriodSeconds` follows from the start parameters.
  void Begin(double nominalPeriodSeconds);
  // One poll, timed just before the card was asked, that reported `delivered` blocks.
  // Returns the blocks newly found lost (0 for most polls; always 0 for a poll that brought
  // none: a loss shows when the blocks after it arrive).
  int Account(double nowSeconds, int delivered);

  int64_t lost() const { return lost_; }
  // The latest losses, oldest first (at most kKeptEvents).
  const std::vector<LossEvent>& events() const { return events_; }
  static constexpr size_t kKeptEvents = 8;

  struct Corner {
    double phase, period;
  };

 private:
  void Learn(double t, int64_t index);
  void LearnOrCorrect(double t, int64_t index);
  bool Learned(double precision) const;
  void Record(double atSeconds, int64_t blocks);

  double nominal_ = 0;
  int64_t delivered_ = 0;
  int64_t lost_ = 0;
  int64_t learnedFrom_ = 0;              // the card's count at the first poll of the polygon
  int64_t lastIndex_ = 0;                // the card's count at the latest poll
  bool unsure_ = false;                  // the last loss was found at its fewest
  std::vector<Corner> polygon_;          // empty: nothing learned yet
  std::vector<Corner> scratch_, saved_;  // room for the next polygon, and the last one
  std::vector<LossEvent> events_;
};

}  // namespace acquisition
