#include "ChannelSummary.h"

#include <algorithm>

#include "NumberForms.h"

namespace acquisition {

void BuildChannelSummary(std::string& out, const ChannelValues& values, int channels) {
  out.clear();
  out += "Sample Information:\r\n";
  for (int ch = 0; ch < std::min(channels, kChannelSlots); ++ch) {
    out += "Ch";
    numtext::AppendSignedColumn(out, ch);
    out += '=';
    const size_t hexStart = out.size();
    numtext::AppendHex(out, values.ChanCode[ch]);
    const size_t digits = out.size() - hexStart;
    if (digits < 4) out.insert(hexStart, 4 - digits, '0');
    out += "   V: ";
    numtext::AppendVolts(out, values.ChanVolt[ch], numtext::VoltPattern::IntegerDigit);
    out += "\r\n";
  }
}

}  // namespace acquisition
