// Statistical process control of one figure over a series of runs: the statistics, the
// capability against the limits the measurements carry, with their confidence intervals, and
// the individuals and moving-range chart with its run rules (RunRules.h).
//
// A run whose figure was not measured (or whose value is no finite number) is no point: it is
// counted as missing, and the points are the measured values in the runs' order. Fewer than two
// points give no sigma, no chart and no capability: a figure without a value, never zero.
//
// sigma within = MR-bar / d2 (d2 = 1.128, the moving range of two points); sigma overall = the
// sample standard deviation (n - 1). Cp = (high - low) / 6 sigma within, Cpu = (high - mean) /
// 3 sigma within, Cpl = (mean - low) / 3 sigma within, Cpk the smaller of the two; a one-sided
// limit gives only Cpu or Cpl (and Cpk is that one), no limit gives none. Intervals are 95 %,
// two-sided: Cp's from the chi-square distribution with n - 1 degrees of freedom, whose
// quantiles come from the Wilson-Hilferty approximation (within 1 % of the exact ones from 10
// points up, 0.1 % from 30); Cpk's (and Cpu's, Cpl's) from Bissell's approximation,
// Cpk +- z sqrt(1 / 9n + Cpk^2 / 2(n - 1)).
// The chart: individuals centre = mean, limits = mean +- 2.66 MR-bar; moving ranges centre =
// MR-bar, upper limit = 3.267 MR-bar, lower 0. The run rules' sigma is a third of 2.66 MR-bar,
// so that rule 1 is exactly a point outside the drawn limits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "RunRules.h"

namespace spc {

constexpr double kD2 = 1.128;             // E[moving range of two] / sigma
constexpr double kIndividualsE2 = 2.66;   // 3 / d2, the individuals chart's limits in MR-bar
constexpr double kMovingRangeD4 = 3.267;  // the moving-range chart's upper limit in MR-bar
constexpr double kConfidence = 0.95;
constexpr double kZ975 = 1.959963984540054;  // the normal distribution's 97.5 % quantile

// One run's value of a figure, as the line keeps it.
struct Sample {
  std::string figure;   // "channel 64 SNR"
  std::string unit;     // "dB"
  std::string station;  // "工位1"
  std::string runId;
  std::string started;          // UTC, "2026-12-09T08:00:00Z"
  std::optional<double> value;  // none: not measured
  std::optional<double> low, high;
};

// An index and its confidence interval.
struct Interval {
  double value = 0, lower = 0, upper = 0;
};

struct Statistics {
  size_t count = 0;    // measured values: the chart's points
  size_t missing = 0;  // runs in which the figure was not measured
  std::optional<double> mean, mrBar, sigmaWithin, sigmaOverall;
  // The limits of the newest point; `limitsVaried` where earlier points carried others.
  std::optional<double> low, high;
  bool limitsVaried = false;
  std::optional<Interval> cp, cpu, cpl, cpk;
};

struct ControlLimits {
  double centre = 0, lower = 0, upper = 0;
};

struct Chart {
  ControlLimits individuals, movingRange;
  double ruleSigma = 0;  // the run rules' sigma: (upper - centre) / 3
};

// A series judged: its points (indices into the samples it was made from, in order), the
// statistics, the chart (none under two points) and its violations.
struct Analysis {
  std::vector<size_t> points;
  Statistics statistics;
  std::optional<Chart> chart;
  std::vector<Violation> violations;
};

// The series in the order given (oldest first), as the samples it points at (none null).
Analysis Analyse(const std::vector<const Sample*>& series);
// The same over samples held in their order.
Analysis Analyse(const std::vector<Sample>& series);

// The chi-square distribution's quantile with `dof` degrees of freedom at the probability
// whose normal quantile is z (Wilson-Hilferty; never below zero): -kZ975 gives the 2.5 % one.
double ChiSquareQuantile(double z, double dof);

// The newest `runs` runs of a series (runs, not points: a missing value counts); 0: all.
std::vector<Sample> NewestRuns(const std::vector<Sample>& series, size_t runs);
// The runs started at `since` or later ("2026-12-09" or "2026-12-09T08:00:00Z"); empty: all.
std::vector<Sample> StartedSince(const std::vector<Sample>& series, const std::string& since);

}  // namespace spc
