// Blocks lost in a stall before the loss watch knows the card's pace. The card finishes its
// blocks on its own clock, at the period its start parameters give (64 channels x 300
// points at 50,000 samples/s: one every 0.384 s), so from the arrival of the first blocks
// on, the count the card must have finished by any poll is known: what a poll brings short
// of it was lost, however early the stall. A count that falls on the edge between two blocks
// is held back until the next polls decide it, never guessed. The card's clock is trusted
// to within kMostClockError; a card that runs faster than its period allows (a simulated
// card at a faster pace), a count no poll can settle, or a time so long that the allowance
// reaches a quarter block ends the judging, and the loss watch alone counts from then on.
#pragma once

#include <cstdint>
#include <vector>

namespace recording {

class NominalPace {
 public:
  // How far the card's clock may be off its nominal rate (a crystal's error, with margin).
  static constexpr double kMostClockError = 1e-3;
  // How far a poll's time stamps may be off the moments they bracket.
  static constexpr double kJitterSeconds = 0.005;

  explicit NominalPace(double periodSeconds) : period_(periodSeconds) {}

  enum class State {
    Settled,  // every poll so far is settled: `lost()` before each held poll's blocks
    Holding,  // the count is on an edge: keep this poll's blocks until it settles
    Retired,  // no longer judged: the loss watch counts
  };
  // One poll that brought `count` blocks, asked at `asked` and answered by `answered` on
  // the caller's steady clock. On Settled, lost() holds the blocks lost before each poll
  // held since the last settlement, this one last; on Retired too when polls were held
  // (the fewest the card's clock allows), else it is empty.
  State Poll(double asked, double answered, int64_t count);
  const std::vector<int64_t>& lost() const { return settledLost_; }
  bool retired() const { return retired_; }

 private:
  // One count the card may have reached: its blocks so far (delivered and lost), the
  // phases (when block 0 finished) that agree with every poll, and the losses it implies
  // for each poll held.
  struct Count {
    int64_t blocks;
    double earliest, latest;
    std::vector<int64_t> lost;
  };

  bool Narrow(Count& c, double asked, double answered) const;
  State Retire();
  State First(double asked, double answered, int64_t count);
  State NothingYet(double asked, double answered);
  State Delivered(double asked, double answered, int64_t count, double slack);

  double period_;
  double first_ = 0;            // the first poll's answer: the clock's allowance grows from there
  double emptyAsked_ = -1e300;  // the last poll before the first blocks, which had none
  std::vector<Count> counts_;
  std::vector<int64_t> settledLost_;
  bool retired_ = false;
};

}  // namespace recording
