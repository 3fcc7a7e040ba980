#include "RunRules.h"

#include <cmath>
#include <functional>

namespace spc {
namespace {

// Which side of a line a point lies: +1 above, -1 below, 0 on it or within.
int Beyond(double x, double centre, double distance) {
  if (x > centre + distance) return 1;
  if (x < centre - distance) return -1;
  return 0;
}

// Adds the stretch first..last to the rule's violations, joined with the last one where the
// two share points.
void Add(std::vector<Violation>& found, int rule, size_t first, size_t last) {
  if (!found.empty() && found.back().rule == rule && first <= found.back().last) {
    found.back().last = last;
    return;
  }
  found.push_back({rule, first, last});
}

// "At least `needed` of `window` points in a row further than `distance` from the centre, on
// the same side": the last of them breaks the rule, and the stretch runs from the first.
// A window cut short by the start of the chart counts: its missing points cannot undo it.
void CountOnOneSide(const std::vector<double>& x, double centre, double distance, int rule,
                    size_t window, size_t needed, std::vector<Violation>& found) {
  for (size_t i = 0; i < x.size(); ++i) {
    const int side = Beyond(x[i], centre, distance);
    if (side == 0) continue;
    const size_t start = i + 1 >= window ? i + 1 - window : 0;
    size_t count = 0, first = i;
    for (size_t j = start; j <= i; ++j) {
      if (Beyond(x[j], centre, distance) != side) continue;
      if (count++ == 0) first = j;
    }
    if (count >= needed) Add(found, rule, first, i);
  }
}

// "`length` points in a row, all together passing `holds`" (given the row's first and last
// point): the stretch is the whole row.
void WholeRow(const std::vector<double>& x, int rule, size_t length,
              const std::function<bool(size_t, size_t)>& holds, std::vector<Violation>& found) {
  for (size_t last = length - 1; last < x.size(); ++last) {
    if (holds(last + 1 - length, last)) Add(found, rule, last + 1 - length, last);
  }
}

int Sign(double d) {
  return d > 0 ? 1 : d < 0 ? -1 : 0;
}

}  // namespace

std::vector<Violation> RuleViolations(const std::vector<double>& x, double centre, double sigma) {
  std::vector<Violation> found;
  if (!(sigma > 0) || !std::isfinite(sigma)) return found;
  CountOnOneSide(x, centre, 3 * sigma, 1, 1, 1, found);
  CountOnOneSide(x, centre, 2 * sigma, 2, 3, 2, found);
  CountOnOneSide(x, centre, sigma, 3, 5, 4, found);
  const auto all = [&](size_t first, size_t last, auto&& test) {
    for (size_t i = first; i <= last; ++i) {
      if (!test(i)) return false;
    }
    return true;
  };
  WholeRow(
      x, 4, 8,
      [&](size_t first, size_t last) {
        const int side = Beyond(x[first], centre, 0);
        return side != 0 &&
               all(first, last, [&](size_t i) { return Beyond(x[i], centre, 0) == side; });
      },
      found);
  WholeRow(
      x, 5, 6,
      [&](size_t first, size_t last) {
        const int way = Sign(x[first + 1] - x[first]);
        return way != 0 &&
               all(first + 1, last, [&](size_t i) { return Sign(x[i] - x[i - 1]) == way; });
      },
      found);
  WholeRow(
      x, 6, 14,
      [&](size_t first, size_t last) {
        return all(first + 1, last, [&](size_t i) {
          const int way = Sign(x[i] - x[i - 1]);
          return way != 0 && (i == first + 1 || way == -Sign(x[i - 1] - x[i - 2]));
        });
      },
      found);
  WholeRow(
      x, 7, 15,
      [&](size_t first, size_t last) {
        return all(first, last, [&](size_t i) { return std::fabs(x[i] - centre) < sigma; });
      },
      found);
  WholeRow(
      x, 8, 8,
      [&](size_t first, size_t last) {
        return all(first, last, [&](size_t i) { return std::fabs(x[i] - centre) > sigma; });
      },
      found);
  return found;
}

}  // namespace spc
