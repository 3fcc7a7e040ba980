// The waveform window's last blocks for the spectrum's long record: the cells of up to
// `kBlocks` blocks that follow one another, oldest overwritten first, shared with the
// figures' worker while it measures them (a block's storage is refilled only once no job
// holds it).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "Block.h"

class BlockHistory {
 public:
  static constexpr int kBlocks = 20;
  using SharedBlock = std::shared_ptr<const std::vector<int16_t>>;

  // Forgets every block: the next one starts a new record.
  void Clear() { count_ = next_ = 0; }
  // Keeps a copy of `block`'s cells; one of another shape starts a new record.
  void Remember(const acquisition::BlockView& block);
  int count() const { return count_; }
  // The blocks' channels, points and rate; no cells.
  const acquisition::BlockView& shape() const { return shape_; }
  // The last `blocks` blocks (at most count()), oldest first.
  std::vector<SharedBlock> Last(int blocks) const;

 private:
  std::array<std::shared_ptr<std::vector<int16_t>>, kBlocks> blocks_;
  int count_ = 0, next_ = 0;
  acquisition::BlockView shape_;
};
