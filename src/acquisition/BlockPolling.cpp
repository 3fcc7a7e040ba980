#include "BlockPolling.h"

#include <algorithm>
#include <cstring>

#include "BlockCapture.h"
#include "DllDef.h"
#include "LossWatch.h"
#include "StartStop.h"

namespace acquisition {

base::Result<TickOutcome> PollBlocks(DllDef& dll, ChannelValues& values, BlockCapture& capture,
                                     LossWatch& losses, int saveCheckValue, double nowSeconds) {
  return card::Attempt([&] {
    TickOutcome outcome;
    const int16_t count = dll.QueryBuf();
    // Blocks reported before any start have no buffer to go into: leave them with the card.
    if (!BuffersReady(dll)) return outcome;
    // Lost blocks come before the ones this poll brings: a file gathering since spans them.
    outcome.lostBlocks = losses.Account(nowSeconds, count);
    if (outcome.lostBlocks > 0) capture.NoteLoss();
    if (count == 0) return outcome;

    for (int k = 1; k <= count; ++k) {
      if (dll.ADResult(dll.BlockData.data()) == 1) AcceptBlock(dll, capture, saveCheckValue);
    }
    values.BlocksReceived = AdvanceBlockCount(values.BlocksReceived, count);
    outcome.latestVolts = DeriveChannelValues(dll, values);
    outcome.foundBlocks = true;
    return outcome;
  });
}

void AcceptBlock(DllDef& dll, BlockCapture& capture, int saveCheckValue) {
  const int32_t blockCells = dll.ChannelCount * dll.PointsPerChannel;
  const int16_t* block = dll.BlockData.data() + 1;
  if (capture.Wants(saveCheckValue)) capture.Capture(block, dll.ChannelCount, dll.PointsPerChannel);
  std::memcpy(dll.RingData.data() + dll.RingWritePos, block, blockCells * sizeof(int16_t));
  dll.RingWritePos += blockCells;
  if (dll.RingWritePos >= blockCells * dll.RingBlockCount) dll.RingWritePos = 0;
}

std::array<float, 4> DeriveChannelValues(const DllDef& dll, ChannelValues& values) {
  const int16_t* block = dll.BlockData.data() + 1;
  LatestSamples(block, dll.ChannelCount, dll.PointsPerChannel, values.Scale, values.ChanCode.data(),
                values.ChanVolt.data());
  std::array<float, 4> latest;
  std::copy_n(values.ChanVolt.begin(), latest.size(), latest.begin());
  ChannelAverages(block, dll.ChannelCount, dll.PointsPerChannel, values.Scale,
                  values.ChanCode.data(), values.ChanVolt.data());
  return latest;
}

}  // namespace acquisition
