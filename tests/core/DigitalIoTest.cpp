#include <gtest/gtest.h>

#include <string>

#include "DigitalInput.h"
#include "DigitalOutput.h"

using namespace dio;

namespace {

TEST(DigitalInput, Captions) {
  struct Case {
    int16_t word0, word1;
    const char *lblDI, *lblDI_0, *lblDI_1;
  } cases[] = {
      {0x00A5, 0x003C, "A5  3C", "A5      1   0   1   0   0   1   0   1",
       "3C      0   0   1   1   1   1   0   0"},
      {0, 0, "0  0", "0      0   0   0   0   0   0   0   0",
       "0      0   0   0   0   0   0   0   0"},
      {-1, 511, "FFFF  1FF", "FFFF      1   1   1   1   1   1   1   1",
       "1FF      1   1   1   1   1   1   1   1"},
  };
  for (const Case& c : cases) {
    DiCaptions captions = FormatDigitalInputs(c.word0, c.word1);
    EXPECT_EQ(captions.lblDI, c.lblDI);
    EXPECT_EQ(captions.lblDI_0, c.lblDI_0);
    EXPECT_EQ(captions.lblDI_1, c.lblDI_1);
    EXPECT_EQ(captions.lblBit, "            7   6   5   4   3   2   1   0");
  }
  EXPECT_EQ(FormatDigitalInputs(0x00A5, 0).lblDI_0.size(), 37u);
  EXPECT_EQ(FormatDigitalInputs(0, 0).lblDI_0.size(), 36u);
  EXPECT_EQ(FormatDigitalInputs(0, 0).lblBit.size(), 41u);
}

TEST(BitOutput, ChannelField) {
  struct Case {
    std::string text;
    int16_t channel;
  } cases[] = {{"17", 16},
               {"0", 1},
               {"-5", 1},
               {"", 1},
               {"3.5", 4},
               {"2.5", 2},
               {"7abc", 7},
               {"05", 5},
               {" 12", 12},
               {"99999", 16},
               {"1e300", 16},
               {"-1e300", 1},
               {std::string(400, '9'), 16}};
  for (const Case& c : cases) EXPECT_EQ(ChannelOfText(c.text), c.channel) << c.text;
}

TEST(BitOutput, DoubleClickToggles) {
  struct Case {
    const char *text, *after;
  } cases[] = {{"0", " 1"},   {" 0", " 1"},  {"1", " 0"}, {"5", " 0"},    {"-1", " 0"},
               {"0.3", " 0"}, {"abc", " 1"}, {"", " 1"},  {"1e999", " 0"}};
  for (const Case& c : cases) EXPECT_EQ(ToggledValueText(c.text), c.after) << c.text;
}

TEST(BitOutput, ValueAndChannelSent) {
  struct Case {
    const char* text;
    int16_t value;
  } values[] = {{"1", 1},   {"0", 0},   {"2", 1},     {"-1", 1},     {"abc", 0},
                {"0.5", 0}, {"1.5", 1}, {"99999", 1}, {"-99999", 1}, {"0.4", 0}};
  for (const Case& c : values) EXPECT_EQ(OutputValueOfText(c.text), c.value) << c.text;
  EXPECT_EQ(OutputChannelOfText(" 16"), 16);
  EXPECT_EQ(OutputChannelOfText("-3"), 1);
  EXPECT_EQ(OutputChannelOfText("1e9"), 32767);
}

TEST(ByteOutput, GroupField) {
  struct Case {
    const char* text;
    int16_t group;
  } cases[] = {{"0", 0}, {"1", 1},   {"2", 1},   {"9", 1},     {"1.5", 1},        {"0.5", 0},
               {"", 0},  {"abc", 0}, {"-1", -1}, {"99999", 1}, {"-99999", -32768}};
  for (const Case& c : cases) EXPECT_EQ(GroupOfText(c.text), c.group) << c.text;
}

TEST(ByteOutput, HexByteField) {
  struct Case {
    std::string text;
    int16_t byte;
  } cases[] = {{"A5", 165},
               {"a5", 165},
               {"FF", 255},
               {"1FF", 255},
               {"100", 0},
               {"FFFF", 255},
               {"8000", 0},
               {"00", 0},
               {"", 0},
               {"G1", 0},
               {"1G", 1},
               {"0x10", 0},
               {"123456789AB", 0xAB},
               {std::string(300, 'F') + "3C", 0x3C}};
  for (const Case& c : cases) EXPECT_EQ(ByteOfHexText(c.text), c.byte) << c.text;
}

}  // namespace
