// What the data files need from the platform, shared between DataFile.cpp and the one
// platform file the build picks.
#pragma once

#include <string_view>

namespace acquisition {

extern const char kPathSeparator;     // the one the program writes
extern const char kPathSeparators[];  // every one a path may hold

// ".KZB7315 0.txt.Ab3xQz.part": hidden, and never taken for a data file.
inline constexpr std::string_view kTemporaryPrefix = ".KZB7315 ";
inline constexpr std::string_view kTemporarySuffix = ".part";
inline bool IsTemporaryFileName(std::string_view name) {
  return name.starts_with(kTemporaryPrefix) && name.ends_with(kTemporarySuffix);
}

}  // namespace acquisition
