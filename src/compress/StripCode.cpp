// Comment removal for scripts and style sheets.
//
// The comments are found by a lexer (JsScanner) rather than by searching for "/*" and "//", so
// that a "/*" inside a string, a template literal or a regular expression, or "http://" in a
// string, is never taken for a comment. Only real comments are removed:
//   - every block comment (the lexer lists them left to right, so one pass removes them all;
//     this is what removing one comment text everywhere and starting over converges to, minus
//     the look-alikes inside literals);
//   - the comment lines: a "//" comment that starts right after a line ending, on any line but
//     the first, with a line ending after it, unless it opens a CDATA section. Every real line
//     comment whose whole text equals one of them (letter case aside) and that ends its line
//     goes too, trailing comments of code lines included;
//   - then the runs of empty lines left behind are collapsed.
// What the lexer cannot classify (an unterminated literal, a NUL byte) stays as it stands from
// there on.
#include "compress/StripCode.h"

#include "compress/Blocks16.h"
#include "compress/JsScanner.h"
#include "compress/TextOps.h"
#include "compress/mEncodings.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace StripCode {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool IsWordByte(unsigned char c, Lang lang) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_' || c == '\\' || c >= 0x80)
    return true;
  return lang == Lang::Script ? c == '$' : c == '-';
}

// True when the bytes `a` and `c`, brought together by removing a comment between them, would
// read as one token where there were two: "return/**/x", "a+/**/+b", "1px/**/2px", "1/**/.5".
bool WouldJoin(unsigned char a, unsigned char c, Lang lang) {
  if (IsWordByte(a, lang) && IsWordByte(c, lang)) return true;
  if ((IsDigit(a) && c == '.') || (a == '.' && IsDigit(c))) return true;
  if (a == '/' && (c == '/' || c == '*')) return true;
  if (lang == Lang::Css) return IsWordByte(a, lang) && c == '(';  // "and/**/(" is no function
  return (a == c && (a == '+' || a == '-')) || (a == '<' && c == '!');
}

// What takes the place of a removed block comment: usually nothing. A space where the two
// sides would otherwise merge, and in a script a line break where the comment held the only
// line break between two tokens (it may end a statement there).
// `outNonBlank` is the length of `out` without its trailing blanks, which the caller keeps
// track of: looking back over them for each comment would cross an ever longer run of blanks
// in a script of comments separated by blanks alone.
std::string_view BlockReplacement(std::string_view out, size_t outNonBlank, std::string_view text,
                                  const jsscan::Span& s, Lang lang, std::string_view b) {
  const size_t n = text.size();
  if (lang == Lang::Script) {
    const std::string_view body = text.substr(s.start, s.end - s.start);
    if (body.find_first_of("\r\n") != std::string_view::npos) {
      const size_t k = outNonBlank;
      const bool breakBefore = k == 0 || out[k - 1] == '\n' || out[k - 1] == '\r';
      size_t m = s.end;
      while (m < n && IsBlank(text[m])) ++m;
      const bool breakAfter = m == n || text[m] == '\n' || text[m] == '\r' ||
                              (text[m] == '/' && m + 1 < n && text[m + 1] == '/');
      if (!breakBefore && !breakAfter) return b;
    }
  }
  if (!out.empty() && s.end < n &&
      WouldJoin(static_cast<unsigned char>(out.back()), static_cast<unsigned char>(text[s.end]), lang))
    return " ";
  return {};
}

// Turns a comment text into the key under which texts equal but for letter case meet. ASCII
// texts fold ASCII letters; others are decoded from the file's encoding and case-folded.
class Folder {
 public:
  Folder(int encoding, bool sjis) : encoding_(encoding), sjis_(sjis) {}

