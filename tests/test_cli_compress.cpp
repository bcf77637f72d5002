// trimora-cli compress, run as the built binary with every platform folder inside a temporary
// directory: the rows and totals, the Trash, bad input, copy and write failures, interruption,
// parallel jobs, and nothing written outside the copy, the support folder and the error log.
#include "TestPlatform.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TreeDigest;
using testing_support::WriteFile;

struct Result {
  int status = -1;  // exit status; -1 when killed by a signal
  std::string out, err;
};

struct Launch {
  rlim_t fileSizeLimit = RLIM_INFINITY;
  bool interruptAtStart = false;  // a Ctrl-C already waiting when the command starts
};

class CliCompress : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Home() / "Desktop");
    fs::create_directories(Home() / ".local/share");
    fs::create_directories(Home() / ".config");
    fs::create_directories(dir.path() / "runtime");
    ::chmod((dir.path() / "runtime").c_str(), 0700);
    fs::create_directories(Out());
  }

  fs::path Home() const { return dir.path() / "home"; }
  fs::path Out() const { return dir.path() / "out"; }
  fs::path Site() const { return dir.path() / "Sites" / "shop"; }
  fs::path Copy() const { return Out() / "shop Compressed"; }
  fs::path Trash() const { return Home() / ".local/share/Trash"; }

  Result Cli(std::vector<std::string> args, const Launch& launch = {}) {
    args.insert(args.begin(), "compress");
    args.insert(args.begin(), TRIMORA_CLI);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      if (v.rfind("HOME=", 0) == 0 || v.rfind("XDG_", 0) == 0) continue;
      env.push_back(v);
    }
    env.push_back("HOME=" + Home().string());
    env.push_back("XDG_DATA_HOME=" + (Home() / ".local/share").string());
    env.push_back("XDG_CONFIG_HOME=" + (Home() / ".config").string());
    env.push_back("XDG_CACHE_HOME=" + (Home() / ".cache").string());
    env.push_back("XDG_RUNTIME_DIR=" + (dir.path() / "runtime").string());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const fs::path outFile = dir.path() / "stdout", errFile = dir.path() / "stderr";
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int o = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int n = ::open("/dev/null", O_RDONLY);
      ::dup2(n, 0);
      ::dup2(o, 1);
      ::dup2(e, 2);
      if (launch.fileSizeLimit != RLIM_INFINITY) {
        const struct rlimit lim = {launch.fileSizeLimit, launch.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &lim);
      }
      if (launch.interruptAtStart) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        ::sigprocmask(SIG_BLOCK, &set, nullptr);
        ::raise(SIGINT);  // stays pending through exec until the command takes Ctrl-C itself
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(outFile), ReadFile(errFile)};
  }

  // Every item below the temporary directory with its content, except what the command may
  // write: the copy, the support folder, the error log and the captured output.
  std::map<std::string, std::string> Outside() const {
    std::map<std::string, std::string> items;
    const std::vector<fs::path> allowed = {Copy(), Home() / ".local/share/Trimora", Home() / "Desktop/Trimora.error",
                                           dir.path() / "stdout", dir.path() / "stderr"};
    for (auto it = fs::recursive_directory_iterator(dir.path()); it != fs::recursive_directory_iterator(); ++it) {
      const fs::path p = it->path();
      if (std::find(allowed.begin(), allowed.end(), p) != allowed.end()) {
        if (it->is_directory()) it.disable_recursion_pending();
        continue;
      }
      items[p.string()] = it->is_regular_file() ? ReadFile(p) : it->is_directory() ? "/" : "?";
    }
    return items;
  }

  TempDir dir;
};

