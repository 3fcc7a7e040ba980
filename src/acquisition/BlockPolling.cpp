#include "BlockPolling.h"

#include <algorithm>
#include <cstring>

#include "BlockCapture.h"
#include "DllDef.h"
#include "StartStop.h"

namespace acquisition {

TickOutcome PollBlocks(DllDef& dll, ChannelValues& values, BlockCapture& capture,
                       int saveCheckValue) {
  TickOutcome outcome;
  const int16_t count = dll.QueryBuf();
  if (count == 0) return outcome;
  // Blocks reported before any start have no buffer to go into: leave them with the card.
  if (!BuffersReady(dll)) return outcome;

  const int channels = dll.ChannelCount;
  const int points = dll.PointsPerChannel;
  const int32_t blockCells = channels * points;
  int16_t* const buffer = dll.BlockData.data();
  const int16_t* const block = buffer + 1;

  for (int k = 1; k <= count; ++k) {
    if (dll.ADResult(buffer) != 1) continue;
    if (capture.Wants(saveCheckValue)) capture.Capture(block, channels, points);
    std::memcpy(dll.RingData.data() + dll.RingWritePos, block, blockCells * sizeof(int16_t));
    dll.RingWritePos += blockCells;
    if (dll.RingWritePos >= blockCells * dll.RingBlockCount) dll.RingWritePos = 0;
  }
  values.BlocksReceived = AdvanceBlockCount(values.BlocksReceived, count);

  LatestSamples(block, channels, points, values.scale, values.ChanCode.data(),
                values.ChanVolt.data());
  std::copy_n(values.ChanVolt.begin(), outcome.latestVolts.size(), outcome.latestVolts.begin());
  ChannelAverages(block, channels, points, values.scale, values.ChanCode.data(),
                  values.ChanVolt.data());
  outcome.foundBlocks = true;
  return outcome;
}

}  // namespace acquisition
