// The per-channel summary text: one line per channel with its average code and volts.
#pragma once

#include <string>

#include "ChannelValues.h"

namespace acquisition {

// Replaces `out` with "Sample Information:" and one "Ch 0=8000   V: 0.000" line per
// channel, every line ended by CR LF. Keeps `out`'s capacity, so a refresh allocates nothing.
void BuildChannelSummary(std::string& out, const ChannelValues& values, int channels);

}  // namespace acquisition
