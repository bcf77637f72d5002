#include "compress/JsScanner.h"

#include "compress/Blocks16.h"
#include "compress/TextOps.h"

#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

namespace jsscan {
namespace {

constexpr size_t npos = std::string_view::npos;

// Byte classes. kPlain bytes are skipped without a second look.
enum : unsigned char {
  kPlain = 0,
  kSlash,
  kQuote,      // ' or "
  kBacktick,
  kLt,         // may open "<!--"
  kMinus,      // may open "-->"
  kOpenBrace,  // counted only inside ${...}
  kCloseBrace,
  kBackslash,
  kParen,      // style sheets: may open url(
  kDollar,
  kBracketOpen,
  kBracketClose,
  kNewline,
  kNul,
  kLead,       // Shift_JIS lead byte: the next byte belongs to it
};

constexpr int kMaxSet = 10;

// The class of every byte, and for the block skip the interesting bytes themselves.
struct Table {
  std::array<unsigned char, 256> cls{};
  int id = 0;      // index of the table, for the lexer's per-table block memo
  int count = 0;   // interesting bytes, when at most kMaxSet: the skip compares 16 bytes at a time
  blocks16::Block splat[kMaxSet]{};
  // The same set for a byte shuffle: byte c is interesting when lo[c & 15] & hi[c >> 4] is not
  // 0 (one bit per high nibble the set uses, at most eight; `nibbles` false when it needs more).
  alignas(16) unsigned char lo[16] = {};
  alignas(16) unsigned char hi[16] = {};
  bool nibbles = false;
  unsigned char& operator[](size_t c) { return cls[c]; }
  unsigned char operator[](size_t c) const { return cls[c]; }

  void Finish(int index) {
    id = index;
    unsigned char set[kMaxSet];
    int k = 0;
    for (unsigned c = 0; c < 256; ++c) {
      if (!cls[c]) continue;
      if (k == kMaxSet) return;  // count stays 0: byte by byte
      set[k++] = static_cast<unsigned char>(c);
    }
    for (int j = 0; j < k; ++j) splat[j] = blocks16::Splat(static_cast<char>(set[j]));
    count = k;
    int groups = 0;
    for (unsigned h = 0; h < 16; ++h) {
      bool used = false;
      for (unsigned l = 0; l < 16; ++l) used = used || cls[h * 16 + l] != 0;
      if (!used) continue;
      if (groups == 8) return;
      const unsigned char bit = static_cast<unsigned char>(1u << groups++);
      hi[h] = bit;
      for (unsigned l = 0; l < 16; ++l)
        if (cls[h * 16 + l]) lo[l] |= bit;
    }
    nibbles = groups > 0;
  }
};

// Bit j set when p[j] is one of the first N interesting bytes of `tb`.
template <int N>
inline uint32_t InterestingBits(const unsigned char* p, const Table& tb) {
  using namespace blocks16;
  const Block v = Load(reinterpret_cast<const char*>(p));
  Block m = Eq(v, tb.splat[0]);
#pragma GCC unroll 10
  for (int k = 1; k < N; ++k) m = Or(m, Eq(v, tb.splat[k]));
  return Bits(m);
}

// The block compare with SSE2: one comparison per interesting byte.
struct Compare {
  static uint32_t Bits(const unsigned char* p, const Table& tb);
};

inline uint32_t Compare::Bits(const unsigned char* p, const Table& tb) {
  switch (tb.count) {
    case 1: return InterestingBits<1>(p, tb);
    case 2: return InterestingBits<2>(p, tb);
    case 3: return InterestingBits<3>(p, tb);
    case 4: return InterestingBits<4>(p, tb);
    case 5: return InterestingBits<5>(p, tb);
    case 6: return InterestingBits<6>(p, tb);
    case 7: return InterestingBits<7>(p, tb);
    case 8: return InterestingBits<8>(p, tb);
    case 9: return InterestingBits<9>(p, tb);
    default: return InterestingBits<10>(p, tb);
  }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && defined(TRIMORA_BLOCKS16_SSE2) && \
    !defined(TRIMORA_NO_SHUFFLE)
#define TRIMORA_SCAN_SHUFFLE 1
// The block compare with the byte shuffle of SSSE3: two table look-ups for any set of bytes.
struct Shuffle {
  __attribute__((target("ssse3"))) static uint32_t Bits(const unsigned char* p, const Table& tb) {
    if (!tb.nibbles) return Compare::Bits(p, tb);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i l = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(tb.lo)), _mm_and_si128(v, low));
    const __m128i h = _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(tb.hi)),
                                       _mm_and_si128(_mm_srli_epi16(v, 4), low));
    const __m128i none = _mm_cmpeq_epi8(_mm_and_si128(l, h), _mm_setzero_si128());
    return ~static_cast<uint32_t>(_mm_movemask_epi8(none)) & 0xFFFF;
  }
};
#endif

