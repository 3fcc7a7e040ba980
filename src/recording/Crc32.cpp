#include "Crc32.h"

#include <immintrin.h>

#include <array>
#include <cstring>

namespace recording {
namespace {

// Eight tables, so the CRC takes eight bytes a step.
constexpr std::array<std::array<uint32_t, 256>, 8> CrcTables() {
  std::array<std::array<uint32_t, 256>, 8> tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int t = 1; t < 8; ++t)
      tables[t][n] = (tables[t - 1][n] >> 8) ^ tables[0][tables[t - 1][n] & 0xFF];
  }
  return tables;
}
constexpr std::array<std::array<uint32_t, 256>, 8> kCrc = CrcTables();

uint32_t Word(const uint8_t* in) {
  uint32_t value;
  std::memcpy(&value, in, sizeof value);
  return value;
}

// The register as it runs (inverted at both ends by the callers).
uint32_t TableSteps(const uint8_t* bytes, size_t length, uint32_t crc) {
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    const uint32_t low = Word(bytes + i) ^ crc;
    const uint32_t high = Word(bytes + i + 4);
    crc = kCrc[7][low & 0xFF] ^ kCrc[6][(low >> 8) & 0xFF] ^ kCrc[5][(low >> 16) & 0xFF] ^
          kCrc[4][low >> 24] ^ kCrc[3][high & 0xFF] ^ kCrc[2][(high >> 8) & 0xFF] ^
          kCrc[1][(high >> 16) & 0xFF] ^ kCrc[0][high >> 24];
  }
  for (; i < length; ++i) crc = kCrc[0][(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

#define KZB_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

// One lane moved forward by the distance `k` holds, and the next 16 bytes added.
KZB_FOLD_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

KZB_FOLD_TARGET inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Folding with carry-less multiplication: four 128-bit lanes run 512 bits apart, each
// multiplied forward by x^(512±64) mod P and added to the next 64 bytes; then the lanes fold
// into one (x^(128±64)), that one to 64 and 32 bits, and a Barrett reduction leaves the
// register. The constants are those powers of x modulo the reflected polynomial, and
// P' and u' = x^64 / P for the reduction. `length` is a multiple of 16, at least 64.
KZB_FOLD_TARGET uint32_t FoldSteps(const uint8_t* bytes, size_t length, uint32_t crc) {
  const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i poly = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  __m128i x1 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(bytes + 16), x3 = Load(bytes + 32), x4 = Load(bytes + 48);
  size_t at = 64;
  for (; at + 64 <= length; at += 64) {
    x1 = Fold(x1, k1k2, Load(bytes + at));
    x2 = Fold(x2, k1k2, Load(bytes + at + 16));
    x3 = Fold(x3, k1k2, Load(bytes + at + 32));
    x4 = Fold(x4, k1k2, Load(bytes + at + 48));
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  for (; at + 16 <= length; at += 16) x1 = Fold(x1, k3k4, Load(bytes + at));
  // 128 bits to 64, to 32, then the reduction.
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k3k4, 0x10), _mm_srli_si128(x1, 8));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00),
                     _mm_srli_si128(x1, 4));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(t, x1), 1));
}

bool CanFold() {
  static const bool can = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  }();
  return can;
}

}  // namespace

uint32_t Crc32Table(const uint8_t* bytes, size_t length, uint32_t crc) {
  return ~TableSteps(bytes, length, ~crc);
}

uint32_t Crc32(const uint8_t* bytes, size_t length, uint32_t crc) {
  crc = ~crc;
  if (length >= 64 && CanFold()) {
    const size_t folded = length & ~size_t{15};
    crc = FoldSteps(bytes, folded, crc);
    bytes += folded;
    length -= folded;
  }
  return ~TableSteps(bytes, length, crc);
}

}  // namespace recording
