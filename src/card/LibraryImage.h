// Whether the bytes of a library file hold the whole library their headers describe. The
// system's loader maps a library's segments straight from the file: one cut short (an
// update stopped by a full disk) has headers that reach past its end, and the first touch
// of such a page kills the program (SIGBUS) instead of failing the load. Read from the
// bytes alone, never from a mapping, for ELF (Linux) and PE (Windows) alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace card {

// What a library is built for: it loads only into a program of the same kind.
struct ImageKind {
  enum class Format { Elf, Pe };
  Format format = Format::Elf;
  int bits = 0;            // 32 or 64
  bool bigEndian = false;  // ELF only; PE is little-endian
  uint16_t machine = 0;    // e_machine, or the PE file header's Machine

  bool operator==(const ImageKind&) const = default;
  // "ELF 64-bit, machine 62"
  std::string Text() const;
};

struct ImageCheck {
  enum class Shape {
    NotAnImage,  // neither ELF's nor PE's signature: the system's loader says why
    Truncated,   // a header, table or section lies beyond the file's end; `fault` says which
    Whole,       // everything the headers describe is in the file; `kind` says for what
  };
  Shape shape = Shape::NotAnImage;
  ImageKind kind;
  std::string fault;
};

// The whole file's bytes.
ImageCheck CheckLibraryImage(std::string_view bytes);

// The kind of an image from its headers alone (the program's own, as mapped), or Shape
// NotAnImage / Truncated when the headers themselves are not there.
ImageCheck ImageKindOfHeaders(std::string_view headers);

}  // namespace card