bool IsSjisLead(unsigned c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct Tables {
  Table code, subst, str, tmpl, regex, css, cssStr;
};

Tables MakeTables(bool sjis) {
  Tables t{};
  auto lead = [&](Table& tb) {
    if (!sjis) return;
    for (unsigned c = 0; c < 256; ++c)
      if (IsSjisLead(c)) tb[c] = kLead;
  };
  for (Table* tb : {&t.code, &t.subst}) {
    (*tb)['/'] = kSlash;
    (*tb)['\''] = kQuote;
    (*tb)['"'] = kQuote;
    (*tb)['`'] = kBacktick;
    (*tb)['<'] = kLt;
    (*tb)['-'] = kMinus;
    (*tb)[0] = kNul;
    lead(*tb);
  }
  t.subst['{'] = kOpenBrace;
  t.subst['}'] = kCloseBrace;

  t.str['\''] = kQuote;
  t.str['"'] = kQuote;
  t.str['\\'] = kBackslash;
  t.str['\n'] = kNewline;
  t.str['\r'] = kNewline;
  t.str[0] = kNul;
  lead(t.str);

  t.tmpl['`'] = kBacktick;
  t.tmpl['\\'] = kBackslash;
  t.tmpl['$'] = kDollar;
  t.tmpl['\n'] = kNewline;
  t.tmpl['\r'] = kNewline;
  t.tmpl[0] = kNul;
  lead(t.tmpl);

  t.regex['/'] = kSlash;
  t.regex['\\'] = kBackslash;
  t.regex['['] = kBracketOpen;
  t.regex[']'] = kBracketClose;
  t.regex['\n'] = kNewline;
  t.regex['\r'] = kNewline;
  t.regex[0] = kNul;
  lead(t.regex);

  t.css['/'] = kSlash;
  t.css['\''] = kQuote;
  t.css['"'] = kQuote;
  t.css['\\'] = kBackslash;
  t.css['('] = kParen;
  t.css[0] = kNul;
  lead(t.css);

  t.cssStr['\''] = kQuote;
  t.cssStr['"'] = kQuote;
  t.cssStr['\\'] = kBackslash;
  t.cssStr['\n'] = kNewline;
  t.cssStr['\r'] = kNewline;
  t.cssStr['\f'] = kNewline;
  t.cssStr[0] = kNul;
  lead(t.cssStr);
  int index = 0;
  for (Table* tb : {&t.code, &t.subst, &t.str, &t.tmpl, &t.regex, &t.css, &t.cssStr}) tb->Finish(index++);
  return t;
}

const Tables& TablesFor(bool sjis) {
  static const Tables plain = MakeTables(false);
  static const Tables shiftJis = MakeTables(true);
  return sjis ? shiftJis : plain;
}

constexpr int kTables = 7;

// The interesting bytes of the last block each table looked at. The lexer often stops several
// times in one block (a quote, the string's end, an operator) and switches tables in between;
// the block is compared once per table.
struct BlockMemo {
  size_t start[kTables];
  uint32_t bits[kTables];
  BlockMemo() {
    for (int k = 0; k < kTables; ++k) {
      start[k] = SIZE_MAX / 2;  // no text is that long: i - start is never below 16
      bits[k] = 0;
    }
  }
};

// First position at or after `i` whose byte is not kPlain in `tb`; `n` when none.
template <typename Cmp>
inline size_t Skip(const unsigned char* p, size_t i, size_t n, const Table& tb, BlockMemo& memo) {
  if (tb.count > 0) {
    size_t& start = memo.start[tb.id];
    uint32_t& bits = memo.bits[tb.id];
    if (i - start < 16) {
      const uint32_t rest = bits >> (i - start);
      if (rest != 0) return i + static_cast<size_t>(std::countr_zero(rest));
      i = start + 16;
    }
    while (i + 16 <= n) {
      const uint32_t b = Cmp::Bits(p + i, tb);
      start = i;
      bits = b;
      if (b != 0) return i + static_cast<size_t>(std::countr_zero(b));
      i += 16;
    }
  }
  while (i + 4 <= n) {
    if (tb[p[i]]) return i;
    if (tb[p[i + 1]]) return i + 1;
    if (tb[p[i + 2]]) return i + 2;
    if (tb[p[i + 3]]) return i + 3;
    i += 4;
  }
  while (i < n && !tb[p[i]]) ++i;
  return i;
}

inline bool IsWs(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

inline bool IsIdentByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '\\' || c >= 0x80;
}

inline bool IsCssIdentByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '\\' || c >= 0x80;
}

