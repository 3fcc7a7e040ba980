#include "DiskGuard.h"

namespace recording {

void DiskGuard::Measured(std::optional<uint64_t> freeBytes, double seconds, uint64_t written) {
  if (freeBytes) {
    free_ = freeBytes;
    writtenAtReading_ = written;
  }
  if (!firstSeconds_) {
    firstSeconds_ = seconds;
    firstWritten_ = written;
  } else if (seconds > *firstSeconds_) {
    rate_ = static_cast<double>(written - firstWritten_) / (seconds - *firstSeconds_);
  }
}

bool DiskGuard::Fits(uint64_t bytes, uint64_t written) const {
  if (!free_) return true;  // a file system that cannot say: the write itself will tell
  const uint64_t since = written - writtenAtReading_;
  return *free_ >= since && *free_ - since >= reserve_ + bytes;
}

std::optional<double> DiskGuard::SecondsLeft(uint64_t written) const {
  if (!free_ || rate_ <= 0) return std::nullopt;
  const uint64_t since = written - writtenAtReading_;
  const uint64_t left = *free_ > since + reserve_ ? *free_ - since - reserve_ : 0;
  return static_cast<double>(left) / rate_;
}

bool DiskGuard::Low(uint64_t written) const {
  const auto left = SecondsLeft(written);
  return left && *left < warnSeconds_;
}

}  // namespace recording
