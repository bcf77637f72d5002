// trimora-cli compress SITE: what the Compress button does, without a window. Copies SITE to
// "<name> Compressed" in the output folder (the Desktop by default), sending an earlier copy
// to the Trash, rewrites the collected files of the copy and prints one row per file, the
// totals row, the tag-check findings and every item that could not be copied.
//
// Exit status: 0 done; 1 something could not be copied, read or written (each is named);
// 2 bad input, nothing created; 130 interrupted during the copy (the partial copy stays and no
// file is rewritten). The window's preference files are neither read nor written.
#include "cli/Commands.h"

#include "app/Platform.h"
#include "app/mError.h"
#include "app/mFile.h"
#include "app/mPrefs.h"
#include "compress/Run.h"
#include "compress/SiteCopy.h"
#include "tagcheck/SyntaxCheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: trimora-cli compress SITE [--out DIR] [--jobs N] [--json] [--keep-tabs]\n"
    "       [--keep-double-spaces] [--keep-empty-lines] [--keep-comments] [--html-linebreaks]\n"
    "       [--css-linebreaks]\n";

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

int Refuse(const std::string& message) {
  std::fprintf(stderr, "trimora-cli: %s\n", message.c_str());
  return 2;
}

// "Error!\rThis Directory is in Trash." -> "Error! This Directory is in Trash."
std::string OneLine(std::string message) {
  for (char& c : message)
    if (c == '\r' || c == '\n') c = ' ';
  return message;
}

struct Settings {
  fs::path site;
  std::optional<fs::path> out;
  int jobs = 0;
  bool json = false;
  trimora::Options opts;  // the start values; the window's remembered ones are not read
};

// Parses the arguments; an error text when they are not usable.
std::optional<std::string> Parse(const Args& args, Settings& s) {
  bool haveSite = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      (void)what;
      return args[++i];
    };
    if (a == "--keep-tabs") s.opts.TrimTAB = false;
    else if (a == "--keep-double-spaces") s.opts.TrimDoubleSpace = false;
    else if (a == "--keep-empty-lines") s.opts.TrimEmptyLines = false;
    else if (a == "--keep-comments") s.opts.TrimAllComments = false;
    else if (a == "--html-linebreaks") s.opts.TrimLineBreaksHTML = true;
    else if (a == "--css-linebreaks") s.opts.TrimLineBreaksCSS = true;
    else if (a == "--json") s.json = true;
    else if (a == "--out") {
      auto v = value("--out");
      if (!v || v->empty()) return "--out needs a folder";
      s.out = fs::path(*v);
    } else if (a == "--jobs") {
      auto v = value("--jobs");
      if (!v) return "--jobs needs a number";
      int n = 0;
      size_t used = 0;
      try {
        n = std::stoi(*v, &used);
      } catch (...) {
        used = 0;
      }
      if (used != v->size() || n < 1 || n > 1024) return "--jobs needs a number from 1 to 1024";
      s.jobs = n;
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option \"" + a + "\"";
    } else if (!haveSite) {
      s.site = fs::path(a);
      haveSite = true;
    } else {
      return "compress takes one site folder";
    }
  }
  if (!haveSite) return "no site folder given";
  return std::nullopt;
}

// A progress line on standard error, redrawn at most 20 times a second, only on a terminal.
class ProgressLine {
 public:
  ProgressLine() : on_(::isatty(STDERR_FILENO) == 1) {}
  ~ProgressLine() { Clear(); }