// Words after which a slash starts a regular expression rather than a division.
bool IsRegexKeyword(std::string_view w) {
  switch (w.size()) {
    case 2: return w == "in" || w == "do";
    case 3: return w == "new";
    case 4: return w == "void" || w == "case" || w == "else";
    case 5: return w == "throw" || w == "yield" || w == "await";
    case 6: return w == "return" || w == "typeof" || w == "delete";
    case 10: return w == "instanceof";
    default: return false;
  }
}

template <typename Cmp>
class Lexer {
 public:
  Lexer(std::string_view text, const Options& opt, SpanSink* sink = nullptr)
      : sink_(sink),
        text_(text),
        p_(reinterpret_cast<const unsigned char*>(text.data())),
        n_(text.size()),
        opt_(opt),
        t_(TablesFor(opt.sjis)) {}

  Scan Run() {
    if (opt_.lang == Lang::Css) {
      RunCss();
    } else {
      RunScript();
    }
    return std::move(out_);
  }

 private:
  // Ends the scan: nothing from `pos` on is classified. Inside a template literal the whole
  // outermost literal is given up, with any comment found in its substitutions.
  void Stop(size_t pos) {
    if (!tmpl_.empty()) pos = tmpl_.front().start;
    out_.stop = pos;
    // Every span settled so far ends before pos; those of the literal given up are pending.
    pending_.clear();
  }

  // A span found: settled at once outside template literals, held back inside one until the
  // outermost literal closes (it is given up if the literal never does).
  void Emit(const Span& s) {
    if (!tmpl_.empty()) {
      pending_.push_back(s);
    } else {
      Deliver(s);
    }
  }

  void Deliver(const Span& s) {
    if (sink_) {
      sink_->Take(s);
    } else {
      out_.spans.push_back(s);
    }
  }

  void NoteComment(size_t end, bool regexOkBefore) {
    cmtEnd_ = end;
    cmtRegexOk_ = regexOkBefore;
  }

  // Whether a slash at `i` may begin a regular expression, judged by the previous significant
  // token. Comments in between are looked through by remembering the verdict at their start.
  bool RegexAllowedAt(size_t i) const {
    const size_t floor = cmtEnd_ > litEnd_ ? cmtEnd_ : litEnd_;
    size_t j = i;
    while (j > floor && IsWs(p_[j - 1])) --j;
    if (j == floor && floor > 0) return floor == cmtEnd_ ? cmtRegexOk_ : false;
    if (j == 0) return true;
    const unsigned char c = p_[j - 1];
    if (opt_.sjis && txt::IsShiftJisTrail(text_, j - 1)) return false;
    if (c == ')' || c == ']') return false;
    if (IsIdentByte(c)) {
      size_t k = j;
      while (k > floor && IsIdentByte(p_[k - 1])) --k;
      if (k > 0 && p_[k - 1] == '.') return false;  // a property such as x.return
      return IsRegexKeyword(text_.substr(k, j - k));
    }
    if ((c == '+' || c == '-') && j >= 2 && p_[j - 2] == c) return false;  // a++ / 2
    return true;
  }

  // End of a line comment whose body starts at `j`: its line terminator or the end of text.
  size_t LineEnd(size_t j) const {
    if (j >= n_) return n_;
    const size_t lf = Next(lf_, '\n', j);
    const size_t cr = Next(cr_, '\r', j);
    const size_t e = lf < cr ? lf : cr;
    if (opt_.utf8) {
      for (size_t k = j; (k = Next(e2_, 0xE2, k)) < e; ++k) {
        if (k + 2 < n_ && p_[k + 1] == 0x80 && (p_[k + 2] & 0xFE) == 0xA8) return k;  // U+2028, U+2029
      }
    }
    return e;
  }

