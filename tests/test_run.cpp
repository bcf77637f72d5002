// The run over a list of files: rows, totals, findings, backups in "Tmp", failures at one file,
// and the parallel run giving exactly what the sequential one gives.
#include "compress/Run.h"

#include "app/mFile.h"

#include "TestPlatform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <stdexcept>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TestPlatform;
using testing_support::WriteFile;

const std::string kTilde = "\xE2\x88\xBC/";

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mFile::InitAppSupportFolder(platform);
    fs::create_directories(mFile::AppSupportFolder());
    mFile::SetTmpFileNumber(1);
    settings.originalFolder = platform.root() / "shop";
    settings.optimizedFolder = platform.DesktopFolder() / "shop Compressed";
    fs::create_directories(settings.originalFolder);
    fs::create_directories(settings.optimizedFolder);
    // Only the driver's own steps act on these fixtures.
    settings.opts.TrimAllComments = false;
  }
  void TearDown() override { mFile::SetAppSupportFolder({}); }

  fs::path Site(const std::string& rel, const std::string& bytes) {
    const fs::path p = settings.optimizedFolder / rel;
    WriteFile(p, bytes);
    return p;
  }

  std::vector<std::string> Rows(const trimora::RunReport& r) {
    std::vector<std::string> out;
    for (const auto& row : r.rows) out.push_back(row.path + "\t" + row.bytes);
    return out;
  }

  TestPlatform platform;
  trimora::RunSettings settings;
};

TEST_F(RunTest, RowsTotalsAndTheRewrittenFiles) {
  const std::vector<fs::path> files = {
      Site("index.html", "<p>a</p>\n\n\n<p>b</p>\n"),  // 2 bytes lost
      {},                                              // an empty slot
      Site("sub/index.html", "<a> <b>"),              // 1 lost, 1 gained (final LF): 0
      Site("css/site.css", "a,\tb{x:y}\n"),            // tab -> blank
      Site("js/app.js", "f();\n// note\ng();\n"),      // comment line at column 1
      Site("logo.png", "\x89PNG\t\t"),                 // not rewritten
      Site("page.php", "<p>  </p>"),                   // not rewritten
      settings.optimizedFolder / "vanished.html",      // gone since collection
  };
  std::vector<size_t> seen;
  const auto report = trimora::Run(files, settings, platform,
                                   [&](const trimora::ResultRow&, size_t index, size_t count) {
                                     EXPECT_EQ(count, files.size());
                                     seen.push_back(index);
                                   });
  EXPECT_EQ(Rows(report), (std::vector<std::string>{kTilde + "index.html\t2 bytes", kTilde + "sub/index.html\t0 bytes",
                                                    kTilde + "css/site.css\t0 bytes", kTilde + "js/app.js\t8 bytes"}));
  EXPECT_EQ(seen, (std::vector<size_t>{0, 2, 3, 4}));
  EXPECT_EQ(report.total, 10);
  EXPECT_EQ(report.totalLabel, "Total bytes removed: ");
  EXPECT_EQ(report.totalBytes, "10 bytes");
  EXPECT_EQ(ReadFile(files[0]), "<p>a</p>\n<p>b</p>\n");
  EXPECT_EQ(ReadFile(files[2]), "<a><b>\n");
  EXPECT_EQ(ReadFile(files[5]), "\x89PNG\t\t");
  EXPECT_EQ(ReadFile(files[6]), "<p>  </p>");
  EXPECT_EQ(report.rows[1].file, files[2]);
  // "Tmp" is emptied and renumbered when the run ends.
  EXPECT_TRUE(fs::is_empty(mFile::TmpFolder()));
  EXPECT_EQ(mFile::TmpFileNumber(), 1);
}

TEST_F(RunTest, AnEmptyListGivesTheTotalsRowAlone) {
  const auto report = trimora::Run({}, settings, platform);
  EXPECT_TRUE(report.rows.empty());
  EXPECT_EQ(report.totalBytes, "0 bytes");
}

TEST_F(RunTest, AFileThatGrowsShowsANegativeNumber) {
  // A date stamp longer than its placeholder.
  const auto f = Site("a.html", "#ISODATE#\n");
  const auto report = trimora::Run({f}, settings, platform);
  EXPECT_EQ(ReadFile(f), "2012-03-07");
  EXPECT_EQ(report.rows.at(0).bytes, "0 bytes");
  const auto g = Site("b.html", "#ARPADATE#");
  const auto r2 = trimora::Run({g}, settings, platform);
  EXPECT_EQ(ReadFile(g), "Wed, 07 Mar 2012 09:05:41 +0100");
  EXPECT_EQ(r2.rows.at(0).bytes, "-21 bytes");
  EXPECT_EQ(r2.total, -21);
}

