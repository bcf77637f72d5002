#include "compress/CssPasses.h"

#include "compress/CssSweeps.h"
#include "compress/TextOps.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <tmmintrin.h>
#endif
#include <optional>
#include <vector>

namespace Css {
namespace sweeps {
namespace {

// One sweep over the bytes p[0, len), in place; returns the new length. The same left-to-right,
// non-overlapping matching as txt::ReplaceAll: the patterns hold no letters, so matching
// exact bytes is matching without regard to case.
size_t SweepRun(char* p, size_t len, const Sweep& s) {
  size_t i = 0, o = 0;
  if (s.dropLineBreaks) {
    for (; i < len; ++i) {
      if (p[i] != '\r' && p[i] != '\n') p[o++] = p[i];
    }
    return o;
  }
  const size_t m = s.pat.size();
  if (m == 0 || m > len) return len;
  const char first = s.pat[0];
  while (i < len) {
    if (p[i] == first && i + m <= len && std::memcmp(p + i, s.pat.data(), m) == 0) {
      // o <= i: the replacement overwrites only bytes already read.
      std::memcpy(p + o, s.with.data(), s.with.size());
      o += s.with.size();
      i += m;
    } else {
      p[o++] = p[i++];
    }
  }
  return o;
}

void ApplyOneByOne(std::string& text, std::span<const Sweep> list, bool sjis) {
  for (const Sweep& s : list) {
    if (s.dropLineBreaks) {
      // Every CR and LF goes, a byte after a lead byte included.
      txt::RemoveLineBreakBytes(text);
    } else {
      txt::ReplaceAll(text, s.pat, s.with, sjis);
    }
  }
}

// Results of stretches already transformed, keyed by their bytes (three bits a byte). A style
// sheet repeats a handful of stretches (": ", ";\n  ", " {\n  ") thousands of times.
struct Memo {
  static constexpr size_t kSlots = 256;
  static constexpr size_t kMaxLen = 21;
  struct Slot {
    uint64_t key = 0;  // 0: empty (every byte has a code of 1 or more)
    uint8_t len = 0;
    char out[kMaxLen];
  };
  std::vector<Slot> slots = std::vector<Slot>(kSlots);
  Slot& At(uint64_t key) { return slots[(key * 0x9E3779B97F4A7C15ull) >> 56]; }

