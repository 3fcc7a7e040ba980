// A recording's limits as an operator types them: "8h", "90m", "1h30m", "45s" or plain
// seconds; "2G", "500M", "1.5T" or plain bytes (powers of 1024).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace recording {

// Seconds, above 0; empty for anything else.
std::optional<double> ParseDuration(std::string_view text);
// Bytes, above 0; empty for anything else.
std::optional<uint64_t> ParseSize(std::string_view text);

}  // namespace recording
