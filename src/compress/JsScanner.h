// A lexer that finds the real comments of a script or a style sheet and nothing else.
//
// It knows just enough of the two languages to tell a comment from code that merely looks like
// one: string literals, template literals with nested ${...}, regular-expression literals
// (told from a division by the token before the slash), and for style sheets quoted strings and
// unquoted url(...) values. It never builds tokens; it skips uninteresting bytes through a
// byte-class table and looks back for the previous significant token only at a slash.
//
// Whatever it cannot classify (an unterminated string, template or regular expression, an
// unclosed block comment, a NUL byte) ends the scan: `stop` tells where, and a caller leaves
// the text from there on as it stands.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace jsscan {

enum class Lang { Script, Css };

enum class SpanKind : unsigned char {
  Block,      // "/* ... */", end is just after the "*/"
  Line,       // script: a real "//" comment, end is its line terminator (or the end of text)
  SlashPair,  // style sheet: a "//" outside strings and comments; end is start + 2
  Text,       // script: a stretch of template-literal text that holds a line break
};

struct Span {
  size_t start;
  size_t end;
  SpanKind kind;
};

struct Scan {
  std::vector<Span> spans;          // in text order, all before `stop`
  size_t stop = std::string_view::npos;  // npos: the whole text was classified
};

struct Options {
  Lang lang = Lang::Script;
  bool sjis = false;  // step over Shift_JIS double-byte characters as units
  bool utf8 = true;   // U+2028 and U+2029 end a script line comment
};

// Lexes `text` and lists its comments, and the template-literal text that spans lines (whose
// line breaks belong to a string value).
//   "a = '/*'; /* c */ b // d\n" -> Block [10,17), Line [20,24)
Scan Comments(std::string_view text, const Options& opt);

// Takes the spans of a scan one by one, in text order, as soon as they are settled (a span
// inside a template literal once the outermost literal closes), instead of in a list.
class SpanSink {
 public:
  virtual void Take(const Span& s) = 0;

 protected:
  ~SpanSink() = default;
};

// The same scan handing its spans to `sink`; returns where it stopped (npos: the whole text
// was classified).
size_t Comments(std::string_view text, const Options& opt, SpanSink& sink);

// True when the text holds "/*" or "//" anywhere (the cheap test before a lex).
bool MayHoldComments(std::string_view text);

// First position in [from, to - 1) where two line-break bytes (CR or LF) follow each other;
// npos when there is none.   FindLineBreakPair("a\nb\r\nc", 0, 6) -> 3
size_t FindLineBreakPair(std::string_view text, size_t from, size_t to);

}  // namespace jsscan