  void Copying(const trimora::CopyProgress& p) {
    if (!Due()) return;
    Draw("copying: " + std::to_string(p.files) + " files, " + std::to_string(p.bytes / 1000000) + " MB  " + p.text);
  }
  void Rewriting(size_t done, size_t count) {
    if (!on_ || (done != count && !Due())) return;
    constexpr size_t kWidth = 30;
    const size_t filled = count ? done * kWidth / count : kWidth;
    Draw("rewriting [" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] " + std::to_string(done) +
         "/" + std::to_string(count));
  }
  void Clear() {
    if (on_ && drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

 private:
  bool Due() {
    if (!on_) return false;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(50)) return false;
    last_ = now;
    return true;
  }
  void Draw(std::string text) {
    if (text.size() > 100) text.resize(100);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool on_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool WriteOut(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

}  // namespace

namespace {

int CompressSite(const Args& args) {
  Settings s;
  if (auto err = Parse(args, s)) {
    std::fprintf(stderr, "trimora-cli: %s\n%s", err->c_str(), kUsage);
    return 2;
  }
  if (s.jobs == 0) s.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

  platform::Platform& system = platform::System();
  std::error_code ec;
  if (!fs::exists(s.site, ec)) return Refuse("\"" + s.site.string() + "\": no such folder");
  if (!fs::is_directory(s.site, ec)) return Refuse("\"" + s.site.string() + "\" is not a folder");
  std::string told;
  const mFile::Tell tell = [&](const std::string& m) { told = m; };
  if (mFile::isAlreadyCompressed(s.site, tell) || mFile::isInTrash(s.site, system, tell)) return Refuse(OneLine(told));
  const fs::path out = s.out ? *s.out : system.DesktopFolder();
  if (!fs::is_directory(out, ec)) return Refuse("\"" + out.string() + "\": no such folder for the copy");
  if (::access(out.c_str(), W_OK | X_OK) != 0) return Refuse("\"" + out.string() + "\" is not writable");

  // A file-size limit must fail the one write it stops, not end the process.
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  struct sigaction previous {};
  ::sigaction(SIGINT, nullptr, &previous);
  const bool interruptible = previous.sa_handler != SIG_IGN;  // started in the background: leave it so
  if (interruptible) {
    ::sigaction(SIGINT, &sa, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  }

  // The files the run will rewrite are rewritten as they are copied: their bytes are written
  // once. The run then reports them in its order and rewrites whatever the copy left to it.
  const auto dicts = SyntaxCheck::LoadDictionaries(system.ResourcesFolder());
  trimora::RunSettings settings;
  settings.opts = s.opts;
  settings.dicts = &dicts;
  settings.jobs = s.jobs;

  ProgressLine progress;
  trimora::SiteCopyRequest request;
  request.site = s.site;
  request.destinationParent = out;
  request.cancel = &gInterrupted;
  request.progress = [&](const trimora::CopyProgress& p) { progress.Copying(p); };
  request.threads = s.jobs;
  request.rewrite = &settings;
  trimora::SiteCopyResult copied = trimora::CopySite(request, system);
  // From here on Ctrl-C ends the process as usual; every rewrite replaces its file whole.
  if (interruptible) ::sigaction(SIGINT, &previous, nullptr);
  progress.Clear();
  if (!copied.ok()) {
    std::fprintf(stderr, "trimora-cli: %s\n", OneLine(copied.error).c_str());
    return copied.refused ? 2 : 1;
  }

  trimora::RunReport report;
  std::vector<fs::path> files;
  if (!copied.cancelled) {
    // "Tmp" lives in the support folder; the preference files beside it are left alone.
    mFile::InitAppSupportFolder(system);
    const fs::path support = mFile::AppSupportFolder();
    if (!support.empty() && !fs::exists(support, ec)) ::mkdir(support.c_str(), 0777);

    files = trimora::FindTheFiles(copied.copy, system);
    settings.originalFolder = copied.site;
    settings.optimizedFolder = copied.copy;
    settings.ahead = &copied.ahead;
    size_t done = 0;
    report = trimora::RunCollected(files, settings, system, [&](const trimora::ResultRow&, size_t, size_t count) {
      progress.Rewriting(++done, count);
    });
    progress.Clear();
  }

  const fs::path& siteRoot = copied.site;
  size_t failedRows = 0;
  for (const auto& r : report.rows) failedRows += r.ok ? 0 : 1;

  bool written = true;
  if (s.json) {
    QJsonObject doc;
    doc["copy"] = Q(copied.copy.string());
    if (!copied.trashed.empty()) doc["trashed"] = Q(copied.trashed.string());
    doc["cancelled"] = copied.cancelled;
    QJsonArray rows;
    for (const auto& r : report.rows) {
      QJsonObject o;
      o["path"] = Q(r.path);
      o["bytes"] = Q(r.bytes);
      o["ok"] = r.ok;
      if (r.ok) o["removed"] = static_cast<qint64>(r.removed);
      rows.append(o);
    }
    doc["rows"] = rows;
    if (!copied.cancelled) {
      QJsonObject total;
      total["label"] = Q(report.totalLabel);
      total["bytes"] = Q(report.totalBytes);
      total["removed"] = static_cast<qint64>(report.total);
      doc["total"] = total;
    }
    QJsonArray findings;
    for (const auto& f : report.findings) findings.append(Q(f.message));
    doc["findings"] = findings;
    QJsonArray failures;
    for (const auto& f : copied.failures) {
      QJsonObject o;
      o["path"] = Q(mFile::GetExtraServerPathStr(siteRoot, f.item));
      o["reason"] = Q(f.reason);
      failures.append(o);
    }
    doc["copyFailures"] = failures;
    written = WriteOut(QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString());
  } else {
    std::string text;
    for (const auto& r : report.rows) text += r.path + "\t" + r.bytes + "\n";
    if (!copied.cancelled) text += report.totalLabel + "\t" + report.totalBytes + "\n";
    for (const auto& f : report.findings) text += f.message + "\n";
    for (const auto& f : copied.failures)
      text += "not copied: " + mFile::GetExtraServerPathStr(siteRoot, f.item) + "\t" + f.reason + "\n";
    written = WriteOut(text);
  }

  if (!copied.failures.empty())
    std::fprintf(stderr, "trimora-cli: the copy is incomplete: %zu item%s could not be copied\n",
                 copied.failures.size(), copied.failures.size() == 1 ? "" : "s");
  if (failedRows)
    std::fprintf(stderr, "trimora-cli: %zu file%s could not be rewritten\n", failedRows, failedRows == 1 ? "" : "s");
  if (copied.cancelled) {
    std::fprintf(stderr, "trimora-cli: interrupted; the partial copy stays in \"%s\" and no file was rewritten\n",
                 copied.copy.c_str());
    return 130;
  }
  if (!written) {
    std::fprintf(stderr, "trimora-cli: cannot write the result\n");
    return 1;
  }
  return copied.failures.empty() && failedRows == 0 ? 0 : 1;
}

}  // namespace

int Compress(const Args& args) {
  // Anything unexpected goes to the error log, as the window's copy worker does it, and the
  // command says so instead of ending without a word.
  try {
    return CompressSite(args);
  } catch (const std::exception& e) {
    mError::ReportException(platform::System(), e);
    std::fprintf(stderr, "trimora-cli: error: %s\n", e.what());
  } catch (...) {
    mError::ReportUnknownException(platform::System());
    std::fprintf(stderr, "trimora-cli: error: unknown exception\n");
  }
  return 1;
}

}  // namespace cli
