#include "ShownInput.h"

#include <cstdint>

namespace base {
namespace {

// The length of the valid UTF-8 character at the start of `text`, or 0: overlong forms,
// surrogates and values beyond U+10FFFF are not characters.
size_t CharacterLength(std::string_view text, uint32_t& code) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  size_t length;
  uint32_t least;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, least = 0x80, code = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, least = 0x800, code = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, least = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3Fu);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void AppendByteEscape(std::string& out, uint8_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[value >> 4];
  out += kDigits[value & 0xF];
}

}  // namespace

std::string ShownInput(std::string_view text, size_t most) {
  std::string shown;
  size_t characters = 0;
  while (!text.empty()) {
    if (characters == most) {
      shown += "…";
      break;
    }
    ++characters;
    uint32_t code = 0;
    const size_t length = CharacterLength(text, code);
    if (length == 0) {
      AppendByteEscape(shown, static_cast<uint8_t>(text[0]));
      text.remove_prefix(1);
      continue;
    }
    if (code == '\n') {
      shown += "\\n";
    } else if (code == '\t') {
      shown += "\\t";
    } else if (code == '\r') {
      shown += "\\r";
    } else if (code == '\\') {
      shown += "\\\\";
    } else if (code < 0x20 || code == 0x7F) {
      AppendByteEscape(shown, static_cast<uint8_t>(code));
    } else if (code >= 0x80 && code <= 0x9F) {
      // A terminal may take these as escapes too (U+009B opens a sequence): their bytes.
      for (size_t i = 0; i < length; ++i) AppendByteEscape(shown, static_cast<uint8_t>(text[i]));
    } else {
      shown.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return shown;
}

}  // namespace base
