// A profile's serial-number pattern and the serials it takes: a serial is at most
// kMostSerialCharacters characters of UTF-8 text without control characters, matching the
// pattern whole. The pattern is a PCRE2 regular expression whose matches are bounded in
// work, so no pattern and no serial can hang the program or exhaust its stack.
#pragma once

#include <optional>
#include <string>

namespace selftest {

inline constexpr int kMostSerialCharacters = 64;

// Why PCRE2 does not take `pattern` (its message and the offset), or nothing.
std::optional<std::string> SerialPatternProblem(const std::string& pattern);

// Why `serial` is refused, in Chinese ("不符合格式 KZB[0-9]{6}", "超过 64 个字符"), or
// nothing when it is taken. An empty pattern takes any serial that is not empty.
std::optional<std::string> SerialRefusal(const std::string& pattern, const std::string& serial);

}  // namespace selftest
