// Engine benchmarks: throughput of the whole per-file sequence per file kind on a real corpus,
// the growth of the time with the input for the inputs that would expose a quadratic loop, and
// the memory one large file needs.
//
//   engine_bench throughput SITE_FOLDER [REPEAT [html|css|js]]
//   engine_bench scaling
//   engine_bench passes SITE_FOLDER [REPEAT]   (the time of each step of the sequence)
//   engine_bench memory html|css|js MB   (one kind per process keeps the peaks apart)
//   engine_bench digest FOLDER...         (one line per file and option set: a digest of the
//                                          output and the findings, to compare builds)
//   engine_bench digest-random N [SEED]   (the same over N generated texts of every kind)
//
// Times are CPU time of the calling thread, so that other work on the machine does not count.
#include "compress/CssPasses.h"
#include "compress/MarkupPasses.h"
#include "compress/Optimizer.h"
#include "compress/SharedPasses.h"
#include "compress/StripCode.h"
#include "compress/TextOps.h"
#include "compress/mEncodings.h"
#include "variables/mVarialbles.h"
#include "tagcheck/SyntaxCheck.h"

#include <sys/resource.h>
#include <time.h>

#include <QCryptographicHash>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using trimora::FileKind;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool EndsWithCi(std::string name, const char* ending) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  const std::string e(ending);
  return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
}

FileKind KindOf(const fs::path& p) {
  const std::string n = p.filename().string();
  for (const char* e : {".htm", ".html", ".xhtml", ".xml", ".shtml", ".rss", ".opf", ".ncx", ".thtml", ".tpl", ".zhtml"})
    if (EndsWithCi(n, e) && n[0] != '_') return FileKind::Html;
  if (EndsWithCi(n, ".css") || EndsWithCi(n, ".csstpl")) return FileKind::Css;
  if (EndsWithCi(n, ".js")) return FileKind::Script;
  return FileKind::Other;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(const std::function<void()>& f) {
  const double t0 = ThreadCpuSeconds();
  f();
  return ThreadCpuSeconds() - t0;
}

trimora::OptimizeEnv MakeEnv(const SyntaxCheck::Dictionaries* dicts) {
  trimora::OptimizeEnv env;
  env.now = QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41));
  env.dicts = dicts;
  return env;
}

int Throughput(const fs::path& site, int repeat, const std::string& only) {
  const auto dicts = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  const auto env = MakeEnv(&dicts);
  struct Kind { const char* name; FileKind kind; std::vector<std::string> files; size_t bytes = 0; };
  Kind kinds[] = {{"html", FileKind::Html, {}}, {"css", FileKind::Css, {}}, {"js", FileKind::Script, {}}};
  std::vector<fs::path> paths;
  for (auto& e : fs::recursive_directory_iterator(site))
    if (e.is_regular_file()) paths.push_back(e.path());
  std::sort(paths.begin(), paths.end());
  for (const auto& p : paths) {
    const FileKind k = KindOf(p);
    for (auto& kd : kinds)
      if (kd.kind == k) { kd.files.push_back(ReadAll(p)); kd.bytes += kd.files.back().size(); }
  }
  std::printf("| kind | files | MB | best s | MB/s | out MB |\n|---|---:|---:|---:|---:|---:|\n");
  for (auto& kd : kinds) {
    if (!only.empty() && only != kd.name) continue;
    double best = 1e9;
    size_t out = 0;
    for (int r = 0; r < repeat; ++r) {
      // Each file is copied untimed just before its turn, as a run hands over the buffer it has
      // just read; only the sequence itself is timed.
      size_t o = 0;
      double t = 0;
      for (const auto& f : kd.files) {
        std::string copy = f;
        t += Seconds([&] { o += trimora::OptimizeText(std::move(copy), kd.kind, false, env).text.size(); });
      }
      best = std::min(best, t);
      out = o;
    }
    std::printf("| %s | %zu | %.2f | %.4f | %.0f | %.2f |\n", kd.name, kd.files.size(), kd.bytes / 1e6,
                best, kd.bytes / 1e6 / best, out / 1e6);
  }
  return 0;
}

// Inputs that grow in the direction a restart-from-the-top loop would be quadratic in.
std::string Repeat(const std::function<std::string(int)>& piece, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += piece(i);
  return s;
}

