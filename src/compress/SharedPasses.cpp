#include "compress/SharedPasses.h"

#include "compress/Blocks16.h"
#include "compress/TextOps.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

namespace Shared {
namespace {

constexpr std::string_view kBxInclude = "<!-- bxinclude";
constexpr std::string_view kEndInclude = "<!-- End include";
constexpr size_t kLongestMarker = 16;

// ---- Sixteen bytes at a time ----
// Bit k of the result is set when p[k] == c, for k = 0..15.
inline uint32_t Eq16(const char* p, char c) {
#if defined(__SSE2__)
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
#else
  // Eight bytes per word: 0x80 marks the bytes equal to c (exact, no borrow between bytes),
  // then one multiplication gathers the marks into eight bits.
  auto word = [c](const char* q) {
    uint64_t w;
    std::memcpy(&w, q, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    w ^= 0x0101010101010101ULL * static_cast<unsigned char>(c);
    constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t zero = ~(((w & low7) + low7) | w | low7);
    return static_cast<uint32_t>(((zero >> 7) * 0x0102040810204080ULL) >> 56);
  };
  return word(p) | (word(p + 8) << 8);
#endif
}

// First i >= from with d[i] == c1 and d[i + 1] == c2; npos when none.
size_t FindPair(const char* d, size_t n, size_t from, char c1, char c2) {
  size_t i = from;
  const blocks16::Block v1 = blocks16::Splat(c1), v2 = blocks16::Splat(c2);
  while (i + 17 <= n) {
    using namespace blocks16;
    const uint32_t hits = Bits(And(Eq(Load(d + i), v1), Eq(Load(d + i + 1), v2)));
    if (hits) return i + std::countr_zero(hits);
    i += 16;
  }
  for (; i + 1 < n; ++i)
    if (d[i] == c1 && d[i + 1] == c2) return i;
  return txt::npos;
}

// Bit k set when p[k] is a tab (when `tabs`) or p[k] and p[k + 1] are both blanks (a blank being
// a space, or a tab when `tabs`), for k = 0..15; reads p[0..16].
inline uint32_t RunStarts16(const char* p, bool tabs) {
  if (!tabs) return Eq16(p, ' ') & Eq16(p + 1, ' ');
  const uint32_t t0 = Eq16(p, '\t'), t1 = Eq16(p + 1, '\t');
  return t0 | ((Eq16(p, ' ') | t0) & (Eq16(p + 1, ' ') | t1));
}

// Position of the first byte at or after `from` that is a tab (when `tabs`) or the first of two
// adjacent blanks (a blank being a space, or a tab when `tabs`); npos when none. Called with a
// `from` that does not follow a blank, so the position found starts a run of blanks.
size_t FindBlankRunStart(const char* d, size_t n, size_t from, bool tabs) {
  size_t i = from;
  while (i + 17 <= n) {
    const uint32_t hits = RunStarts16(d + i, tabs);
    if (hits) return i + std::countr_zero(hits);
    i += 16;
  }
  auto blank = [&](char c) { return c == ' ' || (tabs && c == '\t'); };
  for (; i < n; ++i) {
    if (tabs && d[i] == '\t') return i;
    if (blank(d[i]) && i + 1 < n && blank(d[i + 1])) return i;
  }
  return txt::npos;
}

// The first CR or LF at or after `from`; n when none.
size_t FindBreakByte(const char* d, size_t n, size_t from) {
  size_t i = from;
  while (i + 16 <= n) {
    const uint32_t hits = Eq16(d + i, '\r') | Eq16(d + i, '\n');
    if (hits) return i + std::countr_zero(hits);
    i += 16;
  }
  while (i < n && d[i] != '\r' && d[i] != '\n') ++i;
  return i;
}

// The first CR not followed by LF or LF not preceded by CR; npos when every break is CR LF.
size_t FindLoneBreak(const char* d, size_t n) {
  if (n == 0) return txt::npos;
  if (d[0] == '\n' || (d[0] == '\r' && (n < 2 || d[1] != '\n'))) return 0;
  size_t i = 1;
  // Block k covers the bytes i .. i + 15, looking one byte back and one ahead.
  while (i + 17 <= n) {
    const uint32_t lf = Eq16(d + i, '\n'), cr = Eq16(d + i, '\r');
    const uint32_t lone = (lf & ~Eq16(d + i - 1, '\r')) | (cr & ~Eq16(d + i + 1, '\n'));
    if (lone & 0xFFFFu) return i + std::countr_zero(lone);
    i += 16;
  }
  for (; i < n; ++i) {
    if (d[i] == '\n' && d[i - 1] != '\r') return i;
    if (d[i - 1] == '\r' && d[i] != '\n') return i - 1;
  }
  return d[n - 1] == '\r' ? n - 1 : txt::npos;
}

// The first byte at or after `from` that is no blank; n when none.
size_t FindRunEnd(const char* d, size_t n, size_t from, bool tabs) {
  size_t i = from;
  while (i + 16 <= n) {
    const uint32_t blank = Eq16(d + i, ' ') | (tabs ? Eq16(d + i, '\t') : 0);
    const uint32_t other = ~blank & 0xFFFFu;
    if (other) return i + std::countr_zero(other);
    i += 16;
  }
  while (i < n && (d[i] == ' ' || (tabs && d[i] == '\t'))) ++i;
  return i;
}

// The length a run of `n` blanks ends with after the tab pass (three blanks -> one, one sweep)
// and the ten halving sweeps of the double-space pass.
size_t RunLength(size_t n, bool tabs, bool doubles) {
  if (tabs) n = n / 3 + n % 3;
  if (doubles) n = (n + 1023) / 1024;
  return n;
}

// Rewrites every maximal run of blanks in place, run by run; see ReplaceTabs and
// CollapseBlankRuns. The bytes between runs are moved down sixteen at a time while the next run
// is looked for.
void BlankRunsByRun(std::string& text, bool tabs, bool doubles) {
  char* d = text.data();
  const size_t n = text.size();
  size_t r = FindBlankRunStart(d, n, 0, tabs);
  if (r == txt::npos) return;
  size_t w = r;  // bytes before `w` are final; bytes from `r` on are still to read; w <= r
  for (;;) {
    // d[r] starts a run of blanks.
    const size_t e = FindRunEnd(d, n, r, tabs);
    const size_t keep = RunLength(e - r, tabs, doubles);
    for (size_t k = 0; k < keep; ++k) d[w + k] = ' ';
    w += keep;
    r = e;
    // Move the stretch up to the next run down to `w`.
    bool found = false;
    while (r + 17 <= n) {
      const uint32_t hits = RunStarts16(d + r, tabs);
      const size_t k = hits ? static_cast<size_t>(std::countr_zero(hits)) : 16;
      if (w != r) {
        // A whole block may be stored only where it overwrites nothing still to be read.
        if (w + 16 <= r + k) {
          char block[16];
          std::memcpy(block, d + r, 16);
          std::memcpy(d + w, block, 16);
        } else {
          std::memmove(d + w, d + r, k);
        }
      }
      w += k;
      r += k;
      if (hits) {
        found = true;
        break;
      }
    }
    if (found) continue;
    const size_t next = FindBlankRunStart(d, n, r, tabs);
    const size_t stretch = (next == txt::npos ? n : next) - r;
    if (w != r) std::memmove(d + w, d + r, stretch);
    w += stretch;
    r += stretch;
    if (next == txt::npos) break;
  }
  text.resize(w);
}

// What the block loops below share: the output position, whether a run of blanks reaches the
// next block, the whole-block runs and the last bytes.
struct BlankRunState {
  char* d;
  size_t n;
  bool tabs;
  size_t w;                // bytes before w are final
  uint32_t carry = 0;      // 1 when the byte before the next block is a blank
  uint32_t prevBlank = 0;  // the blanks of the block before, when that block was read whole

  // The blocks from `at` on are blanks to some end: the run began at `at`, or with the
  // trailing blanks of the block before (carry). Writes what the run ends as and returns
  // where it ends.
  size_t LongRun(size_t at, size_t start) {
    const size_t e = FindRunEnd(d, n, at, tabs);
    const size_t keep = RunLength(e - start, tabs, true) - (carry ? 1 : 0);
    for (size_t k = 0; k < keep; ++k) d[w + k] = ' ';
    w += keep;
    carry = 0;
    return e;
  }
  size_t LongRun(size_t at) { return LongRun(at, carry ? RunStartBefore(at) : at); }

  // With carry: where the run reaching `at` began, in the block before it.
  size_t RunStartBefore(size_t at) const {
    return at - static_cast<size_t>(std::countl_one(prevBlank << 16));
  }

  // The bytes from r on, one by one.
  void Tail(size_t r) {
    size_t runStart = carry ? RunStartBefore(r) : 0;
    while (r < n) {
      const char c = d[r];
      const bool blank = c == ' ' || (tabs && c == '\t');
      if (!blank) {
        d[w++] = c;
        carry = 0;
        ++r;
      } else if (carry) {
        // The run goes on to the end or to a byte that is no blank; its first blank is written.
        r = LongRun(r, runStart);
      } else {
        runStart = r;
        carry = 1;
        d[w++] = ' ';
        ++r;
      }
    }
  }
};

// BlankRunsByRun for the double-space pass (with or without the tab pass), where every run of
// up to 3072 blanks (1024 without the tab pass) ends as one blank: the first byte of each run
// stays (a tab becoming a blank) and the others go. That is a rule on each byte and its left
// neighbour, so the text is compacted block by block: a block with no byte to drop is stored
// whole (its tabs made blanks), the others stretch by stretch. A run that covers a whole block
// may be longer than that and is measured and written as BlankRunsByRun writes it.
//
// In place: bytes before `w` are final, bytes from `r` on are unread, w <= r. A block is loaded
// before anything is stored, and a store of sixteen bytes at w reaches at most r + 16, the
// block just loaded; bytes it writes past the block's kept ones are overwritten by the next.
void BlankRunsToOne(std::string& text, bool tabs) {
  using namespace blocks16;
  char* d = text.data();
  const size_t n = text.size();
  const Block space = Splat(' '), tab = Splat('\t'), tabToSpace = Splat('\t' ^ ' ');
  const Block none = Splat(0);
  // Skip the stretch before the first byte to change.
  size_t r = FindBlankRunStart(d, n, 0, tabs);
  if (r == txt::npos) return;
  BlankRunState st{d, n, tabs, r};
  char kept[16];  // the output bytes of a block compacted one by one
  while (r + 16 <= n) {
    const Block v = Load(d + r);
    const Block isTab = tabs ? Eq(v, tab) : none;
    const uint32_t blank = Bits(Or(Eq(v, space), isTab));
    if (blank == 0xFFFF) {
      r = st.LongRun(r);
      continue;
    }
    const uint32_t drop = blank & ((blank << 1) | st.carry) & 0xFFFF;
    const Block out = Xor(v, And(isTab, tabToSpace));
    size_t& w = st.w;
    if (drop == 0) {
      Store(d + w, out);
      w += 16;
    } else if (r - w >= 16 && r + 32 <= n) {
      // Each stretch of kept bytes [a, b) with one sixteen-byte copy from the text itself (its
      // tabs made blanks again). A copy for a stretch starting at a lands at most at w + a
      // and so ends below r + a: it never reaches the bytes a later stretch is read from.
      for (uint32_t keep = ~drop & 0xFFFF; keep != 0;) {
        const int a = std::countr_zero(keep);
        const int b = a + std::countr_one(keep >> a);
        const Block x = Load(d + r + a);
        Store(d + w, tabs ? Xor(x, And(Eq(x, tab), tabToSpace)) : x);
        w += static_cast<size_t>(b - a);
        keep &= ~((1u << b) - 1);
      }
    } else {
      Store(kept, out);
      for (int k = 0; k < 16; ++k) {
        d[w] = kept[k];
        w += ((drop >> k) & 1) ^ 1;
      }
    }
    st.carry = blank >> 15;
    st.prevBlank = blank;
    r += 16;
  }
  st.Tail(r);
  text.resize(st.w);
}

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    defined(TRIMORA_BLOCKS16_SSE2) && !defined(TRIMORA_NO_SHUFFLE)
#define TRIMORA_SHUFFLE_COMPACT 1

// For each set of eight bytes to keep (bit k: byte k): their positions in order, and how many.
struct Compact8Table {
  alignas(16) uint8_t index[256][8] = {};
  uint8_t count[256] = {};
  Compact8Table() {
    for (int m = 0; m < 256; ++m) {
      int c = 0;
      for (int k = 0; k < 8; ++k)
        if (m & (1 << k)) index[m][c++] = static_cast<uint8_t>(k);
      count[m] = static_cast<uint8_t>(c);
    }
  }
};

// BlankRunsToOne with the byte shuffle of SSSE3: every block is compacted the same way, eight
// bytes at a time, by the table of kept positions, without a branch on what it holds. Each
// eight-byte store lands at w <= r + 8, so nothing past the block just loaded is written.
__attribute__((target("ssse3"))) void BlankRunsToOneShuffle(std::string& text, bool tabs) {
  static const Compact8Table table;
  char* d = text.data();
  const size_t n = text.size();
  size_t r = FindBlankRunStart(d, n, 0, tabs);
  if (r == txt::npos) return;
  BlankRunState st{d, n, tabs, r};
  const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
  const __m128i tabToSpace = _mm_set1_epi8('\t' ^ ' '), eight = _mm_set1_epi8(8);
  while (r + 16 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + r));
    const __m128i isTab = tabs ? _mm_cmpeq_epi8(v, tab) : _mm_setzero_si128();
    const uint32_t blank = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, space), isTab)));
    if (blank == 0xFFFF) {
      r = st.LongRun(r);
      continue;
    }
    const uint32_t keep = ~(blank & ((blank << 1) | st.carry)) & 0xFFFF;
    const __m128i out = _mm_xor_si128(v, _mm_and_si128(isTab, tabToSpace));
    const uint32_t lo = keep & 0xFF, hi = keep >> 8;
    const __m128i idxLo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table.index[lo]));
    const __m128i idxHi =
        _mm_add_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(table.index[hi])), eight);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + st.w), _mm_shuffle_epi8(out, idxLo));
    st.w += table.count[lo];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + st.w), _mm_shuffle_epi8(out, idxHi));
    st.w += table.count[hi];
    st.carry = blank >> 15;
    st.prevBlank = blank;
    r += 16;
  }
  st.Tail(r);
  text.resize(st.w);
}

