// The passes every file kind shares: line endings, the line filter, tabs, runs of blanks,
// empty lines, tag joins and a leading line ending.
//
// They look only at bytes below 0x40 (blanks, tabs, CR, LF, "<", ">", "!", "-", "/") and at
// ASCII letters of the include markers. No byte below 0x40 is ever the second byte of a
// Shift_JIS character, so they need not know the text's encoding. Each returns without
// touching the text when it has nothing to do.
#pragma once

#include "compress/TextCtx.h"

#include <string>
#include <string_view>

namespace Shared {

// The line ending of a text: decided by its first line break; LF when it has none.
//   "a\r\nb\nc" -> "\r\n"      "a\rb" -> "\r"      "abc" -> "\n"
std::string GetLineEnding(std::string_view text);

// Every line break (CR LF, a lone CR, a lone LF) becomes `b`.   ("a\r\nb\nc", "\n") -> "a\nb\nc"
void NormalizeLineEndings(std::string& text, std::string_view b);

// The line filter under "Remove Empty Lines". The text (with `b` breaks only) is cut into
// lines at `b`; empty lines go; in a script a line starting with "//" goes. From a line holding
// a Brixel include marker ("<!-- bxinclude", "<!-- End include") the marker comments are cut
// out, each through the first "-->" after it on the line (or to the line's end), and the line
// goes only when nothing but blanks and tabs remain. Every kept line ends with `b`, the last
// one included.   ("a\n\nb <!-- End include --> c", "\n") -> "a\nb  c\n"
void FilterLines(std::string& text, const trimora::TextCtx& ctx, bool script);

// "Remove TAB": every tab becomes a blank, then one sweep of "   " -> " ".
//   "\t\t\t\t" -> "  "
void ReplaceTabs(std::string& text);

// "Remove Double Space": ten sweeps of "  " -> " ". A run of n blanks ends as ceil(n / 1024)
// blanks.   "a     b" -> "a b"
void CollapseBlankRuns(std::string& text);

// The two passes above in one, as they stand next to each other in the sequence: each maximal
// run of blanks is rewritten once.   ("a \t  b", true, true) -> "a b"
void CollapseBlanks(std::string& text, bool tabs, bool doubles);

// One sweep of `b b` -> `b`.   ("a\n\n\nb", "\n") -> "a\n\nb"
void CollapseEmptyLines(std::string& text, std::string_view b);

// Ten sweeps of "> <" -> "><".   "<a> <b> <c>" -> "<a><b><c>";  "<a>  <b>" stays
void JoinTags(std::string& text);

// A text starting with a one-byte line ending `b` loses that first byte.
void RemoveLeadingLineEnding(std::string& text, std::string_view b);

}  // namespace Shared
