#include "BlockPolling.h"

#include <algorithm>
#include <cstring>

#include "BlockCapture.h"
#include "DllDef.h"
#include "LossWatch.h"
#include "StartStop.h"

namespace acquisition {

base::Result<TickOutcome> PollBlocks(DllDef& dll, ChannelValues& values, BlockCapture& capture,
                                     LossWatch& losses, bool saving,
                                     const std::function<double()>& nowSeconds) {
  return card::Attempt(dll.library(), [&] {
    TickOutcome outcome;
    const double asked = nowSeconds();
    const int16_t count = dll.QueryBuf();
    const double answered = nowSeconds();
    // Blocks reported before any start have no buffer to go into: leave them with the card.
    if (!BuffersReady(dll)) return outcome;
    // Lost blocks come before the ones this poll brings: a file gathering since spans them.
    outcome.lostBlocks = losses.Account(asked, answered, count);
    if (outcome.lostBlocks > 0 && !losses.lastWasSettlement()) capture.NoteLoss();
    if (count == 0) return outcome;

    for (int k = 1; k <= count; ++k) {
      const FetchedBlock fetched = FetchBlock(dll);
      if (fetched.status == 1) AcceptBlock(dll, capture, saving, fetched.block);
    }
    values.BlocksReceived = AdvanceBlockCount(values.BlocksReceived, count);
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
