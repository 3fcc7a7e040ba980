// The text forms in which the program shows numbers. The Append* forms write into a string
// whose capacity the caller keeps, so a refresh that repeats every tick allocates nothing.
// Every form writes a point for the decimal mark, whatever the locale: files and reports
// read the same on every machine.
#pragma once

#include <cstdint>
#include <string>

namespace numtext {

// " 5", " 0", "-3": one space stands where a minus sign would.
void AppendSignedColumn(std::string& out, int32_t value);
std::string SignedColumn(int32_t value);

// "5", "-3".
void AppendPlainDecimal(std::string& out, int32_t value);
std::string PlainDecimal(int32_t value);

// Upper-case hexadecimal without leading zeros; a negative 16-bit value shows its 16-bit
// two's complement pattern (-1 gives FFFF), any other negative value its 32-bit pattern.
void AppendHex(std::string& out, int32_t value);
std::string Hex(int32_t value);

enum class VoltPattern {
  NoIntegerZero,  // "##.000": 0.5 shows as .500
  IntegerDigit,   // "#0.000": 0.5 shows as 0.500
};

// Three decimals, rounded; a value that rounds to zero shows no minus sign.
void AppendVolts(std::string& out, float volts, VoltPattern pattern);
std::string Volts(float volts, VoltPattern pattern);

// `decimals` decimals, rounded as printf's "%.*f" rounds in the C locale ("-0.50", "nan").
void AppendFixed(std::string& out, double value, int decimals);
std::string Fixed(double value, int decimals);

// `significant` significant digits, as printf's "%.*g" writes them in the C locale
// ("0.5", "1e+06", "123457").
std::string General(double value, int significant);

}  // namespace numtext
