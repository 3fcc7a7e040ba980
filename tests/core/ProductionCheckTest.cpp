// The self-test against the simulated card, on the card's own manual clock, so that a run
// takes no real time: the pass, each way a card can fail, and profiles that are refused.
#include "ProductionCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "DllDef.h"
#include "ReportFormats.h"
#include "SerialPattern.h"
#include "SimCardControl.h"

using namespace selftest;

namespace {

std::string DefaultProfileText() {
  std::ifstream in(PROFILES_DIR "/simulated-card.ini");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Time moves only when the test sleeps, on the card's clock and the test's alike.
struct ManualClock {
  double seconds = 0;
  Clock clock{.nowSeconds = [this] { return seconds; },
              .sleepMs =
                  [this](int ms) {
                    seconds += ms / 1000.0;
                    SimCard_AdvanceMs(ms);
                  }};
};

Outcome RunOn(const char* library, const std::function<void()>& script,
              const std::string& profileText = DefaultProfileText()) {
  SimCard_Reset();
  SimCard_SetManualClock(1);
  script();
  DllDef dll(library);
  ManualClock time;
  std::atomic<bool> interrupted{false};
  const auto profile = ParseProfile(profileText, "test.ini");
  EXPECT_TRUE(profile) << (profile ? "" : profile.failure().reason);
  return Run(
      dll, profile.value(), time.clock, [](CheckKind) {}, interrupted);
}

TEST(ProductionCheck, TheSimulatedCardPassesItsOwnProfile) {
  const Outcome outcome = RunOn(ADCARD_PATH, [] {});
  EXPECT_TRUE(outcome.passed());
  ASSERT_EQ(outcome.checks.size(), 6u);
  for (const Check& c : outcome.checks)
    EXPECT_TRUE(c.passed) << CheckName(c.kind) << ": " << c.detail;
  // Every figure is a measurement held to its limits; the card's test tone, end to end:
  // SNR 85.0 dB, THD -89.0 dB, ENOB 13.6 are its answers.
  std::map<std::string, double> value;
  for (const Check& c : outcome.checks) {
    for (const Measurement& m : c.measurements) {
      EXPECT_TRUE(m.passed) << m.id.Name();
      value[m.id.Name()] = m.value.value_or(-1e9);
    }
  }
  EXPECT_EQ(CheckName(outcome.checks[3].kind), std::string("dynamic"));
  EXPECT_NEAR(value["block rate"], 50000.0 / 19200, 0.1);
  EXPECT_EQ(value["lost blocks"], 0);
  EXPECT_NEAR(value["channel 5 mean"], -4.5, 0.005);
  EXPECT_EQ(value.count("output bit 15 patterns misread"), 1u);
  EXPECT_NEAR(value["channel 64 frequency"], 40.0, 0.01);
  EXPECT_NEAR(value["channel 64 SNR"], 85.0, 0.5);
  EXPECT_NEAR(value["channel 64 THD"], -89.0, 0.5);
  EXPECT_NEAR(value["channel 64 ENOB"], 13.6, 0.1);
  EXPECT_LE(value["channel 5 noise"], 3.0);
}

// Each fault names the check that catches it, and the card ends stopped with outputs 0.
TEST(ProductionCheck, FaultsNameTheirCheckAndLeaveTheCardSafe) {
  static const std::vector<int16_t> silentBlock(19200, 0);
  struct Case {
    const char* what;
    const char* library;
    std::function<void()> script;
    const char* firstFailure;
    const char* detailPart;
  } cases[] = {
      {"wrong identity", ADCARD_PATH,
       [] {
         const uint8_t other[5] = {73, 11, 5, 16, 1};
         SimCard_SetIdentity(other);
       },
       "identity", "another card"},
      {"refused start", ADCARD_PATH, [] { SimCard_FailNext("StartIntr", -3); }, "acquisition",
       "Error=-3"},
      {"failed fetch", ADCARD_PATH,
       [] {
         SimCard_ScriptQuery(1);
         SimCard_ScriptFetch(0, nullptr);
       },
       "acquisition", "status 0"},
      {"no blocks", ADCARD_PATH,
       [] {
         for (int i = 0; i < 2000; ++i) SimCard_ScriptQuery(0);
       },
       "acquisition", "only 0 of 10"},
      {"every input at -5 V", ADCARD_PATH,
       [] {
         // Paced as the card would: one block every 19 polls of 20 ms.
         for (int block = 0; block < 10; ++block) {
           SimCard_ScriptQuery(1);
           SimCard_ScriptFetch(1, silentBlock.data());
           for (int poll = 0; poll < 18; ++poll) SimCard_ScriptQuery(0);
         }
       },
       "analog", "channel 1: mean -5.0001 V"},
      {"a noisy converter", ADCARD_PATH, [] { SimCard_SetTone(63, 40, 4, 30, -90, -96); },
       "dynamic", "channel 64 SNR"},
      {"a distorting converter", ADCARD_PATH, [] { SimCard_SetTone(63, 40, 4, 1, -70, -96); },
       "dynamic", "channel 64 THD"},
      // Its figures cannot be measured at all: failed measurements without a value.
      {"a dead channel", ADCARD_PATH, [] { SimCard_SetTone(63, 40, 0, 0, -200, -200); }, "dynamic",
       "channel 64 SNR no signal"},
      {"a stuck input", ADCARD_PATH, [] { SimCard_SetInputs(0x04, 0); }, "digital",
       "input 2 reads 1"},
      {"silent inputs", ADCARD_PATH, [] { SimCard_SetInputsSilent(1); }, "digital",
       "answer nothing"},
      {"a library without Initial", ADCARD_INCOMPLETE_PATH, [] {}, "identity", "another card"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunOn(c.library, c.script);
    EXPECT_FALSE(outcome.passed()) << c.what;
    const Check* failed = outcome.firstFailure();
    ASSERT_NE(failed, nullptr) << c.what;
    EXPECT_EQ(CheckName(failed->kind), std::string(c.firstFailure)) << c.what;
    EXPECT_NE(failed->detail.find(c.detailPart), std::string::npos)
        << c.what << ": " << failed->detail;
    // A failing check with measurements has a failing one among them.
    EXPECT_TRUE(failed->measurements.empty() ||
                std::any_of(failed->measurements.begin(), failed->measurements.end(),
                            [](const Measurement& m) { return !m.passed; }))
        << c.what;
    EXPECT_EQ(CheckName(outcome.checks.back().kind), std::string("stop")) << c.what;
    if (std::string(c.library) == ADCARD_PATH) {
      EXPECT_TRUE(outcome.checks.back().passed) << c.what;
      int32_t args[8];
      SimCard_LastArgs("Kzb_DO", args);
      EXPECT_EQ(args[1], 0) << c.what << ": outputs left set";
      EXPECT_GE(SimCard_CallCount("StopIntr"), 2) << c.what;
    }
  }
}

// A dead input, with or without its code of noise: every figure of its tone fails without a
// value, none passes on what the noise happened to give.
TEST(ProductionCheck, ADeadInputHasNoFigures) {
  const std::pair<const char*, std::function<void()>> rows[] = {
      {"one code of noise", [] { SimCard_SetTone(63, 40, 0, 1, -90, -96); }},
      {"0 V without noise", [] { SimCard_SetTone(63, 40, 0, 0, -90, -96); }},
  };
  for (const auto& [what, script] : rows) {
    const Outcome outcome = RunOn(ADCARD_PATH, script);
    const Check* failed = outcome.firstFailure();
    ASSERT_NE(failed, nullptr) << what;
    EXPECT_EQ(CheckName(failed->kind), std::string("dynamic")) << what;
    int figures = 0;
    for (const Measurement& m : failed->measurements) {
      if (m.id.number != 64) continue;
      ++figures;
      EXPECT_FALSE(m.value) << what << ": " << m.id.Name() << " " << m.value.value_or(0);
      EXPECT_FALSE(m.passed) << what << ": " << m.id.Name();
    }
    EXPECT_EQ(figures, 5) << what;
    EXPECT_NE(failed->detail.find("channel 64 THD no signal"), std::string::npos) << what;
  }
}

TEST(ProductionCheck, AShiftedChannelIsNamedAsSuch) {
  // Channel 6's level expected on channel 5: the card reads one channel off.
  std::string text = DefaultProfileText();
  text.replace(text.find("\n5 = -4.5000"), 12, "\n5 = -4.3475");
  text.replace(text.find("\n6 = -4.3475"), 12, "\n6 = -4.1949");
  const Outcome outcome = RunOn(
      ADCARD_PATH, [] {}, text);
  const Check* failed = outcome.firstFailure();
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(CheckName(failed->kind), std::string("analog"));
  EXPECT_NE(failed->detail.find("channel 5: mean -4.5"), std::string::npos) << failed->detail;
  EXPECT_NE(failed->detail.find("shifted or swapped"), std::string::npos) << failed->detail;
}

TEST(ProductionCheck, AnInterruptedRunStillClearsTheOutputs) {
  SimCard_Reset();
  SimCard_SetManualClock(1);
  DllDef dll(ADCARD_PATH);
  std::atomic<bool> interrupted{false};
  int sleeps = 0;
  // Interrupted in the middle of the digital check, with some output bits set.
  const Clock clock{.nowSeconds = [&] { return sleeps * 0.02; },
                    .sleepMs =
                        [&](int ms) {
                          SimCard_AdvanceMs(ms);
                          if (++sleeps == 200) interrupted = true;
                        }};
  const auto profile = ParseProfile(DefaultProfileText(), "test.ini");
  const Outcome outcome = selftest::Run(
      dll, profile.value(), clock, [](CheckKind) {}, interrupted);
  EXPECT_EQ(outcome.verdict(), Verdict::Aborted);
  EXPECT_EQ(outcome.firstFailure()->detail, "interrupted");
  int32_t args[8];
  SimCard_LastArgs("Kzb_DO", args);
  EXPECT_EQ(args[1], 0);
  EXPECT_TRUE(outcome.checks.back().passed);
}

TEST(ProductionCheck, AMissingLibraryDoesNotRun) {
  const Outcome outcome = RunOn("/nonexistent/libadcard.so", [] {});
  EXPECT_FALSE(outcome.ranAtAll);
  EXPECT_NE(outcome.whyNot.find("/nonexistent/libadcard.so"), std::string::npos);
}

// A profile with a mistake is refused before the card is touched, naming line and key.
TEST(Profile, MistakesAreNamedByLineAndKey) {
  struct Case {
    const char* text;
    const char* reason;
  } cases[] = {
      {"[card]\nname = 73 10\ncolour = red\n", "line 3, colour: unknown key"},
      {"[channels]\n5 = 1.0 abc 0.002\n", "line 2, 5: the tolerance is not a number"},
      {"[channels]\n5 = x 0.1 0.002\n", "line 2, 5: the level 'x' is not a number"},
      {"[channels]\n\n7 = * 0 1 2 -2\n", "line 3, 7: the minimum is above the maximum"},
      {"[channels]\n65 = 0 0.1 0.1\n", "line 2, 65: a channel 1 to 64"},
      {"[channels]\n9-3 = 0 0.1 0.1\n", "line 2, 9-3: a channel 1 to 64"},
      {"[extra]\n", "line 1, [extra]: unknown section"},
      {"blocks = 3\n", "line 1, blocks: a key outside any section"},
      {"[acquisition]\nblocks = 2.5\n", "line 2, blocks: a whole number 2 to 1000"},
      {"[digital]\nloopback = 0:16\n", "line 2, loopback: '0:16' is not output:input"},
      {"[card]\nspeed = 55\n", "line 2, speed: the speed is in tens of K"},
      // Limits that every card would pass, and numbers too large to convert.
      {"[acquisition]\nrate_tolerance = nan\n", "line 2, rate_tolerance: a fraction"},
      {"[acquisition]\ntimeout_s = nan\n", "line 2, timeout_s: a number of seconds"},
      {"[acquisition]\ntimeout_s = inf\n", "line 2, timeout_s: a number of seconds"},
      {"[acquisition]\nblocks = 1e999\n", "line 2, blocks: a whole number 2 to 1000"},
      {"[acquisition]\nblocks = 3e9\n", "line 2, blocks: a whole number 2 to 1000"},
      {"[channels]\n1-64 = 9.9 1e999 1e999\n", "line 2, 1-64: the tolerance is not a number"},
      {"[channels]\n1 = nan 0.1 0.1\n", "line 2, 1: the level 'nan' is not a number"},
      {"[channels]\n1 = 0 0.1 0.1 -inf inf\n", "line 2, 1: the minimum and maximum"},
      // Said twice: which one holds would be a guess.
      {"[acquisition]\nblocks = 5\nblocks = 6\n", "line 3, blocks: already given on line 2"},
      {"[channels]\n1-8 = 0 0.1 0.1\n8 = 0 0.1 0.1\n",
       "line 3, 8: channel 8 is already given on line 2"},
      {"[dynamic]\n64 = 40 0.1 snr\n", "line 2, 64: snr needs a number"},
      {"[dynamic]\n64 = 40 0.1 gain 3\n", "line 2, 64: 'gain' is not snr"},
      {"[dynamic]\n64 = 40 0.1\n", "line 2, 64: no figure to check"},
      {"[dynamic]\n64 = 40\n", "line 2, 64: a frequency in Hz and its tolerance"},
      {"[dynamic]\n64 = 40 0.1 snr 80 snr 70\n", "line 2, 64: snr is given twice"},
      {"[dynamic]\n5 = dc snr 80\n", "line 2, 5: a DC input has only its noise"},
      {"[dynamic]\n5 = dc noise -1\n", "line 2, 5: noise cannot be below 0"},
      {"[dynamic]\n64 = 390.625 1 snr 80\n",
       "line 2, 64: a tone at or above half a channel's sample rate (390.625 Hz)"},
      {"[station]\nserial_pattern = KZB[0-9\n", "line 2, serial_pattern: 'KZB[0-9' is not a"},
      {"[station]\nline = 3\n", "line 2, line: unknown key"},
      // The line's database: never a password, nothing libpq would read as more options.
      {"[line]\npassword = secret\n", "line 2, password: a password is never kept in a profile"},
      {"[line]\nport = 0\n", "line 2, port: a port 1 to 65535"},
      {"[line]\nsslmode = maybe\n", "line 2, sslmode: disable, allow, prefer, require"},
      {"[line]\nhost = db password=x\n", "line 2, host: one word"},
      {"[line]\nuser = a'b\n", "line 2, user: one word"},
      // An empty section or an empty value would silently mean no line or libpq's default.
      {"[channels]\n1 = 0 0.1 0.002\n[line]\n", "line 3, [line]: an empty section"},
      {"[line] ; the line\n; host = db\n[channels]\n1 = 0 0.1 0.002\n", "line 1, [line]: an empty"},
      {"[line]\nhost =\n", "line 2, host: a value expected"},
      {"[line]\nhost = db\nuser = ; none\n", "line 3, user: a value expected"},
      {"[card]\nname = 73 10\n", "checks no analog channel and no output bit"},
      {"", "checks no analog channel and no output bit"},
      {"[digital]\nloopback = none\n", "checks no analog channel and no output bit"},
  };
  for (const Case& c : cases) {
    const auto profile = ParseProfile(c.text, "bad.ini");
    ASSERT_FALSE(profile) << c.text;
    EXPECT_EQ(profile.failure().subject, "bad.ini");
    EXPECT_NE(profile.failure().reason.find(c.reason), std::string::npos)
        << c.text << " -> " << profile.failure().reason;
  }
}

TEST(Profile, RangesCommentsAndLoopback) {
  const auto profile = ParseProfile(
      "; a fixture\n[channels]\n1-32 = 2.5 0.01 0.002 ; reference\n64 = * 0 1 -1 1\n"
      "[digital]\nloopback = 0:8, 8:0\nsettle_ms = 50\n",
      "fixture.ini");
  ASSERT_TRUE(profile) << profile.failure().reason;
  EXPECT_TRUE(ParseProfile("[card]\nname = 73 10\nidentity_only = yes\n", "id.ini"));
  EXPECT_FLOAT_EQ(*profile.value().channels[31]->level, 2.5f);
  EXPECT_FALSE(profile.value().channels[32].has_value());
  EXPECT_FALSE(profile.value().channels[63]->level.has_value());
  EXPECT_EQ(profile.value().loopback[0], 8);
  EXPECT_EQ(profile.value().loopback[8], 0);
  EXPECT_EQ(profile.value().loopback[1], -1);
  EXPECT_EQ(profile.value().settleMs, 50);
  EXPECT_EQ(LoadProfile("/nonexistent.ini").failure().reason, "cannot be read");
  // ; and # start a comment only at a line's start or after a blank.
  const auto station = ParseProfile(
      "[station]\nserial_pattern = KZB#[0-9]+;x # scanned\n# note\n[card]\nname = 73 10\n"
      "identity_only = yes\n",
      "station.ini");
  ASSERT_TRUE(station) << station.failure().reason;
  EXPECT_EQ(station.value().serialPattern, "KZB#[0-9]+;x");
}

// What a scanner may send: the serial is refused before any pattern sees it when it is
// empty, too long, not UTF-8 or holds control characters; a pattern that would backtrack
// for ever is cut off by its match limit.
TEST(Profile, SerialsAreBoundedAndMatchedWhole) {
  const std::string backtracking = "(A+)+B";
  struct Case {
    std::string pattern, serial;
    std::optional<std::string> refusal;  // its start
  } cases[] = {
      {"KZB[0-9]{6}", "KZB000123", std::nullopt},
      {"KZB[0-9]{6}", "KZB0001234", "不符合格式 KZB[0-9]{6}"},
      {"KZB[0-9]{6}", "xKZB000123", "不符合格式"},
      {"", "任意序列号", std::nullopt},
      {"", "", "为空"},
      {"[A-Z]+", std::string(64, 'A'), std::nullopt},
      {"[A-Z]+", std::string(65, 'A'), "超过 64 个字符"},
      {"[A-Z]+", std::string(32767, 'A'), "超过 64 个字符"},
      {".{64}", std::string(32, 'x') + "测试" + std::string(30, 'x'), std::nullopt},  // characters
      {"", "BAD\xff\xfe", "不是有效的 UTF-8 文本"},
      {"", "\xc0\xaf", "不是有效的 UTF-8 文本"},  // an overlong '/'
      {"", "KZB\n1", "含有控制字符"},
      {backtracking, std::string(31, 'A'), "不符合格式 (A+)+B"},
      {"(A+)+[BC]", std::string(64, 'A'), "不符合格式 (A+)+[BC] (格式过于复杂"},
      {"KZB#[0-9]+", "KZB#12", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto refusal = SerialRefusal(c.pattern, c.serial);
    ASSERT_EQ(refusal.has_value(), c.refusal.has_value())
        << c.pattern << " " << c.serial.substr(0, 70);
    if (refusal) {
      EXPECT_TRUE(refusal->starts_with(*c.refusal)) << *refusal;
    }
  }
  EXPECT_FALSE(SerialPatternProblem("KZB[0-9]{6}"));
  EXPECT_TRUE(SerialPatternProblem("KZB[0-9"));
}

}  // namespace

// The JUnit report a CI server reads: counts that match its cases, a failure that carries
// the failing measurement's value and limits, an interruption as an error, text escaped.
TEST(Report, JUnitXmlCountsFailuresAndEscapesText) {
  const auto made = [](const char* name, bool passed, const char* detail,
                       std::vector<Measurement> measurements = {}) {
    Check check;
    check.kind = *CheckNamed(name);
    check.passed = passed;
    check.detail = detail;
    check.interrupted = check.detail == kInterruptedDetail;
    check.measurements = std::move(measurements);
    return check;
  };
  Outcome outcome;
  outcome.checks = {
      made("identity", true, ""),
      made("dynamic", false, "channel 64 SNR < 80 & \x01noisy",
           {{"channel 64 SNR", 55.8, "dB", 80.0, std::nullopt, false},
            {"channel 64 THD", -89.0, "dBc", std::nullopt, -85.0, true}}),
      made("digital", false, "interrupted"),
  };
  const Profile profile;
  RunInfo info;
  info.serial = "KZB\"1\"";
  const std::string xml = JUnitXml({RecordOf("", outcome, profile, info)});
  EXPECT_NE(
      xml.find("<testsuite name=\"KZB&quot;1&quot;\" tests=\"3\" failures=\"1\" errors=\"1\""),
      std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<failure message=\"channel 64 SNR &lt; 80 &amp; ?noisy\" type=\"FAIL\">"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("channel 64 SNR = 55.8 dB, limits &gt;= 80</failure>"), std::string::npos)
      << xml;
  EXPECT_EQ(xml.find("channel 64 THD ="), std::string::npos);  // it passed
  EXPECT_NE(xml.find("<error message=\"interrupted\" type=\"ABORTED\">"), std::string::npos);

  Outcome notRun;
  notRun.ranAtAll = false;
  notRun.whyNot = "libadcard.so: not found";
  EXPECT_NE(JUnitXml({RecordOf("", notRun, profile, RunInfo())})
                .find("tests=\"1\" failures=\"0\" errors=\"1\""),
            std::string::npos);
}

// A serial or an operator's name that a spreadsheet would run as a formula is written as
// text; numbers stay numbers, and the quoting of commas and quotes still holds.
TEST(Report, CsvCellNeverHandsASpreadsheetAFormula) {
  const struct {
    std::string text, cell;
  } cases[] = {
      {"KZB000123", "KZB000123"},
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"=1+1", "'=1+1"},
      {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\t=1", "'\t=1"},
      {"\r=1", "\"'\r=1\""},
      {"-", "'-"},
      {"-0.5", "-0.5"},
      {"+3", "+3"},
      {"-1e-06", "-1e-06"},
      {"-1e", "'-1e"},
      {"--1", "'--1"},
      {"a=b", "a=b"},
      {"a,b", "\"a,b\""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvCell(c.text), c.cell) << c.text;
}