  // Stretches of up to eight bytes, keyed by the bytes themselves (zero-padded; no
  // punctuation byte is 0, so the key tells the length too).
  struct Short {
    uint64_t key = 0;
    uint64_t out = 0;  // the result, in its first `len` bytes
    uint8_t len = 0;
  };
  Short shorts[kSlots];
  Short& ShortAt(uint64_t key) { return shorts[(key * 0x9E3779B97F4A7C15ull) >> 56]; }
};

// Moves d[a, a + n) down to d[w, ...), w < a; `size` bounds the bytes that may be read. The
// stretches between punctuation are short, so this moves sixteen or eight bytes at a time by
// hand rather than calling memmove; each load comes before the store that could overlap it,
// and no store reaches a byte not yet read.
inline void MoveDown(char* d, size_t w, size_t a, size_t n, size_t size) {
  if (n <= 32 && a - w >= 32 && a + 32 <= size) {
    // The usual stretch, with no loop to mispredict: the stores end at or below a, all read.
    uint64_t t[4];
    std::memcpy(t, d + a, 32);
    std::memcpy(d + w, t, 32);
    return;
  }
  if (a - w >= 16 && a + n + 16 <= size) {
    // The gap is wide: sixteen-byte stores, even the last one that runs past the stretch,
    // land only on bytes already read, and the loads stay inside the text.
    for (size_t i = 0; i < n; i += 16) {
      uint64_t t[2];
      std::memcpy(t, d + a + i, 16);
      std::memcpy(d + w + i, t, 16);
    }
    return;
  }
  if (n >= 64) {
    std::memmove(d + w, d + a, n);
    return;
  }
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t t;
    std::memcpy(&t, d + a + i, 8);
    std::memcpy(d + w + i, &t, 8);
  }
  for (; i < n; ++i) d[w + i] = d[a + i];
}

// Below this size a range is not worth a memo.
constexpr size_t kMemoFrom = 2048;

}  // namespace

SweepList::SweepList(std::span<const Sweep> list) : list_(list.begin(), list.end()) {
  uint8_t next = 1;
  auto codeOf = [&](char ch) -> unsigned {
    uint8_t& c = code_[static_cast<unsigned char>(ch)];
    if (c == 0) c = next <= 8 ? next++ : 8;
    return c;
  };
  minPat_ = minReplace_ = std::string_view::npos;
  for (const Sweep& s : list_) {
    unsigned needs = 0, gives = 0;
    if (s.dropLineBreaks) {
      lineBreaks_ = (1u << codeOf('\r')) | (1u << codeOf('\n'));
      minPat_ = 1;
    } else if (!s.pat.empty()) {
      for (const char ch : s.pat) needs |= 1u << codeOf(ch);
      minPat_ = std::min(minPat_, s.pat.size());
      minReplace_ = std::min(minReplace_, s.pat.size());
    }
    // A replacement is made of pattern bytes in every list we use; should one bring a byte
    // of its own, the sweeps after it must not skip the stretch for lack of that byte.
    for (const char ch : s.with) gives |= 1u << codeOf(ch);
    needs_.push_back(static_cast<uint16_t>(needs));
    gives_.push_back(static_cast<uint16_t>(gives));
  }
  memo_ = next <= 8;
  for (int b = 0; b < 256; ++b) {
    if (code_[b] == 0) continue;
    const bool alone = minReplace_ == 1 || (lineBreaks_ != 0 && (b == '\r' || b == '\n'));
    stop_[b] = alone ? 3 : 1;
#if defined(__SSE2__)
    if (punctCount_ < kMaxPunct) punctVec_[punctCount_] = _mm_set1_epi8(static_cast<char>(b));
    ++punctCount_;
    if (alone) {
      if (aloneCount_ < kMaxAlone) aloneVec_[aloneCount_] = _mm_set1_epi8(static_cast<char>(b));
      ++aloneCount_;
    }
#endif
  }
#if defined(__SSE2__)
  simd_ = punctCount_ >= 1 && punctCount_ <= kMaxPunct && aloneCount_ <= kMaxAlone;
  for (int i = punctCount_; simd_ && i < kMaxPunct; ++i) punctVec_[i] = punctVec_[0];
  for (int i = aloneCount_; simd_ && i < kMaxAlone; ++i) aloneVec_[i] = punctVec_[0];
  aloneOn_ = aloneCount_ > 0 ? _mm_set1_epi8(-1) : _mm_setzero_si128();
  int groups = 0;
  nibbles_ = true;
  for (unsigned h = 0; h < 16 && nibbles_; ++h) {
    bool used = false;
    for (unsigned l = 0; l < 16; ++l) used = used || code_[h * 16 + l] != 0;
    if (!used) continue;
    if (groups == 8) {
      nibbles_ = false;
      break;
    }
    const unsigned char bit = static_cast<unsigned char>(1u << groups++);
    nibHi_[h] = bit;
    for (unsigned l = 0; l < 16; ++l)
      if (code_[h * 16 + l]) nibLo_[l] |= bit;
  }
  nibbles_ = nibbles_ && groups > 0;
#endif
}

size_t SweepList::Transform(char* p, size_t len, unsigned mask) const {
  for (size_t i = 0; i < list_.size(); ++i) {
    const Sweep& s = list_[i];
    if (s.dropLineBreaks) {
      if (mask & lineBreaks_) len = SweepRun(p, len, s);
      continue;
    }
    // A sweep whose pattern holds a byte the stretch lacks cannot match.
    if ((needs_[i] & ~mask) != 0 || s.pat.empty() || s.pat.size() > len) continue;
    const size_t n = SweepRun(p, len, s);
    if (n != len) mask |= gives_[i];
    len = n;
  }
  return len;
}

void SweepList::Apply(std::string& text, size_t from, size_t to, bool sjis) const {
  if (from >= to || minPat_ == std::string_view::npos) return;
  if (sjis) {
    // Trail bytes decide matches here, so run the sweeps one by one. The callers' ranges begin
    // on "<" or right after a quote, neither of them a lead byte, so a copy of the range has
    // the same trail bytes as the range has in place.
    if (from == 0 && to == text.size()) {
      ApplyOneByOne(text, list_, true);
      return;
    }
    std::string part(text, from, to - from);
    ApplyOneByOne(part, list_, true);
    if (part.size() != to - from) text.replace(from, to - from, part);
    return;
  }
  const size_t len = Compact(text.data() + from, to - from);
  if (len != to - from) text.erase(from + len, to - from - len);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TRIMORA_NO_SHUFFLE)
#define TRIMORA_SWEEP_SHUFFLE 1
// The punctuation bits of a block by two nibble look-ups (SSSE3).
struct NibbleLookUp {
  __attribute__((target("ssse3"))) static unsigned Bits(__m128i v, const unsigned char* lo, const unsigned char* hi) {
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i l = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(lo)), _mm_and_si128(v, low));
    const __m128i h = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(hi)),
                                       _mm_and_si128(_mm_srli_epi16(v, 4), low));
    const __m128i none = _mm_cmpeq_epi8(_mm_and_si128(l, h), _mm_setzero_si128());
    return ~static_cast<unsigned>(_mm_movemask_epi8(none)) & 0xFFFFu;
  }
};

