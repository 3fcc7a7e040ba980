#include "DataFile.h"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>

#include "NumberForms.h"

namespace acquisition {

#if defined(_WIN32)
std::string DefaultDataDirectory() {
  return "c:\\temp";
}
std::string DirectoryCaption(const std::string& directory) {
  return "文件保存到:" + (directory == "c:\\temp" ? std::string("c:\\Temp") : directory);
}
constexpr char kSeparator = '\\';
#else
std::string DefaultDataDirectory() {
  return "/tmp";
}
std::string DirectoryCaption(const std::string& directory) {
  return "文件保存到:" + directory;
}
constexpr char kSeparator = '/';
#endif

std::string DataFileName(int16_t fileNumber) {
  return "KZB7315" + numtext::SignedColumn(fileNumber) + ".txt";
}

std::string DataFilePath(const std::string& directory, int16_t fileNumber) {
  std::string path = directory;
  if (path.empty() || path.back() != kSeparator) path += kSeparator;
  return path + DataFileName(fileNumber);
}

bool ToGbk(std::string_view utf8, std::string& out) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string converted(utf8.size() * 2 + 4, '\0');  // GBK never needs more bytes than UTF-8
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = converted.data();
  size_t toLeft = converted.size();
  size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1) || inLeft != 0) return false;
  converted.resize(converted.size() - toLeft);
  out = std::move(converted);
  return true;
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

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? std::strerror(errno) : "nothing written";
      close(fd);
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (close(fd) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace acquisition
