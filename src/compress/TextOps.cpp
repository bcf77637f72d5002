#include "compress/TextOps.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "compress/Blocks16.h"

namespace txt {
namespace {

bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Position of the next byte equal to `c` (in either ASCII case when `ignoreCase`).
size_t FindByteCi(std::string_view text, unsigned char c, size_t from, bool ignoreCase = true) {
  const unsigned char lower = ignoreCase ? AsciiLower(c) : c;
  const unsigned char upper = (ignoreCase && lower >= 'a' && lower <= 'z') ? lower - 32 : lower;
  const char* base = text.data();
  const size_t n = text.size();
  if (from >= n) return npos;
  if (lower == upper) {
    const void* hit = std::memchr(base + from, lower, n - from);
    return hit ? static_cast<const char*>(hit) - base : npos;
  }
  for (size_t i = from; i < n; ++i) {
    const unsigned char b = static_cast<unsigned char>(base[i]);
    if (b == lower || b == upper) return i;
  }
  return npos;
}

// The candidates for a match among sixteen starts: the first two or three bytes of the
// pattern compared sixteen positions at a time. A letter is compared ignoring case as its
// lower-case form with the 0x20 bit set in the text (only the two cases of a letter give it).
class Prefilter {
 public:
  Prefilter(std::string_view pat, bool ignoreCase) : count_(pat.size() >= 3 ? 3 : 2) {
    for (int j = 0; j < count_; ++j) {
      const unsigned char c = static_cast<unsigned char>(pat[j]);
      const bool letter = ignoreCase && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z';
      want_[j] = blocks16::Splat(static_cast<char>(letter ? AsciiLower(c) : c));
      fold_[j] = blocks16::Splat(letter ? 0x20 : 0);
    }
  }

  // Bit k set when the pattern's first bytes stand at p + k; reads p[0 .. 15 + count).
  uint32_t Starts(const char* p) const {
    using namespace blocks16;
    Block m = Eq(Or(Load(p), fold_[0]), want_[0]);
    m = And(m, Eq(Or(Load(p + 1), fold_[1]), want_[1]));
    if (count_ == 3) m = And(m, Eq(Or(Load(p + 2), fold_[2]), want_[2]));
    return Bits(m);
  }

  size_t Count() const { return static_cast<size_t>(count_); }

