#include "LossWatch.h"

#include <algorithm>
#include <cmath>

namespace acquisition {

namespace {

using Corner = LossWatch::Corner;

// How far the card's period may be from the nominal one before the card is not believed.
constexpr double kMostRateError = 0.10;
// How far a poll's time stamps may be off the moments they bracket.
constexpr double kJitterSeconds = 0.005;
// Blocks seen, and how closely the period is known, before the card is judged.
constexpr int64_t kLearnBlocks = 16;
constexpr double kLearnedPrecision = 0.03;
// More blocks than any stall can hide (over ten hours at the nominal rate).
constexpr int64_t kMostUncounted = 100000;

// Writes into `kept` the part of a convex polygon where a * phase + b * period <= c. Both
// keep their room from poll to poll, so a poll allocates nothing once the watch runs.
void Clip(const std::vector<Corner>& polygon, double a, double b, double c,
          std::vector<Corner>& kept) {
  kept.clear();
  const size_t n = polygon.size();
  for (size_t i = 0; i < n; ++i) {
    const Corner& p = polygon[i];
    const Corner& q = polygon[(i + 1) % n];
    const double fp = a * p.phase + b * p.period - c;
    const double fq = a * q.phase + b * q.period - c;
    if (fp <= 0) kept.push_back(p);
    if ((fp < 0 && fq > 0) || (fp > 0 && fq < 0)) {
      const double s = fp / (fp - fq);
      kept.push_back({p.phase + s * (q.phase - p.phase), p.period + s * (q.period - p.period)});
    }
  }
}

// A poll whose count K held at some moment between `asked` and `answered`: block K had
// finished by the answer (phase + K * period <= answered) and block K + 1 had not when it
// was asked (phase + (K + 1) * period > asked), give or take the timing noise.
void Constrain(std::vector<Corner>& polygon, std::vector<Corner>& scratch, double asked,
               double answered, int64_t index) {
  const auto k = static_cast<double>(index);
  Clip(polygon, 1, k, answered + kJitterSeconds, scratch);
  Clip(scratch, -1, -(k + 1), -(asked - kJitterSeconds), polygon);
}

}  // namespace

void LossWatch::Begin(double nominalPeriodSeconds) {
  *this = LossWatch();
  nominal_ = nominalPeriodSeconds;
}

void LossWatch::Learn(double asked, double answered, int64_t index) {
  const auto k = static_cast<double>(index);
  if (polygon_.empty()) {
    const double shortest = nominal_ * (1 - kMostRateError);
    const double longest = nominal_ * (1 + kMostRateError);
    const double earliest = asked - (k + 1) * longest - 1, latest = answered + 1;
    polygon_ = {{earliest, shortest}, {latest, shortest}, {latest, longest}, {earliest, longest}};
    learnedFrom_ = index;
  }
  Constrain(polygon_, scratch_, asked, answered, index);
  lastIndex_ = index;
}

// Learned: the polygon holds the card's period to within kLearnedPrecision, from at least
// kLearnBlocks blocks; steady: within the nominal rate's whole allowance.
bool LossWatch::Learned(double precision) const {
  if (polygon_.size() < 3 || lastIndex_ - learnedFrom_ < kLearnBlocks) return false;
  double shortest = polygon_[0].period, longest = shortest;
  for (const Corner& c : polygon_) {
    shortest = std::min(shortest, c.period);
    longest = std::max(longest, c.period);
  }
  return longest - shortest <= nominal_ * precision;
}

void LossWatch::Record(double atSeconds, int64_t blocks) {
  const int n = static_cast<int>(std::min<int64_t>(blocks, 1 << 30));
  lost_ += n;
  events_.push_back({atSeconds, n});
  if (events_.size() > kKeptEvents) events_.erase(events_.begin());
}

int LossWatch::Account(double askedSeconds, double answeredSeconds, int delivered) {
  settled_ = false;
  if (nominal_ <= 0) return 0;
  if (delivered <= 0) {
    // A poll that brings nothing is not judged: a card may hold its blocks back a while. It
    // only narrows the pace (block K + 1 had not finished yet), unless it contradicts it,
    // or the count may be short (then K + 1 may well have finished).
    if (polygon_.empty() || !candidates_.empty()) return 0;
    const auto next = static_cast<double>(delivered_ + lost_ + 1);
    Clip(polygon_, -1, -next, -(askedSeconds - kJitterSeconds), scratch_);
    if (scratch_.size() >= 3) polygon_.swap(scratch_);
    return 0;
  }
  const int64_t lostBefore = lost_;
  delivered_ += delivered;
  if (!candidates_.empty()) {
    Settle(askedSeconds, answeredSeconds);
    return static_cast<int>(lost_ - lostBefore);
  }
  if (Learned(kLearnedPrecision)) {
    // The fewest blocks the card can have finished when it was asked and the most by its
    // answer, over the corners (the count falls or rises monotonically along each edge).
    int64_t fewest = INT64_MAX, most = INT64_MIN;
    for (const Corner& c : polygon_) {
      fewest = std::min(
          fewest,
          static_cast<int64_t>(std::floor((askedSeconds - kJitterSeconds - c.phase) / c.period)));
      most = std::max(most, static_cast<int64_t>(std::floor(
                                (answeredSeconds + kJitterSeconds - c.phase) / c.period)));
    }
    const int64_t missing = fewest - (delivered_ + lost_);
    if (missing > 0) {
      Record(askedSeconds, missing);
      if (fewest < most) {
        // Found at its fewest: a count that may be short would teach the polygon a wrong
        // card, so each possible count keeps its own until the polls tell them apart.
        for (int64_t more = 0; more <= most - fewest; ++more) {
          candidates_.push_back({more, polygon_});
        }
        Settle(askedSeconds, answeredSeconds);
        return static_cast<int>(lost_ - lostBefore);
      }
    }
  }
  LearnOrCorrect(askedSeconds, answeredSeconds, delivered_ + lost_);
  return static_cast<int>(lost_ - lostBefore);
}

// One poll that brought blocks while the count is in doubt: each possible count learns it,
// those the card's pace cannot hold drop out, and the last one left is the count.
void LossWatch::Settle(double asked, double answered) {
  for (Candidate& c : candidates_) {
    Constrain(c.polygon, scratch_, asked, answered, delivered_ + lost_ + c.more);
  }
  std::erase_if(candidates_, [](const Candidate& c) { return c.polygon.size() < 3; });
  if (candidates_.size() > 1) return;
  if (candidates_.empty()) {
    // None fits (the card changed pace, or lost again before it was settled): learn it
    // anew from here, as after a start.
    polygon_.clear();
    Learn(asked, answered, delivered_ + lost_);
    return;
  }
  const Candidate& known = candidates_.front();
  if (known.more > 0) {
    lost_ += known.more;
    events_.back().blocks += static_cast<int>(known.more);
    settled_ = true;
  }
  polygon_ = known.polygon;
  lastIndex_ = delivered_ + lost_;
  candidates_.clear();
}

void LossWatch::LearnOrCorrect(double asked, double answered, int64_t index) {
  std::vector<Corner>& before = saved_;
  before = polygon_;
  const bool steady = Learned(kMostRateError);
  Learn(asked, answered, index);
  if (polygon_.empty() && steady) {
    // A card that has been steady disagrees only when blocks went uncounted (a loss in a
    // stall before the card was known well enough to judge): the fewest more that agree.
    // The least count the card's known pace allows by now, as a start.
    double least = 1e300;
    for (const Corner& c : before) {
      least = std::min(least, (asked - kJitterSeconds - c.phase) / c.period - 1);
    }
    const int64_t first = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(least)) - index);
    for (int64_t more = first; more < first + 4 && more <= kMostUncounted && polygon_.empty();
         ++more) {
      polygon_ = before;
      Learn(asked, answered, index + more);
      if (!polygon_.empty()) Record(asked, more);
    }
  }
  if (polygon_.empty()) Learn(asked, answered, index);  // not steady: learn it anew from here
}

}  // namespace acquisition
