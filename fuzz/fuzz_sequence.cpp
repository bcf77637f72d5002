// Feeds arbitrary bytes through the per-file sequence with every option combination and file
// kind, and through the charset detection. The first two bytes choose options and kind:
//   byte 0: bit 0 TAB, 1 double space, 2 empty lines, 3 comments, 4 page line breaks,
//           5 style sheet line breaks, 6 Brixel comments, 7 a usable variables file;
//   byte 1: bits 0-1 the kind (page, style sheet, script, page), bit 2 a PHP display name.
//
// Besides crashes and sanitizer reports it checks properties that hold for every input:
//   - the sequence is deterministic;
//   - it never adds a byte the input did not hold, apart from blanks and line-ending bytes,
//     and in pages with a "#" the bytes of the date stamps and variable values;
//   - without such a page, what is left after dropping blanks, tabs, CR and LF is what the
//     input left after the same drop, minus some bytes (every pass only removes or replaces
//     white space), and the text grows by at most one final line ending beyond the line-ending
//     conversion;
//   - a page with every option off and nothing for the embedded style and script passes
//     comes back as its line-ending conversion with "> <" joined and a leading line break cut;
//   - the time it takes grows linearly: each input is timed against a budget proportional to
//     its size, and one input in 4096 is also repeated to 64 KB and to 1 MB and the two
//     times compared.
#include "compress/Optimizer.h"
#include "compress/mEncodings.h"
#include "tagcheck/SyntaxCheck.h"
#include "variables/mDate.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

namespace {

const char kVariables[] = "Home;About us;#VARIABLE3#;#ISODATE#";

const SyntaxCheck::Dictionaries& Dicts() {
  static const auto d = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  return d;
}

QDateTime Now() { return QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41)); }

// Bytes the sequence may put into a page that holds a "#": stamps and variable values.
struct ByteSet {
  bool has[256] = {};
  void Add(std::string_view s) {
    for (unsigned char c : s) has[c] = true;
  }
};

const ByteSet& PlaceholderBytes() {
  static const ByteSet set = [] {
    ByteSet s;
    const QDateTime t = Now();
    s.Add(mDate::GetISODateStr(t));
    s.Add(mDate::GetARPADateTimeStr(t));
    s.Add(mDate::GetShortDateStr(t));
    s.Add(mDate::GetLongDateStr(t));
    s.Add(kVariables);
    return s;
  }();
  return set;
}

[[noreturn]] void Fail(const char* what, std::string_view in, std::string_view out) {
  std::fprintf(stderr, "\n*** property failed: %s (input %zu bytes, output %zu bytes)\n", what, in.size(),
               out.size());
  std::fflush(stderr);
  std::abort();
}

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A generous linear budget under the sanitizers: 0.25 s plus 2 microseconds a byte (0.5 MB/s).
// The passes run at hundreds of MB/s without them and tens with them; a pass that does work
// proportional to the text for every comment, tag or line of it blows this budget on inputs of
// a few hundred kilobytes. Thread CPU time, so that other work on the machine does not count.
void CheckTime(double seconds, size_t bytes, std::string_view in) {
  const double budget = 0.25 + 2e-6 * static_cast<double>(bytes);
  if (seconds > budget) {
    std::fprintf(stderr, "\n*** %.3f s of CPU for %zu bytes (budget %.3f s)\n", seconds, bytes, budget);
    Fail("time not linear in the size", in, {});
  }
}

// The line ending of the text (its first line break, LF without one) and the text with every
// line break converted to it.
std::string Normalized(std::string_view s, std::string& b) {
  b = "\n";
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n') break;
    if (s[i] == '\r') {
      b = i + 1 < s.size() && s[i + 1] == '\n' ? "\r\n" : "\r";
      break;
    }
  }
  std::string r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
      r += b;
    } else if (s[i] == '\n') {
      r += b;
    } else {
      r += s[i];
    }
  }
  return r;
}

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether `out` without white space is a subsequence of `in` without white space.
bool DarkSubsequence(std::string_view in, std::string_view out) {
  size_t i = 0;
  for (char c : out) {
    if (IsWhite(c)) continue;
    while (i < in.size() && in[i] != c) ++i;
    if (i == in.size()) return false;
    ++i;
  }
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view pat) {
  if (pat.size() > text.size()) return false;
  for (size_t i = 0; i + pat.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < pat.size() && std::tolower(static_cast<unsigned char>(text[i + k])) == pat[k]) ++k;
    if (k == pat.size()) return true;
  }
  return false;
}

// What a page with every option off becomes when none of the embedded passes has work.
std::string PlainPage(std::string_view raw) {
  std::string b;
  std::string t = Normalized(raw, b);
  for (int sweep = 0; sweep < 10; ++sweep) {
    std::string r;
    r.reserve(t.size());
    for (size_t i = 0; i < t.size();) {
      if (t.compare(i, 3, "> <") == 0) {
        r += "><";
        i += 3;
      } else {
        r += t[i++];
      }
    }
    t.swap(r);
  }
  if (b.size() == 1 && !t.empty() && t[0] == b[0]) t.erase(0, 1);
  return t;
}

