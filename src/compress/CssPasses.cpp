#include "compress/CssPasses.h"

#include "compress/CssSweeps.h"
#include "compress/TextOps.h"

#include <algorithm>
#include <cstring>
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

}  // namespace

void Apply(std::string& text, size_t from, size_t to, std::span<const Sweep> list, bool sjis) {
  if (from >= to) return;
  if (sjis) {
    // Trail bytes decide matches here, so run the sweeps one by one. The callers' ranges begin
    // on "<" or right after a quote, neither of them a lead byte, so a copy of the range has
    // the same trail bytes as the range has in place.
    if (from == 0 && to == text.size()) {
      ApplyOneByOne(text, list, true);
      return;
    }
    std::string part(text, from, to - from);
    ApplyOneByOne(part, list, true);
    if (part.size() != to - from) text.replace(from, to - from, part);
    return;
  }

  // Bytes that some sweep can match; every other byte stays and keeps two stretches apart.
  bool punct[256] = {};
  size_t minPat = std::string_view::npos;
  for (const Sweep& s : list) {
    if (s.dropLineBreaks) {
      punct[static_cast<unsigned char>('\r')] = punct[static_cast<unsigned char>('\n')] = true;
      minPat = 1;
    } else if (!s.pat.empty()) {
      for (const char c : s.pat) punct[static_cast<unsigned char>(c)] = true;
      minPat = std::min(minPat, s.pat.size());
    }
  }
  if (minPat == std::string_view::npos) return;

  char* d = text.data();
  size_t r = from, w = from;
  while (r < to) {
    size_t a = r;
    while (a < to && !punct[static_cast<unsigned char>(d[a])]) ++a;
    if (w != r) std::memmove(d + w, d + r, a - r);
    w += a - r;
    if (a == to) break;
    size_t z = a + 1;
    while (z < to && punct[static_cast<unsigned char>(d[z])]) ++z;
    size_t len = z - a;
    if (len >= minPat) {
      for (const Sweep& s : list) len = SweepRun(d + a, len, s);
    }
    if (w != a) std::memmove(d + w, d + a, len);
    w += len;
    r = z;
  }
  if (w != to) text.erase(w, to - w);
}

}  // namespace sweeps

std::string OptimizeFirstStyleBlock(std::string page, const trimora::TextCtx& ctx) {
  const size_t s = txt::Find(page, "<style", 0, ctx.sjis);
  // A "<style" among the first five characters leaves the page alone.
  if (s == txt::npos || s < 5) return page;
  const size_t e = txt::Find(page, "</style", 0, ctx.sjis);
  // Without a "</style" after it there is no block to tighten.
  if (e == txt::npos || e < s) return page;

  // The block runs from its own tag up to "</style" and is tightened as a whole, tag included.
  const std::string openBrace = "{" + ctx.b, semicolon = ";" + ctx.b, brace = ctx.b + "{";
  const sweeps::Sweep list[] = {
      {": ", ":"}, {"; ", ";"}, {openBrace, "{"}, {semicolon, ";"}, {brace, "{"},
  };
  sweeps::Apply(page, s, e, list, ctx.sjis);
  return page;
}

std::string OptimizeStyleSheet(std::string text, const trimora::TextCtx& ctx, bool trimLineBreaks) {
  const std::string openBrace = "{" + ctx.b, semicolon = ";" + ctx.b, brace = ctx.b + "{";
  std::vector<sweeps::Sweep> list = {
      {": ", ":"}, {" ;", ";"}, {"; ", ";"}, {" }", "}"}, {"} ", "}"}, {" {", "{"}, {"{ ", "{"},
      {openBrace, "{"}, {semicolon, ";"}, {brace, "{"},
  };
  // Line breaks go after the sweeps that look at them; then the blanks around ":" ";" "{" are
  // taken once more (joined lines bring new neighbours together).
  if (trimLineBreaks) list.push_back({"", "", true});
  list.insert(list.end(), {{": ", ":"}, {" ;", ";"}, {"; ", ";"}, {"{ ", "{"}});
  sweeps::Apply(text, 0, text.size(), list, ctx.sjis);
  return text;
}

}  // namespace Css
