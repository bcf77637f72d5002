// Preference files, option start values, the two refusing checks and the Brixel settings folder.
#include "app/mFile.h"
#include "app/mPrefs.h"

#include "TestPlatform.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using testing_support::ReadFile;
using testing_support::TestPlatform;
using testing_support::WriteFile;
namespace fs = std::filesystem;

class PrefsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mFile::InitAppSupportFolder(platform);
    mFile::SetTmpFileNumber(1);
  }
  void TearDown() override { mFile::SetAppSupportFolder({}); }
  fs::path Support() const { return platform.ApplicationDataFolder() / "Trimora"; }

  TestPlatform platform;
};

TEST_F(PrefsTest, FirstStartMakesTheSupportFolderAndTakesTheStartValues) {
  ASSERT_FALSE(fs::exists(Support()));
  mPrefs::Prefs prefs;
  prefs.opts.TrimTAB = false;
  prefs.opts.TrimLineBreaksHTML = true;
  prefs.AlwaysOpenLastSite = 2;
  mPrefs::InitAppPreferences(prefs);

  EXPECT_TRUE(fs::is_directory(Support()));
  EXPECT_TRUE(prefs.opts.TrimTAB && prefs.opts.TrimDoubleSpace && prefs.opts.TrimEmptyLines &&
              prefs.opts.TrimAllComments && prefs.opts.TrimBrixelComments);
  EXPECT_FALSE(prefs.opts.TrimLineBreaksHTML);
  EXPECT_FALSE(prefs.opts.TrimLineBreaksCSS);
  EXPECT_EQ(prefs.AlwaysOpenLastSite, -1);
  EXPECT_TRUE(mPrefs::IsNewInstallation(TRIMORA_VERSION));
  EXPECT_EQ(mFile::ReadPrefsFile("version.txt"), "*");
}

TEST_F(PrefsTest, WithoutSupportFolderTheOptionsStillStartOn) {
  mFile::SetAppSupportFolder({});
  mPrefs::Prefs prefs;
  prefs.opts = {false, false, false, false, true, true, false};
  mPrefs::InitAppPreferences(prefs);
  EXPECT_TRUE(prefs.opts.TrimTAB && prefs.opts.TrimAllComments);
  EXPECT_EQ(prefs.AlwaysOpenLastSite, -1);
  EXPECT_EQ(mFile::ReadPrefsFile("Allwaysopen.txt"), "*");
  mFile::WritePrefsFile("Allwaysopen.txt", "1");  // nowhere to go, and no crash
}

TEST_F(PrefsTest, AlwaysOpenReadsWholeValuesOnly) {
  const struct {
    const char* content;  // nullptr: no file
    int32_t expected;
  } cases[] = {{"1", 1}, {"2", 2}, {"0", -1}, {"*", -1}, {"2\n", -1}, {" 1", -1}, {"3", -1}, {"", -1}, {nullptr, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content ? c.content : "(missing)");
    std::error_code ec;
    fs::remove_all(Support(), ec);
    if (c.content) WriteFile(Support() / "Allwaysopen.txt", c.content);
    mPrefs::Prefs prefs;
    mPrefs::InitAppPreferences(prefs);
    EXPECT_EQ(prefs.AlwaysOpenLastSite, c.expected);
  }
}

TEST_F(PrefsTest, LineBreakOptionsAreOnOnlyForOne) {
  const struct {
    const char* content;
    bool on;
  } cases[] = {{"1", true}, {"0", false}, {"yes", false}, {"1\n", false}, {"*", false}, {nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content ? c.content : "(missing)");
    std::error_code ec;
    fs::remove_all(Support(), ec);
    fs::create_directories(Support());
    if (c.content) {
      WriteFile(Support() / "htmllinebreaks.txt", c.content);
      WriteFile(Support() / "csslinebreaks.txt", c.content);
    }
    mPrefs::Prefs prefs;
    mPrefs::LoadLineBreakOptions(prefs);
    EXPECT_EQ(prefs.opts.TrimLineBreaksHTML, c.on);
    EXPECT_EQ(prefs.opts.TrimLineBreaksCSS, c.on);
  }
}

