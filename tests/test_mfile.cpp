// File services: the support folder, raw reads and writes with their backups in "Tmp", file
// kinds, site-relative paths, and the error log.
#include "app/mError.h"
#include "app/mFile.h"

#include "TestPlatform.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TestPlatform;
using testing_support::WriteFile;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mFile::InitAppSupportFolder(platform);
    fs::create_directories(mFile::AppSupportFolder());
    mFile::SetTmpFileNumber(1);
  }
  void TearDown() override { mFile::SetAppSupportFolder({}); }

  std::set<std::string> TmpEntries() const {
    std::set<std::string> names;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(mFile::TmpFolder(), ec)) names.insert(e.path().filename().string());
    return names;
  }

  TestPlatform platform;
};

// ---- Support folder -------------------------------------------------------------------------

TEST_F(FileTest, SupportFolderIsTheAppDataChildInsideHome) {
  EXPECT_EQ(mFile::AppSupportFolder(), platform.ApplicationDataFolder() / "Trimora");
  EXPECT_EQ(mFile::TmpFolder(), platform.ApplicationDataFolder() / "Trimora" / "Tmp");

  struct Outside : TestPlatform {
    fs::path ApplicationDataFolder() const override { return root() / "elsewhere"; }
  } outside;
  fs::create_directories(outside.ApplicationDataFolder());
  mFile::InitAppSupportFolder(outside);
  EXPECT_TRUE(mFile::AppSupportFolder().empty());
  EXPECT_TRUE(mFile::TmpFolder().empty());
}

// ---- Reads ----------------------------------------------------------------------------------

TEST_F(FileTest, RawReadsAndTheFailureMarker) {
  const fs::path dir = platform.root() / "site";
  WriteFile(dir / "empty.html", "");
  WriteFile(dir / "star.txt", "*");
  const std::string bytes("a\r\nb\0\xFF\r", 7);
  WriteFile(dir / "raw.bin", bytes);

  EXPECT_EQ(mFile::ReadRawTextFile({}), "");
  EXPECT_EQ(mFile::ReadRawTextFile(dir / "missing"), "*");
  EXPECT_EQ(mFile::ReadRawTextFile(dir), "");
  EXPECT_EQ(mFile::ReadRawTextFile(dir / "empty.html"), "");
  EXPECT_EQ(mFile::ReadRawTextFile(dir / "raw.bin"), bytes);
  EXPECT_EQ(mFile::ReadRawTextFile(dir / "star.txt"), "*");  // cannot be told from a failure

  // The run's read tells them apart.
  EXPECT_EQ(mFile::ReadFileBytes(dir / "star.txt"), std::optional<std::string>("*"));
  EXPECT_EQ(mFile::ReadFileBytes(dir / "empty.html"), std::optional<std::string>(""));
  EXPECT_FALSE(mFile::ReadFileBytes(dir / "missing"));
  EXPECT_FALSE(mFile::ReadFileBytes(dir));
}

// ---- Writes and "Tmp" -----------------------------------------------------------------------

TEST_F(FileTest, ThreeWritesLeaveTwoNumberedBackups) {
  const fs::path file = platform.root() / "site" / "index.html";
  fs::create_directories(file.parent_path());
  for (const char* v : {"one", "two", "three"}) ASSERT_TRUE(mFile::WriteFileBytes(file, v));
  EXPECT_EQ(ReadFile(file), "three");
  EXPECT_EQ(TmpEntries(), (std::set<std::string>{"1.txt", "2.txt"}));
  EXPECT_EQ(ReadFile(mFile::TmpFolder() / "1.txt"), "one");
  EXPECT_EQ(ReadFile(mFile::TmpFolder() / "2.txt"), "two");
  EXPECT_EQ(mFile::TmpFileNumber(), 3);
  // No temporary file is left beside the target.
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);

  mFile::CleanUpTMP();
  EXPECT_TRUE(TmpEntries().empty());
  EXPECT_TRUE(fs::is_directory(mFile::TmpFolder()));
}

TEST_F(FileTest, NamesakesInDifferentFoldersKeepBothBackups) {
  const fs::path a = platform.root() / "site" / "index.html", b = platform.root() / "site" / "sub" / "index.html";
  WriteFile(a, "A");
  WriteFile(b, "B");
  ASSERT_TRUE(mFile::WriteFileBytes(a, "a2"));
  ASSERT_TRUE(mFile::WriteFileBytes(b, "b2"));
  EXPECT_EQ(ReadFile(mFile::TmpFolder() / "1.txt"), "A");
  EXPECT_EQ(ReadFile(mFile::TmpFolder() / "2.txt"), "B");
  // A number already taken is passed over, never overwritten.
  WriteFile(mFile::TmpFolder() / "3.txt", "stray");
  ASSERT_TRUE(mFile::WriteFileBytes(a, "a3"));
  EXPECT_EQ(ReadFile(mFile::TmpFolder() / "3.txt"), "stray");
  EXPECT_EQ(ReadFile(mFile::TmpFolder() / "4.txt"), "a2");
}

