#include "compress/MarkupPasses.h"

#include "compress/TextOps.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace Markup {
namespace {

using txt::npos;

constexpr std::string_view kCommentOpen = "<!--";
constexpr std::string_view kCommentClose = "-->";
constexpr std::string_view kScriptOpen = "<script";
constexpr std::string_view kScriptClose = "</script";

// The comment passes compact the text in place, left to right: text[0, w) is the result so
// far and text[r, n) is still unread (w <= r), so the text as it currently stands is
// text[0, w) + text[r, n). Removing a comment joins the bytes on both sides of it, and these
// may spell a new marker ("<!-" + removed + "- ..."). A search over the current text would
// find such a marker, so after each removal we look across the seam. Positions in the current
// text ("virtual" positions) run through the result first.
//
// Shift_JIS: a byte at or after r keeps the trail-byte status it had in the original text,
// since the result always ends where a match could start (after an even run of lead bytes)
// and text[r - 1] is still the ">" of the removed "-->", which is no lead byte either.
struct Seam {
  const std::string& text;
  size_t w;
  size_t r;
  bool sjis;

  size_t Size() const { return w + (text.size() - r); }
  char At(size_t v) const { return v < w ? text[v] : text[r + (v - w)]; }
  size_t ToIn(size_t v) const { return r + (v - w); }    // v >= w
  size_t FromIn(size_t x) const { return w + (x - r); }  // x >= r

  bool Trail(size_t v) const {
    if (!sjis) return false;
    return v < w ? txt::IsShiftJisTrail(std::string_view(text.data(), w), v)
                 : txt::IsShiftJisTrail(text, ToIn(v));
  }

  // The first match of `pat` at or after `from` that starts in the result and ends in the
  // rest. The callers know that the result holds no whole match from `from` on.
  size_t MatchAcross(std::string_view pat, size_t from) const {
    size_t v = std::max(from, w >= pat.size() - 1 ? w - (pat.size() - 1) : size_t{0});
    for (; v < w && v + pat.size() <= Size(); ++v) {
      size_t j = 0;
      while (j < pat.size() && txt::AsciiLower(static_cast<unsigned char>(At(v + j))) ==
                                   txt::AsciiLower(static_cast<unsigned char>(pat[j])))
        ++j;
      if (j == pat.size() && !Trail(v)) return v;
    }
    return npos;
  }
};

// Moves text[r, to) down to w; returns the new w.
size_t MoveDown(std::string& text, size_t w, size_t r, size_t to) {
  if (w != r) std::memmove(text.data() + w, text.data() + r, to - r);
  return w + (to - r);
}

// Removes every comment that starts with `marker` and runs through the first "-->" after it,
// left to right, until a marker has no "-->" after it.
//
// The loop this replaces takes the first such comment of the text, removes every occurrence
// of exactly its text, and starts again. Every occurrence of that text begins with the marker
// and ends at the first "-->" after its start (the bytes are the same, and "-->" has no
// letters), so each is itself one of the comments this scan reaches and drops; dropping them
// in order, and looking across each seam for a marker the removal spelled, leaves the same
// text. The results differ only where a copy of an earlier comment stands inside a longer,
// later one ("<!-- End b <!-- End a -->"): comments do not nest, so the scan drops the whole
// later comment, where the loop would take the copy first and leave "<!-- End b" open, which
// would hide the rest of the page.
// Comments that differ only in letter case go alike, whatever the encoding's letters.
std::string DropMarkerComments(std::string text, std::string_view marker, bool sjis) {
  size_t m = txt::Find(text, marker, 0, sjis);
  if (m == npos) return text;
  // "-->" cannot begin inside the marker, so its search may start after it.
  size_t close = txt::Find(text, kCommentClose, m + marker.size(), sjis);
  if (close == npos) return text;

  size_t w = m;
  size_t r = close + kCommentClose.size();
  for (;;) {
    const Seam seam{text, w, r, sjis};
    const size_t across = seam.MatchAcross(marker, 0);
    if (across != npos) {
      close = txt::Find(text, kCommentClose, seam.ToIn(across + marker.size()), sjis);
      if (close == npos) break;
      w = across;
      r = close + kCommentClose.size();
      continue;
    }
    m = txt::Find(text, marker, r, sjis);
    if (m == npos) break;
    close = txt::Find(text, kCommentClose, m + marker.size(), sjis);
    if (close == npos) break;
    w = MoveDown(text, w, r, m);
    r = close + kCommentClose.size();
  }
  text.resize(MoveDown(text, w, r, text.size()));
  return text;
}

// Compacts the bytes d[0, n) in place: Compact moves d[from, to) down to w without its CR
// and LF bytes, Keep moves it unchanged (w <= from). The positions of the next LF and CR are
// kept between calls, so that no byte is searched twice.
struct BreakRemover {
  char* d;
  size_t n;
  size_t nextLf = 0, nextCr = 0;
  bool lfValid = false, crValid = false;