TEST_F(PrefsTest, WritersStoreOneValueWithoutLineEndAndKeepThePreviousInTmp) {
  mPrefs::Prefs prefs;
  mPrefs::InitAppPreferences(prefs);
  mPrefs::SetTrimLineBreaksHTML(prefs, true);
  mPrefs::SetTrimLineBreaksCSS(prefs, false);
  mPrefs::SetAlwaysOpenLastSite(prefs, 2);
  mPrefs::StoreVersion("1.2.3");
  EXPECT_EQ(ReadFile(Support() / "htmllinebreaks.txt"), "1");
  EXPECT_EQ(ReadFile(Support() / "csslinebreaks.txt"), "0");
  EXPECT_EQ(ReadFile(Support() / "Allwaysopen.txt"), "2");
  EXPECT_FALSE(mPrefs::IsNewInstallation("1.2.3"));
  EXPECT_TRUE(mPrefs::IsNewInstallation("1.2.4"));

  mPrefs::SetTrimLineBreaksHTML(prefs, false);
  EXPECT_EQ(ReadFile(Support() / "htmllinebreaks.txt"), "0");
  EXPECT_EQ(ReadFile(Support() / "Tmp" / "1.txt"), "1");

  mPrefs::Prefs reloaded;
  mPrefs::InitAppPreferences(reloaded);
  mPrefs::LoadLineBreakOptions(reloaded);
  EXPECT_EQ(reloaded.AlwaysOpenLastSite, 2);
  EXPECT_FALSE(reloaded.opts.TrimLineBreaksHTML);
}

TEST(RefusingChecks, AlreadyCompressedByName) {
  const struct {
    const char* folder;
    bool refused;
  } cases[] = {{"/x/shop Compressed", true}, {"/x/shop compressed", true}, {"/x/shop COMPRESSED/", true},
               {"/x/shop Compressed 2", true}, {"/x/shopCompressed", false}, {"/x/shop", false},
               {"/x/shop Compressed/site", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    std::string told;
    EXPECT_EQ(mFile::isAlreadyCompressed(c.folder, [&](const std::string& m) { told = m; }), c.refused);
    EXPECT_EQ(told, c.refused ? "Error!\rThis Directory is alreday compressed." : "");
  }
}

TEST(RefusingChecks, InTrashOnlyInsideATrashFolder) {
  TestPlatform platform;
  const fs::path home = platform.HomeFolder();
  const fs::path root = platform.root();
  for (const fs::path& p : {home / "Trash/files/site", home / "Trashy/site", root / "Trash/site",
                            root / "vol/.Trash-1000/files/site", root / "vol/.Trash/1000/files/site",
                            root / "vol/.Trash-x/files/site"})
    fs::create_directories(p);
  fs::create_directory_symlink(home / "Trash/files/site", root / "link-to-trashed");

  const struct {
    fs::path folder;
    bool refused;
  } cases[] = {
      {home / "Trash/files/site", true},
      {home / "Trash", true},
      {root / "link-to-trashed", true},
      {home / "Trashy/site", false},
      {root / "Trash/site", false},  // a folder named Trash that is not the Trash
      {root / "vol/.Trash-1000/files/site", true},
      {root / "vol/.Trash/1000/files/site", true},
      {root / "vol/.Trash-x/files/site", false},
      {home / "Desktop", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder.string());
    std::string told;
    EXPECT_EQ(mFile::isInTrash(c.folder, platform, [&](const std::string& m) { told = m; }), c.refused);
    EXPECT_EQ(told, c.refused ? "Error!\rThis Directory is in Trash." : "");
  }
}

TEST(BrixelSettings, FoundOnlyInsideBrixelEditor) {
  TestPlatform platform;
  const fs::path data = platform.ApplicationDataFolder();
  EXPECT_TRUE(mFile::GetBrixelSettingsFolder(platform).empty());
  fs::create_directories(data / "Other" / "Settings");
  fs::create_directories(data / "Settings");
  EXPECT_TRUE(mFile::GetBrixelSettingsFolder(platform).empty());
  fs::create_directories(data / "Brixel Editor");
  EXPECT_TRUE(mFile::GetBrixelSettingsFolder(platform).empty());
  fs::create_directories(data / "Brixel Editor" / "Settings");
  EXPECT_EQ(mFile::GetBrixelSettingsFolder(platform), data / "Brixel Editor" / "Settings");
}

TEST(FolderReference, AbsolutePathOfAnExistingFolderTakenWhole) {
  TestPlatform platform;
  const fs::path site = platform.HomeFolder() / "Sites" / "my shop";
  fs::create_directories(site);
  WriteFile(site / "index.html", "x");
  EXPECT_EQ(mFile::ResolveFolderReference(mFile::FolderReference(site)), site);
  EXPECT_EQ(mFile::ResolveFolderReference(site.string()), site);
  EXPECT_FALSE(mFile::ResolveFolderReference(site.string() + "\n"));
  EXPECT_FALSE(mFile::ResolveFolderReference("Sites/my shop"));
  EXPECT_FALSE(mFile::ResolveFolderReference("*"));
  EXPECT_FALSE(mFile::ResolveFolderReference(""));
  EXPECT_FALSE(mFile::ResolveFolderReference((site / "index.html").string()));
  EXPECT_FALSE(mFile::ResolveFolderReference((site / "gone").string()));
}

}  // namespace
