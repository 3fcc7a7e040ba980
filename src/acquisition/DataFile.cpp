#include "DataFile.h"

#include <charconv>
#include <cstddef>

#include "DataFilePlatform.h"
#include "NumberForms.h"

namespace acquisition {

std::string DataFileName(int16_t fileNumber) {
  return "KZB7315" + numtext::SignedColumn(fileNumber) + ".txt";
}

std::string DataFilePath(const std::string& directory, int16_t fileNumber) {
  std::string path = directory;
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  return path + DataFileName(fileNumber);
}

namespace {

void AppendNumber(std::string& out, int32_t value) {
  char buf[16];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;
  out.append(buf, static_cast<size_t>(end - buf));
}

void AppendTextRecord(std::string& out, std::string_view text) {
  out += '"';
  out += text;
  out += "\"\r\n";
}

}  // namespace

void FormatDataFile(std::string& out, const float* saveBuf, int slotCells, int blocks, int channels,
                    int points) {
  std::string header =
      "采集数据文件,通道数:" + numtext::SignedColumn(channels) +
      " 这里仅仅打印起始的4个通道的数据，数据定义：顺序号，通道1，通道2，通道3，通道4";
  std::string gbk;
  if (!ToGbk(header, gbk)) gbk = header;  // no converter here: keep the text rather than lose it
  out.clear();
  AppendTextRecord(out, gbk);

  std::string separator;
  for (int b = 0; b < blocks; ++b) {
    separator = "----------------Block";
    numtext::AppendSignedColumn(separator, b + 1);
    separator += "------------------";
    AppendTextRecord(out, separator);
    const float* slot = saveBuf + static_cast<ptrdiff_t>(b) * slotCells;
    for (int pt = 0; pt < points; ++pt) {
      const float* row = slot + static_cast<ptrdiff_t>(pt) * channels;
      AppendNumber(out, pt);
      for (int ch = 0; ch < 4; ++ch) {
        out += ',';
        AppendNumber(out, static_cast<int32_t>(row[ch]));
      }
      out += "\r\n";
    }
  }
}

numtext::Result<> WriteWholeFile(const std::string& path, std::string_view bytes) {
  auto pending = WriteTemporaryFile(path, bytes);
  if (!pending) return pending.failure();
  return CommitFile(pending.value());
}

std::string FileNameOfPath(const std::string& path) {
  return path.substr(path.rfind(kPathSeparator) + 1);
}

}  // namespace acquisition
