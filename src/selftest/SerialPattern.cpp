#include "SerialPattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>

namespace selftest {

namespace {

// Enough for any pattern a serial number needs (a few thousand steps), far below what
// would take the operator's notice.
constexpr uint32_t kMatchLimit = 100000;
constexpr uint32_t kDepthLimit = 1000;

struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
using Code = std::unique_ptr<pcre2_code, CodeFree>;

// Compiled to match the whole text, as UTF-8.
Code Compile(const std::string& pattern, std::string& problem) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  Code code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                          PCRE2_UTF | PCRE2_ANCHORED | PCRE2_ENDANCHORED, &error, &offset,
                          nullptr));
  if (!code) {
    PCRE2_UCHAR text[256];
    pcre2_get_error_message(error, text, sizeof text);
    problem =
        reinterpret_cast<const char*>(text) + std::string(" at offset ") + std::to_string(offset);
  }
  return code;
}

// Characters of well-formed UTF-8 without control characters, or -1.
long CharactersOfText(const std::string& text) {
  long characters = 0;
  for (size_t i = 0; i < text.size(); ++characters) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80             ? 1
                       : (lead & 0xE0) == 0xC0 ? 2
                       : (lead & 0xF0) == 0xE0 ? 3
                       : (lead & 0xF8) == 0xF0 ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) return -1;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return -1;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      return -1;
    }
    if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) return -2;
    i += length;
  }
  return characters;
}

}  // namespace

std::optional<std::string> SerialPatternProblem(const std::string& pattern) {
  std::string problem;
  if (Compile(pattern, problem)) return std::nullopt;
  return problem;
}

std::optional<std::string> SerialRefusal(const std::string& pattern, const std::string& serial) {
  if (serial.empty()) return "为空";
  const long characters = CharactersOfText(serial);
  if (characters == -1) return "不是有效的 UTF-8 文本";
  if (characters == -2) return "含有控制字符";
  if (characters > kMostSerialCharacters) {
    return "超过 " + std::to_string(kMostSerialCharacters) + " 个字符";
  }
  if (pattern.empty()) return std::nullopt;
  std::string problem;
  const Code code = Compile(pattern, problem);
  if (!code) return "无法与格式比较 (" + problem + ")";
  std::unique_ptr<pcre2_match_context, decltype(&pcre2_match_context_free)> context(
      pcre2_match_context_create(nullptr), pcre2_match_context_free);
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
      pcre2_match_data_create_from_pattern(code.get(), nullptr), pcre2_match_data_free);
  if (!context || !data) return "无法与格式比较 (out of memory)";
  pcre2_set_match_limit(context.get(), kMatchLimit);
  pcre2_set_depth_limit(context.get(), kDepthLimit);
  const int matched = pcre2_match(code.get(), reinterpret_cast<PCRE2_SPTR>(serial.data()),
                                  serial.size(), 0, 0, data.get(), context.get());
  if (matched >= 0) return std::nullopt;
  if (matched == PCRE2_ERROR_MATCHLIMIT || matched == PCRE2_ERROR_DEPTHLIMIT) {
    return "不符合格式 " + pattern + " (格式过于复杂，比较超出限度)";
  }
  return "不符合格式 " + pattern;
}

}  // namespace selftest
