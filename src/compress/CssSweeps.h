// The fixed sweeps that tighten CSS punctuation, run over a range of a text.
//
// Every sweep replaces a short run of punctuation bytes (":", ";", "{", "}", blanks, line
// breaks) by a shorter one. No sweep matches or removes any other byte, so a sweep over the
// whole text acts on each stretch of punctuation bytes on its own, and all sweeps together can
// be run stretch by stretch in one left-to-right pass with the same result. Shift_JIS texts,
// where "{" and "}" can be the second byte of a character, take the sweeps one by one.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace Css::sweeps {

struct Sweep {
  std::string_view pat;   // replaced wherever it stands, left to right, not overlapping
  std::string_view with;  // no longer than `pat`
  bool dropLineBreaks = false;  // instead: remove every CR and LF byte
};

// Runs `list` in order, each as one replace-all sweep (txt::ReplaceAll), over text[from, to);
// the rest of the text keeps its bytes.
//   Apply(s = "a : b; c", 0, s.size(), {{": ", ":"}, {"; ", ";"}}, false) -> s == "a :b;c"
void Apply(std::string& text, size_t from, size_t to, std::span<const Sweep> list, bool sjis);

}  // namespace Css::sweeps
