#include "NumberForms.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

#include "ChannelValues.h"

using namespace numtext;

namespace {

TEST(NumberForms, DecimalForms) {
  struct Case {
    int32_t value;
    const char* signedColumn;
    const char* plain;
  } cases[] = {{5, " 5", "5"},
               {0, " 0", "0"},
               {-3, "-3", "-3"},
               {19200, " 19200", "19200"},
               {-32768, "-32768", "-32768"},
               {2147483647, " 2147483647", "2147483647"}};
  for (const Case& c : cases) {
    EXPECT_EQ(SignedColumn(c.value), c.signedColumn);
    EXPECT_EQ(PlainDecimal(c.value), c.plain);
  }
}

// The forms files and reports use: the bytes printf writes in the C locale, rounding and
// signs included.
TEST(NumberForms, FixedAndGeneralAsPrintfInTheCLocale) {
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    int digits;
  } cases[] = {{0.5, 2},     {-0.5, 0},    {2.5, 0},      {3.5, 1},    {0.125, 2},
               {-0.0001, 3}, {1234567, 6}, {1e-5, 6},     {102.06, 2}, {102.06, 1},
               {1e300, 1},   {-1e-300, 4}, {0.0, 0},      {-0.0, 2},   {kNan, 3},
               {-kInf, 2},   {100000, 6},  {999999.5, 6}, {0.0001, 6}, {5e-324, 17}};
  for (const Case& c : cases) {
    char printed[400];
    std::snprintf(printed, sizeof printed, "%.*f", c.digits, c.value);
    EXPECT_EQ(Fixed(c.value, c.digits), printed) << c.value << " %." << c.digits << "f";
    std::snprintf(printed, sizeof printed, "%.*g", c.digits, c.value);
    EXPECT_EQ(General(c.value, c.digits), printed) << c.value << " %." << c.digits << "g";
  }
  EXPECT_EQ(Fixed(2.5, 0), "2");  // exact halves go to the even neighbour
  EXPECT_EQ(Fixed(-0.0001, 3), "-0.000");
  EXPECT_EQ(General(1234567, 6), "1.23457e+06");
  std::string out = "x=";
  AppendFixed(out, -1.23456, 5);
  EXPECT_EQ(out, "x=-1.23456");
}

TEST(NumberForms, HexadecimalDisplay) {
  struct Case {
    int32_t value;
    const char* hex;
  } cases[] = {{0, "0"},        {10, "A"},           {255, "FF"},  {511, "1FF"},
               {43690, "AAAA"}, {65535, "FFFF"},     {-1, "FFFF"}, {-32768, "8000"},
               {-91, "FFA5"},   {-65536, "FFFF0000"}};
  for (const Case& c : cases) EXPECT_EQ(Hex(c.value), c.hex) << c.value;
}

TEST(NumberForms, VoltPatterns) {
  struct Case {
    float volts;
    const char* noIntegerZero;  // "##.000"
    const char* integerDigit;   // "#0.000"
  } cases[] = {
      {0.5f, ".500", "0.500"},           {-0.25f, "-.250", "-0.250"},
      {2.5000381f, "2.500", "2.500"},    {4.9999237f, "5.000", "5.000"},
      {-5.0000763f, "-5.000", "-5.000"}, {0.0f, ".000", "0.000"},
      {-0.0004f, ".000", "0.000"},       {-4.9612f, "-4.961", "-4.961"},
      {1.6667f, "1.667", "1.667"},       {12.3456f, "12.346", "12.346"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Volts(c.volts, VoltPattern::NoIntegerZero), c.noIntegerZero) << c.volts;
    EXPECT_EQ(Volts(c.volts, VoltPattern::IntegerDigit), c.integerDigit) << c.volts;
  }
}

TEST(NumberForms, VoltsOfTheCardsCodes) {
  const acquisition::VoltageScale scale = acquisition::kVoltageScale;
  struct Case {
    int16_t cell;
    int32_t code;
    float volts;
    const char* label;
  } cases[] = {{-32768, 32768, 0.0f, ".000"},
               {-1, 65535, 4.9999237f, "5.000"},
               {0, 0, -5.0000763f, "-5.000"},
               {16384, 16384, -2.5000381f, "-2.500"},
               {-32767, 32769, 1.5259022e-4f, ".000"}};
  for (const Case& c : cases) {
    const int32_t code = acquisition::UnsignedCode(c.cell);
    EXPECT_EQ(code, c.code);
    EXPECT_FLOAT_EQ(acquisition::VoltsOfCode(code, scale), c.volts);
    EXPECT_EQ(Volts(acquisition::VoltsOfCode(code, scale), VoltPattern::NoIntegerZero), c.label);
  }
}

}  // namespace
