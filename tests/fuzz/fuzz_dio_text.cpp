// Any text typed into the bit channel, the bit value and the group fields.
#include <cstdlib>
#include <string_view>

#include "DigitalOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int16_t channel = dio::ChannelOfText(text);
  if (channel < 1 || channel > 16) std::abort();
  if (dio::OutputChannelOfText(text) < 1) std::abort();
  const int16_t value = dio::OutputValueOfText(text);
  if (value != 0 && value != 1) std::abort();
  const std::string toggled = dio::ToggledValueText(text);
  if (toggled != " 0" && toggled != " 1") std::abort();
  if (dio::GroupOfText(text) > 1) std::abort();
  return 0;
}
