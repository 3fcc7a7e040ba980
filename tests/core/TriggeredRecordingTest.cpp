// A recording through a trigger: a trigger's time put in the recorder's time base, the spans
// around triggers joined, and a recording of only those spans read back holding exactly their
// blocks, the rest skipped (not lost), each trigger an event at its time.
#include "TriggeredRecording.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "RecordingReader.h"
#include "SignalGenerator.h"
#include "TempDirTest.h"

namespace {

using namespace recording;
using acquisition::FiredTrigger;
using acquisition::TriggerEdge;

constexpr double kBlockSeconds = 0.384;  // 64 x 300 cells at 50,000 a second

TEST(TriggeredRecording, ATriggersTimeCountsFromTheLastBlockHandedOver) {
  struct Row {
    const char* what;
    double seconds;
    int64_t lastBlock;
    TriggerEdge edge;
    bool gap;
    double after;  // seconds after the last block's first sample
    EventEdge expected;
  };
  const Row rows[] = {
      {"in the last block", 3.0, 7, TriggerEdge::Rising, false, 3.0 - 7 * kBlockSeconds,
       EventEdge::Rising},
      {"at its first sample", 7 * kBlockSeconds, 7, TriggerEdge::Falling, false, 0,
       EventEdge::Falling},
      {"in a block before it", 1.0, 7, TriggerEdge::Enter, false, 1.0 - 7 * kBlockSeconds,
       EventEdge::Entering},
      {"in the first block", 0.1, 0, TriggerEdge::Leave, false, 0.1, EventEdge::Leaving},
      {"after a gap", 20.0, 52, TriggerEdge::Rising, true, 20.0 - 52 * kBlockSeconds,
       EventEdge::Rising},
  };
  for (const Row& r : rows) {
    const FiredTrigger fired{.channel = 5,
                             .edge = r.edge,
                             .levelVolts = 1.5,
                             .seconds = r.seconds,
                             .gap = r.gap,
                             .earliestSeconds = r.seconds,
                             .block = 0};
    const EventFacts e = EventOf(fired, r.lastBlock, kBlockSeconds);
    EXPECT_NEAR(e.secondsAfterLastBlock, r.after, 1e-12) << r.what;
    EXPECT_EQ(e.edge, r.expected) << r.what;
    EXPECT_EQ(std::make_tuple(e.channel, e.levelVolts, e.gap), std::make_tuple(5, 1.5, r.gap))
        << r.what;
  }
}

TEST(TriggeredRecording, SpansAroundTriggersAreJoinedWhereTheyOverlapOrTouch) {
  struct Row {
    const char* what;
    std::vector<BlockSpan> spans;
    std::vector<BlockSpan> joined;
  };
  const Row rows[] = {
      {"none", {}, {}},
      {"one", {{2, 15}}, {{2, 15}}},
      {"apart", {{2, 15}, {46, 60}}, {{2, 15}, {46, 60}}},
      {"overlapping", {{46, 60}, {57, 70}}, {{46, 70}}},
      {"touching", {{2, 15}, {16, 20}}, {{2, 20}}},
      {"one block apart", {{2, 15}, {17, 20}}, {{2, 15}, {17, 20}}},
      {"one inside another", {{2, 30}, {5, 9}}, {{2, 30}}},
      {"out of order", {{40, 50}, {2, 15}, {10, 20}}, {{2, 20}, {40, 50}}},
      {"before the start", {{-5, 3}, {-9, -1}}, {{0, 3}}},
  };
  for (const Row& r : rows) EXPECT_EQ(JoinSpans(r.spans), r.joined) << r.what;

  struct Of {
    double from, to;
    BlockSpan blocks;
  };
  const Of of[] = {{1.0, 6.0, {2, 15}},   // 1.0 in block 2; 6.0 in block 15
                   {0, 1.1, {0, 2}},      // ends inside block 2
                   {-2.0, 1.0, {-6, 2}},  // before the start: JoinSpans cuts it
                   {5 * kBlockSeconds, 5 * kBlockSeconds, {5, 5}}};
  for (const Of& o : of) EXPECT_EQ(BlocksOf(o.from, o.to, kBlockSeconds), o.blocks) << o.from;
}

class TriggeredRecordingTest : public TempDirTest {};

// Blocks of -4 V on channel 6 with a step to 0 V for one block at each of `pulses` (block
// numbers), through a trigger at -2 V keeping 1 s before and 2 s after: what was written is
// exactly the joined spans, the rest skipped, each trigger an event in its block.
TEST_F(TriggeredRecordingTest, OnlyTheJoinedSpansAreWrittenAndEveryTriggerIsAnEvent) {
  RecorderSettings settings;
  settings.folder = (dir / "rec").string();
  settings.description.aggregateRateHz = 50000;
  settings.description.blockSeconds = kBlockSeconds;
  settings.description.voltsPerCode = 10.0 / 65535;
  std::atomic<int64_t> utc{1'765'000'000'000'000};
  settings.utcMicrosNow = [&] { return utc.load(); };
  auto started = Recorder::Start(settings);
  ASSERT_TRUE(started);
  Recorder& recorder = *started.value();
  auto setup = acquisition::ParseTriggerSetup("ch6,rising,-2V", "1s", "2s");
  ASSERT_TRUE(setup);
  TriggeredRecording triggered(recorder, setup.value(), TriggeredKeep::Spans);

  const std::vector<int64_t> pulses = {10, 14, 40};
  const int64_t blocks = 60;
  std::vector<BlockSpan> spans;
  for (int64_t b = 0; b < blocks; ++b) {
    const bool high = std::find(pulses.begin(), pulses.end(), b) != pulses.end();
    std::vector<int16_t> cells(static_cast<size_t>(64) * 300, simcard::CellOfVolts(-4));
    for (int p = 0; p < 300; ++p)
      cells[static_cast<size_t>(p) * 64 + 5] = simcard::CellOfVolts(high ? 0 : -4);
    utc += 384000;
    ASSERT_TRUE(triggered.Add(
        {.cells = cells.data(), .channels = 64, .points = 300, .aggregateRate = 50000}, 0));
    if (high) {
      const double at = (static_cast<double>(b) * 64 * 300 + 5) / 50000;  // its first sample
      spans.push_back(BlocksOf(at - 1, at + 2, kBlockSeconds));
    }
  }
  triggered.Stopped();
  EXPECT_EQ(triggered.fired(), 3);
  const RecorderStatus closed = recorder.Close();
  const std::vector<BlockSpan> joined = JoinSpans(spans);
  ASSERT_EQ(joined, (std::vector<BlockSpan>{{7, 19}, {37, 45}}));

  auto index = OpenRecording(settings.folder);
  ASSERT_TRUE(index) << index.failure().reason;
  std::vector<uint64_t> written;
  uint64_t skipped = 0;
  for (const SegmentIndex& s : index.value().segments) {
    for (const SummaryRow& row : s.rows) {
      if (row.header.flags == kBlock) written.push_back(row.header.block);
      if (row.header.flags == (kGap | kSkipped)) skipped += row.header.count;
    }
  }
  std::vector<uint64_t> expected;
  for (const BlockSpan& s : joined)
    for (int64_t b = s.first; b <= s.last; ++b) expected.push_back(static_cast<uint64_t>(b));
  EXPECT_EQ(written, expected);
  EXPECT_EQ(skipped, blocks - expected.size());
  EXPECT_EQ(std::make_tuple(index.value().blocksSkipped, index.value().blocksLost,
                            index.value().gaps, closed.blocksSkipped),
            std::make_tuple(skipped, uint64_t{0}, uint64_t{0}, skipped));
  ASSERT_EQ(index.value().events.size(), pulses.size());
  for (size_t i = 0; i < pulses.size(); ++i) {
    // The step comes between the block before's last sample and the block's first: the
    // crossing lies within one sample period of the channel (1.28 ms) of the block's start.
    const EventRecord& e = index.value().events[i];
    EXPECT_TRUE(e.block == static_cast<uint64_t>(pulses[i]) ||
                e.block == static_cast<uint64_t>(pulses[i] - 1))
        << i;
    const double at = static_cast<double>(e.block) * kBlockSeconds + e.secondsIntoBlock;
    EXPECT_NEAR(at, static_cast<double>(pulses[i]) * kBlockSeconds, 64.0 / 50000) << i;
  }
}

}  // namespace