trimora::OptimizeEnv MakeEnv(uint8_t flags) {
  trimora::OptimizeEnv env;
  env.opts.TrimTAB = flags & 1;
  env.opts.TrimDoubleSpace = flags & 2;
  env.opts.TrimEmptyLines = flags & 4;
  env.opts.TrimAllComments = flags & 8;
  env.opts.TrimLineBreaksHTML = flags & 16;
  env.opts.TrimLineBreaksCSS = flags & 32;
  env.opts.TrimBrixelComments = flags & 64;
  env.vars.isBrixelProject = flags & 128;
  env.vars.text = kVariables;
  env.now = Now();
  env.dicts = &Dicts();
  return env;
}

uint32_t Hash(const uint8_t* data, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // One-off costs (dictionaries, stamps, decoders of every encoding) before any input is timed.
  (void)PlaceholderBytes();
  for (uint8_t kind = 0; kind < 3; ++kind) {
    for (const char* decl : {"", "charset=shift_jis\"", "charset=euc-jp\"", "charset=latin2\""}) {
      std::string t = std::string("<html><body>\xc3\xa9 #ISODATE# <script>\n// \xe9\n//\xe9\n</script>") + decl +
                      "\n/* \xe9 */ <p style=\"a : b\">\n</body></html>";
      (void)trimora::OptimizeText(t, static_cast<trimora::FileKind>(kind + 1), false, MakeEnv(0xff));
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const uint8_t pick = data[1];
  const trimora::OptimizeEnv env = MakeEnv(flags);
  static const trimora::FileKind kinds[] = {trimora::FileKind::Html, trimora::FileKind::Css,
                                            trimora::FileKind::Script, trimora::FileKind::Html};
  const trimora::FileKind kind = kinds[pick & 3];
  const bool php = (pick & 4) != 0;
  const std::string_view raw(reinterpret_cast<const char*>(data + 2), size - 2);

  const int enc = mEncodings::CheckForEncoding(raw);
  if (enc < 0 || enc >= mEncodings::kCount) Fail("encoding index outside the table", raw, {});

  const double t0 = CpuSeconds();
  const trimora::Optimized out = trimora::OptimizeText(std::string(raw), kind, php, env);
  CheckTime(CpuSeconds() - t0, raw.size(), raw);

  const trimora::Optimized again = trimora::OptimizeText(std::string(raw), kind, php, env);
  if (again.text != out.text || again.unbalanced.size() != out.unbalanced.size())
    Fail("two runs over the same input differ", raw, out.text);

  const bool html = kind == trimora::FileKind::Html;
  const bool placeholders = html && raw.find('#') != std::string_view::npos;
  ByteSet in;
  in.Add(raw);
  in.Add(" \r\n");
  for (unsigned char c : out.text) {
    if (!in.has[c] && !(placeholders && PlaceholderBytes().has[c])) Fail("a byte the input did not hold", raw, out.text);
  }
  if (!placeholders) {
    if (!DarkSubsequence(raw, out.text)) Fail("text other than white space added or reordered", raw, out.text);
    std::string b;
    if (out.text.size() > Normalized(raw, b).size() + b.size()) Fail("text grew", raw, out.text);
    const bool allOff = (flags & 63) == 0;
    if (allOff && html &&
        (php || (!ContainsNoCase(raw, "<style") && !ContainsNoCase(raw, "<script") &&
                 !ContainsNoCase(raw, "style=\"")))) {
      if (out.text != PlainPage(raw)) Fail("plain page changed beyond its line endings and tag joins", raw, out.text);
    }
  }

  // Quadratic behaviour shows on long texts of many small items: one input in 4096 (chosen by
  // its bytes, so that a finding reproduces) is repeated to 64 kilobytes and to 16 times that,
  // and the two are timed. TRIMORA_FUZZ_TRACE in the environment prints the two times.
  if (raw.size() >= 16 && raw.size() <= 4096 && (Hash(data, size) & 4095) == 0) {
    auto timed = [&](size_t length) {
      std::string big;
      big.reserve(length + raw.size());
      while (big.size() < length) big.append(raw);
      const double t1 = CpuSeconds();
      (void)trimora::OptimizeText(std::move(big), kind, php, env);
      return CpuSeconds() - t1;
    };
    // Linear work gives a ratio near 16 (up to about 30 once the text outgrows the caches),
    // quadratic work 256; a ratio above 40 is measured once more before it counts.
    static const bool trace = std::getenv("TRIMORA_FUZZ_TRACE") != nullptr;
    double small = 0, large = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      small = timed(64 * 1024);
      large = timed(1024 * 1024);
      if (trace) std::fprintf(stderr, "repeats %08x: %.4f s for 64 KB, %.4f s for 1 MB\n", Hash(data, size), small, large);
      if (large < 0.1 || large < 40 * small) break;
      if (attempt == 1) {
        std::fprintf(stderr, "\n*** %.3f s of CPU for 64 KB of repeats, %.3f s for 1 MB\n", small, large);
        Fail("time grows faster than the size", raw, {});
      }
    }
    CheckTime(large, 1024 * 1024, raw);
  }
  return 0;
}
