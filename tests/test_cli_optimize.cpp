// trimora-cli optimize, run as the built binary: result bytes on standard output, findings on
// standard error, exit statuses, and a file that is never changed.
#include "TestPlatform.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TreeDigest;
using testing_support::WriteFile;

struct Result {
  int status = -1;
  std::string out, err;
};

class CliOptimize : public ::testing::Test {
 protected:
  // Runs the command with a home folder inside the temporary directory, so that anything the
  // command wrongly created there would show.
  Result Cli(const std::vector<std::string>& args) {
    QProcess p;
    QStringList list{"optimize"};
    for (const auto& a : args) list << QString::fromStdString(a);
    auto env = QProcessEnvironment::systemEnvironment();
    const QString home = QString::fromStdString((dir.path() / "home").string());
    env.insert("HOME", home);
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    p.setProcessEnvironment(env);
    p.start(TRIMORA_CLI, list);
    EXPECT_TRUE(p.waitForFinished(30000));
    const QByteArray out = p.readAllStandardOutput(), err = p.readAllStandardError();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, out.toStdString(), err.toStdString()};
  }

  void SetUp() override { fs::create_directories(dir.path() / "home"); }

  TempDir dir;
};

TEST_F(CliOptimize, PrintsTheRewrittenPageAndChangesNothing) {
  const fs::path page = dir.path() / "site" / "page.html";
  const std::string bytes = "<p>a</p>\r\n\r\n<p>\t\tb</p> <i>x</i>";
  WriteFile(page, bytes);
  const std::string before = TreeDigest(dir.path());
  const Result r = Cli({page.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "<p>a</p>\r\n<p> b</p><i>x</i>\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadFile(page), bytes);
  EXPECT_EQ(TreeDigest(dir.path()), before);  // no support folder, no "Tmp", no log
}

TEST_F(CliOptimize, FlagsSwitchTheOptionsFromTheirStartValues) {
  const fs::path page = dir.path() / "page.html";
  WriteFile(page, "<p>a\t\t\t\tb</p>\n\n<b>c</b>");
  const struct { std::vector<std::string> flags; std::string out; } cases[] = {
      {{}, "<p>a b</p>\n<b>c</b>\n"},
      {{"--keep-tabs"}, "<p>a\t\t\t\tb</p>\n<b>c</b>\n"},
      {{"--keep-double-spaces"}, "<p>a  b</p>\n<b>c</b>\n"},  // four tabs, four blanks, one sweep of three
      {{"--keep-empty-lines"}, "<p>a b</p>\n\n<b>c</b>"},
      {{"--keep-tabs", "--keep-double-spaces", "--keep-empty-lines"}, "<p>a\t\t\t\tb</p>\n\n<b>c</b>"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.flags;
    args.push_back(page.string());
    const Result r = Cli(args);
    SCOPED_TRACE(args.front());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

TEST_F(CliOptimize, VariablesFileFillsThePlaceholders) {
  const fs::path page = dir.path() / "index.html", vars = dir.path() / "vars.txt";
  WriteFile(page, "<title>#VARIABLE1# - #VARIABLE2#</title>\n");
  WriteFile(vars, "Home;About us");
  Result r = Cli({page.string(), "--variables", vars.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "<title>Home - About us</title>\n");
  r = Cli({page.string()});
  EXPECT_EQ(r.out, "<title>#VARIABLE1# - #VARIABLE2#</title>\n");
  r = Cli({page.string(), "--variables", (dir.path() / "none.txt").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
}

TEST_F(CliOptimize, FindingsGoToStandardError) {
  const fs::path page = dir.path() / "page.html";
  WriteFile(page, "<!DOCTYPE html>\n<html><body>\n<div><div></div>\n</body></html>\n");
  const Result r = Cli({page.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "\xE2\x88\xBC/page.html <div> Tags  Start Tags: 2 End Tags: 1\n");
  EXPECT_NE(r.out.find("<div><div></div>"), std::string::npos);
}

TEST_F(CliOptimize, RefusalsExitWithTwoAndOneLine) {
  const fs::path png = dir.path() / "logo.png", php = dir.path() / "index.php";
  WriteFile(png, "\x89PNG\t\t");
  WriteFile(php, "<p>  </p>");
  fs::create_directories(dir.path() / "folder.html");
  const std::string before = TreeDigest(dir.path());
  const std::vector<std::vector<std::string>> cases = {
      {(dir.path() / "missing.html").string()},
      {(dir.path() / "folder.html").string()},
      {png.string()},
      {php.string()},
      {},
      {png.string(), png.string()},
      {"--keep-everything", php.string()},
      {php.string(), "--variables"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args.front());
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    if (args.size() == 1) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    }
  }
  EXPECT_EQ(TreeDigest(dir.path()), before);
}

}  // namespace