TEST_F(CliCompress, RowsTotalsFindingsAndNothingElseChanged) {
  WriteFile(Site() / "index.html", "<html>\n<body>\n\t<div>  one\n</body>\n</html>\n");
  WriteFile(Site() / "about" / "team.html", "<html><body><p>#VARIABLE1#</p></body></html>");
  WriteFile(Site() / "css" / "site.css", "a  {  color : red ; }\n/* note */\n");
  WriteFile(Site() / "js" / "app.js", "// comment\nvar a = 1;\n");
  WriteFile(Site() / "img" / "logo.png", std::string("\x89PNG\r\n\x1a\n\0\0\t  ", 14));
  WriteFile(Site() / "_variables" / "_variables.txt", "Team");
  WriteFile(Site() / "index copy.html", "old");
  const std::string site = TreeDigest(Site());
  const auto before = Outside();

  const Result r = Cli({Site().string(), "--out", Out().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Order: folder items by code point, depth first.
  const auto lost = [&](const char* f) {
    return std::to_string(static_cast<int64_t>(fs::file_size(Site() / f)) - static_cast<int64_t>(fs::file_size(Copy() / f)));
  };
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "∼/about/team.html\t" + lost("about/team.html") + " bytes\n");
  std::vector<std::string> lines;
  for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.out.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[1], "∼/css/site.css\t" + lost("css/site.css") + " bytes");
  EXPECT_EQ(lines[2].substr(0, lines[2].find('\t')), "∼/index.html");
  EXPECT_EQ(lines[3].substr(0, lines[3].find('\t')), "∼/js/app.js");
  EXPECT_EQ(lines[4].rfind("Total bytes removed: \t", 0), 0u);
  EXPECT_EQ(lines[5], "∼/index.html <div> Tags  Start Tags: 1 End Tags: 0");
  EXPECT_EQ(ReadFile(Copy() / "about" / "team.html"), "<html><body><p>Team</p></body></html>\n");
  EXPECT_EQ(ReadFile(Copy() / "img" / "logo.png"), ReadFile(Site() / "img" / "logo.png"));
  EXPECT_FALSE(fs::exists(Copy() / "index copy.html"));

  EXPECT_EQ(TreeDigest(Site()), site);
  EXPECT_EQ(Outside(), before);
  // "Tmp" holds nothing after the run (it is not even needed when every file was rewritten as
  // it was copied); no preference file is made.
  const fs::path tmp = Home() / ".local/share/Trimora/Tmp";
  EXPECT_TRUE(!fs::exists(tmp) || fs::is_empty(tmp));
  EXPECT_EQ(std::distance(fs::directory_iterator(Home() / ".local/share/Trimora"), fs::directory_iterator()),
            fs::exists(tmp) ? 1 : 0);
}

