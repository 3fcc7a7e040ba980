// The program-wide unit of card bindings and acquisition variables: the card library's
// entry points under their own names, and the parameters and buffers that acquisition
// shares between the start handler and the tick.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "CardLibrary.h"

class DllDef {
 public:
  explicit DllDef(std::string libraryPath = card::DefaultLibraryPath());

  card::CardLibrary& library() { return library_; }

  // dll.StartIntr(...) calls the entry point through the bound table; each throws
  // card::CardUnavailable when the library or the entry point is missing, which the core
  // turns into a Result with card::Attempt before anything reaches the window.
#define ADCARD_MEMBER(name, ...)                      \
  template <typename... Args>                         \
  auto name(Args... args) {                           \
    return library_.Call<card::Entry::name>(args...); \
  }
  ADCARD_ENTRY_POINTS(ADCARD_MEMBER)
#undef ADCARD_MEMBER

  // Acquisition parameters, set at every start; zero before the first.
  int16_t IntrArg1 = 0;
  int32_t PointsPerChannel = 0;
  int16_t IntrArg3 = 0;
  int16_t ChannelCount = 0;
  int32_t IntrArg5 = 0;
  int32_t IntrArg6 = 0;
  int16_t IntrArg7 = 0;

  // Sized at every start that gets past Initial; empty before.
  std::vector<int16_t> BlockData;  // cells 1..B hold one block, channel-interleaved
  std::vector<int16_t> RingData;   // the last RingBlockCount blocks

  // Set once at start-up.
  int16_t RingBlockCount = 0;
  int32_t RingWritePos = 0;

  // Identity request and reply: the program's own fixed buffers, indices 0 to 32000, of
  // which the request fills three bytes and the reply five. They are far larger than the
  // 100 bytes the request names, so a library that writes more than it should stays inside.
  static constexpr size_t kIoctlBufferBytes = 32001;
  std::array<uint8_t, kIoctlBufferBytes> IoctlIn{};
  std::array<uint8_t, kIoctlBufferBytes> IoctlOut{};

 private:
  card::CardLibrary library_;
};