  // The first `byte` at or after `j` (n_ when none), remembered: the line comments are met in
  // text order, so every byte is scanned once for each of the three terminators. Searching
  // afresh for each comment would cross the whole rest of a text without LF (a CR-only file)
  // once per comment.
  struct NextAt {
    size_t from = 1;  // the cache says: no `byte` in [from, at); from > at marks it empty
    size_t at = 0;
  };
  size_t Next(NextAt& c, unsigned char byte, size_t j) const {
    if (c.from <= j && j <= c.at) return c.at;
    const void* hit = std::memchr(p_ + j, byte, n_ - j);
    c.from = j;
    c.at = hit ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - p_) : n_;
    return c.at;
  }

  // The end of a block comment opening at `i`: just after the first "*/" from i + 2 on.
  size_t BlockEnd(size_t i) const {
    using namespace blocks16;
    const char* d = reinterpret_cast<const char*>(p_);
    size_t j = i + 2;
    const Block star = Splat('*'), slash = Splat('/');
    for (; j + 17 <= n_; j += 16) {
      const uint32_t hits = Bits(And(Eq(Load(d + j), star), Eq(Load(d + j + 1), slash)));
      if (hits != 0) return j + static_cast<size_t>(std::countr_zero(hits)) + 2;
    }
    for (; j + 1 < n_; ++j) {
      if (p_[j] == '*' && p_[j + 1] == '/') return j + 2;
    }
    return npos;
  }

  // A script string opening at `i`; the position after its closing quote, npos when it does
  // not close on its line.
  size_t ScriptStringEnd(size_t i) const {
    const unsigned char q = p_[i];
    size_t j = i + 1;
    for (;;) {
      j = Skip<Cmp>(p_, j, n_, t_.str, memo_);
      if (j >= n_) return npos;
      switch (t_.str[p_[j]]) {
        case kQuote:
          if (p_[j] == q) return j + 1;
          ++j;
          break;
        case kBackslash:
          if (j + 1 >= n_) return npos;
          j += (p_[j + 1] == '\r' && j + 2 < n_ && p_[j + 2] == '\n') ? 3 : 2;
          break;
        case kLead:
          j += 2;
          break;
        default:  // line break or NUL
          return npos;
      }
    }
  }

  // Scans template text from `j`. Returns the position after the closing backtick (the literal
  // is done) or after "${" (code follows, the literal stays open); npos at the end of text.
  size_t TemplateText(size_t j, bool& closed) {
    const size_t from = j;
    bool multiline = false;
    auto note = [&](size_t end) {
      if (multiline) Emit({from, end, SpanKind::Text});
    };
    for (;;) {
      j = Skip<Cmp>(p_, j, n_, t_.tmpl, memo_);
      if (j >= n_) return npos;
      switch (t_.tmpl[p_[j]]) {
        case kBacktick:
          note(j);
          closed = true;
          return j + 1;
        case kBackslash:
        case kLead:
          j += 2;
          break;
        case kNewline:
          multiline = true;
          ++j;
          break;
        case kDollar:
          if (j + 1 < n_ && p_[j + 1] == '{') {
            note(j);
            closed = false;
            return j + 2;
          }
          ++j;
          break;
        default:  // NUL
          return npos;
      }
    }
  }

  // Continues an open template literal (top of the stack) at `j`; false when it never ends.
  bool ResumeTemplate(size_t& j) {
    bool closed = false;
    const size_t e = TemplateText(j, closed);
    if (e == npos) return false;
    if (closed) {
      tmpl_.pop_back();
      litEnd_ = e;
      if (tmpl_.empty()) {
        for (const Span& s : pending_) Deliver(s);
        pending_.clear();
      }
    }
    j = e;
    return true;
  }

  // A regular expression whose slash is at `i`; the position after its closing slash.
  size_t RegexEnd(size_t i) const {
    size_t j = i + 1;
    bool inClass = false;
    for (;;) {
      j = Skip<Cmp>(p_, j, n_, t_.regex, memo_);
      if (j >= n_) return npos;
      switch (t_.regex[p_[j]]) {
        case kSlash:
          if (!inClass) return j + 1;
          ++j;
          break;
        case kBackslash:
          if (j + 1 >= n_ || p_[j + 1] == '\n' || p_[j + 1] == '\r' || p_[j + 1] == 0) return npos;
          j += 2;
          break;
        case kBracketOpen:
          inClass = true;
          ++j;
          break;
        case kBracketClose:
          inClass = false;
          ++j;
          break;
        case kLead:
          j += 2;
          break;
        default:  // line break or NUL
          return npos;
      }
    }
  }

  bool OnlyBlanksBeforeOnLine(size_t i) const {
    while (i > 0 && (p_[i - 1] == ' ' || p_[i - 1] == '\t')) --i;
    return i == 0 || p_[i - 1] == '\n' || p_[i - 1] == '\r';
  }

  void RunScript() {
    size_t i = 0;
    for (;;) {
      const Table& tb = tmpl_.empty() ? t_.code : t_.subst;
      i = Skip<Cmp>(p_, i, n_, tb, memo_);
      if (i >= n_) {
        if (!tmpl_.empty()) Stop(tmpl_.front().start);
        return;
      }
      switch (tb[p_[i]]) {
        case kSlash: {
          const unsigned char next = i + 1 < n_ ? p_[i + 1] : 0;
          if (next == '*') {
            const size_t e = BlockEnd(i);
            if (e == npos) return Stop(i);
            const bool ok = RegexAllowedAt(i);
            Emit({i, e, SpanKind::Block});
            NoteComment(e, ok);
            i = e;
          } else if (next == '/') {
            const bool ok = RegexAllowedAt(i);
            const size_t e = LineEnd(i + 2);
            Emit({i, e, SpanKind::Line});
            NoteComment(e, ok);
            i = e;
          } else if (RegexAllowedAt(i)) {
            const size_t e = RegexEnd(i);
            if (e == npos) return Stop(i);
            litEnd_ = e;
            i = e;
          } else {
            ++i;
          }
          break;
        }
        case kQuote: {
          const size_t e = ScriptStringEnd(i);
          if (e == npos) return Stop(i);
          litEnd_ = e;
          i = e;
          break;
        }
        case kBacktick: {
          tmpl_.push_back({i, 0});
          size_t j = i + 1;
          if (!ResumeTemplate(j)) return Stop(i);
          i = j;
          break;
        }
        case kOpenBrace:
          ++tmpl_.back().depth;
          ++i;
          break;
        case kCloseBrace:
          if (tmpl_.back().depth > 0) {
            --tmpl_.back().depth;
            ++i;
          } else {
            size_t j = i + 1;
            if (!ResumeTemplate(j)) return Stop(i);
            i = j;
          }
          break;
        case kLt:
          // "<!--" opens a comment to the end of the line in a classic script.
          if (i + 3 < n_ && p_[i + 1] == '!' && p_[i + 2] == '-' && p_[i + 3] == '-') {
            const bool ok = RegexAllowedAt(i);
            const size_t e = LineEnd(i + 4);
            NoteComment(e, ok);
            i = e;
          } else {
            ++i;
          }
          break;
        case kMinus:
          // "-->" at the start of a line is a comment too; elsewhere it is "--" and ">".
          if (i + 2 < n_ && p_[i + 1] == '-' && p_[i + 2] == '>' && OnlyBlanksBeforeOnLine(i)) {
            const bool ok = RegexAllowedAt(i);
            const size_t e = LineEnd(i + 3);
            NoteComment(e, ok);
            i = e;
          } else {
            ++i;
          }
          break;
        case kLead:
          i += 2;
          break;
        default:  // NUL: not text
          return Stop(i);
      }
    }
  }

  // A style-sheet string opening at `i`. An unescaped line break ends it (a "bad string" that
  // the CSS parser drops up to there), and so does the end of text; npos only on NUL.
  size_t CssStringEnd(size_t i) const {
    const unsigned char q = p_[i];
    size_t j = i + 1;
    for (;;) {
      j = Skip<Cmp>(p_, j, n_, t_.cssStr, memo_);
      if (j >= n_) return n_;
      switch (t_.cssStr[p_[j]]) {
        case kQuote:
          if (p_[j] == q) return j + 1;
          ++j;
          break;
        case kBackslash:
          if (j + 1 >= n_) return n_;
          j += (p_[j + 1] == '\r' && j + 2 < n_ && p_[j + 2] == '\n') ? 3 : 2;
          break;
        case kLead:
          j += 2;
          break;
        case kNewline:
          return j;
        default:
          return npos;
      }
    }
  }

  bool UrlBefore(size_t i) const {
    if (i < 3) return false;
    if (txt::AsciiLower(p_[i - 3]) != 'u' || txt::AsciiLower(p_[i - 2]) != 'r' ||
        txt::AsciiLower(p_[i - 1]) != 'l')
      return false;
    return i == 3 || !IsCssIdentByte(p_[i - 4]);
  }

  void RunCss() {
    size_t i = 0;
    for (;;) {
      i = Skip<Cmp>(p_, i, n_, t_.css, memo_);
      if (i >= n_) return;
      switch (t_.css[p_[i]]) {
        case kSlash: {
          const unsigned char next = i + 1 < n_ ? p_[i + 1] : 0;
          if (next == '*') {
            const size_t e = BlockEnd(i);
            if (e == npos) return Stop(i);
            Emit({i, e, SpanKind::Block});
            i = e;
          } else if (next == '/') {
            Emit({i, i + 2, SpanKind::SlashPair});
            i += 2;
          } else {
            ++i;
          }
          break;
        }
        case kQuote: {
          const size_t e = CssStringEnd(i);
          if (e == npos) return Stop(i);
          i = e;
          break;
        }
        case kBackslash:
        case kLead:
          i += 2;
          break;
        case kParen: {
          if (!UrlBefore(i)) {
            ++i;
            break;
          }
          // An unquoted url(...) runs to its ")"; "/*" and "//" inside it are part of the address.
          size_t j = i + 1;
          while (j < n_ && IsWs(p_[j])) ++j;
          if (j < n_ && (p_[j] == '"' || p_[j] == '\'')) {
            i = j;
            break;
          }
          while (j < n_ && p_[j] != ')' && p_[j] != 0) j += (p_[j] == '\\' || (opt_.sjis && IsSjisLead(p_[j]))) ? 2 : 1;
          if (j >= n_ || p_[j] == 0) return Stop(i);
          i = j + 1;
          break;
        }
        default:  // NUL
          return Stop(i);
      }
    }
  }

  struct Tmpl {
    size_t start;  // position of the opening backtick
    int depth;     // braces open inside the current ${...}
  };

  SpanSink* sink_;  // null: the spans are listed in out_
  std::vector<Span> pending_;  // spans inside the open template literal
  std::string_view text_;
  const unsigned char* p_;
  size_t n_;
  Options opt_;
  const Tables& t_;
  mutable BlockMemo memo_;  // filled by the const scans too
  Scan out_;
  size_t litEnd_ = 0;      // just after the last string, template or regular expression
  size_t cmtEnd_ = 0;      // just after the last comment
  bool cmtRegexOk_ = true; // RegexAllowedAt at the start of that comment
  mutable NextAt lf_, cr_, e2_;  // caches of LineEnd
  std::vector<Tmpl> tmpl_;
};

