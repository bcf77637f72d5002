// Files modified today, the validator launch and the inspector's decoding.
#include "tools/InspectorText.h"
#include "tools/TodaysFiles.h"
#include "tools/mBundleID.h"

#include "TestPlatform.h"

#include <QDateTime>
#include <QTimeZone>
#include <QUrl>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using testing_support::TestPlatform;
using testing_support::WriteFile;

// The platform's clock stands at Wednesday 7 March 2012, 09:05:41, +01:00.
QDateTime At(int day, int h, int m, int s) {
  return QDateTime(QDate(2012, 3, day), QTime(h, m, s), QTimeZone(3600));
}

void WriteModified(const fs::path& file, const QDateTime& when) {
  WriteFile(file, "x");
  timespec times[2];
  times[0].tv_sec = times[1].tv_sec = when.toSecsSinceEpoch();
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

std::vector<std::string> RowTexts(const fs::path& copy, const TestPlatform& platform) {
  std::vector<std::string> texts;
  for (const auto& row : TodaysFiles::TodaysFileRows(copy, platform)) texts.push_back(row.text);
  return texts;
}

TEST(TodaysFiles, MidnightBoundaries) {
  TestPlatform platform;
  const fs::path copy = platform.DesktopFolder() / "shop Compressed";
  WriteModified(copy / "a-yesterday.html", At(6, 23, 59, 59));
  WriteModified(copy / "b-midnight.html", At(7, 0, 0, 0));
  WriteModified(copy / "c-late.css", At(7, 23, 59, 59));
  WriteModified(copy / "d-tomorrow.html", At(8, 0, 0, 0));
  using V = std::vector<std::string>;
  EXPECT_EQ(RowTexts(copy, platform), (V{"\u223C/b-midnight.html", "\u223C/c-late.css"}));

  // The day is taken in the clock's own time zone: at -01:00, a file written at 00:00 +01:00 on
  // the 7th was written on the 6th, and one written at 00:00 +01:00 on the 8th on the 7th.
  platform.now = QDateTime(QDate(2012, 3, 7), QTime(0, 30), QTimeZone(-3600));
  EXPECT_EQ(RowTexts(copy, platform), (V{"\u223C/c-late.css", "\u223C/d-tomorrow.html"}));
}

TEST(TodaysFiles, NamesFoldersAndOrder) {
  TestPlatform platform;
  const fs::path copy = platform.DesktopFolder() / "shop Compressed";
  const QDateTime today = At(7, 8, 0, 0);
  for (const char* name : {"index.html", "B.html", "sub/deep/page.htm", "sub/a.js", "_parts/in.html",
                           "_hidden-name.html", "page copy.html", "Page COPY 2.html", ".dot.html",
                           ".hiddenfolder/seen.html", "img/logo.png", "copy.html"})
    WriteModified(copy / name, today);
  fs::create_directories(copy / "empty");
  fs::create_directory_symlink(copy, copy / "sub" / "loop");  // a link back up is not followed
  using V = std::vector<std::string>;
  EXPECT_EQ(RowTexts(copy, platform),
            (V{"\u223C/.hiddenfolder/seen.html", "\u223C/B.html", "\u223C/copy.html", "\u223C/img/logo.png",
               "\u223C/index.html", "\u223C/sub/a.js", "\u223C/sub/deep/page.htm"}));
  EXPECT_EQ(TodaysFiles::TodaysFileRows(copy, platform)[1].file, copy / "B.html");
}

TEST(TodaysFiles, MissingCopyGivesNoRows) {
  TestPlatform platform;
  EXPECT_TRUE(TodaysFiles::TodaysFileRows({}, platform).empty());
  EXPECT_TRUE(TodaysFiles::TodaysFileRows(platform.DesktopFolder() / "gone Compressed", platform).empty());
}

// ---- Validator ------------------------------------------------------------------------------

struct ValidatorFixture : ::testing::Test {
  TestPlatform platform;
  fs::path site = platform.DesktopFolder() / "my site Compressed";
  void Install() { WriteFile(platform.PreferencesFolder() / "net.habilis.validator-sac.plist", "<plist/>"); }
};

TEST_F(ValidatorFixture, NotInstalledSendsToTheDownloadPage) {
  WriteFile(site / "index.html", "<html>");
  const auto r = mBundleID::ValidatorSAC(platform, site / "index.html");
  EXPECT_EQ(r.outcome, mBundleID::ValidatorOutcome::NotInstalled);
  EXPECT_EQ(r.message, "Validator S.A.C\rValidator S.A.C application need to be downloaded from " +
                           std::string(mBundleID::kValidatorDownloadPage));
  EXPECT_EQ(r.pageToOpen, mBundleID::kValidatorDownloadPage);
  EXPECT_TRUE(platform.programs.empty());
}

TEST_F(ValidatorFixture, OnlyMarkupFilesAreHandedOver) {
  Install();
  for (const char* name : {"", "_index.html", "style.css", "app.js"}) {
    SCOPED_TRACE(name);
    fs::path file;
    if (*name) WriteFile(file = site / name, "x");
    const auto r = mBundleID::ValidatorSAC(platform, file);
    EXPECT_EQ(r.outcome, mBundleID::ValidatorOutcome::NotMarkup);
    EXPECT_EQ(r.message, "Validator S.A.C\rThis is not an html or xml file!");
    EXPECT_TRUE(r.pageToOpen.empty());
  }
  // A page deleted since it was selected: nothing at all.
  const auto r = mBundleID::ValidatorSAC(platform, site / "gone.html");
  EXPECT_EQ(r.outcome, mBundleID::ValidatorOutcome::Vanished);
  EXPECT_TRUE(r.message.empty());
  EXPECT_TRUE(platform.programs.empty());
}

TEST_F(ValidatorFixture, PathReachesOpenAsOneArgumentWithoutAShell) {
  Install();
  const fs::path page = site / "it's $HOME `id`;rm -rf x.html";
  WriteFile(page, "<html>");
  const auto r = mBundleID::ValidatorSAC(platform, page);
  EXPECT_EQ(r.outcome, mBundleID::ValidatorOutcome::Opened);
  EXPECT_TRUE(r.message.empty());
  ASSERT_EQ(platform.programs.size(), 1u);
  const auto& call = platform.programs[0];
  ASSERT_EQ(call.size(), 4u);
  EXPECT_EQ(call[0], mBundleID::OpenCommand("x", page).program);
  EXPECT_EQ(call[1], "-b");
  EXPECT_EQ(call[2], "net.habilis.validator-sac");
  const std::string& url = call[3];
  EXPECT_EQ(url.rfind("file:///", 0), 0u) << url;
  EXPECT_EQ(url.find(' '), std::string::npos) << url;
  EXPECT_EQ(url.find('`'), std::string::npos) << url;
  EXPECT_NE(url.find("/my%20site%20Compressed/"), std::string::npos) << url;
  EXPECT_EQ(QUrl::fromEncoded(QByteArray::fromStdString(url)).toLocalFile().toStdString(), page.string());
}

TEST_F(ValidatorFixture, FailedOpenNamesTheFile) {
  Install();
  WriteFile(site / "index.html", "<html>");
  for (int status : {1, -1}) {
    SCOPED_TRACE(status);
    platform.programExitStatus = status;
    const auto r = mBundleID::ValidatorSAC(platform, site / "index.html");
    EXPECT_EQ(r.outcome, mBundleID::ValidatorOutcome::OpenFailed);
    EXPECT_EQ(r.message, "Error! Open File: index.html");
  }
  // Opening a missing file starts nothing.
  EXPECT_FALSE(mBundleID::OpenAppAndFile(platform, "a.b", site / "none.html").ran);
  EXPECT_FALSE(mBundleID::OpenAppAndFile(platform, "a.b", {}).ran);
  EXPECT_EQ(platform.programs.size(), 2u);
}

TEST_F(ValidatorFixture, Caption) {
  WriteFile(site / "index.html", "x");
  EXPECT_EQ(mBundleID::ValidatorCaptionFor(platform, site / "index.html"), "Validator S.A.C \"index.html\"");
  EXPECT_EQ(mBundleID::ValidatorCaptionFor(platform, site / "gone.html"), "Validator S.A.C");
}

// ---- Inspector ------------------------------------------------------------------------------

TEST(Inspector, DecodesTheDeclaredEncoding) {
  struct Case {
    const char* what;
    std::string bytes;
    QString text;
  };
  const std::vector<Case> cases = {
      {"windows-1252", "<meta charset=\"windows-1252\"><p>caf\xE9 \x80 \x93q\x94", QStringLiteral(
           "<meta charset=\"windows-1252\"><p>caf\u00E9 \u20AC \u201Cq\u201D")},
      {"shift_jis", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\x93\xFA\x96\x7B\x8C\xEA",
       QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\u65E5\u672C\u8A9E")},
      {"latin1 xml", "<?xml version=\"1.0\" encoding='latin1'?><a>\xFC</a>",
       QStringLiteral("<?xml version=\"1.0\" encoding='latin1'?><a>\u00FC</a>")},
      {"no declaration", "<p>\xC3\xA9</p>", QStringLiteral("<p>\u00E9</p>")},
      {"bad utf-8", "<p>\xE9</p>", QStringLiteral("<p>\uFFFD</p>")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(InspectorText::Decode(c.bytes).toStdString(), c.text.toStdString());
  }
}

TEST(Inspector, UnreadableFileShowsTheFailureMark) {
  TestPlatform platform;
  EXPECT_EQ(InspectorText::ForFile(platform.root() / "missing.html"), QStringLiteral("*"));
  WriteFile(platform.root() / "p.html", "<meta charset=cp1252>\xE9");
  EXPECT_EQ(InspectorText::ForFile(platform.root() / "p.html"), QStringLiteral("<meta charset=cp1252>\u00E9"));
}

}  // namespace