TEST_F(FileTest, ANewFileMovesNothingAndAWriteKeepsPermissions) {
  const fs::path file = platform.root() / "new.css";
  ASSERT_TRUE(mFile::WriteFileBytes(file, "x"));
  EXPECT_TRUE(TmpEntries().empty());
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
  ASSERT_TRUE(mFile::WriteFileBytes(file, "y"));
  EXPECT_EQ(ReadFile(file), "y");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::group_read);
}

TEST_F(FileTest, WithoutTmpTheFileIsStillWritten) {
  mFile::SetAppSupportFolder(platform.root() / "no such folder");
  const fs::path file = platform.root() / "page.html";
  WriteFile(file, "old");
  ASSERT_TRUE(mFile::WriteFileBytes(file, "new"));
  EXPECT_EQ(ReadFile(file), "new");
}

TEST_F(FileTest, RefusedWritesLeaveEverythingInPlace) {
  const fs::path folder = platform.root() / "looks.html";
  WriteFile(folder / "inner.txt", "keep");
  EXPECT_FALSE(mFile::WriteFileBytes(folder, "x"));
  EXPECT_EQ(ReadFile(folder / "inner.txt"), "keep");
  EXPECT_FALSE(mFile::WriteFileBytes({}, "x"));
  EXPECT_FALSE(mFile::WriteFileBytes(platform.root() / "missing" / "a.html", "x"));
  EXPECT_TRUE(TmpEntries().empty());
}

TEST_F(FileTest, AWriteThatFailsMidwayKeepsTheOldFile) {
  // A file-size limit makes the write fail even for root; it lives in a child process.
  const fs::path file = platform.root() / "big.html";
  const std::string old(1000, 'o');
  WriteFile(file, old);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const auto r = mFile::WriteFileBytes(file, std::string(100000, 'n'));
    ::_exit(r.ok ? 0 : (r.error.empty() ? 2 : 1));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);  // failed, with a reason
  EXPECT_EQ(ReadFile(file), old);
  EXPECT_TRUE(TmpEntries().empty());
  for (auto& e : fs::directory_iterator(platform.root()))
    EXPECT_EQ(e.path().filename().string().find(".trimora-"), std::string::npos) << e.path();
}

TEST_F(FileTest, AStagedWriteChangesNothingUntilCommitted) {
  const fs::path file = platform.root() / "site" / "a.css", other = platform.root() / "site" / "b.css";
  WriteFile(file, "old");
  WriteFile(other, "other");
  auto dates = mFile::GetFileDates(file);
  dates.modified.tv_sec -= 86400 * 400;
  {
    auto staged = mFile::StagedWrite::Stage(file, "new", 0640, &dates);
    ASSERT_TRUE(staged.staged());
    auto dropped = mFile::StagedWrite::Stage(other, "never");
    ASSERT_TRUE(dropped.staged());
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_TRUE(TmpEntries().empty());
    ASSERT_TRUE(staged.Commit());
    EXPECT_FALSE(staged.Commit());  // once only
  }  // `dropped` goes without a trace
  EXPECT_EQ(ReadFile(file), "new");
  EXPECT_EQ(ReadFile(other), "other");
  EXPECT_EQ(ReadFile(mFile::TmpFolder() / "1.txt"), "old");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
  EXPECT_EQ(mFile::GetFileDates(file).modified.tv_sec, dates.modified.tv_sec);
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 2);
}

TEST_F(FileTest, EmptyingTmpRemovesFoldersAndLinksButNotWhatTheyPointTo) {
  const fs::path keep = platform.root() / "keep.txt";
  WriteFile(keep, "keep");
  WriteFile(mFile::TmpFolder() / "1.txt", "x");
  WriteFile(mFile::TmpFolder() / "folder" / "inner.txt", "y");
  fs::create_symlink(keep, mFile::TmpFolder() / "link");
  mFile::CleanUpTMP();
  EXPECT_TRUE(TmpEntries().empty());
  EXPECT_EQ(ReadFile(keep), "keep");
}

TEST_F(FileTest, DatesComeBack) {
  const fs::path file = platform.root() / "a.js";
  WriteFile(file, "x");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(file, old);
  const auto dates = mFile::GetFileDates(file);
  ASSERT_TRUE(mFile::WriteFileBytes(file, "y"));
  EXPECT_NE(fs::last_write_time(file), old);
  mFile::SetFileDates(file, dates);
  EXPECT_EQ(fs::last_write_time(file), old);
}

// ---- Kinds ----------------------------------------------------------------------------------

