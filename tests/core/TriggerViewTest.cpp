// What the waveform window shows of a trigger in each scope mode (live blocks, a held span,
// waiting), step by step, and the captured span joined into one block of scans.
#include "TriggerView.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using acquisition::ScopeMode;
using acquisition::TriggerView;

// Steps: F fired, C captured, P passes a block of 0.384 s, A armed, S stopped.
struct ModeRow {
  const char* name;
  ScopeMode mode;
  std::string steps;
  bool live, holdsSpan, waiting, armed;
};

void PrintTo(const ModeRow& row, std::ostream* out) {
  *out << row.name << " (" << row.steps << ")";
}

class ScopeModes : public testing::TestWithParam<ModeRow> {};

TEST_P(ScopeModes, ShowWhatTheModeSays) {
  const ModeRow& row = GetParam();
  TriggerView view(row.mode);
  for (char step : row.steps) {
    switch (step) {
      case 'F':
        view.Fired();
        break;
      case 'C':
        view.Captured();
        break;
      case 'P':
        view.Pass(0.384);
        break;
      case 'A':
        view.Arm();
        break;
      case 'S':
        view.Stopped();
        break;
      default:
        FAIL() << "unknown step " << step;
    }
  }
  EXPECT_EQ(view.live(), row.live);
  EXPECT_EQ(view.holdsSpan(), row.holdsSpan);
  EXPECT_EQ(view.waiting(), row.waiting);
  EXPECT_EQ(view.armed(), row.armed);
}

INSTANTIATE_TEST_SUITE_P(
    TriggerView, ScopeModes,
    testing::Values(
        // Auto: live until a span comes, the span held for a second of card time, then live.
        ModeRow{"AutoLiveWithoutTrigger", ScopeMode::Auto, "PPPPPP", true, false, false, true},
        ModeRow{"AutoLiveWhileFirstSpanComes", ScopeMode::Auto, "PF", true, false, false, true},
        ModeRow{"AutoHoldsTheSpan", ScopeMode::Auto, "FCPP", false, true, false, true},
        ModeRow{"AutoLiveAgainAfterASecond", ScopeMode::Auto, "FCPPP", true, false, false, true},
        ModeRow{"AutoHoldsWhileTheNextComes", ScopeMode::Auto, "FCPPFPP", false, true, false, true},
        ModeRow{"AutoNextSpanHeldAfresh", ScopeMode::Auto, "FCPPFCPP", false, true, false, true},
        ModeRow{"AutoStopEndsTheWait", ScopeMode::Auto, "FCPPFPPS", true, false, false, true},
        // Normal: nothing but spans, the last held however long none comes.
        ModeRow{"NormalWaits", ScopeMode::Normal, "PPPP", false, false, true, true},
        ModeRow{"NormalFiredNoLongerWaiting", ScopeMode::Normal, "F", false, false, false, true},
        ModeRow{"NormalHoldsTheLast", ScopeMode::Normal, "FCPPPPPPPP", false, true, false, true},
        ModeRow{"NormalStaysArmed", ScopeMode::Normal, "FCFC", false, true, false, true},
        // Single: one shot, then disarmed until armed; the span stays while waiting again.
        ModeRow{"SingleWaits", ScopeMode::Single, "PP", false, false, true, true},
        ModeRow{"SingleSpentAfterOne", ScopeMode::Single, "FCPPPP", false, true, false, false},
        ModeRow{"SingleArmedAgainKeepsTheSpan", ScopeMode::Single, "FCA", false, true, true, true},
        ModeRow{"SingleSecondShot", ScopeMode::Single, "FCAFC", false, true, false, false}),
    [](const testing::TestParamInfo<ModeRow>& info) { return std::string(info.param.name); });

// Two blocks of 4 channels x 3 scans at 1,000 cells a second (a scan every 4 ms, a block
// every 12 ms): the span keeps the scans from 5 ms to 17 ms whole, from both blocks.
TEST(TriggerView, JoinsTheSpansScans) {
  acquisition::TriggerCapture capture;
  capture.trigger.seconds = 0.010;
  capture.fromSeconds = 0.005;
  capture.toSeconds = 0.017;
  capture.channels = 4;
  capture.points = 3;
  capture.aggregateRate = 1000;
  for (int64_t b = 0; b < 2; ++b) {
    acquisition::CapturedBlock block{.block = b, .afterGap = false, .cells = {}};
    for (int cell = 0; cell < 12; ++cell)
      block.cells.push_back(static_cast<int16_t>(b * 12 + cell));
    capture.blocks.push_back(block);
  }
  const acquisition::CapturedSpan span = acquisition::JoinSpan(capture);
  // Scans at 8, 12 and 16 ms: the last of block 0, the first two of block 1.
  EXPECT_EQ(span.shape.points, 3);
  EXPECT_EQ(span.shape.channels, 4);
  EXPECT_DOUBLE_EQ(span.firstSeconds, 0.008);
  EXPECT_DOUBLE_EQ(span.trigger.seconds, 0.010);
  EXPECT_EQ(span.cells, (std::vector<int16_t>{8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));

  capture.blocks.clear();  // nothing kept: an empty span, never a made-up one
  EXPECT_EQ(acquisition::JoinSpan(capture).shape.points, 0);
}

}  // namespace
