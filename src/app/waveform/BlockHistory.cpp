#include "BlockHistory.h"

#include <algorithm>

void BlockHistory::Remember(const acquisition::BlockView& block) {
  if (block.channels != shape_.channels || block.points != shape_.points) {
    Clear();  // a new shape starts a new history
  }
  shape_ = block;
  shape_.cells = nullptr;
  std::shared_ptr<std::vector<int16_t>>& slot = blocks_[next_];
  // A block the worker still reads keeps its storage; the slot gets another.
  if (!slot || slot.use_count() > 1) slot = std::make_shared<std::vector<int16_t>>();
  slot->assign(block.cells, block.cells + block.cellCount());
  next_ = (next_ + 1) % kBlocks;
  count_ = std::min(count_ + 1, kBlocks);
}

std::vector<BlockHistory::SharedBlock> BlockHistory::Last(int blocks) const {
  std::vector<SharedBlock> last;
  for (int b = std::min(blocks, count_); b > 0; --b) {  // oldest first
    last.push_back(blocks_[(next_ - b + kBlocks) % kBlocks]);
  }
  return last;
}