TEST_F(FileTest, KindsByTheEndOfTheName) {
  const fs::path dir = platform.root() / "site";
  for (const char* n : {"style.css", "_style.css", "x.csstpl", "archive.php5", "page.phtml", "index.php.html"})
    WriteFile(dir / n, "");
  const struct { const char* name; bool html, script, css, php; } cases[] = {
      {"index.HTML", true, false, false, false},   {"Index.Htm", true, false, false, false},
      {"feed.RSS", true, false, false, false},     {"book.opf", true, false, false, false},
      {"menu.js.tpl", true, false, false, false},  {"a.zhtml", true, false, false, false},
      {"_header.html", false, false, false, false}, {"_script.js", false, true, false, false},
      {"x.js", false, true, false, false},         {"x.json", false, false, false, false},
      {"style.css", false, false, true, false},    {"_style.css", false, false, true, false},
      {"gone.css", false, false, false, false},    {"x.csstpl", false, false, true, false},
      {"archive.php5", false, false, false, true}, {"page.phtml", false, false, false, true},
      {"missing.php", false, false, false, false}, {"index.php.html", true, false, false, false},
      {"htm", false, false, false, false},         {".js", false, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path f = dir / c.name;
    EXPECT_EQ(mFile::isHTML(f), c.html);
    EXPECT_EQ(mFile::isSCRIPT(f), c.script);
    EXPECT_EQ(mFile::isCSS(f), c.css);
    EXPECT_EQ(mFile::isPHP(f, platform), c.php);
  }
  EXPECT_FALSE(mFile::isHTML({}));
  EXPECT_FALSE(mFile::isSCRIPT({}));

  // The PHP test reads the display name: one that hides the extension hides the kind.
  struct Hiding : TestPlatform {
    std::string DisplayName(const fs::path& p) const override { return p.stem().string(); }
  } hiding;
  EXPECT_FALSE(mFile::isPHP(dir / "archive.php5", hiding));
  EXPECT_TRUE(mFile::isPHP(dir / "index.php.html", hiding));
  EXPECT_EQ(mFile::KindOf(dir / "style.css"), trimora::FileKind::Css);
  EXPECT_EQ(mFile::KindOf(dir / "archive.php5"), trimora::FileKind::Other);
}

// ---- Site-relative paths --------------------------------------------------------------------

TEST(SitePaths, TheWholePathBelowTheRoot) {
  const fs::path root = "/Users/ann/Desktop/shop Compressed";
  const std::string t = "\xE2\x88\xBC/";
  const struct { fs::path item; std::string out; } cases[] = {
      {root / "img" / "logo.svg", t + "img/logo.svg"},
      {root / "index.html", t + "index.html"},
      {root, t},
      {root / "", t},
      {root / "about" / "team" / "index.html", t + "about/team/index.html"},
      // A folder that shares the root's name does not cut the path.
      {root / "shop Compressed" / "a.html", t + "shop Compressed/a.html"},
      // No limit on the depth.
      {root / "1/2/3/4/5/6/7/8/9/10/11/x.html", t + "1/2/3/4/5/6/7/8/9/10/11/x.html"},
      {root / "a" / ".." / "b.html", t + "b.html"},
      {"/Users/ann/Desktop/shop/index.html", ""},
      {"/Users/ann/Desktop/shop Compressed2/index.html", ""},
      {"/elsewhere/x.html", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item.string());
    EXPECT_EQ(mFile::GetExtraServerPathStr(root, c.item), c.out);
  }
  EXPECT_EQ(mFile::GetExtraServerPathStr({}, root), "");
}

// ---- Error log ------------------------------------------------------------------------------

TEST(ErrorLog, ReportsAreFiveCarriageReturnEntriesAppended) {
  TestPlatform platform;
  const fs::path log = platform.DesktopFolder() / "Trimora.error";
  mError::ReportException(platform, "std::out_of_range", "", {"main", "QCoreApplication::exec()"});
  EXPECT_EQ(ReadFile(log),
            "std::out_of_range\rMesage: \r< stack Info >\rmain\nTrimora::exec()\r< stack Info End >\r");
  const std::string first = ReadFile(log);

  mError::ReportException(platform, std::runtime_error("disk said QCOREAPPLICATION::EXEC no"));
  const std::string both = ReadFile(log);
  ASSERT_EQ(both.compare(0, first.size(), first), 0);
  const std::string second = both.substr(first.size());
  EXPECT_EQ(second.compare(0, 19, "std::runtime_error\r"), 0) << second;
  EXPECT_NE(second.find("\rMesage: disk said Trimora::exec no\r< stack Info >\r"), std::string::npos) << second;
  EXPECT_EQ(second.substr(second.size() - 20), "\r< stack Info End >\r");
}

TEST(ErrorLog, AnUnwritableLogIsSilentlySkipped) {
  TestPlatform platform;
  const fs::path log = platform.DesktopFolder() / "Trimora.error";
  fs::create_directories(log);  // a folder where the log would be
  mError::AppendToErrFIle(platform, "lost");
  EXPECT_TRUE(fs::is_directory(log));
}

}  // namespace
