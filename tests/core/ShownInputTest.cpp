#include "ShownInput.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ShownInput, ShortensAndEscapesWhatIsRepeated) {
  const std::string forty(40, 'A');
  struct Case {
    std::string text;
    const char* shown;
  } cases[] = {
      {"KZB123456", "KZB123456"},
      {"", ""},
      {"工位3 序列号", "工位3 序列号"},
      {forty, "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"},
      {forty + "B", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA…"},
      {std::string(32767, 'K'), "KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK…"},
      {"KZB\x1b[31mRED", "KZB\\x1b[31mRED"},
      {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"del\x7f", "del\\x7f"},
      {"C:\\x1b", "C:\\\\x1b"},  // a backslash typed is not an escape shown
      {"CSI\xc2\x9b"
       "31m",
       "CSI\\xc2\\x9b31m"},
      {"BAD\xff\xfe", "BAD\\xff\\xfe"},
      {"cut\xe5\xb7", "cut\\xe5\\xb7"},    // a character cut short
      {"over\xc0\xaf", "over\\xc0\\xaf"},  // an overlong slash
      {"surrogate\xed\xa0\x80", "surrogate\\xed\\xa0\\x80"},
      {"high\xf4\x90\x80\x80", "high\\xf4\\x90\\x80\\x80"},
      {"emoji\xf0\x9f\x98\x80", "emoji\xf0\x9f\x98\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base::ShownInput(c.text), c.shown) << c.text.substr(0, 60);
  }
  // Characters count, not bytes.
  std::string chinese;
  for (int i = 0; i < 45; ++i) chinese += "序";
  EXPECT_EQ(base::ShownInput(chinese), chinese.substr(0, 40 * 3) + "…");
  EXPECT_EQ(base::ShownInput("\x1b\x1b\x1b", 2), "\\x1b\\x1b…");
}

}  // namespace