bool HasShuffle() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

void BlankRuns(std::string& text, bool tabs, bool doubles) {
  if (doubles) {
#if defined(TRIMORA_SHUFFLE_COMPACT)
    if (HasShuffle()) return BlankRunsToOneShuffle(text, tabs);
#endif
    BlankRunsToOne(text, tabs);
  } else {
    BlankRunsByRun(text, tabs, doubles);
  }
}

// Next occurrence of the exact bytes `pat` at or after `from`. Candidates come from a rare pair
// of neighbouring bytes: the first two, except after a leading CR LF, which ends every line of
// such a file ("\r\n\r\n" is looked for by its "\n\r", "\r\n//" by its "\n/").
size_t FindBytes(const char* d, size_t n, std::string_view pat, size_t from) {
  const size_t m = pat.size();
  if (m == 0 || from >= n || n - from < m) return txt::npos;
  if (m == 1) {
    const void* p = std::memchr(d + from, pat[0], n - from);
    return p ? static_cast<size_t>(static_cast<const char*>(p) - d) : txt::npos;
  }
  const size_t k = m > 2 && pat[0] == '\r' && pat[1] == '\n' ? 1 : 0;
  for (size_t at = FindPair(d, n, from + k, pat[k], pat[k + 1]); at != txt::npos;
       at = FindPair(d, n, at + 1, pat[k], pat[k + 1])) {
    const size_t start = at - k;
    if (start + m > n) return txt::npos;
    if (std::memcmp(d + start, pat.data(), m) == 0) return start;
  }
  return txt::npos;
}

