#include "DigitalOutput.h"

#include <algorithm>
#include <string>

#include "DllDef.h"
#include "NumberForms.h"
#include "NumericReading.h"

namespace dio {
namespace {

int16_t RoundedValue(std::string_view text) {
  return numtext::RoundToInt16Saturated(numtext::NumericValue(text));
}

}  // namespace

int16_t ChannelOfText(std::string_view text) {
  return std::clamp<int16_t>(RoundedValue(text), 1, 16);
}

std::string ToggledValueText(std::string_view text) {
  return numtext::SignedColumn(numtext::NumericValue(text) == 0 ? 1 : 0);
}

int16_t OutputValueOfText(std::string_view text) {
  return RoundedValue(text) != 0 ? 1 : 0;
}

int16_t OutputChannelOfText(std::string_view text) {
  return std::max<int16_t>(RoundedValue(text), 1);
}

int16_t GroupOfText(std::string_view text) {
  return std::min<int16_t>(RoundedValue(text), 1);
}

int16_t ByteOfHexText(std::string_view text) {
  std::string marked = "&H";
  marked += text;
  return static_cast<int16_t>(numtext::ReadNumber(marked).hexBits & 0xFF);
}

base::Result<> OutputBit(DllDef& dll, int16_t channel, int16_t value) {
  return card::Attempt(dll.library(),
                       [&] { dll.Kzb_DOBit(static_cast<int16_t>(channel - 1), value); });
}

base::Result<> OutputByte(DllDef& dll, int16_t group, int16_t byteValue) {
  return card::Attempt(dll.library(), [&] { dll.Kzb_DO(group, byteValue); });
}

}  // namespace dio