 private:
  int count_;
  blocks16::Block want_[3], fold_[3];
};

bool MatchExactAt(std::string_view text, size_t pos, std::string_view pat) {
  return std::memcmp(text.data() + pos, pat.data(), pat.size()) == 0;
}

// How often a byte stands in web text, roughly: the search anchors on the rarest byte of the
// pattern so that memchr runs long between false hits. Letters are never anchors when case is
// ignored (they would need two searches).
int Commonness(unsigned char c, bool ignoreCase) {
  if (c == ' ' || c == '\n' || c == '\r' || c == '\t') return 100;
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (letter) return ignoreCase ? 1000 : 60;
  if (c >= '0' && c <= '9') return 40;
  if (c == '<' || c == '>' || c == '"' || c == '=' || c == '/' || c == ';' || c == ':' ||
      c == '.' || c == ',' || c == '(' || c == ')')
    return 30;
  return 10;
}

size_t AnchorIndex(std::string_view pat, bool ignoreCase) {
  size_t best = 0;
  int bestScore = Commonness(static_cast<unsigned char>(pat[0]), ignoreCase);
  for (size_t j = 1; j < pat.size(); ++j) {
    const int score = Commonness(static_cast<unsigned char>(pat[j]), ignoreCase);
    if (score < bestScore) { best = j; bestScore = score; }
  }
  return best;
}

// The search runs memchr over a rare byte of the pattern (its anchor) while the anchor is rare
// in the text, and once false hits come thick (more than one in 64 bytes) compares the first
// bytes of the pattern at sixteen starts at a time instead. A pattern whose bytes are all
// letters or common bytes starts with the second way.
template <bool IgnoreCase>
size_t FindImpl(std::string_view text, std::string_view pat, size_t from, bool sjis) {
  const size_t m = pat.size();
  if (m == 0 || m > text.size() || from > text.size() - m) return npos;
  const size_t last = text.size() - m;  // the last possible start
  auto matches = [&](size_t start) {
    const bool same = IgnoreCase ? MatchAt(text, start, pat) : MatchExactAt(text, start, pat);
    return same && !(sjis && IsShiftJisTrail(text, start));
  };
  size_t i = from;
  const size_t a = AnchorIndex(pat, IgnoreCase);
  const unsigned char anchor = static_cast<unsigned char>(pat[a]);
  const bool memchrAnchor = Commonness(anchor, IgnoreCase) <= 40 || m == 1;
  if (memchrAnchor) {
    size_t misses = 0;
    while (i <= last) {
      const size_t hit = FindByteCi(text, anchor, i + a, IgnoreCase);
      if (hit == npos || hit - a > last) return npos;
      const size_t start = hit - a;
      if (matches(start)) return start;
      i = start + 1;
      if (++misses >= 8 && m >= 2 && (i - from) < misses * 64) break;
    }
  }
  if (i <= last && last - i >= 15) {
    // Sixteen starts i .. i + 15 at a time, all of them possible starts, so every byte read
    // (up to i + 15 + m - 1) lies inside the text.
    const Prefilter pre(pat, IgnoreCase);
    for (; i <= last - 15; i += 16) {
      for (uint32_t bits = pre.Starts(text.data() + i); bits != 0; bits &= bits - 1) {
        const size_t start = i + static_cast<size_t>(std::countr_zero(bits));
        if (matches(start)) return start;
      }
    }
  }
  for (; i <= last; ++i) {
    if (matches(i)) return i;
  }
  return npos;
}
}  // namespace

bool IsShiftJisTrail(std::string_view text, size_t pos) {
  // The bytes before a character boundary can be told apart only by walking back over the
  // run of possible lead bytes: an odd run means `pos` completes a pair.
  size_t k = 0;
  while (k < pos && IsSjisLead(static_cast<unsigned char>(text[pos - 1 - k]))) ++k;
  return (k % 2) == 1;
}

bool MatchAt(std::string_view text, size_t pos, std::string_view pat) {
  if (pos > text.size() || text.size() - pos < pat.size()) return false;
  for (size_t j = 0; j < pat.size(); ++j) {
    if (AsciiLower(static_cast<unsigned char>(text[pos + j])) !=
        AsciiLower(static_cast<unsigned char>(pat[j])))
      return false;
  }
  return true;
}

size_t Find(std::string_view text, std::string_view pat, size_t from, bool sjis) {
  return FindImpl<true>(text, pat, from, sjis);
}

size_t FindExact(std::string_view text, std::string_view pat, size_t from, bool sjis) {
  return FindImpl<false>(text, pat, from, sjis);
}

size_t ReplaceAll(std::string& text, std::string_view pat, std::string_view with, bool sjis) {
  size_t hit = Find(text, pat, 0, sjis);
  if (hit == npos) return 0;
  std::string out;
  out.reserve(with.size() <= pat.size() ? text.size() : text.size() + text.size() / 4);
  size_t count = 0;
  size_t done = 0;
  while (hit != npos) {
    out.append(text, done, hit - done);
    out.append(with);
    done = hit + pat.size();
    ++count;
    hit = Find(text, pat, done, sjis);
  }
  out.append(text, done, npos);
  text.swap(out);
  return count;
}

void RemoveLineBreakBytes(std::string& text) {
  size_t w = 0;
  for (size_t r = 0; r < text.size(); ++r) {
    const char c = text[r];
    if (c != '\r' && c != '\n') text[w++] = c;
  }
  text.resize(w);
}

}  // namespace txt
