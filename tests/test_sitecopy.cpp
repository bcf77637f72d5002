// The site copy (name filters, links, cancel, failures, the Trash) and the collection of the
// files the run rewrites.
#include "app/mFile.h"
#include "compress/SiteCopy.h"

#include "TestPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_support::ReadFile;
using testing_support::TestPlatform;
using testing_support::TreeDigest;
using testing_support::WriteFile;
namespace fs = std::filesystem;

// Every path below `folder`, relative, sorted, folders marked with a trailing "/".
std::vector<std::string> Tree(const fs::path& folder) {
  std::vector<std::string> out;
  for (auto& e : fs::recursive_directory_iterator(folder)) {
    std::string rel = fs::relative(e.path(), folder).string();
    if (e.is_directory() && !e.is_symlink()) rel += "/";
    out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Relative(const std::vector<fs::path>& files, const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& f : files) out.push_back(fs::relative(f, root).string());
  return out;
}

class SiteCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site = platform.HomeFolder() / "Sites" / "shop";
    fs::create_directories(site);
    mFile::SetAppSupportFolder(platform.ApplicationDataFolder() / "Trimora");
    fs::create_directories(mFile::AppSupportFolder());
  }
  void TearDown() override { mFile::SetAppSupportFolder({}); }

  trimora::SiteCopyResult Copy(const std::atomic<bool>* cancel = nullptr, trimora::CopyProgressCallback progress = {}) {
    trimora::SiteCopyRequest r;
    r.site = site;
    r.cancel = cancel;
    r.progress = std::move(progress);
    return trimora::CopySite(r, platform);
  }
  fs::path Desktop(const std::string& name = "shop Compressed") const { return platform.DesktopFolder() / name; }
  fs::path TrashFiles() const { return platform.HomeFolder() / "Trash" / "files"; }

  TestPlatform platform;
  fs::path site;
};

TEST_F(SiteCopyTest, TopLevelFiltersAndCollectionRules) {
  for (const char* f : {"index.html", "B.html", "a.html", "index copy.html", "_notes/n.html", "img/_thumbs/t.html",
                        "img/logo.png", "about/about copy.html", "about/team.HTM", "about/_part.html", ".htaccess",
                        ".hidden.html", ".git/hook.js", "css/site.css", "css/page.php", "js/app.js", "js/data.json",
                        "_private.js", "feed.rss", "Index Copy/x.html"})
    WriteFile(site / f, std::string("content of ") + f);
  const std::string before = TreeDigest(site);

  const auto result = Copy();
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.copy, Desktop());
  EXPECT_TRUE(result.failures.empty());
  EXPECT_EQ(Tree(result.copy),
            (std::vector<std::string>{".git/", ".git/hook.js", ".hidden.html", ".htaccess", "B.html", "a.html", "about/",
                                      "about/_part.html", "about/about copy.html", "about/team.HTM", "css/",
                                      "css/page.php", "css/site.css", "feed.rss", "img/", "img/_thumbs/",
                                      "img/_thumbs/t.html", "img/logo.png", "index.html", "js/", "js/app.js",
                                      "js/data.json"}));
  EXPECT_EQ(ReadFile(result.copy / "about/team.HTM"), "content of about/team.HTM");
  EXPECT_EQ(TreeDigest(site), before);

  // Code point order (upper case first), depth first; invisible folders searched, invisible
  // files and "_" folders not.
  EXPECT_EQ(Relative(trimora::FindTheFiles(result.copy, platform), result.copy),
            (std::vector<std::string>{".git/hook.js", "B.html", "a.html", "about/team.HTM", "css/site.css", "feed.rss",
                                      "index.html", "js/app.js"}));
}

TEST_F(SiteCopyTest, KeepsModificationDatesAndModes) {
  WriteFile(site / "index.html", "x");
  WriteFile(site / "sub" / "run.js", "y");
  ::chmod((site / "sub" / "run.js").c_str(), 0751);
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(site / "index.html", when);
  fs::last_write_time(site / "sub", when);
  const auto result = Copy();
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(fs::last_write_time(result.copy / "index.html"), when);
  EXPECT_EQ(fs::last_write_time(result.copy / "sub"), when);
  EXPECT_EQ(fs::status(result.copy / "sub" / "run.js").permissions(), static_cast<fs::perms>(0751));
  EXPECT_EQ(result.files, 2u);
  EXPECT_EQ(result.bytes, 2u);
}