int Scaling() {
  const auto dicts = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  const auto env = MakeEnv(&dicts);
  struct Case { const char* name; FileKind kind; std::function<std::string(int)> make; };
  const Case cases[] = {
      {"page with N distinct comments", FileKind::Html, [](int n) {
         return "<!DOCTYPE html>\n<html><head></head><body>\n" +
                Repeat([](int i) { return "<p>x</p><!-- note " + std::to_string(i) + " -->\n"; }, n) +
                "</body></html>\n"; }},
      {"page with N Brixel end comments", FileKind::Html, [](int n) {
         return "<html><body>\n" +
                Repeat([](int i) { return "<!-- End include " + std::to_string(i) + " --> x\n"; }, n) +
                "</body></html>\n"; }},
      {"script with N distinct comment lines", FileKind::Script, [](int n) {
         return "var a = 1;\n" +
                Repeat([](int i) { return "// line " + std::to_string(i) + "\nf(" + std::to_string(i) + ");\n"; }, n); }},
      {"script with N trailing comments, CR breaks", FileKind::Script, [](int n) {
         return "var a = 1;\r" +
                Repeat([](int i) { return "f(" + std::to_string(i) + "); // line " + std::to_string(i) + "\r"; }, n); }},
      {"script with N comments between blanks", FileKind::Script, [](int n) {
         return "a" + Repeat([](int) { return std::string("   /*\n*/"); }, n) + "   b\n"; }},
      {"script with N distinct block comments", FileKind::Script, [](int n) {
         return "var a = 1;\n" +
                Repeat([](int i) { return "/* c " + std::to_string(i) + " */ f(" + std::to_string(i) + ");\n"; }, n); }},
      {"page with N style attributes", FileKind::Html, [](int n) {
         return "<html><head></head><body>\n" +
                Repeat([](int i) { return "<p style=\"color : red ; margin: " + std::to_string(i % 9) + "\">x</p>\n"; }, n) +
                "</body></html>\n"; }},
      {"page of N tags", FileKind::Html, [](int n) {
         return "<!DOCTYPE html>\n<html><head></head><body>\n" +
                Repeat([](int i) { return (i % 2) ? "<div> <span>" : "</span> </div>\n"; }, n) +
                "</body></html>\n"; }},
      {"page with N inline scripts", FileKind::Html, [](int n) {
         return "<html><head></head><body>\n" +
                Repeat([](int i) { return "<script>\n// c" + std::to_string(i) + "\nf();\n</script>\n"; }, n) +
                "</body></html>\n"; }},
      {"page with N variables", FileKind::Html, [](int n) {
         return "<html><body>\n" + Repeat([](int i) { return "#VARIABLE" + std::to_string(i % 50 + 1) + "# #ISODATE#\n"; }, n) +
                "</body></html>\n"; }},
  };
  std::printf("| input | N | MB | s(N) | s(2N) | ratio |\n|---|---:|---:|---:|---:|---:|\n");
  int worst = 0;
  for (const auto& c : cases) {
    const int n = (std::string(c.name).find("tags") != std::string::npos) ? 1000000 : 100000;
    const std::string a = c.make(n), b = c.make(2 * n);
    double ta = 1e9, tb = 1e9;
    for (int r = 0; r < 3; ++r) {
      ta = std::min(ta, Seconds([&] { trimora::OptimizeText(a, c.kind, false, env); }));
      tb = std::min(tb, Seconds([&] { trimora::OptimizeText(b, c.kind, false, env); }));
    }
    const double ratio = tb / ta;
    if (ratio > 2.2) worst = 1;
    std::printf("| %s | %d | %.1f | %.4f | %.4f | %.2f |\n", c.name, n, a.size() / 1e6, ta, tb, ratio);
  }
  return worst;
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

int Memory(const std::string& kind, int mb) {
  const auto dicts = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  const auto env = MakeEnv(&dicts);
  const std::string unit =
      "<div class=\"a\">\t<p style=\"color : red\">text  text</p> <!-- c --> </div>\n\n";
  const struct { const char* name; FileKind kind; std::string piece; } cases[] = {
      {"html", FileKind::Html, unit},
      {"css", FileKind::Css, "a { color : red ; }\n/* c */\n\n"},
      {"js", FileKind::Script, "var a = 1; // x\n/* c */ f(a);\n\n"},
  };
  for (const auto& c : cases) {
    if (kind != c.name) continue;
    std::string text = c.kind == FileKind::Html ? "<!DOCTYPE html>\n<html><head></head><body>\n" : "";
    text.reserve(static_cast<size_t>(mb) * 1000000 + c.piece.size());
    while (text.size() < static_cast<size_t>(mb) * 1000000) text += c.piece;
    const long before = PeakRssKb();
    const size_t size = text.size();
    const auto out = trimora::OptimizeText(std::move(text), c.kind, false, env);
    const long after = PeakRssKb();
    std::printf("%s: %zu MB in, %.2f MB out, peak grew by %.2f x the input beyond the input itself\n",
                c.name, size / 1000000, out.text.size() / 1e6, ((after - before) * 1024.0) / size);
    return 0;
  }
  return 2;
}


// ---- Time per pass ---------------------------------------------------------------------------

// The steps of trimora::OptimizeText with the start options, each timed on its own. It mirrors
// the sequence (and must follow it when the sequence changes); the output is checked against
// OptimizeText's, so a mirror that drifted away is noticed.
int Passes(const fs::path& site, int repeat) {
  const auto dicts = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  const auto env = MakeEnv(&dicts);
  std::vector<fs::path> paths;
  for (auto& e : fs::recursive_directory_iterator(site))
    if (e.is_regular_file()) paths.push_back(e.path());
  std::sort(paths.begin(), paths.end());
  struct Kind { const char* name; FileKind kind; std::vector<std::string> files; size_t bytes = 0; };
  Kind kinds[] = {{"html", FileKind::Html, {}}, {"css", FileKind::Css, {}}, {"js", FileKind::Script, {}}};
  for (const auto& p : paths)
    for (auto& kd : kinds)
      if (kd.kind == KindOf(p)) { kd.files.push_back(ReadAll(p)); kd.bytes += kd.files.back().size(); }
  for (auto& kd : kinds) {
    std::vector<std::string> order;
    std::map<std::string, double> best;
    bool mismatch = false;
    for (int r = 0; r < repeat; ++r) {
      std::map<std::string, double> t;
      auto step = [&](const char* name, const std::function<void()>& f) {
        if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
        t[name] += Seconds(f);
      };
      for (const auto& f : kd.files) {
        const bool html = kd.kind == FileKind::Html, css = kd.kind == FileKind::Css,
                   script = kd.kind == FileKind::Script;
        std::string text = f;
        trimora::TextCtx ctx;
        step("encoding", [&] { ctx.encoding = mEncodings::CheckForEncoding(text); });
        ctx.sjis = ctx.encoding == mEncodings::kShiftJis;
        step("line endings", [&] {
          ctx.b = Shared::GetLineEnding(text);
          Shared::NormalizeLineEndings(text, ctx.b);
        });
        step("line filter", [&] { Shared::FilterLines(text, ctx, script); });
        step("brixel comments", [&] { text = Markup::RemoveBrixelComments(std::move(text), ctx); });
        if (html) step("body comments", [&] { text = Markup::RemoveBodyComments(std::move(text), ctx); });
        if (css || script)
          step("code comments", [&] {
            text = StripCode::JSBlockComments(std::move(text), ctx, css ? StripCode::Lang::Css : StripCode::Lang::Script);
          });
        step("blanks", [&] { Shared::CollapseBlanks(text, true, true); });
        const size_t beforeEmptyLines = text.size();
        step("empty lines", [&] { Shared::CollapseEmptyLines(text, ctx.b); });
        const bool noEmptyLines = text.size() == beforeEmptyLines;
        if (html) {
          step("style block", [&] { text = Css::OptimizeFirstStyleBlock(std::move(text), ctx); });
          step("style attributes", [&] { text = StripCode::OptimizeInlineStyle(std::move(text), ctx); });
          step("inline scripts", [&] { text = StripCode::InlineScripts(std::move(text), ctx); });
        }
        if (css) step("style sheet", [&] { text = Css::OptimizeStyleSheet(std::move(text), ctx, false); });
        if (html) step("tag joins", [&] { Shared::JoinTags(text); });
        if (!(script && noEmptyLines)) step("empty lines", [&] { Shared::CollapseEmptyLines(text, ctx.b); });
        Shared::RemoveLeadingLineEnding(text, ctx.b);
        std::vector<SyntaxCheck::Unbalanced> found;
        if (html) {
          step("variables", [&] { text = mVarialbles::DoUpdateVariables(std::move(text), env.vars, env.now, ctx); });
          step("tag check", [&] { found = SyntaxCheck::CheckPage(text, dicts); });
        }
        if (r == 0) {
          const auto whole = trimora::OptimizeText(f, kd.kind, false, env);
          if (whole.text != text || whole.unbalanced.size() != found.size()) mismatch = true;
        }
      }
      for (const auto& [name, sec] : t)
        if (!best.count(name) || sec < best[name]) best[name] = sec;
    }
    double total = 0;
    for (const auto& [name, sec] : best) total += sec;
    std::printf("%s: %.2f MB, %.1f ms in all, %.0f MB/s%s\n", kd.name, kd.bytes / 1e6, total * 1e3,
                kd.bytes / 1e6 / total, mismatch ? "  (MIRROR DIFFERS FROM THE SEQUENCE)" : "");
    for (const auto& name : order)
      std::printf("  %-18s %7.2f ms %5.1f%%  %6.0f MB/s\n", name.c_str(), best[name] * 1e3,
                  100 * best[name] / total, kd.bytes / 1e6 / best[name]);
  }
  return 0;
}

// ---- Digests ------------------------------------------------------------------------------

// The option sets a digest covers: the start values, all flipped, and each flag flipped alone.
std::vector<std::pair<std::string, trimora::Options>> OptionSets() {
  std::vector<std::pair<std::string, trimora::Options>> sets;
  const trimora::Options start;
  sets.push_back({"start", start});
  auto flip = [](trimora::Options o, int which) {
    bool* flags[] = {&o.TrimTAB, &o.TrimDoubleSpace, &o.TrimEmptyLines, &o.TrimAllComments,
                     &o.TrimLineBreaksHTML, &o.TrimLineBreaksCSS, &o.TrimBrixelComments};
    for (int i = 0; i < 7; ++i)
      if (which < 0 || which == i) *flags[i] = !*flags[i];
    return o;
  };
  sets.push_back({"flipped", flip(start, -1)});
  for (int i = 0; i < 7; ++i) sets.push_back({"flip" + std::to_string(i), flip(start, i)});
  return sets;
}

std::string DigestOf(const trimora::Optimized& out) {
  QCryptographicHash h(QCryptographicHash::Sha1);
  h.addData(QByteArrayView(out.text.data(), static_cast<qsizetype>(out.text.size())));
  for (const auto& u : out.unbalanced) {
    const std::string f = "\n" + u.name + " " + std::to_string(u.startTags) + " " + std::to_string(u.endTags);
    h.addData(QByteArrayView(f.data(), static_cast<qsizetype>(f.size())));
  }
  return h.result().toHex().toStdString();
}

// Every option set, with and without a usable variables file, over one text of one kind.
void DigestText(const std::string& name, const std::string& text, FileKind kind, bool php,
                const SyntaxCheck::Dictionaries& dicts) {
  static const auto sets = OptionSets();
  for (int v = 0; v < 2; ++v) {
    for (const auto& [setName, opts] : sets) {
      if (v == 1 && setName != "start") continue;
      auto env = MakeEnv(&dicts);
      env.opts = opts;
      if (v == 1) env.vars = {"Home;About us;#VARIABLE3#;#ISODATE#; x ", true};
      std::string result;
      try {
        result = DigestOf(trimora::OptimizeText(text, kind, php, env));
      } catch (const std::exception& e) {
        result = std::string("threw ") + e.what();
      }
      std::printf("%s\t%d%s\t%s%s\t%s\n", name.c_str(), static_cast<int>(kind), php ? "p" : "",
                  setName.c_str(), v ? "+vars" : "", result.c_str());
    }
  }
}

int DigestFolders(int argc, char** argv) {
  const auto dicts = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  for (int a = 0; a < argc; ++a) {
    const fs::path root = argv[a];
    std::vector<fs::path> paths;
    for (auto& e : fs::recursive_directory_iterator(root))
      if (e.is_regular_file()) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& p : paths) {
      const FileKind k = KindOf(p);
      if (k == FileKind::Other) continue;
      const std::string text = ReadAll(p);
      const std::string name = p.lexically_relative(root.parent_path()).string();
      DigestText(name, text, k, false, dicts);
      if (k == FileKind::Html) DigestText(name, text, k, true, dicts);
      // The same file with other line endings.
      std::string crlf, cr = text;
      for (char c : text) { if (c == '\n') crlf += '\r'; crlf += c; }
      std::replace(cr.begin(), cr.end(), '\n', '\r');
      DigestText(name + "#crlf", crlf, k, false, dicts);
      DigestText(name + "#cr", cr, k, false, dicts);
    }
  }
  return 0;
}

