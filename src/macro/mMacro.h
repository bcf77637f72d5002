// The abbreviation expander of the macro editor: a short abbreviation of nested, repeated and
// linked elements becomes a skeleton of HTML markup.
//
//   "div.main"      -> "<div class=\"main\">\r</div><!-- End main -->\r"
//   "ul#menu,li*3"  -> "<ul id=\"menu\">\r<li></li>\r<li></li>\r<li></li>\r</ul><!-- End menu -->\r"
//   "!.btn"         -> "<a class=\"btn\" href=\"#\">^</a>"
//
// Forms of abbreviation (after a leading "%", which is dropped):
//  - link form, beginning with "!": one empty link, or with "*N" N links without the "^"
//    text placeholder;
//  - nested form: items separated by ",". An item without "*" opens an element inside the one
//    before it (".class" or "#id" after the name; "#" wins when both stand there), and all of
//    them are closed in reverse order, each end tag followed by a comment naming the class or
//    id. An item "name.class*N" or "name#id*N" ("." wins here) stands for N empty siblings
//    written in place; "!" or "!.class" before the "*" puts an empty link into each.
// `br` and `hr` (any case) are written self-closing ("<br />") and never get an end tag.
// Every tag of the nested form ends with one carriage return; the link form puts one between
// its links. Nothing is rejected: unknown names, empty items and stray characters are copied
// into the markup as they stand.
//
// The expander is pure: it neither touches the clipboard nor beeps. The caller (the macro editor
// window, the command line) does that from the returned Expansion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform { class Platform; }

namespace mMacro {

// Markup longer than this is never built: a repeat item such as "li*999999999" would otherwise
// take all memory. Such a repeat item contributes nothing and beeps; a link form that large
// abandons the expansion.
inline constexpr size_t kMaxMarkupBytes = size_t{64} << 20;

struct Expansion {
  std::string markup;
  // Sound the beep: a repeat item had no element name ("*3"), or a repeat run was too large.
  bool beep = false;
  // False when the expansion was abandoned: the markup is empty and the clipboard must keep its
  // previous text. When true the markup, even empty, replaces the clipboard text.
  bool copy = true;
};

// Expands an abbreviation that is already trimmed and free of "<" (AbbreviationBeforeCaret
// gives such a text). An empty abbreviation, or "%" alone, gives empty markup.
Expansion Expand(std::string_view abbreviation);

// The markup alone.   Run("br*2") -> "<br />\r<br />\r"
std::string Run(std::string_view abbreviation);

// The whole number a count text begins with: an optional sign, digits and an optional fraction,
// truncated toward zero; no leading blanks are skipped; 0 when it begins with no number.
// Saturates at the int64 limits.   "3" -> 3, "2.7" -> 2, "-1" -> -1, " 3" -> 0, "abc" -> 0
int64_t ReadCount(std::string_view text);

// Space, tab, CR and LF removed from both ends.
std::string_view TrimWhite(std::string_view text);

// The abbreviation that ends at the caret, given the text before the caret: walking back from
// the caret, a space, tab or line break (CR or LF) ends it; a ">" met first means there is none
// (an abbreviation cannot follow a tag directly). Every "<" is then deleted and white space
// trimmed. Nothing when no abbreviation is left (the editor beeps).
//   "see div.a" -> "div.a", "<div" -> "div", "<p>div" -> nothing, "text " -> nothing
std::optional<std::string> AbbreviationBeforeCaret(std::string_view textBeforeCaret);

// ---- Shortcuts file -------------------------------------------------------------------------
// "Trimora/trimoramacro.txt" in the Documents folder, written by the user. Every line break is
// deleted, then the text is split at ";"; the text after the last ";" is not an entry. An entry
// "-" is a separator line, an empty entry is skipped, any other entry is an abbreviation shown
// and inserted exactly as written.   "ul,li*3;\ndiv.main;\n-;\n" -> ul,li*3 | div.main | ---

inline constexpr std::string_view kShortCutsFolderName = "Trimora";
inline constexpr std::string_view kShortCutsFileName = "trimoramacro.txt";

// The pieces of a shortcuts file, the piece after the last ";" included.
//   "a;;-;b;" -> {"a", "", "-", "b", ""}
std::vector<std::string> SplitShortCuts(std::string_view fileText);

struct MenuEntry {
  bool separator = false;
  std::string text;  // the abbreviation; empty for a separator
};

// The contextual menu for the pieces: every piece but the last, in order.
std::vector<MenuEntry> ShortCutMenu(const std::vector<std::string>& pieces);

// The shortcuts file for `platform`'s Documents folder (whether or not it exists).
std::filesystem::path ShortCutsFile(const platform::Platform& platform);

// The shortcut list that lives as long as the application: empty at start, replaced whole each
// time the file is read, left as it was when the file (or its folder) is missing or unreadable.
class ShortCuts {
 public:
  // Reads the shortcuts file; true when it was read.
  bool Update(const platform::Platform& platform);
  const std::vector<std::string>& TheShortCut() const { return pieces_; }
  std::vector<MenuEntry> Menu() const { return ShortCutMenu(pieces_); }

 private:
  std::vector<std::string> pieces_;
};

}  // namespace mMacro
