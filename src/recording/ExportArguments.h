// What an export is asked for as an operator types it, on the command line or in the
// viewer's export dialog:
//   a time: seconds from the recording's start ("0", "90", "12.5", "1h30m", "45s"), or a
//     moment in UTC ("2026-12-10T14:22:17Z", ".123456" before the Z as the CSV writes it)
//     or with its offset from UTC ("2026-12-10 22:22:17 +0800", as recording.json's local
//     time has it; "+08:00" too);
//   channels: numbers 1 to 64 and ranges of them, by commas ("1-16,33,40"), each once, in
//     the order given.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace recording {

// The moment, in µs UTC; empty for anything else.
std::optional<int64_t> ParseExportTime(std::string_view text, int64_t startUtcMicros);
// The channels, 0-based; empty for anything else (and for none).
std::optional<std::vector<int>> ParseChannelList(std::string_view text);

}  // namespace recording