// One left-to-right sweep replacing every non-overlapping `pat` by its first `keep` bytes,
// in place.
void SweepShorten(std::string& text, std::string_view pat, size_t keep) {
  char* d = text.data();
  const size_t n = text.size();
  size_t hit = FindBytes(d, n, pat, 0);
  if (hit == txt::npos) return;
  size_t w = hit, r = hit;
  while (hit != txt::npos) {
    // `pat` starts with its kept bytes, so they are already in place once copied.
    if (w != r) std::memmove(d + w, d + r, hit - r);
    w += hit - r;
    std::memcpy(d + w, pat.data(), keep);
    w += keep;
    r = hit + pat.size();
    hit = FindBytes(d, n, pat, r);
  }
  if (w != r) std::memmove(d + w, d + r, n - r);
  w += n - r;
  text.resize(w);
}

bool OnlyBlanks(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// Earliest include marker in `s` starting at or after `from`.
size_t FindMarker(std::string_view s, size_t from, size_t* len) {
  const size_t a = txt::Find(s, kBxInclude, from);
  const size_t b = txt::Find(s, kEndInclude, from);
  if (a == txt::npos && b == txt::npos) return txt::npos;
  *len = a <= b ? kBxInclude.size() : kEndInclude.size();
  return std::min(a, b);
}

// Cuts the include-marker comments out of one line: the earliest marker first, from its start
// through the first "-->" after it (or to the line's end), and again until none is left.
// Removing a comment can join the text on both sides into a new marker, which is then found as
// well; such a marker starts at most kLongestMarker - 1 bytes before the cut, so only that much
// of the kept text needs searching again, and the line is handled in one pass.
std::string CutMarkers(std::string_view line) {
  std::string res;  // the kept text so far; the line's current text is res + line[pos...]
  size_t pos = 0;
  size_t nextA = txt::Find(line, kBxInclude), nextB = txt::Find(line, kEndInclude);
  for (;;) {
    // A marker that straddles the cut.
    size_t start = txt::npos, len = 0;  // `start` in the current text's coordinates
    const size_t k = std::min(res.size(), kLongestMarker - 1);
    if (k > 0 && pos < line.size()) {
      std::string joint = res.substr(res.size() - k);
      joint.append(line.substr(pos, kLongestMarker));
      const size_t j = FindMarker(joint, 0, &len);
      if (j != txt::npos && j < k) start = res.size() - k + j;
    }
    if (start == txt::npos) {
      if (nextA != txt::npos && nextA < pos) nextA = txt::Find(line, kBxInclude, pos);
      if (nextB != txt::npos && nextB < pos) nextB = txt::Find(line, kEndInclude, pos);
      if (nextA == txt::npos && nextB == txt::npos) break;
      const size_t at = std::min(nextA, nextB);
      len = nextA <= nextB ? kBxInclude.size() : kEndInclude.size();
      start = res.size() + (at - pos);
    }
    // The marker ends inside the rest of the line; so does its "-->".
    const size_t markerEnd = pos + (start + len - res.size());
    const size_t close = txt::FindExact(line, "-->", markerEnd);
    const size_t cutEnd = close == txt::npos ? line.size() : close + 3;
    if (start >= res.size()) {
      res.append(line.substr(pos, start - res.size()));
    } else {
      res.resize(start);
    }
    pos = cutEnd;
  }
  res.append(line.substr(pos));
  return res;
}

}  // namespace

