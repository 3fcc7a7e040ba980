// Blocks the card finished but the program never got. The card library gives no sign of an
// overflowing queue, so losses are inferred: the card finishes block k at phase + k x period,
// and every poll says how many blocks had finished by its time. The phases and periods that
// agree with every poll so far form a small polygon, learned from the card's own deliveries
// (so a card running a little off its nominal rate is no alarm). A poll that finds fewer
// blocks than the card must have finished by then, at every point of the polygon, has lost
// the difference: a loss is never claimed that did not happen. A source that is not steady
// (a scripted card) never gets a learned polygon and is not judged. A poll is bracketed by
// the times just before it asked and just after the card answered: the count holds at some
// moment between, so a card slow to answer widens what is known and raises no false alarm.
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
  // One poll that reported `delivered` blocks, asked at `askedSeconds` and answered by
  // `answeredSeconds`. Returns the blocks newly found lost (0 for most polls; always 0 for a
  // poll that brought none: a loss shows when the blocks after it arrive).
  int Account(double askedSeconds, double answeredSeconds, int delivered);

  // The blocks the last Account counted belong to a loss an earlier poll found (its count
  // settled late): no new gap in the blocks since.
  bool lastWasSettlement() const { return settled_; }

  int64_t lost() const { return lost_; }
  // The latest losses, oldest first (at most kKeptEvents).
  const std::vector<LossEvent>& events() const { return events_; }
  static constexpr size_t kKeptEvents = 8;

  struct Corner {
    double phase, period;
  };

 private:
  // A loss found at its fewest (the count could be a few more): one polygon for each of
  // the counts still possible, until the polls that follow leave only one.
  struct Candidate {
    int64_t more;
    std::vector<Corner> polygon;
  };

  void Learn(double asked, double answered, int64_t index);
  void LearnOrCorrect(double asked, double answered, int64_t index);
  void Settle(double asked, double answered);
  bool Learned(double precision) const;
  void Record(double atSeconds, int64_t blocks);

  double nominal_ = 0;
  int64_t delivered_ = 0;
  int64_t lost_ = 0;
  int64_t learnedFrom_ = 0;            // the card's count at the first poll of the polygon
  int64_t lastIndex_ = 0;              // the card's count at the latest poll
  std::vector<Candidate> candidates_;  // empty: the count is known
  bool settled_ = false;
  std::vector<Corner> polygon_;          // empty: nothing learned yet
  std::vector<Corner> scratch_, saved_;  // room for the next polygon, and the last one
  std::vector<LossEvent> events_;
};

}  // namespace acquisition
