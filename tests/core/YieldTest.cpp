// The day's yield over units: a card tested again is one unit, its first verdict its
// first-pass result and its last its final one; aborted runs and runs that could not run
// say nothing of a card.
#include "Yield.h"

#include <gtest/gtest.h>

namespace {

selftest::RunRecord Record(const char* serial, const char* verdict) {
  selftest::RunRecord run;
  run.info.serial = serial;
  run.verdict = *selftest::VerdictNamed(verdict);
  return run;
}

}  // namespace

TEST(Yield, CountsUnitsNotRuns) {
  struct Case {
    const char* what;
    std::vector<selftest::RunRecord> runs;
    selftest::Yield want;
  } cases[] = {
      {"nothing", {}, {}},
      {"one pass, one fail",
       {Record("A", "PASS"), Record("B", "FAIL")},
       {.runs = 2, .units = 2, .firstPass = 1, .finalPass = 1}},
      {"failed, reworked, passed",
       {Record("A", "FAIL"), Record("A", "PASS")},
       {.runs = 2, .units = 1, .firstPass = 0, .finalPass = 1, .retested = 1}},
      {"passed, then failed on a second look",
       {Record("A", "PASS"), Record("A", "FAIL")},
       {.runs = 2, .units = 1, .firstPass = 1, .finalPass = 0, .retested = 1}},
      {"aborted and not run count in neither",
       {Record("A", "ABORTED"), Record("A", "PASS"), Record("B", "NOT RUN")},
       {.runs = 3, .units = 1, .firstPass = 1, .finalPass = 1, .aborted = 1, .notRun = 1}},
      {"runs without a serial are units of their own",
       {Record("", "PASS"), Record("", "FAIL")},
       {.runs = 2, .units = 2, .firstPass = 1, .finalPass = 1}},
  };
  for (const Case& c : cases) {
    const selftest::Yield y = selftest::YieldOf(c.runs);
    EXPECT_EQ(y.runs, c.want.runs) << c.what;
    EXPECT_EQ(y.units, c.want.units) << c.what;
    EXPECT_EQ(y.firstPass, c.want.firstPass) << c.what;
    EXPECT_EQ(y.finalPass, c.want.finalPass) << c.what;
    EXPECT_EQ(y.retested, c.want.retested) << c.what;
    EXPECT_EQ(y.aborted, c.want.aborted) << c.what;
    EXPECT_EQ(y.notRun, c.want.notRun) << c.what;
  }
  EXPECT_EQ(selftest::Retests({Record("A", "FAIL"), Record("B", "PASS"), Record("A", "PASS"),
                               Record("", "PASS"), Record("", "PASS")}),
            (std::vector<bool>{false, false, true, false, false}));
}