TEST(TrashNames, StampAndNamingRule) {
  EXPECT_EQ(trimora::TrashStamp(TestPlatform().now), "20120307 090541");
  const struct {
    const char* name;
    bool folder;
    const char* expected;
  } cases[] = {
      {"shop Compressed", true, "shop Compressed 20120307 090541"},
      {"v1.2 Compressed", true, "v1.2 Compressed 20120307 090541"},
      {"index.html", false, "index 20120307 090541.html"},
      {"a.b.html", false, "b 20120307 090541.html"},
      {"README", false, "README 20120307 090541"},
      {".htaccess", false, " 20120307 090541.htaccess"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(trimora::StampedTrashName(c.name, c.folder, "20120307 090541"), c.expected);
  }
}

TEST_F(SiteCopyTest, EarlierCopiesGoToTheTrashWithTheStampWhenNeeded) {
  WriteFile(site / "index.html", "one");
  ASSERT_TRUE(Copy().ok());
  WriteFile(Desktop() / "marker", "first");

  auto second = Copy();
  ASSERT_TRUE(second.ok()) << second.error;
  EXPECT_EQ(second.trashed, TrashFiles() / "shop Compressed");
  EXPECT_EQ(ReadFile(TrashFiles() / "shop Compressed" / "marker"), "first");
  EXPECT_FALSE(fs::exists(Desktop() / "marker"));
  const std::string info = ReadFile(platform.HomeFolder() / "Trash/info/shop Compressed.trashinfo");
  EXPECT_EQ(info, "[Trash Info]\nPath=" + platform.DesktopFolder().string() + "/shop%20Compressed" +
                      "\nDeletionDate=2012-03-07T09:05:41\n");

  WriteFile(Desktop() / "marker", "second");
  auto third = Copy();
  ASSERT_TRUE(third.ok()) << third.error;
  EXPECT_EQ(third.trashed, TrashFiles() / "shop Compressed 20120307 090541");
  EXPECT_EQ(ReadFile(third.trashed / "marker"), "second");
  EXPECT_TRUE(fs::exists(platform.HomeFolder() / "Trash/info/shop Compressed 20120307 090541.trashinfo"));

  // Within the same second again: nothing in the Trash is replaced.
  WriteFile(Desktop() / "marker", "third");
  auto fourth = Copy();
  ASSERT_TRUE(fourth.ok()) << fourth.error;
  EXPECT_EQ(fourth.trashed, TrashFiles() / "shop Compressed 20120307 090541 2");
  EXPECT_EQ(ReadFile(TrashFiles() / "shop Compressed" / "marker"), "first");
  EXPECT_EQ(ReadFile(TrashFiles() / "shop Compressed 20120307 090541" / "marker"), "second");
  EXPECT_EQ(ReadFile(fourth.trashed / "marker"), "third");
}

TEST_F(SiteCopyTest, APlainFileInTheCopysPlaceKeepsItsExtensionInTheTrash) {
  WriteFile(site / "index.html", "x");
  fs::rename(site, platform.HomeFolder() / "Sites" / "shop.v2");
  site = platform.HomeFolder() / "Sites" / "shop.v2";
  WriteFile(Desktop("shop.v2 Compressed"), "a file");
  WriteFile(TrashFiles() / "shop.v2 Compressed", "namesake");
  const auto result = Copy();
  ASSERT_TRUE(result.ok()) << result.error;
  // Cut at every ".": the next-to-last part, the stamp, and the last part.
  EXPECT_EQ(result.trashed, TrashFiles() / "shop 20120307 090541.v2 Compressed");
  EXPECT_EQ(ReadFile(result.trashed), "a file");
  EXPECT_TRUE(fs::is_directory(Desktop("shop.v2 Compressed")));
}

TEST_F(SiteCopyTest, AnEarlierCopyThatCannotBeTrashedStopsEverything) {
  WriteFile(site / "index.html", "new");
  WriteFile(Desktop() / "old.html", "old");
  WriteFile(platform.HomeFolder() / "Trash", "a file where the Trash folder should be");
  const auto result = Copy();
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(result.refused);
  EXPECT_EQ(result.error.rfind("Error!\r", 0), 0u);
  EXPECT_NE(result.error.find("could not be moved to the Trash"), std::string::npos);
  EXPECT_TRUE(result.copy.empty());
  // Never merged: the old copy stands as it was.
  EXPECT_EQ(Tree(Desktop()), std::vector<std::string>{"old.html"});
}

TEST_F(SiteCopyTest, RefusedRequestsTouchNothing) {
  WriteFile(Desktop() / "shop Compressed" / "deep" / "shop" / "index.html", "x");
  const std::string desktop = TreeDigest(platform.DesktopFolder());
  const struct {
    fs::path site, parent;
  } cases[] = {
      {platform.root() / "missing", {}},
      {Desktop() / "deep" / "shop" / "index.html", {}},
      {site, platform.root() / "missing"},
      {Desktop() / "deep" / "shop", {}},  // inside the earlier copy that would go to the Trash
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.site.string());
    trimora::SiteCopyRequest r;
    r.site = c.site;
    r.destinationParent = c.parent;
    const auto result = trimora::CopySite(r, platform);
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.error.rfind("Error!\r", 0), 0u);
    EXPECT_EQ(TreeDigest(platform.DesktopFolder()), desktop);
    EXPECT_FALSE(fs::exists(platform.HomeFolder() / "Trash"));
  }
}

