// Byte-level search and replace shared by every text pass.
//
// The passes work on the raw bytes of a file. Every literal they look for is ASCII and is
// matched without regard to ASCII letter case. In a Shift_JIS text a match may not start on
// the second byte of a double-byte character (those bytes overlap ASCII letters and symbols);
// pass `sjis = true` for such texts. EUC-JP and the other double-byte encodings of the table
// keep both bytes above 0x7F, so an ASCII pattern can never hit them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace txt {

inline constexpr size_t npos = std::string_view::npos;

inline constexpr unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// True when `text[pos]` is the second byte of a Shift_JIS double-byte character.
bool IsShiftJisTrail(std::string_view text, size_t pos);

// First occurrence of `pat` at or after `from`, ignoring ASCII case; npos when none.
// An empty pattern is never found.   Find("a<BODY>", "<body") -> 1
size_t Find(std::string_view text, std::string_view pat, size_t from = 0, bool sjis = false);

// The same with exact bytes.
size_t FindExact(std::string_view text, std::string_view pat, size_t from = 0, bool sjis = false);

inline bool Contains(std::string_view text, std::string_view pat, bool sjis = false) {
  return Find(text, pat, 0, sjis) != npos;
}

// True when `text` holds `pat` at `pos`, ignoring ASCII case.
bool MatchAt(std::string_view text, size_t pos, std::string_view pat);

// Replace-all: one left-to-right sweep, non-overlapping, inserted text never rescanned,
// ASCII case ignored; an empty pattern changes nothing. Returns the number of replacements.
//   ReplaceAll(s = "a  b  c", "  ", " ") -> 2, s == "a b c"
// When nothing matches the string is left untouched (no copy is made).
size_t ReplaceAll(std::string& text, std::string_view pat, std::string_view with, bool sjis = false);

// Convenience form returning the new text.
inline std::string Replaced(std::string text, std::string_view pat, std::string_view with,
                            bool sjis = false) {
  ReplaceAll(text, pat, with, sjis);
  return text;
}

// Removes every CR and LF byte.   "a\r\nb\rc\nd" -> "abcd"
void RemoveLineBreakBytes(std::string& text);

}  // namespace txt