  void Key(std::string_view t, std::string& key) {
    key.clear();
    bool ascii = true;
    for (unsigned char c : t) {
      if (c >= 0x80) {
        ascii = false;
        break;
      }
    }
    if (!ascii) {
      if (!decoderTried_) {
        decoderTried_ = true;
        decoder_.emplace(mEncodings::DecoderName(encoding_), QStringDecoder::Flag::Stateless);
      }
      if (decoder_->isValid()) {
        decoder_->resetState();
        const QString s = decoder_->decode(QByteArrayView(t.data(), static_cast<qsizetype>(t.size())));
        // Bytes the encoding does not know would all decode to U+FFFD and meet; compare those
        // texts by their bytes instead.
        if (!decoder_->hasError()) {
          const QByteArray folded = s.toCaseFolded().toUtf8();
          key.assign(folded.constData(), static_cast<size_t>(folded.size()));
          return;
        }
      }
    }
    // ASCII letters only; the two bytes of a Shift_JIS character stay as they are.
    key.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(t[i]);
      if (sjis_ && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < t.size()) {
        key.push_back(t[i]);
        key.push_back(t[++i]);
      } else {
        key.push_back(static_cast<char>(txt::AsciiLower(c)));
      }
    }
  }

 private:
  int encoding_;
  bool sjis_;
  bool decoderTried_ = false;
  std::optional<QStringDecoder> decoder_;
};

// A set of comment keys: open addressing over small slots and one buffer of key bytes, so
// that a file with a hundred thousand distinct comment lines costs about one probe of a
// compact table per comment and few allocations.
class KeySet {
 public:
  void Insert(std::string_view key) {
    if ((keys_.size() + 1) * 2 > slots_.size()) Grow();
    const uint64_t h = Hash(key);
    size_t i = h & Mask();
    for (;; i = (i + 1) & Mask()) {
      const Slot s = slots_[i];
      if (s.tag == 0) break;
      if (s.tag == Tag(h) && View(s.key) == key) return;
    }
    slots_[i] = {Tag(h), static_cast<uint32_t>(keys_.size())};
    keys_.push_back({bytes_.size(), key.size(), h});
    bytes_.append(key);
  }

  bool Contains(std::string_view key) const {
    if (keys_.empty()) return false;
    const uint64_t h = Hash(key);
    for (size_t i = h & Mask();; i = (i + 1) & Mask()) {
      const Slot s = slots_[i];
      if (s.tag == 0) return false;
      if (s.tag == Tag(h) && View(s.key) == key) return true;
    }
  }

  bool Empty() const { return keys_.empty(); }

 private:
  struct Slot {
    uint32_t tag;  // high bits of the hash, never 0; 0 marks a free slot
    uint32_t key;  // index into keys_
  };
  struct Key {
    size_t at;
    size_t size;
    uint64_t hash;
  };

  static uint64_t Hash(std::string_view key) { return std::hash<std::string_view>{}(key); }
  static uint32_t Tag(uint64_t h) { return static_cast<uint32_t>(h >> 32) | 1u; }
  size_t Mask() const { return slots_.size() - 1; }
  std::string_view View(uint32_t k) const { return std::string_view(bytes_).substr(keys_[k].at, keys_[k].size); }

  void Grow() {
    slots_.assign(slots_.empty() ? 64 : slots_.size() * 2, Slot{0, 0});
    for (uint32_t k = 0; k < keys_.size(); ++k) {
      size_t i = keys_[k].hash & Mask();
      while (slots_[i].tag != 0) i = (i + 1) & Mask();
      slots_[i] = {Tag(keys_[k].hash), k};
    }
  }

  std::vector<Slot> slots_;
  std::vector<Key> keys_;
  std::string bytes_;
};

// A line comment of the text after block comments went: [start, end) with end at its line
// terminator or the end of text.
struct LineRef {
  LineRef(size_t s, size_t e, bool ls) : start(s), lineStart(ls), commentLine(false), end(e) {}
  uint64_t start : 62;
  uint64_t lineStart : 1;    // right after a line ending b
  uint64_t commentLine : 1;  // a comment line: its text is one of those to remove
  size_t end;
};

// A stretch the empty-line sweeps leave alone: template-literal text (its line breaks are part
// of a string value) and the unclassified rest of the text.
struct Range {
  size_t start;
  size_t end;
};

