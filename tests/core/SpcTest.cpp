// Statistical process control: each run rule firing and not firing at its edge, the chart's
// constants, the statistics and capability with missing values and one-sided limits, the
// confidence intervals against tabled quantiles, and the report's series and forms.
#include "Spc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "SpcReport.h"

namespace spc {
// "rule 4: points 0-7" where a table's row fails.
void PrintTo(const Violation& v, std::ostream* out) {
  *out << "rule " << v.rule << ": points " << v.first << "-" << v.last;
}
}  // namespace spc

namespace {

using spc::Violation;

std::vector<double> Repeat(std::vector<double> pattern, size_t times) {
  std::vector<double> out;
  for (size_t i = 0; i < times; ++i) out.push_back(pattern[i % pattern.size()]);
  return out;
}

std::vector<double> Rising(size_t n, double step) {
  std::vector<double> out;
  for (size_t i = 0; i < n; ++i) out.push_back(-0.5 + step * double(i));
  return out;
}

spc::Sample Point(std::optional<double> value, std::optional<double> low = std::nullopt,
                  std::optional<double> high = std::nullopt, std::string station = "S1",
                  std::string started = "2026-12-09T08:00:00Z") {
  return {"channel 1 mean", "V", std::move(station), "run", std::move(started), value, low, high};
}

}  // namespace

