// How long the disk lasts at the rate the recording writes, and when it must stop: the free
// space of the recording's own file system, read now and then, less what was written since;
// the rate measured over the recording so far. A stop comes before the disk is full, with
// room left for the last record, the summaries and the description.
#pragma once

#include <cstdint>
#include <optional>

namespace recording {

class DiskGuard {
 public:
  DiskGuard(uint64_t reserveBytes, double warnSecondsLeft)
      : reserve_(reserveBytes), warnSeconds_(warnSecondsLeft) {}

  // The file system's free bytes as just read (empty: it could not say), at `seconds` on a
  // steady clock, with `written` bytes written by the recording in all.
  void Measured(std::optional<uint64_t> freeBytes, double seconds, uint64_t written);
  // Whether `bytes` more may be written now and still leave the reserve.
  bool Fits(uint64_t bytes, uint64_t written) const;
  // Seconds of recording left at the measured rate; empty until a rate and a free space
  // are known.
  std::optional<double> SecondsLeft(uint64_t written) const;
  bool Low(uint64_t written) const;

 private:
  uint64_t reserve_;
  double warnSeconds_;
  std::optional<uint64_t> free_;  // at the last reading
  uint64_t writtenAtReading_ = 0;
  std::optional<double> firstSeconds_;
  uint64_t firstWritten_ = 0;
  double rate_ = 0;  // bytes a second
};

}  // namespace recording
