// The feed's subscribers, on the simulated card: every delivered block once, in the card's
// order, also when a subscriber leaves during a tick, with the blocks lost before it.
#include "BlockFeed.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "BlockCapture.h"
#include "DllDef.h"
#include "SimCardControl.h"
#include "StartStop.h"
#include "TempDirTest.h"

namespace {

constexpr int kCells = 64 * 300;

class BlockFeedTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    SimCard_Reset();
    SimCard_SetManualClock(1);
    dll.RingBlockCount = 20;
    ASSERT_TRUE(acquisition::StartAcquisition(dll).value().started);
    feed.emplace(dll, dir.string());
    feed->Begin();
  }
  // One tick whose poll finds `marks.size()` blocks, each filled with its mark; a mark of 0
  // is a fetch the card refuses.
  void ScriptedTick(const std::vector<int16_t>& marks) {
    SimCard_ScriptQuery(static_cast<int16_t>(marks.size()));
    for (const int16_t mark : marks) {
      const std::vector<int16_t> cells(kCells, mark);
      SimCard_ScriptFetch(mark != 0 ? 1 : 0, cells.data());
    }
    ASSERT_TRUE(feed->Tick(false, [] { return SimCard_NowMicros() * 1e-6; }));
  }

  DllDef dll{ADCARD_PATH};
  std::optional<acquisition::BlockFeed> feed;  // its data files in the test's own folder
};

// Each subscriber's marks, in the order it heard them.
struct Heard {
  std::vector<int16_t> marks;
  acquisition::FeedSubscriber Subscriber() {
    return {.block = [this](const acquisition::BlockView& b, int) { marks.push_back(b.cells[0]); },
            .tick = {},
            .stopped = {}};
  }
};

TEST_F(BlockFeedTest, EverySubscriberHearsEachBlockOnceInTheCardsOrder) {
  Heard first, second;
  std::vector<int16_t> lastOfTicks;
  feed->Subscribe(first.Subscriber());
  feed->Subscribe(second.Subscriber());
  feed->Subscribe(
      {.block = {},
       .tick = [&](const acquisition::BlockView& last,
                   const acquisition::ChannelValues&) { lastOfTicks.push_back(last.cells[0]); },
       .stopped = {}});
  ScriptedTick({1, 2, 3});
  ScriptedTick({});
  ScriptedTick({4, 0, 5});  // a refused fetch is no block
  const std::vector<int16_t> all{1, 2, 3, 4, 5};
  EXPECT_EQ(first.marks, all);
  EXPECT_EQ(second.marks, all);
  EXPECT_EQ(lastOfTicks, (std::vector<int16_t>{3, 5}));
  EXPECT_EQ(dll.RingWritePos, 5 * kCells);  // the ring took the same blocks
}

TEST_F(BlockFeedTest, ASubscriberLeavingDuringATickHearsNothingAfter) {
  struct Row {
    const char* name;
    bool leavesItself;  // else the other subscriber removes it
    std::vector<int16_t> leaverHeard, otherHeard;
  };
  const Row rows[] = {
      {"itself after its second block", true, {1, 2}, {1, 2, 3, 4, 5}},
      {"removed by the subscriber before it", false, {1}, {1, 2, 3, 4, 5}},
  };
  for (const Row& row : rows) {
    Heard leaver, other;
    acquisition::BlockFeed::SubscriberId leaverId = 0;
    const auto otherId = feed->Subscribe({.block =
                                              [&](const acquisition::BlockView& b, int) {
                                                other.marks.push_back(b.cells[0]);
                                                if (!row.leavesItself && b.cells[0] == 2)
                                                  feed->Unsubscribe(leaverId);
                                              },
                                          .tick = {},
                                          .stopped = {}});
    leaverId = feed->Subscribe({.block =
                                    [&](const acquisition::BlockView& b, int) {
                                      leaver.marks.push_back(b.cells[0]);
                                      if (row.leavesItself && b.cells[0] == 2)
                                        feed->Unsubscribe(leaverId);
                                    },
                                .tick = {},
                                .stopped = {}});
    ScriptedTick({1, 2, 3});
    ScriptedTick({4, 5});
    EXPECT_EQ(leaver.marks, row.leaverHeard) << row.name;
    EXPECT_EQ(other.marks, row.otherHeard) << row.name;
    feed->Unsubscribe(otherId);
  }
}

// The card dropping blocks while the program stalls: the blocks lost reach the subscriber
// with the block after them, as many as the card dropped.
TEST_F(BlockFeedTest, TheBlocksLostReachTheSubscriberWithTheBlockAfterThem) {
  int64_t lostHeard = 0;
  int blocksHeard = 0;
  feed->Subscribe({.block =
                       [&](const acquisition::BlockView&, int lostBefore) {
                         lostHeard += lostBefore;
                         ++blocksHeard;
                       },
                   .tick = {},
                   .stopped = {}});
  for (int tick = 1; tick <= 400; ++tick) {  // 80 s of polls every 200 ms
    SimCard_AdvanceMs(200);
    if (tick == 150) SimCard_StallQueries(32000);
    ASSERT_TRUE(feed->Tick(false, [] { return SimCard_NowMicros() * 1e-6; }));
  }
  EXPECT_GT(SimCard_OverrunCount(), 0);
  EXPECT_EQ(lostHeard, SimCard_OverrunCount());
  EXPECT_EQ(feed->losses().lost(), SimCard_OverrunCount());
  EXPECT_EQ(blocksHeard, feed->values().BlocksReceived);
}

}  // namespace
