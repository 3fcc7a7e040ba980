// Operator input repeated in a refusal: shortened and made safe for a terminal or a label,
// so a pasted page or an escape sequence in a scanned serial cannot flood or recolour what
// the operator reads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

inline constexpr size_t kMostShownCharacters = 40;

// `text` as it may be shown: at most `most` characters, then "…" when there were more;
// control characters as escapes (\n, \t, \r, else \x1b), a backslash doubled, and each byte
// that is not part of valid UTF-8 as \xNN. An escape counts as one character.
std::string ShownInput(std::string_view text, size_t most = kMostShownCharacters);

}  // namespace base
