#include "Spc.h"

#include <algorithm>
#include <cmath>

namespace spc {
namespace {

// Bissell's interval around a one- or two-sided index from n points.
Interval Bissell(double index, size_t n) {
  const double half = kZ975 * std::sqrt(1.0 / (9.0 * n) + index * index / (2.0 * (n - 1)));
  return {index, index - half, index + half};
}

// The capability indices of points with mean `mean` and sigma within `sigma` against the
// limits; none where sigma is zero (every point equal: no spread to compare).
void Capability(Statistics& s) {
  const double sigma = *s.sigmaWithin, mean = *s.mean;
  if (!(sigma > 0)) return;
  const size_t n = s.count;
  if (s.high) s.cpu = Bissell((*s.high - mean) / (3 * sigma), n);
  if (s.low) s.cpl = Bissell((mean - *s.low) / (3 * sigma), n);
  if (s.cpu && s.cpl) {
    s.cpk = s.cpu->value <= s.cpl->value ? s.cpu : s.cpl;
    const double cp = (*s.high - *s.low) / (6 * sigma);
    const double dof = double(n - 1);
    s.cp = Interval{cp, cp * std::sqrt(ChiSquareQuantile(-kZ975, dof) / dof),
                    cp * std::sqrt(ChiSquareQuantile(kZ975, dof) / dof)};
  } else {
    s.cpk = s.cpu ? s.cpu : s.cpl;
  }
}

}  // namespace

double ChiSquareQuantile(double z, double dof) {
  const double a = 2.0 / (9.0 * dof);
  const double root = 1.0 - a + z * std::sqrt(a);
  return root > 0 ? dof * root * root * root : 0.0;
}

Analysis Analyse(const std::vector<Sample>& series) {
  std::vector<const Sample*> points;
  for (const Sample& s : series) points.push_back(&s);
  return Analyse(points);
}

Analysis Analyse(const std::vector<const Sample*>& series) {
  Analysis a;
  Statistics& s = a.statistics;
  std::vector<double> x;
  for (size_t i = 0; i < series.size(); ++i) {
    if (!series[i]->value || !std::isfinite(*series[i]->value)) {
      ++s.missing;
      continue;
    }
    a.points.push_back(i);
    x.push_back(*series[i]->value);
  }
  s.count = x.size();
  if (x.empty()) return a;
  double sum = 0;
  for (const double v : x) sum += v;
  s.mean = sum / double(x.size());
  const Sample& newest = *series[a.points.back()];
  s.low = newest.low;
  s.high = newest.high;
  for (const size_t i : a.points) {
    s.limitsVaried = s.limitsVaried || series[i]->low != s.low || series[i]->high != s.high;
  }
  if (x.size() < 2) return a;
  double squares = 0, ranges = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    squares += (x[i] - *s.mean) * (x[i] - *s.mean);
    if (i > 0) ranges += std::fabs(x[i] - x[i - 1]);
  }
  s.sigmaOverall = std::sqrt(squares / double(x.size() - 1));
  s.mrBar = ranges / double(x.size() - 1);
  s.sigmaWithin = *s.mrBar / kD2;
  Capability(s);
  Chart chart;
  const double reach = kIndividualsE2 * *s.mrBar;
  chart.individuals = {*s.mean, *s.mean - reach, *s.mean + reach};
  chart.movingRange = {*s.mrBar, 0, kMovingRangeD4 * *s.mrBar};
  chart.ruleSigma = reach / 3;
  a.chart = chart;
  a.violations = RuleViolations(x, *s.mean, chart.ruleSigma);
  return a;
}

std::vector<Sample> NewestRuns(const std::vector<Sample>& series, size_t runs) {
  if (runs == 0 || runs >= series.size()) return series;
  return std::vector<Sample>(series.end() - std::ptrdiff_t(runs), series.end());
}

std::vector<Sample> StartedSince(const std::vector<Sample>& series, const std::string& since) {
  std::vector<Sample> kept;
  // The times are one ISO 8601 form in UTC, so their text sorts as they do; a date alone
  // sorts before every time of its day.
  for (const Sample& s : series) {
    if (s.started >= since) kept.push_back(s);
  }
  return kept;
}

}  // namespace spc