  size_t Next(char c, size_t from, size_t& cache, bool& valid) {
    if (!valid || (cache != npos && cache < from)) {
      const void* hit = std::memchr(d + from, c, n - from);
      cache = hit ? static_cast<size_t>(static_cast<const char*>(hit) - d) : npos;
      valid = true;
    }
    return cache;
  }

  size_t Compact(size_t w, size_t from, size_t to) {
    while (from < to) {
      const size_t lf = Next('\n', from, nextLf, lfValid);
      const size_t cr = Next('\r', from, nextCr, crValid);
      const size_t brk = std::min({lf, cr, to});
      if (w != from) std::memmove(d + w, d + from, brk - from);
      w += brk - from;
      from = brk == to ? to : brk + 1;
    }
    return w;
  }

  size_t Keep(size_t w, size_t from, size_t to) {
    if (w != from) std::memmove(d + w, d + from, to - from);
    return w + (to - from);
  }
};

}  // namespace

std::string RemoveBrixelComments(std::string text, const trimora::TextCtx& ctx) {
  // The closing markers of include blocks go first, then the opening ones, each in a sweep of
  // its own: a "<!-- bxinclude" comment revealed by the first sweep is still removed.
  // Both markers begin with "<!-- ": one search tells most texts have neither.
  if (!txt::Contains(text, "<!-- ", ctx.sjis)) return text;
  text = DropMarkerComments(std::move(text), "<!-- End", ctx.sjis);
  return DropMarkerComments(std::move(text), "<!-- bxinclude", ctx.sjis);
}

