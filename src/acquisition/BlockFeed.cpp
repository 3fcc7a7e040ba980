#include "BlockFeed.h"

#include <algorithm>

#include "BlockCapture.h"
#include "CardLibrary.h"
#include "DllDef.h"
#include "StartStop.h"

namespace acquisition {

BlockFeed::BlockFeed(DllDef& dll, std::string dataDirectory)
    : dll_(dll), capture_(std::make_unique<BlockCapture>(std::move(dataDirectory))) {
  tap_ = [this](const BlockView& block, int lostBefore) { Hand(block, lostBefore); };
}

BlockFeed::BlockFeed(DllDef& dll) : dll_(dll) {}

BlockFeed::~BlockFeed() = default;

void BlockFeed::Begin() {
  losses_.Begin(BlockPeriodSeconds(dll_));
}

void BlockFeed::Begin(double periodSeconds) {
  losses_.Begin(periodSeconds);
}

base::Result<> BlockFeed::Stop() {
  base::Result<> stopped = StopAcquisition(dll_);
  handing_ = true;
  for (size_t i = 0; i < subscribers_.size(); ++i) {
    const Entry& e = *subscribers_[i];
    if (e.id != 0 && e.subscriber.stopped) e.subscriber.stopped();
  }
  handing_ = false;
  DropUnsubscribed();
  return stopped;
}

BlockFeed::SubscriberId BlockFeed::Subscribe(FeedSubscriber subscriber) {
  if (subscriber.block) ++blockSubscribers_;
  subscribers_.push_back(std::make_unique<Entry>(Entry{nextId_, std::move(subscriber)}));
  return nextId_++;
}

void BlockFeed::Unsubscribe(SubscriberId id) {
  for (const std::unique_ptr<Entry>& entry : subscribers_) {
    if (entry->id != id) continue;
    if (entry->subscriber.block) --blockSubscribers_;
    entry->id = 0;  // heard no more; kept while a hand-over runs, whose call may be its own
    break;
  }
  if (!handing_) DropUnsubscribed();
}

void BlockFeed::DropUnsubscribed() {
  std::erase_if(subscribers_, [](const std::unique_ptr<Entry>& entry) { return entry->id == 0; });
}

base::Result<TickOutcome> BlockFeed::Tick(bool saving, const std::function<double()>& nowSeconds) {
  handing_ = true;
  // No subscriber for blocks, no tap: the poll then does just what it does alone.
  const base::Result<TickOutcome> tick =
      PollBlocks(dll_, values_, *capture_, losses_, saving, nowSeconds,
                 blockSubscribers_ > 0 ? tap_ : BlockTap());
  if (tick && tick.value().foundBlocks) HandTick(tick.value().block);
  handing_ = false;
  DropUnsubscribed();
  return tick;
}

base::Result<CardPoll> BlockFeed::Poll(int most, const PollSteps& steps,
                                       const std::function<double()>& nowSeconds) {
  return card::Attempt(dll_.library(),
                       [&] { return PollCard(dll_, losses_, nowSeconds, most, steps); });
}

BlockView BlockFeed::LatestBlock() const {
  return acquisition::LatestBlock(dll_);
}

void BlockFeed::Hand(const BlockView& block, int lostBefore) {
  for (size_t i = 0; i < subscribers_.size(); ++i) {
    const Entry& e = *subscribers_[i];
    if (e.id != 0 && e.subscriber.block) e.subscriber.block(block, lostBefore);
  }
}

void BlockFeed::HandTick(const BlockView& last) {
  for (size_t i = 0; i < subscribers_.size(); ++i) {
    const Entry& e = *subscribers_[i];
    if (e.id != 0 && e.subscriber.tick) e.subscriber.tick(last, values_);
  }
}

}  // namespace acquisition
