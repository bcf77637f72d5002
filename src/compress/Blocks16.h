// Sixteen bytes at a time: the few vector operations the byte scans of the text passes share.
//
// A block is sixteen bytes of the text; comparing it with a byte gives a block whose bytes are
// 0xFF where they matched and 0 elsewhere, and Bits() gathers those into the low sixteen bits
// of a word, bit k for byte k. With SSE2 (every x86-64) these are single instructions; other
// targets get the same results from two 64-bit words. TRIMORA_NO_SIMD forces the portable form
// (to test it on x86); TRIMORA_NO_SHUFFLE leaves out the passes' SSSE3 forms, chosen at run
// time where the processor has them, so that their SSE2 forms can be tested.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(TRIMORA_NO_SIMD)
#include <emmintrin.h>
#define TRIMORA_BLOCKS16_SSE2 1
#endif

namespace blocks16 {

#if defined(TRIMORA_BLOCKS16_SSE2)

struct Block {
  __m128i v;
};

inline Block Load(const char* p) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
inline void Store(char* p, Block b) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), b.v); }
inline Block Splat(char c) { return {_mm_set1_epi8(c)}; }
inline Block Eq(Block a, Block b) { return {_mm_cmpeq_epi8(a.v, b.v)}; }
inline Block Or(Block a, Block b) { return {_mm_or_si128(a.v, b.v)}; }
inline Block And(Block a, Block b) { return {_mm_and_si128(a.v, b.v)}; }
inline Block Xor(Block a, Block b) { return {_mm_xor_si128(a.v, b.v)}; }
inline uint32_t Bits(Block b) { return static_cast<uint32_t>(_mm_movemask_epi8(b.v)); }
// Bytes 0-7 and 8-15 read as words (as memcpy into a uint64_t reads them).
inline uint64_t Low64(Block b) { return static_cast<uint64_t>(_mm_cvtsi128_si64(b.v)); }
inline uint64_t High64(Block b) { return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(b.v, b.v))); }
// ASCII letters made lower case, every other byte kept.
inline Block LowerAscii(Block b) {
  const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(b.v, _mm_set1_epi8('A' - 1)),
                                      _mm_cmpgt_epi8(_mm_set1_epi8('Z' + 1), b.v));
  return {_mm_add_epi8(b.v, _mm_and_si128(upper, _mm_set1_epi8(0x20)))};
}

#else

struct Block {
  uint64_t lo, hi;  // bytes 0-7 and 8-15, byte k of a half in bits 8k .. 8k + 7
};

inline uint64_t LoadWord(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  return w;
}

inline void StoreWord(char* p, uint64_t w) {
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  std::memcpy(p, &w, 8);
}

inline Block Load(const char* p) { return {LoadWord(p), LoadWord(p + 8)}; }
inline void Store(char* p, Block b) {
  StoreWord(p, b.lo);
  StoreWord(p + 8, b.hi);
}
inline Block Splat(char c) {
  const uint64_t w = 0x0101010101010101ULL * static_cast<unsigned char>(c);
  return {w, w};
}

// 0xFF in each byte of `w` that is zero, 0 elsewhere (exact: no borrow runs between bytes).
inline uint64_t ZeroBytes(uint64_t w) {
  constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
  const uint64_t high = ~(((w & low7) + low7) | w | low7);  // 0x80 in the zero bytes
  return (high >> 7) * 0xFF;
}

inline Block Eq(Block a, Block b) { return {ZeroBytes(a.lo ^ b.lo), ZeroBytes(a.hi ^ b.hi)}; }
inline Block Or(Block a, Block b) { return {a.lo | b.lo, a.hi | b.hi}; }
inline Block And(Block a, Block b) { return {a.lo & b.lo, a.hi & b.hi}; }
inline Block Xor(Block a, Block b) { return {a.lo ^ b.lo, a.hi ^ b.hi}; }

// Bits() of a block of comparison results (every byte 0 or 0xFF).
inline uint32_t Bits(Block b) {
  auto half = [](uint64_t w) {
    return static_cast<uint32_t>((((w >> 7) & 0x0101010101010101ULL) * 0x0102040810204080ULL) >> 56);
  };
  return half(b.lo) | (half(b.hi) << 8);
}

inline uint64_t Low64(Block b) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(b.lo);
  return b.lo;
}
inline uint64_t High64(Block b) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(b.hi);
  return b.hi;
}

inline Block LowerAscii(Block b) {
  auto half = [](uint64_t w) {
    uint64_t out = 0;
    for (int k = 0; k < 64; k += 8) {
      uint64_t c = (w >> k) & 0xFF;
      if (c >= 'A' && c <= 'Z') c += 0x20;
      out |= c << k;
    }
    return out;
  };
  return {half(b.lo), half(b.hi)};
}

#endif

// The first `len` bytes of `b` (len <= 16), the others zero.
inline Block FirstBytes(Block b, size_t len) {
  alignas(16) static constexpr unsigned char kOnes[32] = {
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  return And(b, Load(reinterpret_cast<const char*>(kOnes) + 16 - len));
}

// Bit k set where p[k] == c, k = 0..15.
inline uint32_t EqBits(const char* p, char c) { return Bits(Eq(Load(p), Splat(c))); }

}  // namespace blocks16
