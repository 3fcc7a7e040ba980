#include "LibraryImage.h"

#include <optional>

namespace card {

namespace {

// Reads little- or big-endian fields of a byte string; a field that does not lie wholly in
// it reads as nothing.
class Fields {
 public:
  Fields(std::string_view bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

  uint64_t size() const { return bytes_.size(); }

  // Whether [offset, offset + length) lies in the bytes, without overflow.
  bool Holds(uint64_t offset, uint64_t length) const {
    return offset <= size() && length <= size() - offset;
  }

  std::optional<uint64_t> Read(uint64_t offset, int width) const {
    if (!Holds(offset, static_cast<uint64_t>(width))) return std::nullopt;
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
      const int at = bigEndian_ ? i : width - 1 - i;
      value = (value << 8) | static_cast<unsigned char>(bytes_[offset + static_cast<uint64_t>(at)]);
    }
    return value;
  }

 private:
  std::string_view bytes_;
  bool bigEndian_;
};

std::string Reaches(const char* what, uint64_t end, uint64_t size) {
  return std::string(what) + " reaches byte " + std::to_string(end) + " of a file of " +
         std::to_string(size) + " bytes";
}

ImageCheck Truncated(std::string fault) {
  return {.shape = ImageCheck::Shape::Truncated, .kind = {}, .fault = std::move(fault)};
}

// A table of `count` entries of `entrySize` bytes at `offset`, within the file.
std::optional<std::string> TableFault(const Fields& f, const char* what, uint64_t offset,
                                      uint64_t count, uint64_t entrySize) {
  if (count == 0) return std::nullopt;
  if (count > f.size() / (entrySize ? entrySize : 1)) {
    return std::string(what) + " counts " + std::to_string(count) +
           " entries, more than a file of " + std::to_string(f.size()) + " bytes holds";
  }
  if (!f.Holds(offset, count * entrySize)) {
    return Reaches(what, offset + count * entrySize, f.size());
  }
  return std::nullopt;
}

// The first segment whose file bytes reach past the end, said; or nothing.
std::optional<std::string> SegmentFault(const Fields& f, bool wide, uint64_t phoff, uint64_t phnum,
                                        uint64_t phentsize) {
  const int word = wide ? 8 : 4;
  for (uint64_t i = 0; i < phnum; ++i) {
    const uint64_t at = phoff + i * phentsize;
    const uint64_t offset = *f.Read(at + (wide ? 8 : 4), word);
    const uint64_t fileSize = *f.Read(at + (wide ? 32 : 16), word);
    if (!f.Holds(offset, fileSize)) {
      return Reaches(("segment " + std::to_string(i)).c_str(), offset + fileSize, f.size());
    }
  }
  return std::nullopt;
}

// The first section with bytes in the file that reach past its end, said; or nothing.
std::optional<std::string> SectionFault(const Fields& f, bool wide, uint64_t shoff, uint64_t shnum,
                                        uint64_t shentsize) {
  constexpr uint64_t kNoBits = 8;  // SHT_NOBITS: a section with no bytes in the file
  const int word = wide ? 8 : 4;
  for (uint64_t i = 1; i < shnum; ++i) {
    const uint64_t at = shoff + i * shentsize;
    const uint64_t type = *f.Read(at + 4, 4);
    const uint64_t offset = *f.Read(at + (wide ? 24 : 16), word);
    const uint64_t sectionBytes = *f.Read(at + (wide ? 32 : 20), word);
    if (type != 0 && type != kNoBits && !f.Holds(offset, sectionBytes)) {
      return Reaches(("section " + std::to_string(i)).c_str(), offset + sectionBytes, f.size());
    }
  }
  return std::nullopt;
}

// ELF: the file header, the program header table and every segment's file bytes, the
// section header table and every section that has bytes in the file.
ImageCheck CheckElf(std::string_view bytes, bool headersOnly) {
  if (bytes.size() < 6) return Truncated(Reaches("the ELF identification", 16, bytes.size()));
  const int elfClass = static_cast<unsigned char>(bytes[4]);
  const int data = static_cast<unsigned char>(bytes[5]);
  if ((elfClass != 1 && elfClass != 2) || (data != 1 && data != 2)) {
    return {.shape = ImageCheck::Shape::NotAnImage, .kind = {}, .fault = "unknown ELF class"};
  }
  const bool wide = elfClass == 2;
  const Fields f(bytes, data == 2);
  const int word = wide ? 8 : 4;
  const uint64_t headerSize = wide ? 64 : 52;
  if (!f.Holds(0, headerSize)) return Truncated(Reaches("the ELF header", headerSize, f.size()));
  ImageCheck check{.shape = ImageCheck::Shape::Whole,
                   .kind = {.format = ImageKind::Format::Elf,
                            .bits = wide ? 64 : 32,
                            .bigEndian = data == 2,
                            .machine = static_cast<uint16_t>(*f.Read(18, 2))},
                   .fault = {}};
  if (headersOnly) return check;

  const uint64_t phoff = *f.Read(wide ? 32 : 28, word);
  const uint64_t shoff = *f.Read(wide ? 40 : 32, word);
  const uint64_t phentsize = *f.Read(wide ? 54 : 42, 2);
  uint64_t phnum = *f.Read(wide ? 56 : 44, 2);
  const uint64_t shentsize = *f.Read(wide ? 58 : 46, 2);
  uint64_t shnum = *f.Read(wide ? 60 : 48, 2);
  const uint64_t sectionSize = wide ? 64 : 40;
  const uint64_t segmentSize = wide ? 56 : 32;
  // Counts too large for the header are kept in the first section header.
  if (shoff != 0 && (shnum == 0 || phnum == 0xffff)) {
    if (!f.Holds(shoff, sectionSize)) {
      return Truncated(Reaches("the first section header", shoff + sectionSize, f.size()));
    }
    if (shnum == 0) shnum = *f.Read(shoff + (wide ? 32 : 20), word);
    if (phnum == 0xffff) phnum = *f.Read(shoff + (wide ? 44 : 28), 4);
  }
  if (phnum > 0 && phentsize < segmentSize) return Truncated("program headers too small");
  if (shnum > 0 && shentsize < sectionSize) return Truncated("section headers too small");
  if (auto fault = TableFault(f, "the program header table", phoff, phnum, phentsize)) {
    return Truncated(*fault);
  }
  if (auto fault = SegmentFault(f, wide, phoff, phnum, phentsize)) return Truncated(*fault);
  if (shoff == 0) return check;
  if (auto fault = TableFault(f, "the section header table", shoff, shnum, shentsize)) {
    return Truncated(*fault);
  }
  if (auto fault = SectionFault(f, wide, shoff, shnum, shentsize)) return Truncated(*fault);
  return check;
}

// A PE's tables addressed by file offset: the symbol table of a library that was not
// stripped with the string table after it, and the certificate table. The first that reaches
// past the end, said; or nothing.
std::optional<std::string> PeTablesFault(const Fields& f, uint64_t symbolsAt, uint64_t symbols,
                                         uint64_t optional, uint64_t optionalSize,
                                         uint64_t directoriesAt) {
  if (symbolsAt != 0) {
    const uint64_t stringsAt = symbolsAt + symbols * 18;
    const std::optional<uint64_t> strings = f.Read(stringsAt, 4);
    if (!strings || !f.Holds(stringsAt, *strings)) {
      return Reaches("the symbol table", stringsAt + (strings ? *strings : 4), f.size());
    }
  }
  const uint64_t directories = *f.Read(optional + directoriesAt - 4, 4);
  constexpr uint64_t kCertificates = 4;
  if (directories > kCertificates && optionalSize >= directoriesAt + 8 * (kCertificates + 1)) {
    const uint64_t entry = optional + directoriesAt + 8 * kCertificates;
    const uint64_t certificatesAt = *f.Read(entry, 4);
    const uint64_t certificatesSize = *f.Read(entry + 4, 4);
    if (certificatesSize > 0 && !f.Holds(certificatesAt, certificatesSize)) {
      return Reaches("the certificate table", certificatesAt + certificatesSize, f.size());
    }
  }
  return std::nullopt;
}

// PE: the DOS stub's pointer, the signature and file header, the optional header and the
// headers' size, the section table and every section's raw data, the symbol and string
// tables, and the certificate table (the one data directory addressed by file offset).
ImageCheck CheckPe(std::string_view bytes, bool headersOnly) {
  const Fields f(bytes, false);
  if (!f.Holds(0, 64)) return Truncated(Reaches("the DOS header", 64, f.size()));
  const uint64_t pe = *f.Read(0x3c, 4);
  if (!f.Holds(pe, 24)) return Truncated(Reaches("the PE file header", pe + 24, f.size()));
  if (bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
    return {.shape = ImageCheck::Shape::NotAnImage, .kind = {}, .fault = "no PE signature"};
  }
  const uint64_t machine = *f.Read(pe + 4, 2);
  const uint64_t sections = *f.Read(pe + 6, 2);
  const uint64_t symbolsAt = *f.Read(pe + 12, 4);
  const uint64_t symbols = *f.Read(pe + 16, 4);
  const uint64_t optionalSize = *f.Read(pe + 20, 2);
  const uint64_t optional = pe + 24;
  if (!f.Holds(optional, optionalSize) || optionalSize < 2) {
    return Truncated(Reaches("the PE optional header", optional + optionalSize, f.size()));
  }
  const uint64_t magic = *f.Read(optional, 2);
  if (magic != 0x10b && magic != 0x20b) {
    return {.shape = ImageCheck::Shape::NotAnImage, .kind = {}, .fault = "unknown PE magic"};
  }
  const bool wide = magic == 0x20b;
  ImageCheck check{.shape = ImageCheck::Shape::Whole,
                   .kind = {.format = ImageKind::Format::Pe,
                            .bits = wide ? 64 : 32,
                            .bigEndian = false,
                            .machine = static_cast<uint16_t>(machine)},
                   .fault = {}};
  if (headersOnly) return check;

  const uint64_t directoriesAt = wide ? 112 : 96;
  if (optionalSize < directoriesAt) return Truncated("PE optional header too small");
  const uint64_t headersSize = *f.Read(optional + 60, 4);
  if (!f.Holds(0, headersSize)) return Truncated(Reaches("the PE headers", headersSize, f.size()));
  const uint64_t sectionTable = optional + optionalSize;
  if (auto fault = TableFault(f, "the section table", sectionTable, sections, 40)) {
    return Truncated(*fault);
  }
  for (uint64_t i = 0; i < sections; ++i) {
    const uint64_t at = sectionTable + i * 40;
    const uint64_t rawSize = *f.Read(at + 16, 4);
    const uint64_t rawAt = *f.Read(at + 20, 4);
    if (rawSize > 0 && !f.Holds(rawAt, rawSize)) {
      return Truncated(
          Reaches(("section " + std::to_string(i + 1)).c_str(), rawAt + rawSize, f.size()));
    }
  }
  if (auto fault = PeTablesFault(f, symbolsAt, symbols, optional, optionalSize, directoriesAt)) {
    return Truncated(*fault);
  }
  return check;
}

ImageCheck Check(std::string_view bytes, bool headersOnly) {
  if (bytes.substr(0, 4) ==
      "\x7f"
      "ELF") {
    return CheckElf(bytes, headersOnly);
  }
  if (bytes.substr(0, 2) == "MZ") return CheckPe(bytes, headersOnly);
  return {.shape = ImageCheck::Shape::NotAnImage, .kind = {}, .fault = "neither ELF nor PE"};
}

}  // namespace

std::string ImageKind::Text() const {
  return std::string(format == Format::Elf ? "ELF " : "PE ") + std::to_string(bits) + "-bit" +
         (bigEndian ? " big-endian" : "") + ", machine " + std::to_string(machine);
}

ImageCheck CheckLibraryImage(std::string_view bytes) {
  return Check(bytes, false);
}

ImageCheck ImageKindOfHeaders(std::string_view headers) {
  return Check(headers, true);
}

}  // namespace card
