// A trigger as the command line takes it: what it reads, and each refusal with its kind and
// the refused part shown safe.
#include "TriggerSetup.h"

#include <gtest/gtest.h>

#include "CauseText.h"

namespace {

using acquisition::ParseTriggerSetup;
using acquisition::TriggerKind;
using Cause = base::Failure::Cause;

TEST(TriggerSetup, ReadsEdgesWindowsOptionsAndTimes) {
  struct Row {
    const char* text;
    const char* pre;
    const char* post;
    int channel;
    TriggerKind kind;
    double level, low, high, hysteresis, holdoff, preSeconds, postSeconds;
  };
  const Row rows[] = {
      {"ch5,rising,1.5V,hyst=0.1V,holdoff=100ms", "", "", 4, TriggerKind::Rising, 1.5, 0, 0, 0.1,
       0.1, 10, 30},
      {"ch5,enter,-1V..1V", "", "", 4, TriggerKind::Enter, 0, -1, 1, 0.05, 0, 10, 30},
      {"CH64, Falling, -250mV", "60s", "500ms", 63, TriggerKind::Falling, -0.25, 0, 0, 0.05, 0, 60,
       0.5},
      {"1,either,5", "1.5", "2", 0, TriggerKind::Either, 5, 0, 0, 0.05, 0, 1.5, 2},
      {"ch1,leave,-5V..5V,hyst=0", "10s", "30s", 0, TriggerKind::Leave, 0, -5, 5, 0, 0, 10, 30},
      {"ch2,rising,0V,holdoff=0", "", "", 1, TriggerKind::Rising, 0, 0, 0, 0.05, 0, 10, 30},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const auto setup = ParseTriggerSetup(row.text, row.pre, row.post);
    ASSERT_TRUE(setup) << base::ReasonInChinese(setup.failure());
    const acquisition::TriggerSetup& s = setup.value();
    EXPECT_EQ(s.channel, row.channel);
    EXPECT_EQ(s.kind, row.kind);
    EXPECT_DOUBLE_EQ(s.levelVolts, row.level);
    EXPECT_DOUBLE_EQ(s.lowVolts, row.low);
    EXPECT_DOUBLE_EQ(s.highVolts, row.high);
    EXPECT_DOUBLE_EQ(s.hysteresisVolts, row.hysteresis);
    EXPECT_DOUBLE_EQ(s.holdoffSeconds, row.holdoff);
    EXPECT_DOUBLE_EQ(s.preSeconds, row.preSeconds);
    EXPECT_DOUBLE_EQ(s.postSeconds, row.postSeconds);
  }
}

TEST(TriggerSetup, RefusesWithTheReason) {
  struct Row {
    const char* text;
    const char* pre;
    const char* post;
    Cause cause;
    const char* shown;  // the part refused, as the reason shows it
  };
  const Row rows[] = {
      {"ch0,rising,1V", "", "", Cause::TriggerChannelUnknown, "ch0"},
      {"ch65,rising,1V", "", "", Cause::TriggerChannelUnknown, "ch65"},
      {"abc,rising,1V", "", "", Cause::TriggerChannelUnknown, "abc"},
      {"ch-1,rising,1V", "", "", Cause::TriggerChannelUnknown, "ch-1"},
      {"ch1000,rising,1V", "", "", Cause::TriggerChannelUnknown, "ch1000"},
      {"ch5,rising,5.01V", "", "", Cause::TriggerLevelOutOfRange, "5.01V"},
      {"ch5,falling,-6000mV", "", "", Cause::TriggerLevelOutOfRange, "-6000mV"},
      {"ch5,enter,-1V..9V", "", "", Cause::TriggerLevelOutOfRange, "-1V..9V"},
      {"ch5,enter,1V..-1V", "", "", Cause::TriggerWindowEmpty, "1V..-1V"},
      {"ch5,leave,1V..1V", "", "", Cause::TriggerWindowEmpty, "1V..1V"},
      {"ch5,leave,-1V..1V,hyst=1V", "", "", Cause::TriggerHysteresisTooLarge,
       "ch5,leave,-1V..1V,hyst=1V"},
      {"ch5,enter,-0.1V..0.1V,hyst=0.2V", "", "", Cause::TriggerHysteresisTooLarge,
       "ch5,enter,-0.1V..0.1V,hyst=0.2V"},
      {"ch5,rising,-4.9V,hyst=0.2V", "", "", Cause::TriggerHysteresisTooLarge,
       "ch5,rising,-4.9V,hyst=0.2V"},
      {"ch5,falling,0V,hyst=11V", "", "", Cause::TriggerHysteresisTooLarge,
       "ch5,falling,0V,hyst=11V"},
      {"ch5,rising,1V", "61s", "", Cause::TriggerPreTooLong, "61s"},
      {"ch5,rising,1V", "60001ms", "", Cause::TriggerPreTooLong, "60001ms"},
      {"ch5,rising,1V", "0s", "", Cause::TriggerTimeNotPositive, "0s"},
      {"ch5,rising,1V", "", "-1s", Cause::TriggerTimeNotPositive, "-1s"},
      {"ch5,rising,1V", "", "0", Cause::TriggerTimeNotPositive, "0"},
      {"ch5,rising,1V,holdoff=-5ms", "", "", Cause::TriggerTimeNotPositive, "holdoff=-5ms"},
      {"", "", "", Cause::TriggerUnreadable, ""},
      {"ch5", "", "", Cause::TriggerUnreadable, "ch5"},
      {"ch5,upwards,1V", "", "", Cause::TriggerUnreadable, "upwards"},
      {"ch5,rising,1,5V", "", "", Cause::TriggerUnreadable, "5V"},
      {"ch5,rising,nan", "", "", Cause::TriggerUnreadable, "nan"},
      {"ch5,rising,0x1", "", "", Cause::TriggerUnreadable, "0x1"},
      {"ch5,rising,1V,hyst=0.1V,hyst=0.2V", "", "", Cause::TriggerUnreadable, "hyst=0.2V"},
      {"ch5,rising,1V,speed=3", "", "", Cause::TriggerUnreadable, "speed=3"},
      {"ch5,enter,-1V", "", "", Cause::TriggerUnreadable, "-1V"},
      {"ch5,rising,1V", "10 minutes", "", Cause::TriggerUnreadable, "10 minutes"},
      {"ch5,rising,\x1b[31m", "", "", Cause::TriggerUnreadable, "\\x1b[31m"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const auto setup = ParseTriggerSetup(row.text, row.pre, row.post);
    ASSERT_FALSE(setup);
    EXPECT_EQ(setup.failure().kind, base::Failure::Kind::TriggerRefused);
    EXPECT_EQ(setup.failure().cause, row.cause);
    EXPECT_EQ(setup.failure().reason, row.shown);
    EXPECT_NE(std::string(base::CauseInChinese(row.cause)), "");
  }
}

}  // namespace