// Texts put together from the pieces the passes look for, with random bytes between them.
int DigestRandom(int n, uint64_t seed) {
  const auto dicts = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  static const char* const pieces[] = {
      "<!--", "-->", "//-->", "<!-- End", "<!-- End include -->", "<!-- bxinclude ", "<!-- #BeginEditable",
      "<style>", "<style type=\"text/css\">", "</style>", "<STYLE", "</STYLE>", "<script>", "<script type=\"x\">",
      "</script>", "</SCRIPT>", "<script", "</script", "style=\"", "style='", " style=\"color : red ; \"", "src=\"",
      "\"", "'", "`", "${", "}", "/*", "*/", "//", "///", "/", "\\", "\\\"", "//<![CDATA[", "//]]>", "<![CDATA[",
      "]]>", "url(", ")", "> <", ">  <", "> \n <", "\r\n", "\r", "\n", "\n\n", "\n\n\n", "\t", "\t\t", " ", "  ",
      "   ", ": ", "; ", " ;", " {", "{ ", " }", "} ", " ,", ", ", " :", ";}", "{", "charset=", "charset=\"shift_jis\"",
      "encoding=\"euc-jp\"", "charset=x-sjis", "<meta charset=utf-8>", "<html>", "<html lang=en>", "<body>",
      "</body>", "</html>", "<!DOCTYPE html>", "<!doctype HTML>", "#VARIABLE1#", "#VARIABLE2#", "#VARIABLE3#",
      "#VARIABLE", "#ISODATE#", "#ARPADATE#", "#SHORTDATE#", "#LONGDATE#", "#", "return", "return /x/", "a = b / c;",
      "x = /re\\/g/;", "\x83\x5c", "\x83\x5c\x5c", "\xe2\x80\xa8", "\xef\xbb\xbf", "<div>", "</div>", "<p>", "</p>",
      "<span>", "</span>", "<br>", "<img src=\"a\">", "<table>", "</table>", "<td>", "<li>", "<ul>", "</ul>", "<?php",
      "?>", "<%", "%>", "a", "b", "x", "color", "red", "@media", "@import", "!important", "0", "1", "\x00", "\xff",
      "<textarea>", "</textarea>", "<pre>", "</pre>", "<code>", "if (a < b) {", "c++", "--", "-", "<", ">", "=", "\\n"};
  constexpr int kPieces = sizeof(pieces) / sizeof(pieces[0]);
  std::mt19937_64 rng(seed);
  auto below = [&](uint64_t m) { return static_cast<int>(rng() % m); };
  for (int i = 0; i < n; ++i) {
    std::string text;
    const int len = 1 + below(i % 10 == 0 ? 400 : 60);
    for (int k = 0; k < len; ++k) {
      if (below(8) == 0) text += static_cast<char>(below(256));
      else text += pieces[below(kPieces)];
    }
    const FileKind kinds[] = {FileKind::Html, FileKind::Css, FileKind::Script};
    for (FileKind k : kinds) DigestText("random" + std::to_string(i), text, k, false, dicts);
    DigestText("random" + std::to_string(i), text, FileKind::Html, true, dicts);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "throughput" && argc > 2) return Throughput(argv[2], argc > 3 ? std::atoi(argv[3]) : 3, argc > 4 ? argv[4] : "");
  if (mode == "scaling") return Scaling();
  if (mode == "passes" && argc > 2) return Passes(argv[2], argc > 3 ? std::atoi(argv[3]) : 3);
  if (mode == "memory" && argc > 2) return Memory(argv[2], argc > 3 ? std::atoi(argv[3]) : 100);
  if (mode == "digest" && argc > 2) return DigestFolders(argc - 2, argv + 2);
  if (mode == "digest-random" && argc > 2)
    return DigestRandom(std::atoi(argv[2]), argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20240611);
  std::fprintf(stderr, "usage: engine_bench throughput SITE [REPEAT] | scaling | memory html|css|js MB | digest FOLDER... | digest-random N [SEED]\n");
  return 2;
}