std::string RemoveBodyComments(std::string text, const trimora::TextCtx& ctx) {
  const bool sjis = ctx.sjis;
  size_t p = txt::Find(text, "<body", 0, sjis);
  // A "<body" among the first five characters leaves the page alone.
  if (p == npos || p < 5) return text;
  // A first "<body" that stands in a script of the head (inside a string) is text, not the
  // tag: the search begins after that script.
  for (size_t s = txt::Find(text, kScriptOpen, 0, sjis); s != npos && s < p;) {
    const size_t e = txt::Find(text, kScriptClose, s + kScriptOpen.size(), sjis);
    if (e == npos) return text;
    if (e > p) {
      p = e + kScriptClose.size();
      break;
    }
    s = txt::Find(text, kScriptOpen, e + kScriptClose.size(), sjis);
  }
  if (txt::Find(text, kCommentOpen, p, sjis) == npos) return text;

  // Each turn looks for the first "<!--" from p on in the text as it currently stands. A
  // comment closed by "//-->" hides a script from old browsers: it stays and p moves past it.
  // Any other comment goes and p stays, so the next search begins where it began, and finds
  // nothing before the removed comment's place except a marker that the removal spelled
  // across the seam. Script blocks are stepped over whole: their comments belong to the
  // script (a "//" line may end in "-->"), and a "<script" with no "</script" after it makes
  // the rest of the text script.
  size_t w = 0;         // end of the result so far
  size_t r = 0;         // first unread byte
  size_t from = p;      // where the next search in `text` begins (>= r)
  size_t floor = p;     // p as a position in the current text
  bool afterRemoval = false;
  size_t script = txt::Find(text, kScriptOpen, from, sjis);
  for (;;) {
    const Seam seam{text, w, r, sjis};
    size_t qv = afterRemoval ? seam.MatchAcross(kCommentOpen, floor) : npos;
    if (qv == npos) {
      const size_t q = txt::Find(text, kCommentOpen, from, sjis);
      if (q == npos) break;
      if (script != npos && script < from) script = txt::Find(text, kScriptOpen, from, sjis);
      if (script != npos && script < q) {
        const size_t e = txt::Find(text, kScriptClose, script + kScriptOpen.size(), sjis);
        if (e == npos) break;
        from = e + kScriptClose.size();
        floor = seam.FromIn(from);
        afterRemoval = false;
        continue;
      }
      qv = seam.FromIn(q);
    }

    // The first "-->" at or after the comment's start (it may share the start's "--").
    size_t tv = qv < w ? seam.MatchAcross(kCommentClose, qv) : npos;
    if (tv == npos) {
      const size_t t = txt::Find(text, kCommentClose, qv < w ? r : seam.ToIn(qv), sjis);
      if (t == npos) break;
      tv = seam.FromIn(t);
    }
    // The first "//-->" from the comment's start is the one ending at tv exactly when the two
    // bytes before tv are "//" (an earlier one would hold an earlier "-->").
    const bool hidesScript =
        tv >= qv + 2 && seam.At(tv - 2) == '/' && seam.At(tv - 1) == '/' && !seam.Trail(tv - 2);
    const size_t end = seam.ToIn(tv + kCommentClose.size());
    if (hidesScript) {
      from = end;
      floor = tv + kCommentClose.size();
      afterRemoval = false;
      continue;
    }
    w = qv >= w ? MoveDown(text, w, r, seam.ToIn(qv)) : qv;
    r = end;
    from = end;
    afterRemoval = true;
  }
  text.resize(MoveDown(text, w, r, text.size()));
  return text;
}

std::string RemoveLineBreaks(std::string text, const trimora::TextCtx& ctx) {
  const bool sjis = ctx.sjis;
  const size_t n = txt::Find(text, "<html", 0, sjis);
  // An "<html" among the first ten characters keeps every line break. What stands before
  // "<html" (the document type declaration) keeps its line breaks anyway.
  if (n == npos || n < 10) return text;

  // Everything from "<html" on loses its CR and LF bytes, except the stretches from each
  // "<script" through its "</script": a "//" comment in a script ends at its line break, and
  // joining the lines would comment out the code after it. Scripts are found from the start
  // of the text, so a script that "<html" (in a string) falls into keeps its breaks too.
  BreakRemover br{text.data(), text.size()};
  size_t w = n, r = n;
  size_t s = txt::Find(text, kScriptOpen, 0, sjis);
  while (r < text.size()) {
    if (s == npos) {
      w = br.Compact(w, r, text.size());
      r = text.size();
      break;
    }
    const size_t e = txt::Find(text, kScriptClose, s + kScriptOpen.size(), sjis);
    const size_t stretchEnd = e == npos ? text.size() : e + kScriptClose.size();
    if (stretchEnd > r) {
      const size_t keepFrom = std::max(s, r);
      w = br.Compact(w, r, keepFrom);
      w = br.Keep(w, keepFrom, stretchEnd);
      r = stretchEnd;
    }
    s = e == npos ? npos : txt::Find(text, kScriptOpen, stretchEnd, sjis);
  }
  text.resize(w);
  return text;
}

}  // namespace Markup