TEST_F(SiteCopyTest, LinksAreFollowedButLoopsAndBrokenLinksAreReported) {
  const fs::path outside = platform.root() / "outside";
  WriteFile(outside / "shared.css", "a  { color : red }");
  WriteFile(outside / "lib" / "x.js", "var x;");
  WriteFile(site / "index.html", "<p>hi</p>");
  WriteFile(site / "sub" / "page.html", "<p>sub</p>");
  fs::create_symlink(outside / "shared.css", site / "linked.css");
  fs::create_directory_symlink(outside / "lib", site / "lib");
  fs::create_directory_symlink(site, site / "sub" / "again");  // back to the site: a loop
  fs::create_directory_symlink("..", site / "sub" / "up");      // the same loop, relative
  fs::create_symlink(site / "nowhere", site / "broken.html");
  const std::string siteBefore = TreeDigest(site);
  const std::string outsideBefore = TreeDigest(outside);

  const auto result = Copy();
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(Tree(result.copy), (std::vector<std::string>{"index.html", "lib/", "lib/x.js", "linked.css", "sub/",
                                                          "sub/page.html"}));
  EXPECT_FALSE(fs::is_symlink(result.copy / "linked.css"));
  EXPECT_EQ(ReadFile(result.copy / "linked.css"), "a  { color : red }");
  ASSERT_EQ(result.failures.size(), 3u);
  EXPECT_EQ(result.failures[0].item, site / "broken.html");
  EXPECT_EQ(result.failures[0].reason, "broken link");
  EXPECT_EQ(result.failures[1].item, site / "sub" / "again");
  EXPECT_EQ(result.failures[1].reason, "link loop");
  EXPECT_EQ(result.failures[2].item, site / "sub" / "up");
  EXPECT_EQ(result.failures[2].reason, "link loop");

  // The rewrite reaches only the copy's own files; what the links pointed at stays as it was.
  const auto files = trimora::FindTheFiles(result.copy, platform);
  trimora::RunSettings settings;
  settings.originalFolder = site;
  settings.optimizedFolder = result.copy;
  const auto report = trimora::RunCollected(files, settings, platform);
  ASSERT_EQ(report.rows.size(), 4u);
  EXPECT_NE(ReadFile(result.copy / "linked.css"), "a  { color : red }");
  EXPECT_EQ(TreeDigest(outside), outsideBefore);
  EXPECT_EQ(TreeDigest(site), siteBefore);
}

TEST_F(SiteCopyTest, CollectionNeverFollowsALinkOutOfTheCopy) {
  WriteFile(site / "index.html", "x");
  const auto result = Copy();
  ASSERT_TRUE(result.ok());
  const fs::path outside = platform.root() / "outside";
  WriteFile(outside / "victim.html", "<p>  keep  </p>");
  fs::create_symlink(outside / "victim.html", result.copy / "planted.html");
  fs::create_directory_symlink(outside, result.copy / "planted");
  EXPECT_EQ(Relative(trimora::FindTheFiles(result.copy, platform), result.copy),
            std::vector<std::string>{"index.html"});
}

