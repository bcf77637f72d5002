// The fixed sweeps that tighten CSS punctuation, run over a range of a text.
//
// Every sweep replaces a short run of punctuation bytes (":", ";", "{", "}", blanks, line
// breaks) by a shorter one. No sweep matches any other byte, and none removes one, so each
// sweep over the whole text acts on every stretch of punctuation bytes on its own, and all
// the sweeps can be run stretch by stretch in a single left-to-right pass with the same
// result. Shift_JIS texts, where "{" and "}" can be the second byte of a character, take the
// sweeps one by one over the whole range instead.
#pragma once

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Css::sweeps {

struct Sweep {
  std::string_view pat;         // replaced wherever it stands, left to right, not overlapping
  std::string_view with;        // no longer than `pat`
  bool dropLineBreaks = false;  // instead: remove every CR and LF byte
};

// A list of sweeps, prepared once. It refers to the patterns, which must outlive it.
class SweepList {
 public:
  explicit SweepList(std::span<const Sweep> list);

  // Runs the sweeps in order, each as one replace-all (txt::ReplaceAll), over text[from, to);
  // the rest of the text keeps its bytes.
  //   list {": " -> ":", "; " -> ";"}:  "a : b; c" -> "a :b;c"
  void Apply(std::string& text, size_t from, size_t to, bool sjis) const;

  // The same over the bytes p[0, len) of a text that is not Shift_JIS, in place; returns the
  // new length (never more than len).
  size_t Compact(char* p, size_t len) const;

 private:
  size_t Transform(char* p, size_t len, unsigned mask) const;
  // The stops and punctuation bytes of the last sixteen positions NextStop looked at.
  struct Block {
    size_t start = SIZE_MAX / 2;  // none yet: a position minus start is never below 16
    uint32_t stops = 0;
    uint32_t punct = 0;
  };
  // The first position at or after e where a stretch that some sweep can change begins.
  // `last` is kept for the next call (bytes from e on must not have changed since).
  template <bool Shuffle>
  size_t NextStop(const char* d, size_t e, size_t to, Block& last) const;
  template <bool Shuffle>
  size_t CompactWith(char* p, size_t len) const;
  // CompactWith<true>, built for processors with SSSE3.
  size_t CompactShuffle(char* p, size_t len) const;

  std::vector<Sweep> list_;
  std::vector<uint16_t> needs_;  // per sweep: one bit for the code of each byte of its pattern
  std::vector<uint16_t> gives_;  // per sweep: the same for its replacement
  unsigned lineBreaks_ = 0;      // the bits of CR and LF
  uint8_t code_[256] = {};       // 0 for a byte no sweep matches, else 1..7 (8 for the rest)
  uint8_t stop_[256] = {};       // 1: such a byte; 3: one that a sweep can change on its own
  size_t minPat_ = 0;            // the shortest stretch any sweep can change
  size_t minReplace_ = 0;        // the same, line-break removal aside
  bool memo_ = false;            // seven punctuation bytes at most: a stretch fits a 64-bit key
#if defined(__SSE2__)
  static constexpr int kMaxPunct = 8, kMaxAlone = 2;
  bool simd_ = false;
  int punctCount_ = 0, aloneCount_ = 0;
  __m128i punctVec_[kMaxPunct] = {};
  __m128i aloneVec_[kMaxAlone] = {};
  __m128i aloneOn_ = {};
  // The punctuation bytes for a byte shuffle: c is one when nibLo_[c & 15] & nibHi_[c >> 4]
  // is not 0 (one bit per high nibble used, at most eight).
  alignas(16) unsigned char nibLo_[16] = {};
  alignas(16) unsigned char nibHi_[16] = {};
  bool nibbles_ = false;
#endif
};

// The same, for a list used once.
void Apply(std::string& text, size_t from, size_t to, std::span<const Sweep> list, bool sjis);

}  // namespace Css::sweeps
