// One fetched block as it travels from the card to the views, the capture and the self-test:
// its cells channel-interleaved (point after point, each channel's sample in turn), its
// shape and the card's aggregate sample rate. A view does not own its cells: they stay the
// card buffer's, valid until the next fetch or start.
#pragma once

#include <cstddef>
#include <cstdint>

namespace acquisition {

// Samples a second on each channel, from the card's aggregate rate over `channels`.
inline double ChannelRateHz(int32_t aggregateRate, int channels) {
  return aggregateRate > 0 && channels > 0 ? static_cast<double>(aggregateRate) / channels : 0;
}

struct BlockView {
  const int16_t* cells = nullptr;
  int channels = 0;
  int points = 0;
  int32_t aggregateRate = 0;  // samples a second over all channels

  double channelRateHz() const { return ChannelRateHz(aggregateRate, channels); }
  bool empty() const { return cells == nullptr || channels <= 0 || points <= 0; }
  size_t cellCount() const { return static_cast<size_t>(channels) * points; }
  int16_t cell(int point, int channel) const {
    return cells[static_cast<ptrdiff_t>(point) * channels + channel];
  }
};

}  // namespace acquisition
