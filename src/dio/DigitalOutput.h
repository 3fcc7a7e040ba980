// The two digital output panels: one bit by channel number, or one byte to a group.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Failure.h"

class DllDef;

namespace dio {

// Bit output. The window shows channels 1 to 16; the card numbers bits from 0.

// The channel field after an edit: rounded, then 1..16 whatever the size of the number.
int16_t ChannelOfText(std::string_view text);

// The value field after a double-click: " 1" when it reads 0, " 0" otherwise.
std::string ToggledValueText(std::string_view text);

// The value sent: 0 stays 0, anything else (however large) sends 1.
int16_t OutputValueOfText(std::string_view text);

// The channel sent: rounded, at least 1. The field itself keeps it at 16 at most.
int16_t OutputChannelOfText(std::string_view text);

// Byte output.

// Output group: rounded; above 1 becomes 1, 1 and below pass (a hugely negative one
// becomes -32768).
int16_t GroupOfText(std::string_view text);

// The byte typed in hexadecimal without a prefix: the low eight bits of its leading
// hexadecimal digits ("1FF" sends 255, "1G" sends 1, a long text its last two digits).
int16_t ByteOfHexText(std::string_view text);

// Sends the bit or the byte, or says why the card could not be reached.
base::Result<> OutputBit(DllDef& dll, int16_t channel, int16_t value);
base::Result<> OutputByte(DllDef& dll, int16_t group, int16_t byteValue);

}  // namespace dio
