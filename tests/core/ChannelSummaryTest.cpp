#include "ChannelSummary.h"

#include <gtest/gtest.h>

using namespace acquisition;

namespace {

TEST(ChannelSummary, BuildsOneLinePerChannelEndedByCrLf) {
  const VoltageScale scale = kVoltageScale;
  ChannelValues values;
  const int32_t codes[] = {32768, 49152, 255, 0, 4095, 10, 43690};
  for (int ch = 0; ch < 64; ++ch) {
    values.ChanCode[ch] = ch < 7 ? codes[ch] : (ch == 63 ? 65535 : 32768);
    values.ChanVolt[ch] = VoltsOfCode(values.ChanCode[ch], scale);
  }
  std::string text;
  BuildChannelSummary(text, values, 64);
  const std::string head =
      "Sample Information:\r\n"
      "Ch 0=8000   V: 0.000\r\n"
      "Ch 1=C000   V: 2.500\r\n"
      "Ch 2=00FF   V: -4.961\r\n"
      "Ch 3=0000   V: -5.000\r\n"
      "Ch 4=0FFF   V: -4.375\r\n"
      "Ch 5=000A   V: -4.999\r\n"
      "Ch 6=AAAA   V: 1.667\r\n"
      "Ch 7=8000   V: 0.000\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  const std::string tail = "Ch 62=8000   V: 0.000\r\nCh 63=FFFF   V: 5.000\r\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  size_t lines = 0;
  for (size_t i = 0; (i = text.find("\r\n", i)) != std::string::npos; i += 2) ++lines;
  EXPECT_EQ(lines, 65u);

  // Rebuilt in place: the same text again, not appended.
  BuildChannelSummary(text, values, 64);
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.rfind("Sample Information:"), 0u);
}

}  // namespace