std::string GetLineEnding(std::string_view text) {
  const char* d = text.data();
  const size_t n = text.size();
  const void* lf = std::memchr(d, '\n', n);
  const size_t limit = lf ? static_cast<const char*>(lf) - d : n;
  const void* cr = std::memchr(d, '\r', limit);
  if (cr) {
    const size_t i = static_cast<const char*>(cr) - d;
    return (i + 1 < n && d[i + 1] == '\n') ? "\r\n" : "\r";
  }
  return "\n";
}

void NormalizeLineEndings(std::string& text, std::string_view b) {
  const char* d = text.data();
  const size_t n = text.size();
  // First decide, scanning only, whether any break differs from `b`.
  bool change = false;
  if (b == "\n") {
    change = std::memchr(d, '\r', n) != nullptr;
  } else if (b == "\r") {
    change = std::memchr(d, '\n', n) != nullptr;
  } else if (b == "\r\n") {
    change = FindLoneBreak(d, n) != txt::npos;
  } else {
    return;
  }
  if (!change) return;
  if (b.size() == 1) {
    // A one-byte ending never makes the text longer: it is rewritten in place, from one byte
    // of the other kind to the next. For LF: a CR before an LF goes, a lone CR becomes LF.
    // For CR: an LF after a CR goes, a lone LF becomes CR. text[0, w) is the result, the
    // bytes from the next one to read on are as they were.
    char* t = text.data();
    const char other = b[0] == '\n' ? '\r' : '\n';
    auto next = [&](size_t from) {
      const void* hit = from < n ? std::memchr(t + from, other, n - from) : nullptr;
      return hit ? static_cast<size_t>(static_cast<const char*>(hit) - t) : n;
    };
    size_t r = next(0);
    size_t w = r;
    char before = r > 0 ? t[r - 1] : '\0';  // the original byte before t[r]
    while (r < n) {
      // t[r] is the other byte.
      const bool pair = other == '\r' ? (r + 1 < n && t[r + 1] == '\n') : before == '\r';
      if (!pair) t[w++] = b[0];
      const size_t e = next(r + 1);
      // The move may overwrite t[e - 1]: it is noted first.
      before = e - 1 > r ? t[e - 1] : other;
      if (w != r + 1) std::memmove(t + w, t + r + 1, e - r - 1);
      w += e - r - 1;
      r = e;
    }
    text.resize(w);
    return;
  }
  std::string out;
  out.reserve(b.size() == 2 ? n + n / 8 : n);
  size_t i = 0;
  while (i < n) {
    const size_t j = FindBreakByte(d, n, i);
    out.append(d + i, j - i);
    if (j == n) break;
    out.append(b);
    i = j + ((d[j] == '\r' && j + 1 < n && d[j + 1] == '\n') ? 2 : 1);
  }
  text.swap(out);
}