#if defined(TRIMORA_SCAN_SHUFFLE)
// The whole lexer for processors with SSSE3, everything it calls compiled into this one
// function so that the shuffle compare is inlined into its loops.
__attribute__((target("ssse3"), flatten)) Scan RunWithShuffle(std::string_view text, const Options& opt,
                                                               SpanSink* sink) {
  return Lexer<Shuffle>(text, opt, sink).Run();
}

bool HasShuffle() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

Scan RunLexer(std::string_view text, const Options& opt, SpanSink* sink) {
#if defined(TRIMORA_SCAN_SHUFFLE)
  if (HasShuffle()) return RunWithShuffle(text, opt, sink);
#endif
  return Lexer<Compare>(text, opt, sink).Run();
}

}  // namespace

Scan Comments(std::string_view text, const Options& opt) { return RunLexer(text, opt, nullptr); }

size_t Comments(std::string_view text, const Options& opt, SpanSink& sink) {
  return RunLexer(text, opt, &sink).stop;
}

bool MayHoldComments(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const void* hit = std::memchr(p, '/', end - p);
    if (!hit) return false;
    p = static_cast<const char*>(hit) + 1;
    if (p < end && (*p == '*' || *p == '/')) return true;
  }
  return false;
}

size_t FindLineBreakPair(std::string_view text, size_t from, size_t to) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  if (to > text.size()) to = text.size();
  size_t i = from;
  {
    using namespace blocks16;
    const char* d = text.data();
    const Block lf = Splat('\n'), cr = Splat('\r');
    for (; i + 17 <= to; i += 16) {
      const Block a = Load(d + i), b = Load(d + i + 1);
      const uint32_t hits = Bits(And(Or(Eq(a, lf), Eq(a, cr)), Or(Eq(b, lf), Eq(b, cr))));
      if (hits != 0) return i + static_cast<size_t>(std::countr_zero(hits));
    }
  }
  auto isBreak = [](unsigned char c) { return c == '\n' || c == '\r'; };
  for (; i + 1 < to; ++i)
    if (isBreak(p[i]) && isBreak(p[i + 1])) return i;
  return npos;
}

}  // namespace jsscan
