// One acquisition's road for its blocks: the feed polls the card (the count asked and timed
// for the loss watch, the blocks fetched), gathers them into the data files, rings them and
// derives the channel values, and hands every delivered block, as one BlockView, to each view
// subscribed to it, in the card's order. Whoever reads the card reads it through a feed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Block.h"
#include "BlockPolling.h"
#include "ChannelValues.h"
#include "Failure.h"
#include "LossWatch.h"

class DllDef;

namespace acquisition {

class BlockCapture;

// What a subscriber hears; any part may be left empty.
struct FeedSubscriber {
  // Every delivered block, in the card's order, after the blocks found lost before it. The
  // view points into the card's block buffer and holds only during the call: a subscriber
  // that keeps a block copies its cells.
  BlockTap block;
  // After a tick that brought blocks: its last block and the channel values it left (the
  // scale, the count received).
  std::function<void(const BlockView& last, const ChannelValues& values)> tick;
  // The acquisition was stopped: the blocks after the next start come after a gap.
  std::function<void()> stopped;
};

class BlockFeed {
 public:
  using SubscriberId = int;

  // The window's feed: blocks are rung and, while saving, gathered into data files in
  // `dataDirectory`. `dll` outlives the feed.
  BlockFeed(DllDef& dll, std::string dataDirectory);
  // A feed that only polls for a reader taking the blocks itself (Poll): no data files, no
  // ring.
  explicit BlockFeed(DllDef& dll);
  ~BlockFeed();
  BlockFeed(const BlockFeed&) = delete;
  BlockFeed& operator=(const BlockFeed&) = delete;

  // A started acquisition: the loss watch starts over at the block period the start
  // parameters give, or at `periodSeconds` (a card measured to run at another pace).
  void Begin();
  void Begin(double periodSeconds);
  // Stops the card's acquisition and tells the subscribers.
  base::Result<> Stop();

  SubscriberId Subscribe(FeedSubscriber subscriber);
  // Allowed inside a subscriber's call too: the subscriber hears nothing after it.
  void Unsubscribe(SubscriberId id);

  // One tick of the analog timer: every finished block fetched, counted, gathered while
  // `saving`, rung and handed to the subscribers, then the channel values derived from the
  // last. `nowSeconds` reads a steady clock. Fails when the library or an entry point is
  // missing; blocks fetched before that count. Only for a feed with a data directory.
  base::Result<TickOutcome> Tick(bool saving, const std::function<double()>& nowSeconds);
  // One poll for a reader that takes the blocks itself (PollCard, with the feed's loss
  // watch): the self-test and the headless recording.
  base::Result<CardPoll> Poll(int most, const PollSteps& steps,
                              const std::function<double()>& nowSeconds);

  // The block the card's buffer holds now; empty before any start.
  BlockView LatestBlock() const;
  ChannelValues& values() { return values_; }
  const ChannelValues& values() const { return values_; }
  BlockCapture& capture() { return *capture_; }
  const BlockCapture& capture() const { return *capture_; }
  const LossWatch& losses() const { return losses_; }

 private:
  struct Entry {
    SubscriberId id;
    FeedSubscriber subscriber;
  };
  void Hand(const BlockView& block, int lostBefore);
  void HandTick(const BlockView& last);
  void DropUnsubscribed();

  DllDef& dll_;
  std::unique_ptr<BlockCapture> capture_;  // null for a feed that only polls
  LossWatch losses_;
  ChannelValues values_;
  // Each entry stays where it is while a subscriber runs, whatever is added meanwhile; one
  // unsubscribed during a hand-over (id 0) is passed over and dropped after it.
  std::vector<std::unique_ptr<Entry>> subscribers_;
  SubscriberId nextId_ = 1;
  int blockSubscribers_ = 0;
  bool handing_ = false;
  BlockTap tap_;
};

}  // namespace acquisition