TEST_F(CliCompress, JsonHoldsTheSameAsTheText) {
  WriteFile(Site() / "index.html", "<p>  a  </p>\n\n");
  WriteFile(Site() / "b.css", "b  {  }");
  const Result text = Cli({Site().string(), "--out", Out().string()});
  ASSERT_EQ(text.status, 0) << text.err;
  const Result json = Cli({Site().string(), "--out", Out().string(), "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
  std::string rebuilt;
  for (const auto& v : doc["rows"].toArray())
    rebuilt += v.toObject()["path"].toString().toStdString() + "\t" + v.toObject()["bytes"].toString().toStdString() + "\n";
  rebuilt += doc["total"].toObject()["label"].toString().toStdString() + "\t" +
             doc["total"].toObject()["bytes"].toString().toStdString() + "\n";
  EXPECT_EQ(rebuilt, text.out);
  EXPECT_EQ(doc["copy"].toString().toStdString(), Copy().string());
  EXPECT_EQ(doc["trashed"].toString().toStdString(), (Trash() / "files" / "shop Compressed").string());
  EXPECT_TRUE(doc["copyFailures"].toArray().isEmpty());
  EXPECT_FALSE(doc["cancelled"].toBool());
}

TEST_F(CliCompress, DesktopIsTheDefaultAndEarlierCopiesGoToTheTrash) {
  WriteFile(Site() / "index.html", "<p>x</p>");
  for (int i = 0; i < 3; ++i) {
    const Result r = Cli({Site().string()});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  EXPECT_TRUE(fs::is_directory(Home() / "Desktop" / "shop Compressed"));
  EXPECT_TRUE(fs::is_directory(Trash() / "files" / "shop Compressed"));
  EXPECT_TRUE(fs::exists(Trash() / "info" / "shop Compressed.trashinfo"));
  // The third run met a namesake in the Trash: "shop Compressed YYYYMMDD hhmmss".
  int stamped = 0;
  for (auto& e : fs::directory_iterator(Trash() / "files")) {
    const std::string n = e.path().filename().string();
    if (n.size() == 31 && n.rfind("shop Compressed ", 0) == 0 && n[24] == ' ') ++stamped;
  }
  EXPECT_EQ(stamped, 1);
}

TEST_F(CliCompress, BadInputGetsOneLineAndCreatesNothing) {
  WriteFile(Site() / "index.html", "x");
  WriteFile(dir.path() / "Sites" / "shop compressed" / "index.html", "x");
  WriteFile(Trash() / "files" / "old" / "index.html", "x");
  WriteFile(dir.path() / "Trashy" / "site" / "index.html", "x");
  WriteFile(dir.path() / "a-file", "x");
  const auto before = Outside();
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{}, "no site folder given"},
      {{(dir.path() / "missing").string()}, "no such folder"},
      {{(dir.path() / "a-file").string()}, "is not a folder"},
      {{(dir.path() / "Sites" / "shop compressed").string()}, "Error! This Directory is alreday compressed."},
      {{(Trash() / "files" / "old").string()}, "Error! This Directory is in Trash."},
      {{Site().string(), "--out", (dir.path() / "missing").string()}, "no such folder for the copy"},
      {{Site().string(), "--out", (dir.path() / "a-file").string()}, "no such folder for the copy"},
      {{Site().string(), "--out"}, "--out needs a folder"},
      {{Site().string(), "--jobs", "0"}, "--jobs needs a number"},
      {{Site().string(), "--jobs", "2x"}, "--jobs needs a number"},
      {{Site().string(), "--fast"}, "unknown option \"--fast\""},
      {{Site().string(), Site().string()}, "one site folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const Result r = Cli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("trimora-cli: ", 0), 0u) << r.err;
    EXPECT_EQ(Outside(), before);
    EXPECT_FALSE(fs::exists(Copy()));
    EXPECT_FALSE(fs::exists(Home() / ".local/share/Trimora"));
  }
  // "Trashy" is not the Trash.
  const Result fine = Cli({(dir.path() / "Trashy" / "site").string(), "--out", Out().string()});
  EXPECT_EQ(fine.status, 0) << fine.err;
}

TEST_F(CliCompress, ItemsThatCouldNotBeCopiedAreListedAndTheExitStatusSaysSo) {
  WriteFile(Site() / "index.html", "<p>  a  </p>");
  WriteFile(Site() / "zz.css", "a  {  }");
  ASSERT_EQ(::mkfifo((Site() / "pipe.html").c_str(), 0644), 0);
  fs::create_symlink(Site() / "gone.html", Site() / "broken.html");
  fs::create_directory_symlink(Site(), Site() / "sub-loop");
  const std::string site = TreeDigest(Site());
  const Result r = Cli({Site().string(), "--out", Out().string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("∼/index.html\t"), std::string::npos);
  EXPECT_NE(r.out.find("∼/zz.css\t"), std::string::npos);
  EXPECT_NE(r.out.find("not copied: ∼/broken.html\tbroken link\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("not copied: ∼/pipe.html\tnot a file or folder\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("not copied: ∼/sub-loop\tlink loop\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("the copy is incomplete: 3 items could not be copied"), std::string::npos) << r.err;
  EXPECT_EQ(TreeDigest(Site()), site);
}

TEST_F(CliCompress, AFileSizeLimitFailsOnlyTheWritesItStops) {
  const std::string big(20000, 'x');
  WriteFile(Site() / "big.png", big);
  std::string grows = "<p>";
  for (int i = 0; i < 300; ++i) grows += "#LONGDATE#";
  grows += "</p>";
  WriteFile(Site() / "grows.html", grows);  // 3007 bytes that the dates make far longer
  WriteFile(Site() / "small.html", "<p>  small  </p>");
  const std::string site = TreeDigest(Site());

  Launch launch;
  launch.fileSizeLimit = 4000;
  const Result r = Cli({Site().string(), "--out", Out().string()}, launch);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("∼/grows.html\twrite failed\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("∼/small.html\t"), std::string::npos);
  EXPECT_NE(r.out.find("not copied: ∼/big.png\t"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(Copy() / "big.png"));  // no truncated file left in the copy
  EXPECT_EQ(ReadFile(Copy() / "grows.html"), grows);  // the previous content stays
  EXPECT_EQ(ReadFile(Copy() / "small.html"), "<p> small </p>\n");
  EXPECT_NE(r.err.find("1 file could not be rewritten"), std::string::npos) << r.err;
  EXPECT_EQ(TreeDigest(Site()), site);
}

TEST_F(CliCompress, CtrlCStopsTheCopyAndRewritesNothing) {
  WriteFile(Site() / "index.html", "<p>  a  </p>");
  WriteFile(Site() / "more" / "b.html", "<p>  b  </p>");
  const std::string site = TreeDigest(Site());
  Launch launch;
  launch.interruptAtStart = true;
  const Result r = Cli({Site().string(), "--out", Out().string()}, launch);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_directory(Copy()));  // the partial copy stays
  EXPECT_TRUE(fs::is_empty(Copy()));
  EXPECT_EQ(TreeDigest(Site()), site);
}

TEST_F(CliCompress, ParallelJobsGiveTheSameOutputAndCopy) {
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i);
    WriteFile(Site() / ("d" + std::to_string(i % 4)) / ("p" + n + ".html"),
              "<html>\r\n<body>\r\n\t<div>  #VARIABLE1# " + n + "  <!-- c -->\r\n\r\n</body></html>");
    WriteFile(Site() / ("d" + std::to_string(i % 4)) / ("s" + n + ".css"), "a  {  color : red ; }  /* " + n + " */");
    WriteFile(Site() / ("d" + std::to_string(i % 4)) / ("j" + n + ".js"), std::string(i * 50, ' ') + "var x;\n// c\n");
  }
  WriteFile(Site() / "_variables" / "_variables.txt", "Value;Two");
  const Result one = Cli({Site().string(), "--out", Out().string(), "--jobs", "1"});
  ASSERT_EQ(one.status, 0) << one.err;
  const std::string copyOne = TreeDigest(Copy());
  const Result many = Cli({Site().string(), "--out", Out().string(), "--jobs", "4"});
  ASSERT_EQ(many.status, 0) << many.err;
  EXPECT_EQ(many.out, one.out);
  EXPECT_EQ(TreeDigest(Copy()), copyOne);
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 120 + 1 + 40);
}

}  // namespace
