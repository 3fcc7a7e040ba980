#include "BlockPolling.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "BlockCapture.h"
#include "DllDef.h"
#include "LossWatch.h"
#include "StartStop.h"

namespace acquisition {

CardPoll PollCard(DllDef& dll, LossWatch& losses, const std::function<double()>& nowSeconds,
                  int most, const PollSteps& steps) {
  CardPoll poll;
  const double asked = nowSeconds();
  poll.finished = dll.QueryBuf();
  const double answered = nowSeconds();
  // Blocks reported before any start have no buffer to go into: leave them with the card.
  const size_t blockCells = static_cast<size_t>(dll.ChannelCount) * dll.PointsPerChannel;
  poll.ready = steps.ring ? BuffersReady(dll) : blockCells > 0 && LatestBlock(dll).cells;
  if (!poll.ready) return poll;
  // Lost blocks come before the ones this poll brings: a file gathering since spans them.
  poll.lost = losses.Account(asked, answered, poll.finished);
  if (poll.lost > 0 && !losses.lastWasSettlement() && steps.onLoss) steps.onLoss();
  for (int k = 0; k < std::min<int>(poll.finished, most); ++k) {
    if (!steps.take(FetchBlock(dll))) break;
  }
  return poll;
}

base::Result<TickOutcome> PollBlocks(DllDef& dll, ChannelValues& values, BlockCapture& capture,
                                     LossWatch& losses, bool saving,
                                     const std::function<double()>& nowSeconds,
                                     const BlockTap& tap) {
  return card::Attempt(dll.library(), [&] {
    TickOutcome outcome;
    int64_t lostTold = losses.lost();  // this poll's losses go with its first block
    const CardPoll poll =
        PollCard(dll, losses, nowSeconds, std::numeric_limits<int>::max(),
                 {.onLoss = [&] { capture.NoteLoss(); },
                  .take =
                      [&](const FetchedBlock& fetched) {
                        if (fetched.status != 1) return true;
                        AcceptBlock(dll, capture, saving, fetched.block);
                        if (tap) {
                          tap(fetched.block, static_cast<int>(losses.lost() - lostTold));
                          lostTold = losses.lost();
                        }
                        return true;
                      },
                  .ring = true});
    outcome.lostBlocks = poll.lost;
    if (!poll.ready || poll.finished == 0) return outcome;
    values.BlocksReceived = AdvanceBlockCount(values.BlocksReceived, poll.finished);
    outcome.block = LatestBlock(dll);
    outcome.latestVolts = DeriveChannelValues(outcome.block, values);
    outcome.foundBlocks = true;
    return outcome;
  });
}

BlockView LatestBlock(const DllDef& dll) {
  if (dll.BlockData.size() < 1 + static_cast<size_t>(dll.ChannelCount) * dll.PointsPerChannel)
    return {};
  return BlockView{.cells = dll.BlockData.data() + 1,
                   .channels = dll.ChannelCount,
                   .points = dll.PointsPerChannel,
                   .aggregateRate = dll.IntrArg5};
}

FetchedBlock FetchBlock(DllDef& dll) {
  const int32_t status = dll.ADResult(dll.BlockData.data());
  return FetchedBlock{status, LatestBlock(dll)};
}

void AcceptBlock(DllDef& dll, BlockCapture& capture, bool saving, const BlockView& block) {
  const auto blockCells = static_cast<int32_t>(block.cellCount());
  if (capture.Wants(saving)) capture.Capture(block);
  std::memcpy(dll.RingData.data() + dll.RingWritePos, block.cells, blockCells * sizeof(int16_t));
  dll.RingWritePos += blockCells;
  if (dll.RingWritePos >= blockCells * dll.RingBlockCount) dll.RingWritePos = 0;
}

std::array<float, 4> DeriveChannelValues(const BlockView& block, ChannelValues& values) {
  LatestSamples(block, values.Scale, values.ChanCode.data(), values.ChanVolt.data());
  std::array<float, 4> latest;
  std::copy_n(values.ChanVolt.begin(), latest.size(), latest.begin());
  ChannelAverages(block, values.Scale, values.ChanCode.data(), values.ChanVolt.data());
  return latest;
}

}  // namespace acquisition