TEST_F(SiteCopyTest, CancelStopsBetweenTopLevelItemsAndKeepsThePartialCopy) {
  for (const char* f : {"a/1.html", "a/2.html", "a/deep/3.html", "b.html", "c/4.html"}) WriteFile(site / f, f);
  const std::string before = TreeDigest(site);
  std::atomic<bool> cancel{false};
  std::vector<std::string> texts;
  const auto result = Copy(&cancel, [&](const trimora::CopyProgress& p) {
    texts.push_back(p.text);
    cancel = true;  // pressed during the first top-level item
  });
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(Tree(result.copy), (std::vector<std::string>{"a/", "a/1.html", "a/2.html", "a/deep/", "a/deep/3.html"}));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "Copying Directory: a");
  EXPECT_EQ(TreeDigest(site), before);
}

TEST_F(SiteCopyTest, ItemsThatCannotBeCopiedAreNamedAndTheRestIsCopied) {
  WriteFile(site / "index.html", "x");
  WriteFile(site / "z.html", "z");
  ASSERT_EQ(::mkfifo((site / "pipe.html").c_str(), 0644), 0);
  const auto result = Copy();
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].item, site / "pipe.html");
  EXPECT_EQ(result.failures[0].reason, "not a file or folder");
  EXPECT_EQ(Tree(result.copy), (std::vector<std::string>{"index.html", "z.html"}));
}

TEST_F(SiteCopyTest, ASiteHoldingTheDesktopIsNotCopiedIntoItself) {
  WriteFile(platform.HomeFolder() / "index.html", "home page");
  WriteFile(platform.DesktopFolder() / "note.txt", "n");
  site = platform.HomeFolder();
  const auto result = Copy();
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.copy, Desktop("home Compressed"));
  EXPECT_TRUE(fs::exists(result.copy / "Desktop" / "note.txt"));
  EXPECT_FALSE(fs::exists(result.copy / "Desktop" / "home Compressed"));
  EXPECT_TRUE(result.failures.empty());

  site = platform.DesktopFolder();
  const auto desk = Copy();
  ASSERT_TRUE(desk.ok()) << desk.error;
  EXPECT_EQ(desk.copy, Desktop("Desktop Compressed"));
  EXPECT_TRUE(fs::exists(desk.copy / "note.txt"));
  EXPECT_FALSE(fs::exists(desk.copy / "Desktop Compressed"));
}

TEST_F(SiteCopyTest, OddNamesAndDeepFolders) {
  const std::vector<std::string> names = {"with space.html", "quote\"d 'x'.html", "new\nline.html", "Grüße.html",
                                          "日本.css", "tab\tname.js"};
  for (const auto& n : names) WriteFile(site / n, "<p>  " + n + "  </p>");
  fs::path deep = site;
  for (int i = 0; i < 200; ++i) deep /= "d";
  WriteFile(deep / "bottom.html", "<b>  deep  </b>");
  const std::string before = TreeDigest(site);

  const auto result = Copy();
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(result.failures.empty());
  const auto files = trimora::FindTheFiles(result.copy, platform);
  ASSERT_EQ(files.size(), names.size() + 1);
  trimora::RunSettings settings;
  settings.originalFolder = site;
  settings.optimizedFolder = result.copy;
  const auto report = trimora::RunCollected(files, settings, platform);
  ASSERT_EQ(report.rows.size(), names.size() + 1);
  for (const auto& r : report.rows) EXPECT_TRUE(r.ok) << r.path << " " << r.bytes;
  EXPECT_EQ(ReadFile(result.copy / "Grüße.html"), "<p> Grüße.html </p>\n");
  std::string deepRel;
  for (int i = 0; i < 200; ++i) deepRel += "d/";
  EXPECT_EQ(ReadFile(result.copy / (deepRel + "bottom.html")), "<b> deep </b>\n");
  EXPECT_EQ(TreeDigest(site), before);
}