bool EndsWithAt(std::string_view text, size_t pos, std::string_view b) {
  return pos >= b.size() && text.compare(pos - b.size(), b.size(), b) == 0;
}

// Removes the comment lines and their look-alike trailing comments from `text` (block
// comments already gone). `stop` is where the unclassified rest begins; `keep` is moved along.
void RemoveCommentLines(std::string& text, std::vector<LineRef>& lines, size_t& stop,
                        std::vector<Range>& keep, const trimora::TextCtx& ctx, std::string_view b) {
  Folder folder(ctx.encoding, ctx.sjis);
  std::string key;
  KeySet commentLines;
  auto endsAtB = [&](const LineRef& l) { return text.compare(l.end, b.size(), b) == 0; };
  for (LineRef& l : lines) {
    if (!l.lineStart || l.end > stop || !endsAtB(l)) continue;
    if (txt::MatchAt(text, l.start, "//<![CDATA[")) continue;
    folder.Key(std::string_view(text).substr(l.start, l.end - l.start), key);
    commentLines.Insert(key);
    l.commentLine = true;
  }
  if (commentLines.Empty()) return;

  // The text is compacted in place: text[0, w) is the result so far, text[done, ...) is unread
  // and still as it was, so the lines looked at below (all from `done` on) keep their bytes.
  char* d = text.data();
  size_t w = 0;
  size_t done = 0;
  size_t removed = 0;
  size_t k = 0;  // next range of `keep` to move
  for (const LineRef& l : lines) {
    if (l.start < done || l.end > stop) continue;
    if (!l.commentLine) {
      if (!endsAtB(l) && l.end != text.size()) continue;
      folder.Key(std::string_view(text).substr(l.start, l.end - l.start), key);
      if (!commentLines.Contains(key)) continue;
    }
    for (; k < keep.size() && keep[k].start < l.start; ++k) {
      keep[k].start -= removed;
      keep[k].end -= removed;
    }
    if (w != done) std::memmove(d + w, d + done, l.start - done);
    w += l.start - done;
    done = l.end;
    removed += l.end - l.start;
  }
  if (removed == 0) return;
  for (; k < keep.size(); ++k) {
    keep[k].start -= removed;
    keep[k].end -= removed;
  }
  stop -= removed;
  std::memmove(d + w, d + done, text.size() - done);
  text.resize(w + (text.size() - done));
}

// The four empty-line sweeps in their order: b b, CR CR, CR LF CR LF and LF LF, one each.
void EmptyLineSweeps(std::string& text, std::string_view bb, std::string_view b, bool sjis) {
  txt::ReplaceAll(text, bb, b, sjis);
  txt::ReplaceAll(text, "\r\r", b, sjis);
  txt::ReplaceAll(text, "\r\n\r\n", b, sjis);
  txt::ReplaceAll(text, "\n\n", b, sjis);
}

// Collapses the empty lines the removals left, outside the `keep` stretches.
//
// The four sweeps look for runs of CR and LF bytes only and put such bytes in their place, so
// each of them acts within the maximal runs of line-break bytes and leaves them runs: sweeping
// the whole text four times equals sweeping each run of two or more bytes four times on its
// own, which is what this does in one pass. The `keep` stretches begin and end next to bytes
// that are no line break, so no run crosses their edges.
// FindLineBreakPair for a text whose line ending is CR LF, passing over the runs that are a
// single CR LF (every line ending of such a text): the four sweeps leave those as they are.
// Every other run of two or more break bytes is found at its start: one of three or more
// begins with three break bytes, one of two that is not CR LF with such a pair.
size_t FindCrLfRunToSweep(std::string_view text, size_t from, size_t to) {
  using namespace blocks16;
  const char* d = text.data();
  if (to > text.size()) to = text.size();
  const Block lf = Splat('\n'), cr = Splat('\r');
  size_t i = from;
  for (; i + 18 <= to; i += 16) {
    const Block a = Load(d + i), b = Load(d + i + 1), c = Load(d + i + 2);
    const Block aBreak = Or(Eq(a, lf), Eq(a, cr)), bBreak = Or(Eq(b, lf), Eq(b, cr));
    const Block pair = And(aBreak, bBreak);
    const Block crlf = And(Eq(a, cr), Eq(b, lf));
    const Block three = And(pair, Or(Eq(c, lf), Eq(c, cr)));
    const uint32_t hits = Bits(Or(three, And(pair, Xor(crlf, Splat(static_cast<char>(0xFF))))));
    if (hits != 0) return i + static_cast<size_t>(std::countr_zero(hits));
  }
  return jsscan::FindLineBreakPair(text, i, to);
}

