#include "RecordFormat.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace recording {

// Codes go to disk as the card's words are held in memory: the program runs on
// little-endian machines only (x86 and x86-64).
static_assert(std::endian::native == std::endian::little);

namespace {

template <typename T>
void Put(uint8_t* out, T value) {
  std::memcpy(out, &value, sizeof value);
}

template <typename T>
T Get(const uint8_t* in) {
  T value;
  std::memcpy(&value, in, sizeof value);
  return value;
}

uint32_t RecordCrc(const uint8_t* header28, const uint8_t* payload) {
  return Crc32(payload, kPayloadBytes, Crc32(header28, 28));
}

}  // namespace

void EncodeHeader(const RecordHeader& header, const uint8_t* payload, uint8_t* out) {
  std::memcpy(out, kMagic.data(), 4);
  Put(out + 4, header.flags);
  Put(out + 8, header.block);
  Put(out + 16, header.utcMicros);
  Put(out + 24, header.count);
  Put(out + 28, RecordCrc(out, payload));
}

RecordState DecodeRecord(const uint8_t* record, RecordHeader& header) {
  if (std::memcmp(record, kMagic.data(), 4) != 0) return RecordState::WrongMagic;
  if (Get<uint32_t>(record + 28) != RecordCrc(record, record + kHeaderBytes)) {
    return RecordState::Damaged;
  }
  header.flags = Get<uint32_t>(record + 4);
  header.block = Get<uint64_t>(record + 8);
  header.utcMicros = Get<int64_t>(record + 16);
  header.count = Get<uint32_t>(record + 24);
  return RecordState::Whole;
}

const char* EventEdgeName(EventEdge edge) {
  switch (edge) {
    case EventEdge::Rising:
      return "rising";
    case EventEdge::Falling:
      return "falling";
    case EventEdge::Entering:
      return "entering";
    case EventEdge::Leaving:
      return "leaving";
  }
  return "";
}

void EncodeEvent(const EventRecord& event, uint8_t* payload) {
  std::memset(payload, 0, kPayloadBytes);
  Put(payload, static_cast<uint32_t>(event.channel));
  Put(payload + 4, static_cast<uint32_t>(event.edge));
  Put(payload + 8, event.levelVolts);
  Put(payload + 16, event.block);
  Put(payload + 24, event.secondsIntoBlock);
  Put(payload + 32, event.utcMicros);
  Put(payload + 40, uint32_t{event.gap ? 1u : 0u});
}

EventRecord DecodeEvent(const uint8_t* payload) {
  EventRecord event;
  event.channel = static_cast<int>(std::min<uint32_t>(Get<uint32_t>(payload), kChannels - 1));
  event.edge = static_cast<EventEdge>(std::min<uint32_t>(Get<uint32_t>(payload + 4), 3));
  event.levelVolts = Get<double>(payload + 8);
  event.block = Get<uint64_t>(payload + 16);
  event.secondsIntoBlock = Get<double>(payload + 24);
  event.utcMicros = Get<int64_t>(payload + 32);
  event.gap = Get<uint32_t>(payload + 40) != 0;
  return event;
}

std::vector<std::vector<uint8_t>> NotePayloads(const NoteRecord& note) {
  std::vector<std::vector<uint8_t>> payloads;
  const auto total = static_cast<uint32_t>(note.text.size());
  uint32_t offset = 0;
  do {
    const auto bytes = static_cast<uint32_t>(std::min<size_t>(total - offset, kNotePieceBytes));
    std::vector<uint8_t>& payload = payloads.emplace_back(kPayloadBytes, 0);
    Put(payload.data(), total);
    Put(payload.data() + 4, offset);
    Put(payload.data() + 8, bytes);
    Put(payload.data() + 16, note.utcMicros);
    std::memcpy(payload.data() + kNoteHeadBytes, note.text.data() + offset, bytes);
    offset += bytes;
  } while (offset < total);
  return payloads;
}

std::optional<NoteRecord> NoteJoiner::Add(const uint8_t* payload) {
  const auto total = Get<uint32_t>(payload);
  const auto offset = Get<uint32_t>(payload + 4);
  const auto bytes = Get<uint32_t>(payload + 8);
  const auto utc = Get<int64_t>(payload + 16);
  if (bytes > kNotePieceBytes || total > kMostNoteBytes || bytes > total ||
      offset > total - bytes) {
    open_ = false;  // no piece of a note this program wrote
    return std::nullopt;
  }
  if (offset == 0) {
    begun_ = {.utcMicros = utc, .text = {}};
    total_ = total;
    open_ = true;
  } else if (!open_ || total != total_ || utc != begun_.utcMicros || offset != begun_.text.size()) {
    open_ = false;  // its beginning was lost
    return std::nullopt;
  }
  begun_.text.append(reinterpret_cast<const char*>(payload + kNoteHeadBytes), bytes);
  if (begun_.text.size() < total_) return std::nullopt;
  open_ = false;
  return std::move(begun_);
}

bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    int more = 0;
    uint32_t code = 0, least = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, code = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, code = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, code = c & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i <= static_cast<size_t>(more)) return false;  // cut short
    for (int k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
    i += static_cast<size_t>(more) + 1;
  }
  return true;
}

std::string SegmentName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "segment-%04d.kzr", number);
  return name;
}

std::string MinMaxName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "segment-%04d.minmax", number);
  return name;
}

std::optional<int> SegmentNumber(std::string_view name) {
  constexpr std::string_view start = "segment-", end = ".kzr";
  if (name.size() < start.size() + 4 + end.size() || !name.starts_with(start) ||
      !name.ends_with(end)) {
    return std::nullopt;
  }
  const std::string_view digits =
      name.substr(start.size(), name.size() - start.size() - end.size());
  if (digits.size() > 9 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int number = 0;
  for (char c : digits) number = number * 10 + (c - '0');
  if (number < 1 || SegmentName(number) != name) return std::nullopt;
  return number;
}

namespace {

// Point by point over whole rows of 64 channels: the loop the compiler vectorises for any
// x86 processor, where an unsigned 16-bit minimum or maximum takes several instructions.
void ExtremesAnyX86(const uint8_t* payload, SummaryRow& row) {
  std::array<uint16_t, kChannels> codes;
  row.least.fill(UINT16_MAX);
  for (int point = 0; point < kPoints; ++point) {
    std::memcpy(codes.data(), payload + static_cast<size_t>(point) * kChannels * 2, sizeof codes);
    for (int c = 0; c < kChannels; ++c) {
      row.least[c] = std::min(row.least[c], codes[c]);
      row.greatest[c] = std::max(row.greatest[c], codes[c]);
    }
  }
}

// The same with AVX2, where one instruction takes 16 codes: a point's 64 channels are four
// registers.
__attribute__((target("avx2"))) void ExtremesAvx2(const uint8_t* payload, SummaryRow& row) {
  __m256i least[4], greatest[4];
  for (int k = 0; k < 4; ++k) {
    least[k] = _mm256_set1_epi16(-1);
    greatest[k] = _mm256_setzero_si256();
  }
  for (int point = 0; point < kPoints; ++point) {
    const uint8_t* codes = payload + static_cast<size_t>(point) * kChannels * 2;
    for (int k = 0; k < 4; ++k) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(codes + k * 32));
      least[k] = _mm256_min_epu16(least[k], v);
      greatest[k] = _mm256_max_epu16(greatest[k], v);
    }
  }
  for (int k = 0; k < 4; ++k) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row.least.data() + k * 16), least[k]);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row.greatest.data() + k * 16), greatest[k]);
  }
}

bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

}  // namespace

SummaryRow SummaryOf(const RecordHeader& header, const uint8_t* payload) {
  SummaryRow row;
  row.header = header;
  if (header.flags != kBlock) return row;
  if (HasAvx2()) {
    ExtremesAvx2(payload, row);
  } else {
    ExtremesAnyX86(payload, row);
  }
  return row;
}

void EncodeSummary(const SummaryRow& row, uint8_t* out) {
  Put(out, row.header.block);
  Put(out + 8, row.header.utcMicros);
  Put(out + 16, row.header.flags);
  Put(out + 20, row.header.count);
  for (int c = 0; c < kChannels; ++c) {
    Put(out + 24 + c * 4, row.least[c]);
    Put(out + 26 + c * 4, row.greatest[c]);
  }
}

SummaryRow DecodeSummary(const uint8_t* in) {
  SummaryRow row;
  row.header.block = Get<uint64_t>(in);
  row.header.utcMicros = Get<int64_t>(in + 8);
  row.header.flags = Get<uint32_t>(in + 16);
  row.header.count = Get<uint32_t>(in + 20);
  for (int c = 0; c < kChannels; ++c) {
    row.least[c] = Get<uint16_t>(in + 24 + c * 4);
    row.greatest[c] = Get<uint16_t>(in + 26 + c * 4);
  }
  return row;
}

}  // namespace recording
