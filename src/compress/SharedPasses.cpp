#include "compress/SharedPasses.h"

#include "compress/TextOps.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace Shared {
namespace {

constexpr std::string_view kBxInclude = "<!-- bxinclude";
constexpr std::string_view kEndInclude = "<!-- End include";
constexpr size_t kLongestMarker = 16;

// ---- Eight bytes at a time ----
// A byte mask with 0x80 in every byte of `v` that is zero, exact (no borrow between bytes).
inline uint64_t ZeroBytes(uint64_t v) {
  constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((v & low7) + low7) | v | low7);
}
inline uint64_t EqBytes(uint64_t v, unsigned char c) { return ZeroBytes(v ^ (0x0101010101010101ULL * c)); }
inline uint64_t Load(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// Position of the first byte at or after `from` that is a tab (when `tabs`) or the first of two
// adjacent blanks (a blank being a space, or a tab when `tabs`); npos when none.
size_t FindBlankRunStart(const char* d, size_t n, size_t from, bool tabs) {
  size_t i = from;
  bool prevBlank = false;  // the byte before `i` is a blank; `from` never follows one
  while (i + 8 <= n) {
    const uint64_t w = Load(d + i);
    const uint64_t t = tabs ? EqBytes(w, '\t') : 0;
    const uint64_t blank = EqBytes(w, ' ') | t;
    if (prevBlank && (blank & 0x80)) return i - 1;
    // Byte k and byte k + 1 both blank: bit 7 of byte k survives.
    const uint64_t hits = t | (blank & (blank >> 8));
    if (hits) return i + (std::countr_zero(hits) >> 3);
    prevBlank = (blank >> 63) != 0;
    i += 8;
  }
  for (; i < n; ++i) {
    const char c = d[i];
    const bool blank = c == ' ' || (tabs && c == '\t');
    if (tabs && c == '\t') return prevBlank ? i - 1 : i;
    if (blank && prevBlank) return i - 1;
    prevBlank = blank;
  }
  return txt::npos;
}

// The length a run of `n` blanks ends with after the tab pass (three blanks -> one, one sweep)
// and the ten halving sweeps of the double-space pass.
size_t RunLength(size_t n, bool tabs, bool doubles) {
  if (tabs) n = n / 3 + n % 3;
  if (doubles) n = (n + 1023) / 1024;
  return n;
}

// Rewrites every maximal run of blanks in place; see ReplaceTabs and CollapseBlankRuns.
void BlankRuns(std::string& text, bool tabs, bool doubles) {
  char* d = text.data();
  const size_t n = text.size();
  size_t r = FindBlankRunStart(d, n, 0, tabs);
  if (r == txt::npos) return;
  size_t w = r;  // bytes before `w` are final; bytes from `r` on are still to read
  while (r != txt::npos) {
    size_t e = r;
    while (e < n && (d[e] == ' ' || (tabs && d[e] == '\t'))) ++e;
    const size_t keep = RunLength(e - r, tabs, doubles);
    std::memset(d + w, ' ', keep);
    w += keep;
    const size_t next = FindBlankRunStart(d, n, e, tabs);
    const size_t stretch = (next == txt::npos ? n : next) - e;
    if (w != e) std::memmove(d + w, d + e, stretch);
    w += stretch;
    r = next;
  }
  text.resize(w);
}

// Next occurrence of the exact bytes `pat` at or after `from` (memchr on its first byte).
size_t FindBytes(const char* d, size_t n, std::string_view pat, size_t from) {
  const size_t m = pat.size();
  while (from + m <= n) {
    const void* p = std::memchr(d + from, pat[0], n - from - m + 1);
    if (!p) return txt::npos;
    const size_t at = static_cast<const char*>(p) - d;
    if (std::memcmp(d + at + 1, pat.data() + 1, m - 1) == 0) return at;
    from = at + 1;
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
  const bool crlf = b == "\r\n";
  // First decide, with memchr scans only, whether any break differs from `b`.
  bool change = false;
  if (b == "\n") {
    change = std::memchr(d, '\r', n) != nullptr;
  } else if (b == "\r") {
    change = std::memchr(d, '\n', n) != nullptr;
  } else if (crlf) {
    for (const void* p = std::memchr(d, '\n', n); p && !change;) {
      const size_t i = static_cast<const char*>(p) - d;
      change = i == 0 || d[i - 1] != '\r';
      p = i + 1 < n ? std::memchr(d + i + 1, '\n', n - i - 1) : nullptr;
    }
    for (const void* p = std::memchr(d, '\r', n); p && !change;) {
      const size_t i = static_cast<const char*>(p) - d;
      change = i + 1 >= n || d[i + 1] != '\n';
      p = i + 1 < n ? std::memchr(d + i + 1, '\r', n - i - 1) : nullptr;
    }
  }
  if (!change) return;
  std::string out;
  out.reserve(crlf ? n + n / 8 : n);
  size_t i = 0;
  while (i < n) {
    // Copy up to the next CR or LF.
    size_t j = i;
    while (j < n && d[j] != '\r' && d[j] != '\n') ++j;
    out.append(d + i, j - i);
    if (j == n) break;
    out.append(b);
    j += (d[j] == '\r' && j + 1 < n && d[j + 1] == '\n') ? 2 : 1;
    i = j;
  }
  text.swap(out);
}

void FilterLines(std::string& text, const trimora::TextCtx& ctx, bool script) {
  const std::string_view b = ctx.b;
  if (b.empty()) return;
  const std::string_view s = text;
  const size_t n = s.size();
  const char* d = s.data();
  std::string out;
  bool changed = false;
  size_t keepFrom = 0;  // start of the stretch of lines kept verbatim, not yet copied
  auto flush = [&](size_t upTo) {
    if (!changed) {
      out.reserve(n + b.size());
      changed = true;
    }
    out.append(s.substr(keepFrom, upTo - keepFrom));
  };
  size_t nextA = txt::Find(s, kBxInclude), nextB = txt::Find(s, kEndInclude);
  size_t start = 0;
  while (start < n) {
    size_t end = FindBytes(d, n, b, start);
    const bool hasBreak = end != txt::npos;
    if (!hasBreak) end = n;
    const size_t next = hasBreak ? end + b.size() : n;
    if (nextA != txt::npos && nextA < start) nextA = txt::Find(s, kBxInclude, start);
    if (nextB != txt::npos && nextB < start) nextB = txt::Find(s, kEndInclude, start);
    const bool marker = std::min(nextA, nextB) < end;
    const bool empty = end == start;
    const bool comment = script && end - start >= 2 && d[start] == '/' && d[start + 1] == '/';
    if (empty || comment) {
      flush(start);
      keepFrom = next;
    } else if (marker) {
      flush(start);
      const std::string line = CutMarkers(s.substr(start, end - start));
      if (!OnlyBlanks(line)) {
        out.append(line);
        out.append(b);
      }
      keepFrom = next;
    } else if (!hasBreak) {
      flush(n);
      out.append(b);
      keepFrom = n;
    }
    start = next;
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
