#include "DataFile.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "Gbk.h"
#include "NumberForms.h"
#include "WholeFile.h"

namespace acquisition {

namespace {

// Every file the program numbers starts so: the number's column holds a space or its sign.
// Leftover temporary files are looked for by the names of non-negative numbers.
constexpr std::string_view kFileNamePrefix = "KZB7315 ";

}  // namespace

std::string DataFileName(int16_t fileNumber) {
  return "KZB7315" + numtext::SignedColumn(fileNumber) + ".txt";
}

std::string DataFilePath(const std::string& directory, int16_t fileNumber) {
  std::string path = directory;
  if (path.empty() || path.back() != base::kPathSeparator) path += base::kPathSeparator;
  return path + DataFileName(fileNumber);
}

namespace {

// Two decimal digits at a time: the records are nearly all digits.
constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
    "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
    "888990919293949596979899";

// Writes the decimal digits of `value` ending just before `end`; returns where they start.
char* DigitsBefore(char* end, uint32_t value) {
  while (value >= 100) {
    const uint32_t pair = (value % 100) * 2;
    value /= 100;
    *--end = kDigitPairs[pair + 1];
    *--end = kDigitPairs[pair];
  }
  if (value >= 10) {
    *--end = kDigitPairs[value * 2 + 1];
    *--end = kDigitPairs[value * 2];
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

int DigitCount(uint32_t value) {
  int n = 1;
  for (uint32_t limit = 10; n < 10 && value >= limit; limit *= 10) ++n;
  return n;
}

// The four digits of every number below 10000, zeros included: most codes have five
// digits, written as one digit and one four-byte copy.
constexpr auto kFourDigits = [] {
  std::array<char, 4 * 10000> digits{};
  for (int v = 0; v < 10000; ++v) {
    digits[4 * v] = static_cast<char>('0' + v / 1000);
    digits[4 * v + 1] = static_cast<char>('0' + v / 100 % 10);
    digits[4 * v + 2] = static_cast<char>('0' + v / 10 % 10);
    digits[4 * v + 3] = static_cast<char>('0' + v % 10);
  }
  return digits;
}();

// The digits go straight to their place: the count first, then written from the right.
char* AppendDigits(char* out, uint32_t value) {
  if (value >= 10000 && value < 100000) {
    *out = static_cast<char>('0' + value / 10000);
    std::memcpy(out + 1, &kFourDigits[4 * (value % 10000)], 4);
    return out + 5;
  }
  char* end = out + DigitCount(value);
  DigitsBefore(end, value);
  return end;
}

// The header record's text in GBK. Converting costs more than formatting a whole file, and
// the text depends on the channel count alone, so the last one is kept.
const std::string& HeaderText(int channels) {
  thread_local int cachedChannels = -1;
  thread_local std::string cached;
  if (channels != cachedChannels) {
    const std::string header =
        "采集数据文件,通道数:" + numtext::SignedColumn(channels) +
        " 这里仅仅打印起始的4个通道的数据，数据定义：顺序号，通道1，通道2，通道3，通道4";
    if (!base::ToGbk(header, cached)) cached = header;  // no converter: keep the text, not lose it
    cachedChannels = channels;
  }
  return cached;
}

void AppendTextRecord(std::string& out, std::string_view text) {
  out += '"';
  out += text;
  out += "\"\r\n";
}

}  // namespace

void FormatDataFile(std::string& out, const uint16_t* codes, int blocks, int channels, int points) {
  out.clear();
  AppendTextRecord(out, HeaderText(channels));

  // A data record is at most 5 + 4 * 6 + 2 bytes: the records are written into room made
  // for the longest, which is cut back to what was written.
  constexpr size_t kLongestRecord = 31;
  std::string separator;
  for (int b = 0; b < blocks; ++b) {
    separator = "----------------Block";
    numtext::AppendSignedColumn(separator, b + 1);
    separator += "------------------";
    AppendTextRecord(out, separator);
    const size_t start = out.size();
    out.resize(start + kLongestRecord * static_cast<size_t>(points));
    char* p = out.data() + start;
    const uint16_t* row = codes + static_cast<ptrdiff_t>(b) * points * 4;
    for (int pt = 0; pt < points; ++pt, row += 4) {
      p = AppendDigits(p, static_cast<uint32_t>(pt));
      for (int ch = 0; ch < 4; ++ch) {
        *p++ = ',';
        p = AppendDigits(p, row[ch]);
      }
      *p++ = '\r';
      *p++ = '\n';
    }
    out.resize(static_cast<size_t>(p - out.data()));
  }
}

std::vector<std::string> RecoverLeftoverDataFiles(const std::string& directory) {
  return base::RecoverLeftoverFiles(directory, kFileNamePrefix);
}

}  // namespace acquisition