bool HasShuffle() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

template <bool Shuffle>
size_t SweepList::NextStop(const char* d, size_t e, size_t to, Block& last) const {
#if defined(__SSE2__)
  if (simd_) {
    // A stylesheet stops every dozen bytes or so: most calls start inside the block the last
    // one looked at.
    if (e - last.start < 16) {
      const uint32_t rest = last.stops >> (e - last.start);
      if (rest != 0) return e + static_cast<size_t>(__builtin_ctz(rest));
      e = last.start + 16;
    }
    // Sixteen positions at a time: a stop is a punctuation byte followed by another one, or
    // a byte that can change alone. Unused compare slots repeat a byte already compared.
    const __m128i p0 = punctVec_[0], p1 = punctVec_[1], p2 = punctVec_[2], p3 = punctVec_[3],
                  p4 = punctVec_[4], p5 = punctVec_[5], p6 = punctVec_[6], p7 = punctVec_[7];
    const __m128i a0 = aloneVec_[0], a1 = aloneVec_[1], aloneOn = aloneOn_;
    const auto punct = [&](__m128i v) {
      const __m128i m0 = _mm_or_si128(_mm_cmpeq_epi8(v, p0), _mm_cmpeq_epi8(v, p1));
      const __m128i m1 = _mm_or_si128(_mm_cmpeq_epi8(v, p2), _mm_cmpeq_epi8(v, p3));
      const __m128i m2 = _mm_or_si128(_mm_cmpeq_epi8(v, p4), _mm_cmpeq_epi8(v, p5));
      const __m128i m3 = _mm_or_si128(_mm_cmpeq_epi8(v, p6), _mm_cmpeq_epi8(v, p7));
      return _mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3));
    };
    // The punctuation bits of the block, shifted down by one with the byte after the block
    // on top, are those of the following bytes.
    const bool anyAlone = aloneCount_ > 0;
    while (e + 17 <= to) {
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + e));
      unsigned p;
#if defined(TRIMORA_SWEEP_SHUFFLE)
      if constexpr (Shuffle) {
        p = NibbleLookUp::Bits(here, nibLo_, nibHi_);
      } else {
        p = static_cast<unsigned>(_mm_movemask_epi8(punct(here)));
      }
#else
      p = static_cast<unsigned>(_mm_movemask_epi8(punct(here)));