void CollapseEmptyLines(std::string& text, std::string_view b, bool sjis, const std::vector<Range>& keep) {
  std::string bb(b);
  bb += b;
  auto isBreak = [](char c) { return c == '\n' || c == '\r'; };
  const bool crlf = b == "\r\n";
  // In place: a run never grows (every sweep puts b, at most two bytes, for two or four), so
  // text[0, w) is the result so far and text[done, ...) is unread, as it was.
  char* d = text.data();
  std::string run;
  size_t w = 0;
  size_t done = 0;
  auto sweepGap = [&](size_t from, size_t to) {
    for (size_t i = from;;) {
      const size_t r = crlf ? FindCrLfRunToSweep(text, i, to) : jsscan::FindLineBreakPair(text, i, to);
      if (r == txt::npos) return;
      size_t e = r + 2;
      while (e < to && isBreak(text[e])) ++e;
      if (crlf && e - r == 2 && text[r] == '\r' && text[r + 1] == '\n') {
        i = e;  // a single line ending: no sweep changes it
        continue;
      }
      run.assign(text, r, e - r);
      EmptyLineSweeps(run, bb, b, sjis);
      if (run.size() != e - r || text.compare(r, e - r, run) != 0) {
        if (w != done) std::memmove(d + w, d + done, r - done);
        w += r - done;
        std::memcpy(d + w, run.data(), run.size());
        w += run.size();
        done = e;
      }
      i = e;
    }
  };
  size_t from = 0;
  for (const Range& k : keep) {
    sweepGap(from, k.start);
    from = k.end;
  }
  sweepGap(from, text.size());
  if (done == 0) return;
  if (w != done) std::memmove(d + w, d + done, text.size() - done);
  text.resize(w + (text.size() - done));
}

}  // namespace

