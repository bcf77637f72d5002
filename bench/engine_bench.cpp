// Engine benchmarks: throughput of the whole per-file sequence per file kind on a real corpus,
// the growth of the time with the input for the inputs that would expose a quadratic loop, and
// the memory one large file needs.
//
//   engine_bench throughput SITE_FOLDER [REPEAT]
//   engine_bench scaling
//   engine_bench memory html|css|js MB   (one kind per process keeps the peaks apart)
#include "compress/Optimizer.h"
#include "tagcheck/SyntaxCheck.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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

double Seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

trimora::OptimizeEnv MakeEnv(const SyntaxCheck::Dictionaries* dicts) {
  trimora::OptimizeEnv env;
  env.now = QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41));
  env.dicts = dicts;
  return env;
}

int Throughput(const fs::path& site, int repeat) {
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
    double best = 1e9;
    size_t out = 0;
    for (int r = 0; r < repeat; ++r) {
      size_t o = 0;
      best = std::min(best, Seconds([&] {
        for (const auto& f : kd.files) o += trimora::OptimizeText(f, kd.kind, false, env).text.size();
      }));
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

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "throughput" && argc > 2) return Throughput(argv[2], argc > 3 ? std::atoi(argv[3]) : 3);
  if (mode == "scaling") return Scaling();
  if (mode == "memory" && argc > 2) return Memory(argv[2], argc > 3 ? std::atoi(argv[3]) : 100);
  std::fprintf(stderr, "usage: engine_bench throughput SITE [REPEAT] | scaling | memory html|css|js MB\n");
  return 2;
}
