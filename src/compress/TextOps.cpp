#include "compress/TextOps.h"

#include <cstring>

namespace txt {
namespace {

bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Position of the next byte equal to `c` in either ASCII case.
size_t FindByteCi(std::string_view text, unsigned char c, size_t from) {
  const unsigned char lower = AsciiLower(c);
  const unsigned char upper = (lower >= 'a' && lower <= 'z') ? lower - 32 : lower;
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

template <bool IgnoreCase>
size_t FindImpl(std::string_view text, std::string_view pat, size_t from, bool sjis) {
  const size_t m = pat.size();
  if (m == 0 || m > text.size()) return npos;
  const size_t last = text.size() - m;
  const size_t a = AnchorIndex(pat, IgnoreCase);
  const unsigned char anchor = static_cast<unsigned char>(pat[a]);
  size_t i = from;  // candidate start
  while (i <= last) {
    size_t hit;
    if constexpr (IgnoreCase) {
      hit = FindByteCi(text, anchor, i + a);
    } else {
      const void* p = std::memchr(text.data() + i + a, anchor, text.size() - i - a);
      hit = p ? static_cast<const char*>(p) - text.data() : npos;
    }
    if (hit == npos || hit - a > last) return npos;
    const size_t start = hit - a;
    bool ok;
    if constexpr (IgnoreCase) {
      ok = MatchAt(text, start, pat);
    } else {
      ok = std::memcmp(text.data() + start, pat.data(), m) == 0;
    }
    if (ok && !(sjis && IsShiftJisTrail(text, start))) return start;
    i = start + 1;
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