// The line filter of a text without include markers: empty lines and (in a script) "//"
// lines go, the rest is kept as it stands with a line ending after the last line. The text is
// compacted in place: the lines that go are found sixteen line starts at a time as a line
// ending followed by a line ending or by "//", and the stretches between them are moved down
// whole. `b` is "\n", "\r" or "\r\n" and the text holds no other line break.
void FilterPlainLines(std::string& text, std::string_view b, bool script) {
  using namespace blocks16;
  char* d = text.data();
  const size_t n = text.size();
  const size_t bl = b.size();
  auto isB = [&](size_t at) { return at + bl <= n && d[at] == b[0] && (bl == 1 || d[at + 1] == b[1]); };
  auto isComment = [&](size_t at) { return script && at + 2 <= n && d[at] == '/' && d[at + 1] == '/'; };
  // From a line start on, the start of the first line that stays (n when none does).
  auto skipLines = [&](size_t at) {
    for (;;) {
      if (isB(at)) {
        at += bl;
      } else if (isComment(at)) {
        // Every line break starts with b[0] and holds no second one.
        const void* e = std::memchr(d + at + 2, b[0], n - at - 2);
        if (!e) return n;
        at = static_cast<size_t>(static_cast<const char*>(e) - d) + bl;
      } else {
        return at;
      }
    }
  };
  // The first line ending at or after `from` that a line to remove follows; npos when none.
  const Block b0 = Splat(b[0]), b1 = Splat(bl == 2 ? b[1] : b[0]), slash = Splat('/');
  auto nextCut = [&](size_t from) {
    size_t i = from;
    for (; i + 16 + bl + 1 <= n; i += 16) {
      Block ending = Eq(Load(d + i), b0);
      Block after = Eq(Load(d + i + bl), b0);
      if (bl == 2) {
        ending = And(ending, Eq(Load(d + i + 1), b1));
        after = And(after, Eq(Load(d + i + 3), b1));
      }
      if (script) after = Or(after, And(Eq(Load(d + i + bl), slash), Eq(Load(d + i + bl + 1), slash)));
      const uint32_t bits = Bits(And(ending, after));
      if (bits != 0) return i + static_cast<size_t>(std::countr_zero(bits));
    }
    for (; i < n; ++i) {
      if (isB(i) && (isB(i + bl) || isComment(i + bl))) return i;
    }
    return txt::npos;
  };

  size_t r = skipLines(0);
  size_t w = 0;
  const bool endsWithB = n >= bl && std::string_view(d + n - bl, bl) == b;
  bool changed = r != 0;
  for (;;) {
    const size_t cut = nextCut(r);
    if (cut == txt::npos) break;
    const size_t keepTo = cut + bl;
    if (w != r) std::memmove(d + w, d + r, keepTo - r);
    w += keepTo - r;
    r = skipLines(keepTo);
    changed = true;
  }
  // The rest, and a line ending for a last line without one.
  const bool addB = r < n && !endsWithB;
  if (w != r) std::memmove(d + w, d + r, n - r);
  w += n - r;
  if (!changed && !addB) return;
  text.resize(w);
  if (addB) text.append(b);
}

