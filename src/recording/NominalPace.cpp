#include "NominalPace.h"

#include <algorithm>
#include <cmath>

namespace recording {
namespace {

constexpr size_t kMostCounts = 8;       // counts still possible for one held poll
constexpr int kMostHeldPolls = 8;       // polls with blocks held before the count settles
constexpr double kLongestShare = 0.25;  // of a block: the allowance at which judging ends

}  // namespace

// Block k finishes at phase + k x period: a poll whose count K held at some moment between
// its times had block K - 1 by its answer and not block K when it was asked.
bool NominalPace::Narrow(Count& c, double asked, double answered) const {
  const double slack = kJitterSeconds + kMostClockError * std::max(0.0, answered - first_);
  const auto k = static_cast<double>(c.blocks);
  c.latest = std::min(c.latest, answered + slack - (k - 1) * period_);
  c.earliest = std::max(c.earliest, asked - slack - k * period_);
  return c.earliest <= c.latest;
}

NominalPace::State NominalPace::Retire() {
  retired_ = true;
  counts_.clear();
  settledLost_.clear();
  return State::Retired;
}

NominalPace::State NominalPace::Poll(double asked, double answered, int64_t count) {
  if (retired_) return State::Retired;
  settledLost_.clear();
  if (period_ <= 0) return Retire();
  if (counts_.empty()) return First(asked, answered, count);
  const double slack = kJitterSeconds + kMostClockError * std::max(0.0, answered - first_);
  if (slack > kLongestShare * period_) return Retire();
  if (count <= 0) return NothingYet(asked, answered);
  return Delivered(asked, answered, count, slack);
}

NominalPace::State NominalPace::First(double asked, double answered, int64_t count) {
  if (count <= 0) {
    emptyAsked_ = asked;
    return State::Settled;
  }
  // The first blocks: the recording counts from them, so nothing came before, and the
  // first of them had not finished when the card last had none.
  first_ = answered;
  Count c{count, emptyAsked_ - kJitterSeconds, 1e300, {}};
  if (!Narrow(c, asked, answered)) {  // the card held them back: no such bound
    c = {count, -1e300, 1e300, {}};
    Narrow(c, asked, answered);
  }
  counts_.push_back(c);
  settledLost_.push_back(0);
  return State::Settled;
}

// Nothing yet: the next block had not finished when it was asked, unless the card held its
// blocks back. A count this rules out goes; when it rules out every one, the card held them
// back and the poll says nothing.
NominalPace::State NominalPace::NothingYet(double asked, double answered) {
  std::vector<Count> kept;
  for (const Count& c : counts_) {
    Count narrowed = c;
    if (Narrow(narrowed, asked, answered)) kept.push_back(std::move(narrowed));
  }
  if (!kept.empty()) counts_ = std::move(kept);
  if (counts_.size() > 1) return State::Holding;
  if (counts_.front().lost.empty()) return State::Settled;
  settledLost_ = std::move(counts_.front().lost);
  counts_.front().lost.clear();
  return State::Settled;
}

NominalPace::State NominalPace::Delivered(double asked, double answered, int64_t count,
                                          double slack) {
  std::vector<Count> next;
  for (const Count& c : counts_) {
    const int64_t delivered = c.blocks + count;
    const auto fewest = static_cast<int64_t>(std::floor((asked - slack - c.latest) / period_)) + 1;
    const auto most =
        static_cast<int64_t>(std::floor((answered + slack - c.earliest) / period_)) + 1;
    if (delivered > most) continue;  // faster than the card's clock allows
    for (int64_t lost = std::max<int64_t>(0, fewest - delivered); lost <= most - delivered;
         ++lost) {
      Count n{delivered + lost, c.earliest, c.latest, c.lost};
      n.lost.push_back(lost);
      if (Narrow(n, asked, answered)) next.push_back(std::move(n));
      if (next.size() > kMostCounts) return Retire();
    }
  }
  if (next.empty()) return Retire();  // the card does not keep its nominal period here
  if (next.size() == 1) {
    settledLost_ = std::move(next.front().lost);
    next.front().lost.clear();
    counts_ = std::move(next);
    return State::Settled;
  }
  if (static_cast<int>(next.front().lost.size()) >= kMostHeldPolls) {
    // The polls cannot tell the counts apart: the fewest losses (none claimed that may not
    // have happened), and the loss watch counts from here.
    const auto fewest = std::min_element(next.begin(), next.end(),
                                         [](auto& a, auto& b) { return a.blocks < b.blocks; });
    std::vector<int64_t> lost = std::move(fewest->lost);
    Retire();
    settledLost_ = std::move(lost);
    return State::Retired;
  }
  counts_ = std::move(next);
  return State::Holding;
}

}  // namespace recording