std::string JSBlockComments(std::string text, const trimora::TextCtx& ctx, Lang lang) {
  const std::string_view b = ctx.b.empty() ? std::string_view("\n") : std::string_view(ctx.b);
  std::vector<Range> keep;
  const bool templates = lang == Lang::Script && text.find('`') != std::string::npos;
  if (templates || jsscan::MayHoldComments(text)) {
    jsscan::Options opt;
    opt.lang = lang == Lang::Css ? jsscan::Lang::Css : jsscan::Lang::Script;
    opt.sjis = ctx.sjis;
    opt.utf8 = ctx.encoding == 0;
    // Block comments go as the lexer finds them, the text compacted in place: text[0, w) is
    // the result so far, text[done, ...) is unread and as it was, which is all the lexer and
    // the replacement of a comment look at from there on. A replacement (at most two bytes)
    // is shorter than its comment, so w never passes done. Line comments and template text
    // are noted where they land.
    struct Sink : jsscan::SpanSink {
      std::string& text;
      Lang lang;
      std::string_view b;
      std::vector<LineRef>& lines;
      std::vector<Range>& keep;
      size_t w = 0, done = 0, removed = 0;
      size_t nonBlank = 0;  // text[0, w) without its trailing blanks ends here

      Sink(std::string& t, Lang l, std::string_view br, std::vector<LineRef>& ls, std::vector<Range>& k)
          : text(t), lang(l), b(br), lines(ls), keep(k) {}

      // Notes the trailing blanks of text[0, w) once the bytes from `from` on were added: only
      // the new bytes are looked at.
      void Added(size_t from) {
        size_t k = w;
        while (k > from && IsBlank(text[k - 1])) --k;
        if (k > from) nonBlank = k;
      }

      void MoveTo(size_t pos) {
        if (w != done) std::memmove(text.data() + w, text.data() + done, pos - done);
        const size_t from = w;
        w += pos - done;
        done = pos;
        Added(from);
      }

      void Take(const jsscan::Span& s) override {
        if (s.kind == jsscan::SpanKind::Block) {
          MoveTo(s.start);
          const std::string_view with =
              BlockReplacement(std::string_view(text.data(), w), nonBlank, text, s, lang, b);
          removed += s.end - s.start - with.size();
          if (!with.empty()) std::memcpy(text.data() + w, with.data(), with.size());
          const size_t from = w;
          w += with.size();
          done = s.end;
          Added(from);
          return;
        }
        const size_t at = s.start - removed;
        if (s.kind == jsscan::SpanKind::Text) {
          keep.push_back({at, s.end - removed});
          return;
        }
        MoveTo(s.start);
        const bool lineStart = EndsWithAt(std::string_view(text.data(), w), at, b);
        if (s.kind == jsscan::SpanKind::Line) {
          lines.emplace_back(at, s.end - removed, lineStart);
        } else if (lineStart) {
          // A style-sheet "//" line runs to the next line ending of the text as it now stands;
          // found once the compaction is complete.
          lines.emplace_back(at, std::string::npos, true);
        }
      }
    };
    std::vector<LineRef> lines;
    // Room for a line comment every 64 bytes: a script full of them grows the list a few
    // times instead of a dozen (pages are only touched as they fill).
    lines.reserve(text.size() / 64);
    Sink sink(text, lang, b, lines, keep);
    const size_t scanStop = jsscan::Comments(text, opt, sink);
    size_t stop = scanStop == std::string_view::npos ? text.size() : scanStop;
    const size_t removed = sink.removed;
    if (removed > 0) {
      sink.MoveTo(text.size());
      text.resize(sink.w);
    }
    stop -= removed;
    for (LineRef& l : lines) {
      if (l.end != std::string::npos) continue;
      const size_t e = txt::FindExact(text, b, l.start, ctx.sjis);
      l.end = e == txt::npos ? text.size() : e;
    }
    if (!lines.empty()) RemoveCommentLines(text, lines, stop, keep, ctx, b);
    if (stop < text.size()) keep.push_back({stop, text.size()});
  }
  CollapseEmptyLines(text, b, ctx.sjis, keep);
  return text;
}

std::string InlineScripts(std::string page, const trimora::TextCtx& ctx) {
  const bool sjis = ctx.sjis;
  const size_t first = txt::Find(page, "<script", 0, sjis);
  if (first == txt::npos || first < 5) return page;

  // Each turn works on the page as the previous turns left it; a block only changes the text
  // before its "</script", so searching on in the original text from there finds the same
  // tags, and the new page can be built in one left-to-right copy.
  std::string out;
  size_t done = 0;
  size_t pos = 4;
  for (int turn = 0; turn < 10; ++turn) {
    const size_t open = txt::Find(page, "<script", pos, sjis);
    if (open == txt::npos) break;
    const size_t close = txt::Find(page, "</script", open + 7, sjis);
    if (close == txt::npos) break;
    const std::string_view block = std::string_view(page).substr(open, close - open);
    if (txt::Find(block, "src=\"", 0, sjis) == txt::npos) {
      // Only the script after the opening tag is lexed; the tag stays as it is.
      const size_t gt = block.find('>');
      if (gt != std::string_view::npos) {
        const size_t from = open + gt + 1;
        std::string code = JSBlockComments(page.substr(from, close - from), ctx, Lang::Script);
        if (code.size() != close - from || page.compare(from, close - from, code) != 0) {
          out.append(page, done, from - done);
          out.append(code);
          done = close;
        }
      }
    }
    pos = close + 9;
  }
  if (done == 0) return page;
  out.append(page, done, std::string::npos);
  return out;
}

}  // namespace StripCode