#endif
      const unsigned pNext = code_[static_cast<unsigned char>(d[e + 16])] != 0 ? 1u : 0u;
      unsigned bits = p & ((p >> 1) | (pNext << 15));
      if (anyAlone) {
        const __m128i alone =
            _mm_and_si128(aloneOn, _mm_or_si128(_mm_cmpeq_epi8(here, a0), _mm_cmpeq_epi8(here, a1)));
        bits |= static_cast<unsigned>(_mm_movemask_epi8(alone));
      }
      last.start = e;
      last.stops = bits;
      last.punct = p;
      if (bits != 0) return e + static_cast<size_t>(__builtin_ctz(bits));
      e += 16;
    }
  }
#endif
  if (e >= to) return to;
  unsigned cur = stop_[static_cast<unsigned char>(d[e])];
  while (e + 1 < to) {
    const unsigned next = stop_[static_cast<unsigned char>(d[e + 1])];
    if (((cur & next) | (cur >> 1)) & 1) return e;
    cur = next;
    ++e;
  }
  return (cur & 2) ? e : to;
}

size_t SweepList::Compact(char* d, size_t to) const {
#if defined(TRIMORA_SWEEP_SHUFFLE)
  if (simd_ && nibbles_ && HasShuffle()) return CompactShuffle(d, to);
#endif
  return CompactWith<false>(d, to);
}

#if defined(TRIMORA_SWEEP_SHUFFLE)
// Everything the compaction calls is compiled into this one function, so that the nibble
// look-up is inlined into its loop.
__attribute__((target("ssse3"), flatten)) size_t SweepList::CompactShuffle(char* d, size_t to) const {
  return CompactWith<true>(d, to);
}
#else
size_t SweepList::CompactShuffle(char* d, size_t to) const { return CompactWith<false>(d, to); }
#endif

template <bool Shuffle>
size_t SweepList::CompactWith(char* d, size_t to) const {
  if (to == 0 || minPat_ == std::string_view::npos) return to;
  std::optional<Memo> memo;
  if (memo_ && to >= kMemoFrom) memo.emplace();

  // Stretches of punctuation bytes, each transformed on its own; the bytes between them are
  // moved into place unread. The text is compacted in place: it never grows. Most stretches
  // are a single byte that no sweep can change (a blank between words), so the search for
  // the next stretch passes over them: it stops only at two punctuation bytes in a row or at
  // a byte that can change alone.
  size_t a = 0, w = 0;
  Block last;
  while (a < to) {
    const size_t e = NextStop<Shuffle>(d, a, to, last);
    if (w != a) MoveDown(d, w, a, e - a, to);
    w += e - a;
    a = e;
    if (a == to) break;
    if (memo && a + 8 <= to && a - last.start < 16) {
      // The stretch ends inside the block NextStop read: its bytes (never 0) are the key.
      const size_t rel = a - last.start;
      const size_t len = static_cast<size_t>(std::countr_one(last.punct >> rel));
      if (rel + len < 16 && len <= 8 && len >= minReplace_) {
        uint64_t raw;
        std::memcpy(&raw, d + a, 8);
        if (len < 8) raw &= (uint64_t{1} << (8 * len)) - 1;
        Memo::Short& slot = memo->ShortAt(raw);
        if (slot.key != raw) {
          // Transformed in place for the memo; the result is moved down below.
          unsigned mask = 0;
          for (size_t z = a; z < a + len; ++z) mask |= 1u << code_[static_cast<unsigned char>(d[z])];
          slot.key = raw;
          slot.len = static_cast<uint8_t>(Transform(d + a, len, mask));
          std::memcpy(&slot.out, d + a, 8);
        }
        // Eight bytes stored where the result goes: they reach at most a + len, all read.
        if (a - w >= 8 - len) {
          std::memcpy(d + w, &slot.out, 8);
        } else {
          char out[8];
          std::memcpy(out, &slot.out, 8);
          for (size_t k = 0; k < slot.len; ++k) d[w + k] = out[k];
        }
        w += slot.len;
        a += len;
        continue;
      }
    }
    unsigned mask = 0;
    uint64_t key = 0;
    size_t z = a;
    do {
      const unsigned c = code_[static_cast<unsigned char>(d[z])];
      mask |= 1u << c;
      key = (key << 3) | c;
      ++z;
    } while (z < to && code_[static_cast<unsigned char>(d[z])] != 0);
    size_t len = z - a;
    if (len < minReplace_) {
      // Too short for any replacement; only the line-break removal can act on it.
      if (mask & lineBreaks_) len = Transform(d + a, len, mask);
    } else if (memo && len <= Memo::kMaxLen) {
      Memo::Slot& slot = memo->At(key);
      if (slot.key == key) {
        // Written straight to its place: w + slot.len <= z, all of it read already.
        std::memcpy(d + w, slot.out, slot.len);
        w += slot.len;
        a = z;
        continue;
      } else {
        len = Transform(d + a, len, mask);
        slot.key = key;
        slot.len = static_cast<uint8_t>(len);
        std::memcpy(slot.out, d + a, len);
      }
    } else {
      len = Transform(d + a, len, mask);
    }
    if (w != a) MoveDown(d, w, a, len, to);
    w += len;
    a = z;
  }
  return w;
}

