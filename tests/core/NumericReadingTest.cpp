#include "NumericReading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

using numtext::NumericValue;
using numtext::ParseNumber;
using numtext::ReadNumber;
using numtext::RoundToInt16;
using numtext::RoundToInt16Saturated;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(NumericReading, ReadsWhatTheTextStartsWith) {
  struct Case {
    std::string text;
    double value;
  } cases[] = {
      {"7abc", 7},
      {"abc", 0},
      {"", 0},
      {"   12", 12},
      {"\t 12", 12},
      {"-3", -3},
      {"+4", 4},
      {"1 2 3", 123},
      {"- 1\t5", -15},
      {"2.5", 2.5},
      {".5", 0.5},
      {"5.", 5},
      {"1.2.3", 1.2},
      {"1e3", 1000},
      {"1.5E-1", 0.15},
      {"2 e 2", 200},
      {"1e", 1},
      {"1e+", 1},
      {"1ex", 1},
      {"-", 0},
      {".", 0},
      {"05", 5},
      {"0x10", 0},
      {"&HFF", 255},
      {"&hff", 255},
      {"&H a5", 165},
      {"&H1G", 1},
      {"&H", 0},
      {"&", 0},
      {"&Q1", 0},
      {"&HFFFF", 65535},
      {"12,5", 12},
      {"1e999", kInf},
      {"-1e999", -kInf},
      {"1e-999", 0},
      {"0e99999", 0},
      {"1e99999999999999999999", kInf},
  };
  for (const Case& c : cases) EXPECT_EQ(NumericValue(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumericReading, SurvivesNumbersBeyondADouble) {
  EXPECT_EQ(NumericValue(std::string(400, '9')), kInf);
  EXPECT_EQ(NumericValue("0." + std::string(400, '0') + "1"), 0);
  EXPECT_EQ(NumericValue("&H" + std::string(300, 'F')), kInf);
}

TEST(NumericReading, HexKeepsTheLowBitsOfLongTexts) {
  EXPECT_EQ(ReadNumber("&H123456789ABCDEF0A5").hexBits & 0xFF, 0xA5u);
  EXPECT_EQ(ReadNumber("&H1FF").hexBits, 0x1FFu);
  EXPECT_EQ(ReadNumber("12").hexBits, 0u);
}

TEST(RoundToInt16, HalvesGoToTheEvenNeighbour) {
  struct Case {
    double value;
    int expected;
  } cases[] = {{2.5, 2},         {3.5, 4},           {0.5, 0},          {1.5, 2},
               {-0.5, 0},        {-2.5, -2},         {-3.5, -4},        {0.49999, 0},
               {32767.4, 32767}, {-32768.5, -32768}, {-32767.6, -32768}};
  for (const Case& c : cases) {
    ASSERT_TRUE(RoundToInt16(c.value).has_value()) << c.value;
    EXPECT_EQ(*RoundToInt16(c.value), c.expected) << c.value;
  }
}

TEST(RoundToInt16, ReportsValuesOutsideTheRange) {
  for (double v : {32767.5, 99999.0, -32769.0, -32768.6, kInf, -kInf,
                   std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_FALSE(RoundToInt16(v).has_value()) << v;
  }
  EXPECT_EQ(RoundToInt16Saturated(1e300), 32767);
  EXPECT_EQ(RoundToInt16Saturated(-kInf), -32768);
  EXPECT_EQ(RoundToInt16Saturated(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(RoundToInt16Saturated(2.5), 2);
}

// A number in a file: the whole text, with a point whatever the locale.
TEST(NumericReading, ParsesAWholeTextAsOneNumber) {
  struct Case {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"0.05", 0.05}, {"-2.5", -2.5},   {"+4", 4},    {".5", 0.5},        {"5.", 5},
      {"1e3", 1000},  {"1.5E-1", 0.15}, {"0x10", 16}, {"-0x1p-2", -0.25}, {"inf", kInf},
      {"0,05", {}},   {"1,5e3", {}},    {"", {}},     {"-", {}},          {"+-1", {}},
      {"--1", {}},    {"0x", {}},       {"0x-1", {}}, {" 1", {}},         {"1 ", {}},
      {"1e", {}},     {"1.2.3", {}},    {"5 V", {}},  {"1e999", {}},      {"&H10", {}},
  };
  for (const Case& c : cases) {
    const std::optional<double> got = ParseNumber(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value()) << "'" << c.text << "'";
    if (got) {
      EXPECT_EQ(*got, *c.value) << "'" << c.text << "'";
    }
  }
  EXPECT_TRUE(std::isnan(ParseNumber("nan").value()));
}

}  // namespace