TEST_F(RunTest, VariablesComeFromTheSiteFolder) {
  WriteFile(settings.originalFolder / "_variables" / "_variables.txt", "Home;About us;");
  const auto f = Site("index.html", "<title>#VARIABLE1# - #VARIABLE2##VARIABLE3#</title>\n");
  trimora::Run({f}, settings, platform);
  EXPECT_EQ(ReadFile(f), "<title>Home - About us</title>\n");
}

TEST_F(RunTest, DatesAndPermissionsAreKept) {
  const auto f = Site("index.html", "<p>  a</p>\n");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
  fs::last_write_time(f, old);
  fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  trimora::Run({f}, settings, platform);
  EXPECT_EQ(ReadFile(f), "<p> a</p>\n");
  EXPECT_EQ(fs::last_write_time(f), old);
  EXPECT_EQ(fs::status(f).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(RunTest, FindingsNameThePageInRunOrder) {
  SyntaxCheck::Dictionaries dicts;
  dicts.html.names = {"div", "p", ""};
  settings.dicts = &dicts;
  const auto a = Site("b/page.html", "<html><body><div><p></body></html>\n");
  const auto b = Site("a.html", "<html><body><div></div></body></html>\n");
  const auto c = Site("a/page.html", "<html><body></div></body></html>\n");
  const auto report = trimora::Run({a, b, c}, settings, platform);
  ASSERT_EQ(report.findings.size(), 3u);
  EXPECT_EQ(report.findings[0].message, kTilde + "b/page.html <div> Tags  Start Tags: 1 End Tags: 0");
  EXPECT_EQ(report.findings[1].message, kTilde + "b/page.html <p> Tags  Start Tags: 1 End Tags: 0");
  EXPECT_EQ(report.findings[2].message, kTilde + "a/page.html <div> Tags  Start Tags: 0 End Tags: 1");
  EXPECT_EQ(report.findings[2].file, c);
}

TEST_F(RunTest, AnUnreadableFileGetsARowAndIsNotWritten) {
  const auto folder = settings.optimizedFolder / "folder.html";  // reads fail on a folder
  fs::create_directories(folder / "x");
  const auto ok = Site("ok.html", "<a> <b>\n");
  const auto report = trimora::Run({folder, ok}, settings, platform);
  EXPECT_EQ(Rows(report), (std::vector<std::string>{kTilde + "folder.html\tread failed", kTilde + "ok.html\t1 bytes"}));
  EXPECT_FALSE(report.rows[0].ok);
  EXPECT_EQ(report.total, 1);
  EXPECT_TRUE(fs::is_directory(folder / "x"));
}

TEST_F(RunTest, AnErrorAtOneFileIsLoggedAndTheRunGoesOn) {
  struct Failing : TestPlatform {
    std::string DisplayName(const fs::path& p) const override {
      if (p.filename() == "bad.html") throw std::runtime_error("display name unavailable");
      return TestPlatform::DisplayName(p);
    }
  } failing;
  const fs::path log = failing.DesktopFolder() / "Trimora.error";
  for (int jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    settings.jobs = jobs;
    fs::remove(log);
    const auto bad = Site("bad.html", "<a> <b>\n");
    const auto good = Site("good.html", "<a> <b>\n");
    const auto report = trimora::Run({bad, good}, settings, failing);
    EXPECT_EQ(Rows(report), (std::vector<std::string>{kTilde + "bad.html\terror: display name unavailable",
                                                      kTilde + "good.html\t1 bytes"}));
    EXPECT_EQ(report.totalBytes, "1 bytes");
    EXPECT_EQ(ReadFile(bad), "<a> <b>\n");
    const std::string text = ReadFile(log);
    EXPECT_EQ(text.compare(0, 47, "std::runtime_error\rMesage: display name unavail"), 0) << text;
    EXPECT_NE(text.find("\r< stack Info >\r"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 20), "\r< stack Info End >\r");
  }
}

TEST_F(RunTest, AFailedWriteKeepsTheOldFileAndAddsNothing) {
  const std::string big = "<p>" + std::string(20000, 'x') + "</p>  \n";
  const auto large = Site("large.html", big);
  const auto small = Site("small.html", "<a> <b>\n");
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A file-size limit: the large page cannot be written, whoever runs the test.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8192, 8192};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const auto report = trimora::Run({large, small}, settings, platform);
    std::string out;
    for (const auto& row : report.rows) out += row.path + "\t" + row.bytes + "\n";
    out += report.totalBytes;
    (void)!::write(fds[1], out.data(), out.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string got;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(got, kTilde + "large.html\twrite failed\n" + kTilde + "small.html\t1 bytes\n1 bytes");
  EXPECT_EQ(ReadFile(large), big);
  EXPECT_EQ(ReadFile(small), "<a><b>\n");
}

// Every backup lands in "Tmp" under the next number, in list order, whatever the jobs.
TEST_F(RunTest, ParallelRunIsExactlyTheSequentialRun) {
  SyntaxCheck::Dictionaries dicts;
  dicts.html.names = {"div", ""};
  settings.dicts = &dicts;
  std::vector<fs::path> files;
  std::vector<std::string> originals;
  // More files than the workers may run ahead of the commits with two jobs.
  for (int i = 0; i < 200; ++i) {
    std::string body = "<html><body>\n";
    for (int k = 0; k < i % 60 * 7; ++k) body += (k % 3 ? "<div> <p>\t\tx</p>\n\n" : "</div>  \n");
    body += "</body></html>";
    const std::string name = (i % 5 == 0 ? "s" + std::to_string(i % 3) + "/" : "") + "p" + std::to_string(i) +
                             (i % 4 == 1 ? ".css" : i % 4 == 2 ? ".js" : i % 7 == 3 ? ".png" : ".html");
    files.push_back(Site(name, body));
    originals.push_back(body);
  }
  files.insert(files.begin() + 10, fs::path());

  auto runWith = [&](int jobs, std::vector<std::string>* outputs) {
    for (size_t i = 0, k = 0; i < files.size(); ++i)
      if (!files[i].empty()) WriteFile(files[i], originals[k++]);
    settings.jobs = jobs;
    std::vector<std::string> backups;
    const auto report = trimora::Run(files, settings, platform, [&](const trimora::ResultRow& row, size_t, size_t) {
      // The row's file has just been written and its previous version is the newest backup.
      const fs::path backup = mFile::TmpFolder() / (std::to_string(mFile::TmpFileNumber() - 1) + ".txt");
      backups.push_back(row.path + ":" + ReadFile(backup).substr(0, 40));
    });
    outputs->clear();
    for (const auto& f : files)
      if (!f.empty()) outputs->push_back(ReadFile(f));
    std::string summary;
    for (const auto& row : report.rows) summary += row.path + "\t" + row.bytes + "\n";
    for (const auto& f : report.findings) summary += f.message + "\n";
    for (const auto& b : backups) summary += b + "\n";
    return summary + report.totalBytes;
  };
  std::vector<std::string> seq, par;
  const std::string one = runWith(1, &seq);
  EXPECT_NE(one.find("Start Tags"), std::string::npos);
  for (int jobs : {2, 4, 16}) {
    SCOPED_TRACE(jobs);
    EXPECT_EQ(runWith(jobs, &par), one);
    EXPECT_EQ(par, seq);
  }
}

// ---- A small site through the whole run, against reviewed results ---------------------------
// TRIMORA_UPDATE_GOLDEN=1 rewrites the expected files from the current output.

namespace golden {

const fs::path kData = fs::path(TRIMORA_TEST_DATA) / "golden";

TEST_F(RunTest, GoldenSite) {
  const fs::path site = kData / "site";
  settings.originalFolder = site;
  fs::remove_all(settings.optimizedFolder);
  fs::copy(site, settings.optimizedFolder, fs::copy_options::recursive);
  const auto dicts = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  settings.dicts = &dicts;
  settings.opts = trimora::Options();
  const std::vector<std::string> pages = {"about/index.html", "css/site.css", "index.html", "js/app.js"};
  std::vector<fs::path> files;
  for (const auto& p : pages) files.push_back(settings.optimizedFolder / p);
  const auto report = trimora::Run(files, settings, platform);

  std::string summary;
  for (const auto& row : report.rows) summary += row.path + "\t" + row.bytes + "\n";
  summary += report.totalLabel + "\t" + report.totalBytes + "\n";
  for (const auto& f : report.findings) summary += f.message + "\n";
  const bool update = std::getenv("TRIMORA_UPDATE_GOLDEN") != nullptr;
  auto compare = [&](const fs::path& expected, const std::string& actual) {
    if (update) WriteFile(expected, actual);
    EXPECT_EQ(ReadFile(expected), actual) << expected;
  };
  compare(kData / "expected" / "report.txt", summary);
  for (const auto& p : pages) compare(kData / "expected" / p, ReadFile(settings.optimizedFolder / p));
}

}  // namespace golden

}  // namespace
