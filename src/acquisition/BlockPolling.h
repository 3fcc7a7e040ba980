// One tick of the analog timer: fetch the finished blocks, gather and ring them, count them,
// and derive the channel values from the last one.
#pragma once

#include <array>

#include "ChannelValues.h"
#include "Failure.h"

class DllDef;

namespace acquisition {

class BlockCapture;

class LossWatch;

struct TickOutcome {
  bool foundBlocks = false;            // false: the tick changed nothing
  std::array<float, 4> latestVolts{};  // last sample of channels 1 to 4, for the live labels
  int lostBlocks = 0;                  // blocks the card finished that never came, found now
};

// `saveCheckValue` is the save check box read as a number (0, 1, or 2 when greyed);
// `nowSeconds` the poll's time on a steady clock, taken just before it.
// Fails when the library or an entry point is missing; blocks fetched before that count.
base::Result<TickOutcome> PollBlocks(DllDef& dll, ChannelValues& values, BlockCapture& capture,
                                     LossWatch& losses, int saveCheckValue, double nowSeconds);

// What happens to each block the card delivered into BlockData: gathered while saving,
// then appended to the ring.
void AcceptBlock(DllDef& dll, BlockCapture& capture, int saveCheckValue);

// The channel values of the block now in BlockData: the latest samples (returned for
// channels 1 to 4), then every channel's average, which ChanCode and ChanVolt keep.
std::array<float, 4> DeriveChannelValues(const DllDef& dll, ChannelValues& values);

}  // namespace acquisition
