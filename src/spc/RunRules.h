// The run rules of an individuals chart: which points say the process has moved, given the
// chart's centre line and its sigma (a third of the distance from the centre line to a
// control limit). Numbered as the program says them everywhere:
//   1  one point beyond 3 sigma (outside the control limits)
//   2  two of three points in a row beyond 2 sigma on the same side
//   3  four of five points in a row beyond 1 sigma on the same side
//   4  eight points in a row on the same side of the centre line
//   5  six points in a row, each higher than the one before, or each lower
//   6  fourteen points in a row, alternating up and down
//   7  fifteen points in a row within 1 sigma of the centre line, either side
//   8  eight points in a row beyond 1 sigma, either side, none within it
// Rules 1 to 4 are the four zone rules of the Western Electric handbook; 5 to 8 are the four
// rules Nelson added to them (his own list, which interleaves them with the first four,
// numbers these 3, 4, 7 and 8). "Beyond" is strictly beyond: a point exactly on a zone's line
// is inside it, and a point on the centre line is on neither side (it ends rule 4's run).
// Rule 6's "up and down" and rule 5's "higher, lower" are strict too: two equal points in a
// row end either.
#pragma once

#include <cstddef>
#include <vector>

namespace spc {

// A stretch of points that breaks one rule: its first and last point (0-based, the chart's
// order). Windows of one rule that share points are one violation.
struct Violation {
  int rule = 0;  // 1 to 8, as above
  size_t first = 0, last = 0;
  bool operator==(const Violation&) const = default;
};

constexpr int kRuleCount = 8;

// Every violation of the eight rules, ordered by rule and then by first point. Nothing where
// sigma is not above zero (every point equal: nothing to judge).
std::vector<Violation> RuleViolations(const std::vector<double>& points, double centre,
                                      double sigma);

}  // namespace spc