// Centre 0, sigma 1: each rule's violations alone.
TEST(Spc, EachRunRuleFiresAtItsEdgeAndNotBefore) {
  struct Case {
    const char* what;
    int rule;
    std::vector<double> points;
    std::vector<Violation> want;
  } cases[] = {
      {"a point beyond 3 sigma", 1, {0, 3.01, 0}, {{1, 1, 1}}},
      {"a point beyond 3 sigma below", 1, {-3.5}, {{1, 0, 0}}},
      {"a point on the 3 sigma line is inside", 1, {3.0, -3.0}, {}},
      {"two separate points are two violations", 1, {4, 0, -4}, {{1, 0, 0}, {1, 2, 2}}},
      {"2 of 3 beyond 2 sigma", 2, {2.1, 0, 2.1}, {{2, 0, 2}}},
      {"2 of 3 at the chart's start", 2, {2.1, 2.1}, {{2, 0, 1}}},
      {"2 beyond 2 sigma four points apart", 2, {2.1, 0, 0, 2.1}, {}},
      {"2 beyond 2 sigma on opposite sides", 2, {2.1, 0, -2.1}, {}},
      {"on the 2 sigma line is inside", 2, {2.0, 2.5, 0}, {}},
      {"4 of 5 beyond 1 sigma", 3, {1.5, 1.5, 0, 1.5, 1.5}, {{3, 0, 4}}},
      {"3 of 5 beyond 1 sigma", 3, {1.5, 1.5, 0, 0, 1.5, 1.5}, {}},
      {"4 of 5 on both sides", 3, {1.5, -1.5, 1.5, -1.5, 1.5}, {}},
      {"8 in a row on one side", 4, Repeat({0.5}, 8), {{4, 0, 7}}},
      {"7 in a row on one side", 4, Repeat({0.5}, 7), {}},
      {"8 below", 4, Repeat({-0.2}, 8), {{4, 0, 7}}},
      {"a point on the centre ends the row", 4, {.5, .5, .5, .5, 0, .5, .5, .5, .5}, {}},
      {"10 in a row is one violation", 4, Repeat({0.5}, 10), {{4, 0, 9}}},
      {"6 rising", 5, Rising(6, 0.1), {{5, 0, 5}}},
      {"5 rising", 5, Rising(5, 0.1), {}},
      {"6 falling", 5, {0.5, 0.4, 0.3, 0.2, 0.1, 0.0}, {{5, 0, 5}}},
      {"a tie ends the rise", 5, {.1, .2, .3, .3, .4, .5}, {}},
      {"14 alternating", 6, Repeat({0.3, -0.3}, 14), {{6, 0, 13}}},
      {"13 alternating", 6, Repeat({0.3, -0.3}, 13), {}},
      {"a tie ends the alternation", 6, Repeat({0.3, -0.3, 0.3, 0.3, -0.3, 0.3, -0.3}, 14), {}},
      {"15 within 1 sigma", 7, Repeat({0.2, -0.1, 0.05}, 15), {{7, 0, 14}}},
      {"14 within 1 sigma", 7, Repeat({0.2, -0.1, 0.05}, 14), {}},
      {"on the 1 sigma line is not within",
       7,
       {.2, -.1, .05, .2, -.1, .05, .2, 1.0, .05, .2, -.1, .05, .2, -.1, .05},
       {}},
      {"8 beyond 1 sigma either side", 8, Repeat({1.5, -1.5}, 8), {{8, 0, 7}}},
      {"7 beyond 1 sigma", 8, Repeat({1.5, -1.5}, 7), {}},
      {"one on the 1 sigma line", 8, {1.5, -1.5, 1.5, -1.0, 1.5, -1.5, 1.5, -1.5}, {}},
  };
  for (const Case& c : cases) {
    std::vector<Violation> got;
    for (const Violation& v : spc::RuleViolations(c.points, 0, 1)) {
      if (v.rule == c.rule) got.push_back(v);
    }
    EXPECT_EQ(got, c.want) << c.what;
  }
  EXPECT_TRUE(spc::RuleViolations({1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, 0).empty()) << "sigma 0";
}

TEST(Spc, ChartConstantsAndLimits) {
  EXPECT_EQ(spc::kD2, 1.128);
  EXPECT_EQ(spc::kIndividualsE2, 2.66);
  EXPECT_EQ(spc::kMovingRangeD4, 3.267);
  EXPECT_NEAR(3 / spc::kD2, spc::kIndividualsE2, 0.001);
  // 1, 3, 2, 4: moving ranges 2, 1, 2.
  const spc::Analysis a = spc::Analyse({Point(1), Point(3), Point(2), Point(4)});
  ASSERT_TRUE(a.chart);
  const double mrBar = 5.0 / 3;
  EXPECT_DOUBLE_EQ(a.chart->individuals.centre, 2.5);
  EXPECT_DOUBLE_EQ(a.chart->individuals.upper, 2.5 + 2.66 * mrBar);
  EXPECT_DOUBLE_EQ(a.chart->individuals.lower, 2.5 - 2.66 * mrBar);
  EXPECT_DOUBLE_EQ(a.chart->movingRange.centre, mrBar);
  EXPECT_DOUBLE_EQ(a.chart->movingRange.upper, 3.267 * mrBar);
  EXPECT_DOUBLE_EQ(a.chart->ruleSigma, 2.66 * mrBar / 3);
}

TEST(Spc, StatisticsAndCapability) {
  // 1, 3, 2, 4: mean 2.5, MR-bar 5/3, sigma within 5/3/1.128, overall sqrt(5/3).
  const double within = 5.0 / 3 / 1.128;
  struct Case {
    const char* what;
    std::vector<spc::Sample> series;
    size_t count, missing;
    std::optional<double> sigma, cp, cpk, cpu, cpl;
  } cases[] = {
      {"nothing", {}, 0, 0, {}, {}, {}, {}, {}},
      {"one value: no sigma, no Cp", {Point(1, 0, 10)}, 1, 0, {}, {}, {}, {}, {}},
      {"not measured is missing, never a point",
       {Point(std::nullopt, 0, 10), Point(2, 0, 10), Point(std::nullopt, 0, 10)},
       1,
       2,
       {},
       {},
       {},
       {},
       {}},
      {"both limits",
       {Point(1, 0, 10), Point(3, 0, 10), Point(2, 0, 10), Point(4, 0, 10)},
       4,
       0,
       within,
       10 / (6 * within),
       2.5 / (3 * within),
       7.5 / (3 * within),
       2.5 / (3 * within)},
      {"only a high limit: Cpu alone",
       {Point(1, {}, 10), Point(3, {}, 10), Point(2, {}, 10), Point(4, {}, 10)},
       4,
       0,
       within,
       {},
       7.5 / (3 * within),
       7.5 / (3 * within),
       {}},
      {"only a low limit: Cpl alone",
       {Point(1, 0), Point(3, 0), Point(2, 0), Point(4, 0)},
       4,
       0,
       within,
       {},
       2.5 / (3 * within),
       {},
       2.5 / (3 * within)},
      {"no limits: no capability",
       {Point(1), Point(3), Point(2), Point(4)},
       4,
       0,
       within,
       {},
       {},
       {},
       {}},
      {"every value equal: no spread, no capability",
       {Point(2, 0, 10), Point(2, 0, 10), Point(2, 0, 10)},
       3,
       0,
       0.0,
       {},
       {},
       {},
       {}},
  };
  const auto value = [](const std::optional<spc::Interval>& i) {
    return i ? std::optional<double>(i->value) : std::nullopt;
  };
  for (const Case& c : cases) {
    const spc::Statistics s = spc::Analyse(c.series).statistics;
    EXPECT_EQ(s.count, c.count) << c.what;
    EXPECT_EQ(s.missing, c.missing) << c.what;
    EXPECT_EQ(s.sigmaWithin.has_value(), c.sigma.has_value()) << c.what;
    if (s.sigmaWithin && c.sigma) {
      EXPECT_DOUBLE_EQ(*s.sigmaWithin, *c.sigma) << c.what;
    }
    const std::pair<std::optional<double>, std::optional<double>> indices[] = {
        {value(s.cp), c.cp}, {value(s.cpk), c.cpk}, {value(s.cpu), c.cpu}, {value(s.cpl), c.cpl}};
    for (const auto& [got, want] : indices) {
      EXPECT_EQ(got.has_value(), want.has_value()) << c.what;
      if (got && want) {
        EXPECT_DOUBLE_EQ(*got, *want) << c.what;
      }
    }
  }
  // The missing value between 1 and 3 is skipped: one moving range of 2.
  const spc::Statistics gap = spc::Analyse({Point(1), Point(std::nullopt), Point(3)}).statistics;
  EXPECT_DOUBLE_EQ(*gap.mrBar, 2);
  EXPECT_DOUBLE_EQ(*gap.sigmaOverall, std::sqrt(2.0));
  const spc::Statistics changed = spc::Analyse({Point(1, 0, 5), Point(2, 0, 10)}).statistics;
  EXPECT_TRUE(changed.limitsVaried);
  EXPECT_EQ(changed.high, 10.0) << "the newest point's limits";
}

TEST(Spc, ConfidenceIntervalsAgainstTabledQuantiles) {
  struct Case {
    double dof, lower, upper, tolerance;  // the chi-square 2.5 % and 97.5 % quantiles
  } cases[] = {{9, 2.70039, 19.02277, 0.01},
               {29, 16.04707, 45.72229, 0.001},
               {99, 73.36108, 128.42199, 0.0001}};
  for (const Case& c : cases) {
    EXPECT_NEAR(spc::ChiSquareQuantile(-spc::kZ975, c.dof) / c.lower, 1, c.tolerance) << c.dof;
    EXPECT_NEAR(spc::ChiSquareQuantile(spc::kZ975, c.dof) / c.upper, 1, c.tolerance) << c.dof;
  }
  EXPECT_EQ(spc::ChiSquareQuantile(-spc::kZ975, 1), 0) << "never below zero";
  // 30 points of 1 and 3 alternating: Cp's interval from the chi-square with 29 degrees,
  // Cpk's by Bissell.
  std::vector<spc::Sample> series;
  for (int i = 0; i < 30; ++i) series.push_back(Point(i % 2 ? 3 : 1, -10, 14));
  const spc::Statistics s = spc::Analyse(series).statistics;
  ASSERT_TRUE(s.cp && s.cpk);
  EXPECT_NEAR(s.cp->lower / s.cp->value, std::sqrt(16.04707 / 29), 0.001);
  EXPECT_NEAR(s.cp->upper / s.cp->value, std::sqrt(45.72229 / 29), 0.001);
  const double half =
      1.959963984540054 * std::sqrt(1.0 / (9 * 30) + s.cpk->value * s.cpk->value / (2 * 29));
  EXPECT_DOUBLE_EQ(s.cpk->lower, s.cpk->value - half);
  EXPECT_DOUBLE_EQ(s.cpk->upper, s.cpk->value + half);
}

TEST(Spc, SeriesPerStationAndLineInTimeOrder) {
  const std::vector<spc::Sample> samples = {
      Point(3, {}, {}, "S2", "2026-12-09T08:00:03Z"),
      Point(1, {}, {}, "S1", "2026-12-09T08:00:01Z"),
      Point(std::nullopt, {}, {}, "S1", "2026-12-09T08:00:02Z"),
      Point(5, {}, {}, "S1", "2026-12-09T08:00:04Z")};
  const spc::Report report = spc::SeriesOf(samples, 0, true);
  const auto& all = report.series;
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].station, "S1");
  EXPECT_EQ(all[0].analysis.statistics.count, 2u);
  EXPECT_EQ(all[0].analysis.statistics.missing, 1u);
  EXPECT_EQ(all[2].station, "") << "the whole line last";
  EXPECT_DOUBLE_EQ(*all[2].analysis.statistics.mrBar, (2 + 2) / 2.0) << "1, 3, 5 in time order";
  EXPECT_EQ(spc::SeriesOf(samples, 2, false).series[0].analysis.statistics.count, 1u)
      << "newest 2 runs";
  spc::Sample b = Point(2), a = Point(1);
  a.runId = "a";
  b.runId = "b";
  EXPECT_EQ(spc::SeriesOf({b, a}, 0, false).series[0].samples[0]->runId, "a")
      << "runs of one second by their id";
  EXPECT_EQ(spc::StartedSince(samples, "2026-12-09T08:00:03Z").size(), 2u);
  EXPECT_EQ(spc::StartedSince(samples, "2026-12-09").size(), 4u);
  // Every CSV row has the header's cells; a figure without a value is empty, null in JSON.
  const std::string csv = spc::SpcCsv(all);
  size_t rows = 0, start = 0;
  const auto cells = std::count(csv.begin(), csv.begin() + csv.find('\n'), ',');
  for (size_t end; (end = csv.find('\n', start)) != std::string::npos; start = end + 1, ++rows) {
    EXPECT_EQ(std::count(csv.begin() + start, csv.begin() + end, ','), cells) << rows;
  }
  EXPECT_EQ(rows, 4u) << "the header and three series";
  const std::string lonely = spc::SpcJson(spc::SeriesOf({Point(2)}, 0, false).series, true);
  EXPECT_NE(lonely.find("\"sigma_within\": null"), std::string::npos) << lonely;
  EXPECT_NE(lonely.find("\"cp\": null"), std::string::npos) << lonely;
}
