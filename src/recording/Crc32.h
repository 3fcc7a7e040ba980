// The records' CRC-32: the common one (zlib's, Python's zlib.crc32, polynomial 0xEDB88320
// reflected), so any reader checks a record with the tools it has. Every recorded byte
// passes through it, so on a processor with carry-less multiplication it folds 64 bytes a
// step; the tables take the rest, and every byte where that instruction is missing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recording {

// The CRC of `length` bytes following on from `crc` (0 to start).
uint32_t Crc32(const uint8_t* bytes, size_t length, uint32_t crc = 0);
// The same from the tables alone, a byte at a time in eights: what the folding is checked against.
uint32_t Crc32Table(const uint8_t* bytes, size_t length, uint32_t crc = 0);

}  // namespace recording
