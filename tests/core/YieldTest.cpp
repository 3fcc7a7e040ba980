// The day's yield over units: a card tested again is one unit, its first verdict its
// first-pass result and its last its final one; aborted runs and runs that could not run
// say nothing of a card.
#include "Yield.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

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

// A run is marked a retest exactly when the yield counts its card as retested: a PASS or FAIL
// of a serial that had one before, however long ago that day.
TEST(Yield, RetestMarksAreTheYieldsRetests) {
  std::vector<selftest::RunRecord> elevenLater = {Record("A", "FAIL")};
  for (int i = 0; i < 10; ++i)
    elevenLater.push_back(Record(("B" + std::to_string(i)).c_str(), "PASS"));
  elevenLater.push_back(Record("A", "PASS"));
  std::vector<bool> elevenLaterMarks(12, false);
  elevenLaterMarks.back() = true;
  struct Case {
    const char* what;
    std::vector<selftest::RunRecord> runs;
    std::vector<bool> marks;
  } cases[] = {
      {"aborted, then passed", {Record("A", "ABORTED"), Record("A", "PASS")}, {false, false}},
      {"could not run, then passed", {Record("A", "NOT RUN"), Record("A", "PASS")}, {false, false}},
      {"passed, then could not run", {Record("A", "PASS"), Record("A", "NOT RUN")}, {false, false}},
      {"passed, then aborted", {Record("A", "PASS"), Record("A", "ABORTED")}, {false, false}},
      {"failed, aborted, passed",
       {Record("A", "FAIL"), Record("A", "ABORTED"), Record("A", "PASS")},
       {false, false, true}},
      {"three verdicts of one card",
       {Record("A", "FAIL"), Record("A", "FAIL"), Record("A", "PASS")},
       {false, true, true}},
      {"a retest eleven runs later", elevenLater, elevenLaterMarks},
  };
  for (const Case& c : cases) {
    const std::vector<bool> marks = selftest::Retests(c.runs);
    EXPECT_EQ(marks, c.marks) << c.what;
    std::set<std::string> marked;
    for (size_t i = 0; i < marks.size(); ++i) {
      if (marks[i]) marked.insert(c.runs[i].info.serial);
    }
    EXPECT_EQ(selftest::YieldOf(c.runs).retested, static_cast<int>(marked.size())) << c.what;
  }
}