TEST_F(SiteCopyTest, FilesThatVanishOrTurnIntoFoldersGetFailedRowsInTheirPlace) {
  WriteFile(site / "a.html", "<p>  a  </p>");
  WriteFile(site / "b.html", "<p>  b  </p>");
  WriteFile(site / "c.css", "x  {  }");
  WriteFile(site / "d.html", "<p>  d  </p>");
  const auto result = Copy();
  const auto files = trimora::FindTheFiles(result.copy, platform);
  ASSERT_EQ(files.size(), 4u);
  fs::remove(result.copy / "b.html");
  fs::remove(result.copy / "c.css");
  fs::remove(result.copy / "d.html");
  fs::create_directory(result.copy / "d.html");

  trimora::RunSettings settings;
  settings.originalFolder = site;
  settings.optimizedFolder = result.copy;
  for (int jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    settings.jobs = jobs;
    std::vector<size_t> seen;
    const auto report = trimora::RunCollected(files, settings, platform,
                                              [&](const trimora::ResultRow&, size_t i, size_t) { seen.push_back(i); });
    ASSERT_EQ(report.rows.size(), 4u);
    EXPECT_EQ(seen, (std::vector<size_t>{0, 1, 2, 3}));
    EXPECT_EQ(report.rows[0].path, "∼/a.html");
    EXPECT_TRUE(report.rows[0].ok);
    for (size_t i : {1, 2, 3}) {
      EXPECT_FALSE(report.rows[i].ok);
      EXPECT_EQ(report.rows[i].bytes, "read failed");
    }
    EXPECT_EQ(report.rows[2].path, "∼/c.css");
    EXPECT_EQ(report.total, jobs == 1 ? report.rows[0].removed : report.total);
  }
}

TEST_F(SiteCopyTest, AnyNumberOfCopyThreadsGivesTheSameCopyAndFailures) {
  for (int d = 0; d < 6; ++d) {
    const fs::path folder = site / ("f" + std::to_string(d)) / "inner";
    for (int i = 0; i < 30; ++i) WriteFile(folder / ("p" + std::to_string(i) + ".html"), std::string(i * 100, 'a'));
    fs::create_symlink(folder / "missing", folder / ("broken" + std::to_string(d)));
    fs::create_directory_symlink(site, folder / "loop");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
    fs::last_write_time(folder, fs::file_time_type::clock::now() - std::chrono::hours(d + 1));
  }
  std::string digest;
  std::vector<std::string> failures;
  std::vector<fs::file_time_type> dates;
  for (int threads : {1, 2, 5}) {
    SCOPED_TRACE(threads);
    trimora::SiteCopyRequest r;
    r.site = site;
    r.threads = threads;
    const auto result = trimora::CopySite(r, platform);
    ASSERT_TRUE(result.ok());
    std::vector<std::string> f;
    for (const auto& x : result.failures) f.push_back(x.item.lexically_relative(site).string() + ": " + x.reason);
    std::vector<fs::file_time_type> d;
    for (int i = 0; i < 6; ++i) d.push_back(fs::last_write_time(result.copy / ("f" + std::to_string(i)) / "inner"));
    EXPECT_EQ(result.files, 180u);
    if (threads == 1) {
      digest = TreeDigest(result.copy);
      failures = f;
      dates = d;
      ASSERT_EQ(f.size(), 18u);
      EXPECT_EQ(f[0], "f0/inner/broken0: broken link");
      EXPECT_EQ(f[1], "f0/inner/fifo: not a file or folder");
      EXPECT_EQ(f[2], "f0/inner/loop: link loop");
    } else {
      EXPECT_EQ(TreeDigest(result.copy), digest);
      EXPECT_EQ(f, failures);
      EXPECT_EQ(d, dates);
    }
  }
}

// Rewriting while copying. A platform whose display names and hidden flags disagree with the
// names for a few files, so that the copy's judgement by name is wrong for them and the run
// must put their sources' bytes back and decide anew.
class OddNamesPlatform : public TestPlatform {
 public:
  std::string DisplayName(const fs::path& item) const override {
    const std::string name = item.filename().string();
    if (name == "script.html" || name.rfind("php-", 0) == 0) return name + ".php";  // rewritten as PHP pages
    if (name == "draft.html") return "_draft.html";       // not collected at all
    return TestPlatform::DisplayName(item);
  }
  bool IsHidden(const fs::path& item) const override {
    return item.filename() == "secret.css" || TestPlatform::IsHidden(item);
  }
};

struct Outcome {
  std::string digest;
  std::vector<std::string> rows, findings, dates;
  int64_t total = 0;
};