void Apply(std::string& text, size_t from, size_t to, std::span<const Sweep> list, bool sjis) {
  SweepList(list).Apply(text, from, to, sjis);
}

}  // namespace sweeps

namespace {

// The sweeps of a style block and of a style sheet for one line ending b.
struct LineEndingSweeps {
  std::string openBrace, semicolon, brace;  // "{" + b, ";" + b, b + "{"
  sweeps::SweepList block, sheet, sheetOneLine;

  explicit LineEndingSweeps(const std::string& b)
      : openBrace("{" + b), semicolon(";" + b), brace(b + "{"),
        block(BlockList()), sheet(SheetList(false)), sheetOneLine(SheetList(true)) {}

  std::vector<sweeps::Sweep> BlockList() const {
    return {{": ", ":"}, {"; ", ";"}, {openBrace, "{"}, {semicolon, ";"}, {brace, "{"}};
  }

  std::vector<sweeps::Sweep> SheetList(bool trimLineBreaks) const {
    std::vector<sweeps::Sweep> list = {
        {": ", ":"}, {" ;", ";"}, {"; ", ";"}, {" }", "}"}, {"} ", "}"}, {" {", "{"}, {"{ ", "{"},
        {openBrace, "{"}, {semicolon, ";"}, {brace, "{"},
    };
    // Line breaks go after the sweeps that look at them; then the blanks around ":" ";" "{"
    // are taken once more (joined lines bring new neighbours together).
    if (trimLineBreaks) list.push_back({"", "", true});
    list.insert(list.end(), {{": ", ":"}, {" ;", ";"}, {"; ", ";"}, {"{ ", "{"}});
    return list;
  }
};

// Prepared once for the three line endings; built on the spot for any other.
template <typename Use>
void WithSweeps(const std::string& b, Use use) {
  static const LineEndingSweeps lf("\n"), cr("\r"), crlf("\r\n");
  if (b == "\n") return use(lf);
  if (b == "\r\n") return use(crlf);
  if (b == "\r") return use(cr);
  const LineEndingSweeps other(b);
  use(other);
}

}  // namespace

std::string OptimizeFirstStyleBlock(std::string page, const trimora::TextCtx& ctx) {
  const size_t s = txt::Find(page, "<style", 0, ctx.sjis);
  // A "<style" among the first five characters leaves the page alone.
  if (s == txt::npos || s < 5) return page;
  const size_t e = txt::Find(page, "</style", 0, ctx.sjis);
  // Without a "</style" after it there is no block to tighten.
  if (e == txt::npos || e < s) return page;

  // The block runs from its own tag up to "</style" and is tightened as a whole, tag included.
  WithSweeps(ctx.b, [&](const LineEndingSweeps& sw) { sw.block.Apply(page, s, e, ctx.sjis); });
  return page;
}

std::string OptimizeStyleSheet(std::string text, const trimora::TextCtx& ctx, bool trimLineBreaks) {
  WithSweeps(ctx.b, [&](const LineEndingSweeps& sw) {
    (trimLineBreaks ? sw.sheetOneLine : sw.sheet).Apply(text, 0, text.size(), ctx.sjis);
  });
  return text;
}

}  // namespace Css