void FilterLines(std::string& text, const trimora::TextCtx& ctx, bool script) {
  const std::string_view b = ctx.b;
  if (b.empty()) return;
  // Both markers begin with "<!-- ": one search tells most texts have neither.
  if ((b == "\n" || b == "\r" || b == "\r\n") &&
      (!txt::Contains(text, "<!-- ") ||
       (!txt::Contains(text, kBxInclude) && !txt::Contains(text, kEndInclude)))) {
    FilterPlainLines(text, b, script);
    return;
  }
  const std::string_view s = text;
  const size_t n = s.size();
  const size_t bl = b.size();
  const char* d = s.data();
  const std::string bb = std::string(b) + std::string(b);
  const std::string bc = std::string(b) + "//";

  // Most lines stay as they are, so the filter jumps from one line that needs attention to the
  // next (an empty line, a script comment line, a line with an include marker) and copies the
  // stretches between them whole. `from` is always the start of a line.
  auto emptyLine = [&](size_t from) -> size_t {
    if (from == 0 && s.substr(0, bl) == b) return 0;
    const size_t p = FindBytes(d, n, bb, from >= bl ? from - bl : 0);
    return p == txt::npos ? p : p + bl;
  };
  auto commentLine = [&](size_t from) -> size_t {
    if (!script) return txt::npos;
    if (from == 0 && s.substr(0, 2) == "//") return 0;
    const size_t p = FindBytes(d, n, bc, from >= bl ? from - bl : 0);
    return p == txt::npos ? p : p + bl;
  };
  auto lineOf = [&](size_t at, size_t from) {
    size_t i = at;
    while (i > from && !(d[i - 1] == b.back() && i >= bl && s.compare(i - bl, bl, b) == 0)) --i;
    return i;
  };

  std::string out;
  bool changed = false;
  size_t keepFrom = 0;  // start of the stretch of lines kept verbatim, not yet copied
  auto flush = [&](size_t upTo) {
    if (!changed) {
      out.reserve(n + bl);
      changed = true;
    }
    out.append(s.substr(keepFrom, upTo - keepFrom));
  };

  size_t pos = 0;
  size_t nextEmpty = emptyLine(0), nextComment = commentLine(0);
  size_t nextA = txt::Find(s, kBxInclude), nextB = txt::Find(s, kEndInclude);
  size_t markerAt = txt::npos, markerLine = txt::npos;
  while (pos < n) {
    if (nextEmpty != txt::npos && nextEmpty < pos) nextEmpty = emptyLine(pos);
    if (nextComment != txt::npos && nextComment < pos) nextComment = commentLine(pos);
    if (nextA != txt::npos && nextA < pos) nextA = txt::Find(s, kBxInclude, pos);
    if (nextB != txt::npos && nextB < pos) nextB = txt::Find(s, kEndInclude, pos);
    const size_t m = std::min(nextA, nextB);
    if (m != markerAt) {
      markerAt = m;
      markerLine = m == txt::npos ? m : lineOf(m, pos);
    }
    const size_t start = std::min({nextEmpty, nextComment, markerLine});
    if (start == txt::npos) break;

    size_t end = FindBytes(d, n, b, start);
    const bool hasBreak = end != txt::npos;
    if (!hasBreak) end = n;
    const size_t next = hasBreak ? end + bl : n;
    flush(start);
    const bool empty = end == start;
    const bool comment = script && end - start >= 2 && d[start] == '/' && d[start + 1] == '/';
    if (!empty && !comment) {
      // An include-marker line.
      const std::string line = CutMarkers(s.substr(start, end - start));
      if (!OnlyBlanks(line)) {
        out.append(line);
        out.append(b);
      }
    }
    keepFrom = pos = next;
  }
  // A last line without a line ending gets one.
  if (keepFrom < n && !(n >= bl && s.substr(n - bl) == b)) {
    flush(n);
    out.append(b);
    keepFrom = n;
  }
  if (!changed) return;
  out.append(s.substr(keepFrom));
  text.swap(out);
}