class RewriteWhileCopying : public SiteCopyTest {
 protected:
  void SetUp() override {
    SiteCopyTest::SetUp();
    const std::string page = "<html>\n<body>\n\t<div>  #VARIABLE1#  \n\n\n<script>\n// note\nvar a  =  1;\n</script>"
                             "<style>\na  {  color : red ; }\n</style>\n</body>\n</html>\n";
    for (const char* f : {"index.html", "script.html", "draft.html", "about/team.HTM", "_notes/n.html",
                          "img/_thumbs/t.html", "index copy.html", ".hidden.html", ".git/hook.js", "feed.rss"})
      WriteFile(site / f, page);
    WriteFile(site / "css" / "site.css", "a  {  color : red ; }\n/* note */\n\n\nb { }\n");
    WriteFile(site / "css" / "secret.css", "a  {  color : blue ; }\n");
    WriteFile(site / "js" / "app.js", "// comment\nvar a = 1;\n\n\n/* block */ f( 1 );\n");
    WriteFile(site / "img" / "logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\t  ", 14));
    WriteFile(site / "_variables" / "_variables.txt", "Team");
    // Enough of both sorts for the run to share its work out among threads.
    for (int i = 0; i < 20; ++i) {
      WriteFile(site / "more" / ("php-" + std::to_string(i) + ".html"), page);
      WriteFile(site / "more" / (std::to_string(i) + ".html"), page);
    }
    fs::create_symlink(site / "js" / "app.js", site / "linked.js");
    ::chmod((site / "js" / "app.js").c_str(), 0640);
    fs::last_write_time(site / "css" / "site.css", fs::file_time_type::clock::now() - std::chrono::hours(30));
  }

  // Copies, collects and runs; with `ahead`, the copy rewrites what it expects the run to.
  // `runOptions`: the run is given other options than the copy.
  Outcome Compress(bool ahead, int threads, const std::vector<std::string>& only = {},
                   std::optional<trimora::Options> runOptions = {}) {
    SyntaxCheck::Dictionaries dicts;
    dicts.html.names = {"div", "p", ""};
    trimora::RunSettings settings;
    settings.jobs = threads;
    settings.dicts = &dicts;
    trimora::SiteCopyRequest r;
    r.site = site;
    r.threads = threads;
    if (ahead) r.rewrite = &settings;
    auto copied = trimora::CopySite(r, odd);
    EXPECT_TRUE(copied.ok() && copied.failures.empty());
    std::vector<fs::path> files;
    for (const auto& f : trimora::FindTheFiles(copied.copy, odd))
      if (only.empty() || std::find(only.begin(), only.end(), f.filename().string()) != only.end()) files.push_back(f);
    settings.originalFolder = copied.site;
    settings.optimizedFolder = copied.copy;
    settings.ahead = &copied.ahead;
    if (runOptions) settings.opts = *runOptions;
    const auto report = trimora::RunCollected(files, settings, odd);
    EXPECT_TRUE(copied.ahead.empty());
    Outcome o;
    o.digest = TreeDigest(copied.copy);
    for (const auto& row : report.rows) o.rows.push_back(row.path + " " + row.bytes + (row.ok ? "" : " (failed)"));
    for (const auto& f : report.findings) o.findings.push_back(f.message);
    for (auto& e : fs::recursive_directory_iterator(copied.copy))
      if (e.is_regular_file()) {
        struct stat st {};
        ::stat(e.path().c_str(), &st);
        o.dates.push_back(e.path().lexically_relative(copied.copy).string() + " " + std::to_string(st.st_mtim.tv_sec) +
                          " " + std::to_string(st.st_mode & 0777));
      }
    std::sort(o.dates.begin(), o.dates.end());
    o.total = report.total;
    return o;
  }

  OddNamesPlatform odd;
};

TEST_F(RewriteWhileCopying, GivesWhatACopyAndThenARunGive) {
  const std::string before = TreeDigest(site);
  const Outcome plain = Compress(false, 1);
  ASSERT_EQ(plain.rows.size(), 48u);
  EXPECT_EQ(plain.rows[0], "∼/.git/hook.js " + plain.rows[0].substr(plain.rows[0].find(' ') + 1));
  EXPECT_FALSE(plain.findings.empty());
  for (int threads : {1, 3}) {
    SCOPED_TRACE(threads);
    const Outcome ahead = Compress(true, threads);
    EXPECT_EQ(ahead.digest, plain.digest);
    EXPECT_EQ(ahead.rows, plain.rows);
    EXPECT_EQ(ahead.findings, plain.findings);
    EXPECT_EQ(ahead.dates, plain.dates);
    EXPECT_EQ(ahead.total, plain.total);
  }
  EXPECT_EQ(TreeDigest(site), before);
}

