// txt::Find for patterns that hold a byte that is rare in the texts searched.
//
// txt::Find looks at every byte equal to the pattern's first one; for "<!--" or "style=\""
// that is every "<" or every "s" of a page. These finds jump from one occurrence of a rarer
// byte of the pattern to the next instead ("!" of "<!--", the quote of "style=\"") and give
// exactly what txt::Find gives: the first case-insensitive match at or after `from` that does
// not start on a Shift_JIS trail byte.
#pragma once

#include "compress/TextOps.h"

#include <cstring>
#include <string_view>

namespace anchored {

// `anchor` is the index in `pat` of a byte that is not a letter.
//   anchored::Find("a<!-- b", "<!--", 1) -> 1
inline size_t Find(std::string_view text, std::string_view pat, size_t anchor, size_t from = 0,
                   bool sjis = false) {
  if (pat.empty() || anchor >= pat.size() || from >= text.size()) return txt::npos;
  const char a = pat[anchor];
  for (size_t i = from + anchor; i < text.size();) {
    const void* hit = std::memchr(text.data() + i, a, text.size() - i);
    if (hit == nullptr) return txt::npos;
    const size_t h = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    const size_t k = h - anchor;
    if (txt::MatchAt(text, k, pat) && !(sjis && txt::IsShiftJisTrail(text, k))) return k;
    i = h + 1;
  }
  return txt::npos;
}

}  // namespace anchored