void CollapseBlanks(std::string& text, bool tabs, bool doubles) {
  if (tabs || doubles) BlankRuns(text, tabs, doubles);
}

void ReplaceTabs(std::string& text) { BlankRuns(text, true, false); }

void CollapseBlankRuns(std::string& text) { BlankRuns(text, false, true); }

void CollapseEmptyLines(std::string& text, std::string_view b) {
  if (b.empty()) return;
  std::string bb(b);
  bb.append(b);
  SweepShorten(text, bb, b.size());
}

void JoinTags(std::string& text) {
  // One sweep leaves no "> <" behind: the blank of any "> <" in the result is an original
  // blank whose neighbours are the original bytes (a replaced "><" keeps both ends), so the
  // sweep would have matched it. The further nine sweeps find nothing.
  char* d = text.data();
  const size_t n = text.size();
  size_t hit = FindBytes(d, n, "> <", 0);
  if (hit == txt::npos) return;
  size_t w = hit + 1, r = hit + 2;  // drop the blank at hit + 1
  hit = FindBytes(d, n, "> <", r);
  while (hit != txt::npos) {
    std::memmove(d + w, d + r, hit + 1 - r);
    w += hit + 1 - r;
    r = hit + 2;
    hit = FindBytes(d, n, "> <", r);
  }
  std::memmove(d + w, d + r, n - r);
  w += n - r;
  text.resize(w);
}

void RemoveLeadingLineEnding(std::string& text, std::string_view b) {
  if (b.size() == 1 && !text.empty() && text[0] == b[0]) text.erase(0, 1);
}

}  // namespace Shared