TEST_F(RewriteWhileCopying, FilesTheRunIsNotGivenKeepTheSourcesBytes) {
  const Outcome plain = Compress(false, 1, {"index.html"});
  const Outcome ahead = Compress(true, 2, {"index.html"});
  ASSERT_EQ(ahead.rows.size(), 1u);
  EXPECT_EQ(ahead.rows, plain.rows);
  EXPECT_EQ(ahead.digest, plain.digest);
  EXPECT_EQ(ReadFile(odd.DesktopFolder() / "shop Compressed" / "js" / "app.js"), ReadFile(site / "js" / "app.js"));
}

TEST_F(RewriteWhileCopying, ARunWithOtherOptionsRewritesEverythingAnew) {
  trimora::Options keep;
  keep.TrimTAB = false;
  keep.TrimDoubleSpace = false;
  const Outcome plain = Compress(false, 1, {}, keep);
  const Outcome ahead = Compress(true, 2, {}, keep);
  EXPECT_EQ(ahead.digest, plain.digest);
  EXPECT_EQ(ahead.rows, plain.rows);
  EXPECT_EQ(ahead.findings, plain.findings);
  EXPECT_NE(ahead.digest, Compress(true, 2).digest);
}

TEST_F(RewriteWhileCopying, AFileGoneBeforeTheRunGetsAFailedRowAndStaysGone) {
  trimora::RunSettings settings;
  trimora::SiteCopyRequest r;
  r.site = site;
  r.rewrite = &settings;
  auto copied = trimora::CopySite(r, platform);
  const auto files = trimora::FindTheFiles(copied.copy, platform);
  ASSERT_TRUE(copied.ahead.files.count((copied.copy / "index.html").native()));
  fs::remove(copied.copy / "index.html");
  settings.originalFolder = copied.site;
  settings.optimizedFolder = copied.copy;
  settings.ahead = &copied.ahead;
  const auto report = trimora::RunCollected(files, settings, platform);
  const auto row = std::find_if(report.rows.begin(), report.rows.end(),
                                [](const trimora::ResultRow& x) { return x.path == "∼/index.html"; });
  ASSERT_NE(row, report.rows.end());
  EXPECT_EQ(row->bytes, "read failed");
  EXPECT_FALSE(fs::exists(copied.copy / "index.html"));
}

TEST_F(SiteCopyTest, ACancelledCopyThatRewritesAsItCopiesHoldsTheSourcesBytes) {
  for (const char* f : {"a/1.html", "a/2.css", "a/deep/3.js", "b.html"}) WriteFile(site / f, "x  =  1;\n\n\n// c\n");
  fs::last_write_time(site / "a" / "deep", fs::file_time_type::clock::now() - std::chrono::hours(5));
  trimora::RunSettings settings;
  for (int threads : {1, 3}) {
    SCOPED_TRACE(threads);
    std::atomic<bool> cancel{false};
    trimora::SiteCopyRequest r;
    r.site = site;
    r.threads = threads;
    r.rewrite = &settings;
    r.cancel = &cancel;
    r.progress = [&](const trimora::CopyProgress&) { cancel = true; };
    const auto result = trimora::CopySite(r, platform);
    ASSERT_TRUE(result.cancelled);
    EXPECT_TRUE(result.ahead.empty());
    EXPECT_TRUE(result.failures.empty());
    for (const char* f : {"a/1.html", "a/2.css", "a/deep/3.js"}) EXPECT_EQ(ReadFile(result.copy / f), ReadFile(site / f)) << f;
    EXPECT_EQ(fs::last_write_time(result.copy / "a" / "deep"), fs::last_write_time(site / "a" / "deep"));
    EXPECT_FALSE(fs::exists(result.copy / "b.html"));
  }
}

// Lean on purpose: 100,000 one-byte files in 100 folders, copied and collected.
TEST_F(SiteCopyTest, HundredThousandSmallFiles) {
  for (int d = 0; d < 100; ++d) {
    const fs::path folder = site / ("f" + std::to_string(d));
    fs::create_directory(folder);
    for (int i = 0; i < 1000; ++i) {
      const fs::path f = folder / (std::to_string(i) + (i % 10 == 0 ? ".html" : ".png"));
      const int fd = ::open(f.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::write(fd, "x", 1), 1);
      ::close(fd);
    }
  }
  const auto result = Copy();
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(result.failures.empty());
  EXPECT_EQ(result.files, 100000u);
  EXPECT_EQ(trimora::FindTheFiles(result.copy, platform).size(), 10000u);
}

}  // namespace
