// One tick of the analog timer: fetch the finished blocks, gather and ring them, count them,
// and derive the channel values from the last one.
#pragma once

#include <array>
#include <functional>

#include "Block.h"
#include "ChannelValues.h"
#include "Failure.h"

class DllDef;

namespace acquisition {

class BlockCapture;

class LossWatch;

struct TickOutcome {
  bool foundBlocks = false;            // false: the tick changed nothing
  BlockView block;                     // the last block fetched, when some were found
  std::array<float, 4> latestVolts{};  // last sample of channels 1 to 4, for the live labels
  int lostBlocks = 0;                  // blocks the card finished that never came, found now
};

struct FetchedBlock {
  int32_t status = 0;  // the card's answer: 1 for a whole block
  BlockView block;
};

// One poll as every reader of the card makes it, through its BlockFeed: the count of finished
// blocks asked (the question timed on `nowSeconds` for the loss watch), the losses accounted, then
// at most `most` blocks fetched one by one and handed to `take` until it says stop. `onLoss` hears
// of a new gap before any block after it is taken. Before any start (no block buffer, or no
// ring where `ring` says the blocks go on into it) nothing is accounted or fetched. A missing
// library or entry point throws card::CardUnavailable: call it inside card::Attempt.
struct CardPoll {
  int16_t finished = 0;  // what the card reported
  int lost = 0;          // blocks newly found lost
  bool ready = true;     // false: no buffers yet, the blocks stay with the card
};
struct PollSteps {
  std::function<void()> onLoss;
  std::function<bool(const FetchedBlock&)> take;
  bool ring = false;
};
CardPoll PollCard(DllDef& dll, LossWatch& losses, const std::function<double()>& nowSeconds,
                  int most, const PollSteps& steps);

// Where every delivered block goes besides (a recording), with the blocks found lost
// since the block before it.
using BlockTap = std::function<void(const BlockView& block, int lostBefore)>;

// `saving`: delivered blocks are gathered into the data files; `nowSeconds` reads a steady
// clock, just before the card is asked and just after it answered; `tap`, when given, is
// handed every delivered block in turn.
// Fails when the library or an entry point is missing; blocks fetched before that count.
base::Result<TickOutcome> PollBlocks(DllDef& dll, ChannelValues& values, BlockCapture& capture,
                                     LossWatch& losses, bool saving,
                                     const std::function<double()>& nowSeconds,
                                     const BlockTap& tap = {});

// The block BlockData holds now (the block starts at its cell 1); empty before any start.
BlockView LatestBlock(const DllDef& dll);

// Fetches the card's next finished block into BlockData. A missing library or entry point
// throws card::CardUnavailable: call it inside card::Attempt.
FetchedBlock FetchBlock(DllDef& dll);

// What happens to each block the card delivered: gathered while saving, then appended to
// the ring.
void AcceptBlock(DllDef& dll, BlockCapture& capture, bool saving, const BlockView& block);

// The channel values of `block`: the latest samples (returned for channels 1 to 4), then
// every channel's average, which ChanCode and ChanVolt keep.
std::array<float, 4> DeriveChannelValues(const BlockView& block, ChannelValues& values);

}  // namespace acquisition
