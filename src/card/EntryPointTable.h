// The entry points as data: their enum, names and argument counts, shared by the program's
// binding and the simulated card.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "AdcardEntryPoints.h"

namespace card {

enum class Entry : int {
#define ADCARD_ENUM(name, ...) name,
  ADCARD_ENTRY_POINTS(ADCARD_ENUM)
#undef ADCARD_ENUM
};

struct EntryPointInfo {
  std::string_view name;
  int argCount;
};

inline constexpr std::array kEntryPoints = {
#define ADCARD_INFO(name, argCount, ...) EntryPointInfo{#name, argCount},
    ADCARD_ENTRY_POINTS(ADCARD_INFO)
#undef ADCARD_INFO
};
inline constexpr size_t kEntryPointCount = kEntryPoints.size();

// The entry point of that undecorated name, if the card has one.
inline constexpr std::optional<Entry> EntryOfName(std::string_view name) {
  for (size_t i = 0; i < kEntryPointCount; ++i) {
    if (kEntryPoints[i].name == name) return static_cast<Entry>(i);
  }
  return std::nullopt;
}

}  // namespace card
