#include "LossWatch.h"

#include <algorithm>
#include <cmath>

namespace acquisition {

namespace {

using Corner = LossWatch::Corner;

// How far the card's period may be from the nominal one before the card is not believed.
constexpr double kMostRateError = 0.10;
// How late a poll's time stamp may be against the card's own count.
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

}  // namespace

void LossWatch::Begin(double nominalPeriodSeconds) {
  *this = LossWatch();
  nominal_ = nominalPeriodSeconds;
}

// A poll at t whose count is K: block K had finished (phase + K * period <= t) and block
// K + 1 had not (phase + (K + 1) * period > t), give or take the timing noise.
void LossWatch::Learn(double t, int64_t index) {
  const auto k = static_cast<double>(index);
  if (polygon_.empty()) {
    const double shortest = nominal_ * (1 - kMostRateError);
    const double longest = nominal_ * (1 + kMostRateError);
    const double earliest = t - (k + 1) * longest - 1, latest = t + 1;
    polygon_ = {{earliest, shortest}, {latest, shortest}, {latest, longest}, {earliest, longest}};
    learnedFrom_ = index;
  }
  Clip(polygon_, 1, k, t + kJitterSeconds, scratch_);
  Clip(scratch_, -1, -(k + 1), -(t - kJitterSeconds), polygon_);
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

int LossWatch::Account(double nowSeconds, int delivered) {
  if (nominal_ <= 0) return 0;
  if (delivered <= 0) {
    // A poll that brings nothing is not judged: a card may hold its blocks back a while. It
    // only narrows the pace (block K + 1 had not finished yet), unless it contradicts it.
    if (polygon_.empty()) return 0;
    const auto next = static_cast<double>(delivered_ + lost_ + 1);
    Clip(polygon_, -1, -next, -(nowSeconds - kJitterSeconds), scratch_);
    if (scratch_.size() >= 3) polygon_.swap(scratch_);
    return 0;
  }
  const int64_t lostBefore = lost_;
  delivered_ += delivered;
  if (Learned(kLearnedPrecision)) {
    // The fewest and the most blocks the card can have finished by now, over the corners
    // (the count falls or rises monotonically along each edge).
    int64_t fewest = INT64_MAX, most = INT64_MIN;
    for (const Corner& c : polygon_) {
      fewest = std::min(
          fewest,
          static_cast<int64_t>(std::floor((nowSeconds - kJitterSeconds - c.phase) / c.period)));
      most = std::max(most, static_cast<int64_t>(
                                std::floor((nowSeconds + kJitterSeconds - c.phase) / c.period)));
    }
    const int64_t missing = fewest - (delivered_ + lost_);
    if (missing > 0) {
      Record(nowSeconds, missing);
      // Found at its fewest: until a poll pins the count, what follows may be short.
      unsure_ = fewest < most;
    } else if (fewest == most) {
      unsure_ = false;
    }
  }
  // A count that may be short would teach the polygon a wrong card.
  if (!unsure_) LearnOrCorrect(nowSeconds, delivered_ + lost_);
  return static_cast<int>(lost_ - lostBefore);
}

void LossWatch::LearnOrCorrect(double nowSeconds, int64_t index) {
  std::vector<Corner>& before = saved_;
  before = polygon_;
  const bool steady = Learned(kMostRateError);
  Learn(nowSeconds, index);
  if (polygon_.empty() && steady) {
    // A card that has been steady disagrees only when blocks went uncounted (a loss in a
    // stall before the card was known well enough to judge): the fewest more that agree.
    // The least count the card's known pace allows by now, as a start.
    double least = 1e300;
    for (const Corner& c : before) {
      least = std::min(least, (nowSeconds - kJitterSeconds - c.phase) / c.period - 1);
    }
    const int64_t first = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(least)) - index);
    for (int64_t more = first; more < first + 4 && more <= kMostUncounted && polygon_.empty();
         ++more) {
      polygon_ = before;
      Learn(nowSeconds, index + more);
      if (!polygon_.empty()) Record(nowSeconds, more);
    }
  }
  if (polygon_.empty()) Learn(nowSeconds, index);  // not steady: learn it anew from here
}

}  // namespace acquisition
