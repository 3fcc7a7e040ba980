#include "RecordFormat.h"

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

SummaryRow SummaryOf(const RecordHeader& header, const uint8_t* payload) {
  SummaryRow row;
  row.header = header;
  if (header.flags != kBlock) return row;
  // Point by point over whole rows of 64 channels: the loop the compiler vectorises.
  std::array<uint16_t, kChannels> codes;
  row.least.fill(UINT16_MAX);
  for (int point = 0; point < kPoints; ++point) {
    std::memcpy(codes.data(), payload + static_cast<size_t>(point) * kChannels * 2, sizeof codes);
    for (int c = 0; c < kChannels; ++c) {
      row.least[c] = std::min(row.least[c], codes[c]);
      row.greatest[c] = std::max(row.greatest[c], codes[c]);
    }
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
