// The abbreviation expander, the editor's abbreviation search, the shortcuts file and the
// `trimora-cli macro` command.
#include "macro/mMacro.h"

#include "TestPlatform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/wait.h>

namespace {

using testing_support::TestPlatform;
using testing_support::WriteFile;

struct Case {
  const char* in;
  const char* out;
};

void ExpectExpansions(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(mMacro::Run(c.in), c.out);
  }
}

TEST(Expander, WorkedExamples) {
  ExpectExpansions({
      {"div.main", "<div class=\"main\">\r</div><!-- End main -->\r"},
      {"ul#menu,li*3", "<ul id=\"menu\">\r<li></li>\r<li></li>\r<li></li>\r</ul><!-- End menu -->\r"},
      {"ul.nav,li!.item*2",
       "<ul class=\"nav\">\r<li><a class=\"item\" href=\"#\"></a></li>\r"
       "<li><a class=\"item\" href=\"#\"></a></li>\r</ul><!-- End nav -->\r"},
      {"ul,li!*2", "<ul>\r<li><a href=\"#\"></a></li>\r<li><a href=\"#\"></a></li>\r</ul>\r"},
      {"div.a,p", "<div class=\"a\">\r<p>\r</p>\r</div><!-- End a -->\r"},
      {"div,p*2,span", "<div>\r<p></p>\r<p></p>\r<span>\r</span>\r</div>\r"},
      {"p,br,hr", "<p>\r<br />\r<hr />\r</p>\r"},
      {"hr.line", "<hr class=\"line\" />\r"},
      {"li.x*2", "<li class=\"x\"></li>\r<li class=\"x\"></li>\r"},
      {"br*2", "<br />\r<br />\r"},
      {"img.logo*1", "<img class=\"logo\"></img>\r"},
      {"%div", "<div>\r</div>\r"},
      {"!.nav*3",
       "<a class=\"nav\" href=\"#\"></a>\r<a class=\"nav\" href=\"#\"></a>\r<a class=\"nav\" href=\"#\"></a>"},
      {"!.btn", "<a class=\"btn\" href=\"#\">^</a>"},
      {"!*0", "<a href=\"#\"></a>"},
  });
}

TEST(Expander, ClassAndIdSplit) {
  ExpectExpansions({
      // A simple item splits at "#" whatever the order; the end tag closes what was opened.
      {"div#a.b", "<div id=\"a.b\">\r</div><!-- End a.b -->\r"},
      {"div.a#b", "<div.a id=\"b\">\r</div.a><!-- End b -->\r"},
      // A repeat item splits at "." instead.
      {"li.x#y*2", "<li class=\"x#y\"></li>\r<li class=\"x#y\"></li>\r"},
      {"li#y*1", "<li id=\"y\"></li>\r"},
      {"div.", "<div class=\"\">\r</div><!-- End  -->\r"},
  });
}

TEST(Expander, WhiteSpaceEmptyItemsAndVoidNames) {
  ExpectExpansions({
      {"div.x, p", "<div class=\"x\">\r<p>\r</p>\r</div><!-- End x -->\r"},
      {"div,\tp\r\n", "<div>\r<p>\r</p>\r</div>\r"},
      {"ul,", "<ul>\r<>\r</>\r</ul>\r"},
      {"a,,b", "<a>\r<>\r<b>\r</b>\r</>\r</a>\r"},
      {"BR", "<BR />\r"},
      {"Hr", "<Hr />\r"},
      {"Br*1", "<Br />\r"},
      {"br!.x*2", "<br />\r<br />\r"},  // a void element gets no link
      {"bra", "<bra>\r</bra>\r"},
      {"%!.x", "<a class=\"x\" href=\"#\">^</a>"},
      {"%", ""},
  });
}

TEST(Expander, Counts) {
  ExpectExpansions({
      {"li*0", ""},
      {"li*", ""},
      {"li*abc", ""},
      {"li*-2", ""},
      {"li* 3", ""},  // no leading blanks are read
      {"li*2.7", "<li></li>\r<li></li>\r"},
      {"li*+2", "<li></li>\r<li></li>\r"},
      {"li*2x", "<li></li>\r<li></li>\r"},
      // Markers after the "*" end the count text and name nothing.
      {"li*2.x", "<li></li>\r<li></li>\r"},
      {"li*2!", "<li></li>\r<li></li>\r"},
      {"li#y*1.x", "<li id=\"y\"></li>\r"},
      // Link form: every "^" goes once there is a "*", whatever the count.
      {"!*1", "<a href=\"#\"></a>"},
      {"!*", "<a href=\"#\"></a>"},
      {"!*2", "<a href=\"#\"></a>\r<a href=\"#\"></a>"},
      {"!", "<a href=\"#\">^</a>"},
      {"!.a.b", "<a class=\"a.b\" href=\"#\">^</a>"},
  });
}

TEST(Expander, RepeatWithoutNameBeepsAndRestGoesOn) {
  mMacro::Expansion e = mMacro::Expand("*3");
  EXPECT_TRUE(e.beep);
  EXPECT_TRUE(e.copy);  // the empty result still replaces the clipboard text
  EXPECT_EQ(e.markup, "");

  e = mMacro::Expand("ul,*3,li*1");
  EXPECT_TRUE(e.beep);
  EXPECT_EQ(e.markup, "<ul>\r<li></li>\r</ul>\r");

  e = mMacro::Expand("ul,li*2");
  EXPECT_FALSE(e.beep);
  EXPECT_TRUE(e.copy);
}

TEST(Expander, HugeCountsNeverExhaustMemory) {
  // A repeat run too large to build is left out (with a beep); the rest is still expanded.
  mMacro::Expansion e = mMacro::Expand("ul,li*99999999999999999999999");
  EXPECT_TRUE(e.beep);
  EXPECT_TRUE(e.copy);
  EXPECT_EQ(e.markup, "<ul>\r</ul>\r");

  e = mMacro::Expand("li*100000");
  EXPECT_FALSE(e.beep);
  EXPECT_EQ(e.markup.size(), 100000u * 10);

  // A link form that large is abandoned: nothing, and the clipboard stays as it was.
  e = mMacro::Expand("!*900000000");
  EXPECT_FALSE(e.copy);
  EXPECT_TRUE(e.beep);
  EXPECT_EQ(e.markup, "");
}

TEST(Expander, ReadCount) {
  const std::vector<std::pair<const char*, int64_t>> cases = {
      {"3", 3},     {"42abc", 42}, {"2.7", 2}, {"-2.7", -2}, {"+5", 5}, {"-", 0}, {"", 0},
      {" 3", 0},    {"\t3", 0},    {"abc", 0}, {".5", 0},    {"0", 0},  {"007", 7},
      {"99999999999999999999", INT64_MAX},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    EXPECT_EQ(mMacro::ReadCount(in), out);
  }
}

TEST(Editor, AbbreviationBeforeCaret) {
  const std::vector<std::pair<const char*, std::optional<std::string>>> cases = {
      {"ul,li*3", "ul,li*3"},
      {"see div.a", "div.a"},
      {"<div", "div"},
      {"<<div<", "div"},
      {"first\rul", "ul"},
      {"first\nul", "ul"},
      {"x\tli*2", "li*2"},
      {"caf\xC3\xA9 p.caf\xC3\xA9", "p.caf\xC3\xA9"},
      {"text ", std::nullopt},
      {"", std::nullopt},
      {"<", std::nullopt},
      {"<p>div", std::nullopt},
      {"a>b c", "c"},  // the ">" stands before the space that ends the walk
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    EXPECT_EQ(mMacro::AbbreviationBeforeCaret(in), out);
  }
}

std::vector<std::string> MenuTexts(std::string_view file) {
  std::vector<std::string> texts;
  for (const mMacro::MenuEntry& e : mMacro::ShortCutMenu(mMacro::SplitShortCuts(file)))
    texts.push_back(e.separator ? "---" : e.text);
  return texts;
}

TEST(ShortCuts, FileToMenu) {
  using V = std::vector<std::string>;
  EXPECT_EQ(MenuTexts("ul,li*3;\ndiv.main;\r\n-;\r!.nav*4;\n"), (V{"ul,li*3", "div.main", "---", "!.nav*4"}));
  EXPECT_EQ(MenuTexts("ul,li*3;div.main"), (V{"ul,li*3"}));
  EXPECT_EQ(MenuTexts("a;;-;b;"), (V{"a", "---", "b"}));
  EXPECT_EQ(MenuTexts("ul,\nli*3\r\n;"), (V{"ul,li*3"}));  // no ";" at the line end: one entry
  EXPECT_EQ(MenuTexts(" div . x ;"), (V{" div . x "}));      // spaces kept as written
  EXPECT_EQ(MenuTexts("no separator at all"), V{});
  EXPECT_EQ(MenuTexts(""), V{});
  EXPECT_EQ(mMacro::SplitShortCuts("a;;-;b;"), (V{"a", "", "-", "b", ""}));
}

TEST(ShortCuts, MissingFileKeepsPreviousList) {
  TestPlatform platform;
  mMacro::ShortCuts shortcuts;
  EXPECT_FALSE(shortcuts.Update(platform));  // no "Trimora" folder
  EXPECT_TRUE(shortcuts.TheShortCut().empty());

  const auto file = platform.DocumentsFolder() / "Trimora" / "trimoramacro.txt";
  EXPECT_EQ(mMacro::ShortCutsFile(platform), file);
  WriteFile(file, "ul,li*3;div.main;");
  ASSERT_TRUE(shortcuts.Update(platform));
  EXPECT_EQ(shortcuts.Menu().size(), 2u);

  std::filesystem::remove(file);
  EXPECT_FALSE(shortcuts.Update(platform));
  EXPECT_EQ(shortcuts.Menu().size(), 2u);

  // A file holding "*" is read as it stands (one piece, so no entry), not taken for a failure.
  WriteFile(file, "*");
  ASSERT_TRUE(shortcuts.Update(platform));
  EXPECT_EQ(shortcuts.TheShortCut(), std::vector<std::string>{"*"});
  EXPECT_TRUE(shortcuts.Menu().empty());
}

// Runs trimora-cli with one argument (passed without a shell) and gives its output and status.
std::pair<std::string, int> RunCli(const std::vector<std::string>& args) {
  std::string cmd = std::string("'") + TRIMORA_CLI + "' macro";
  for (const std::string& a : args) {
    cmd += " '";
    for (char c : a) cmd += c == '\'' ? std::string("'\\''") : std::string(1, c);
    cmd += "'";
  }
  cmd += " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
  std::string out;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe.get())) > 0) out.append(buf.data(), n);
  const int status = pclose(pipe.release());
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(MacroCommand, PrintsTheExpansionExactly) {
  EXPECT_EQ(RunCli({"ul#menu,li*3"}),
            std::make_pair(std::string("<ul id=\"menu\">\r<li></li>\r<li></li>\r<li></li>\r</ul><!-- End menu -->\r"), 0));
  EXPECT_EQ(RunCli({" <div "}), std::make_pair(std::string("<div>\r</div>\r"), 0));
  EXPECT_EQ(RunCli({"li*0"}), std::make_pair(std::string(), 0));
  EXPECT_EQ(RunCli({"<"}).second, 1);
  EXPECT_EQ(RunCli({}).second, 2);
  EXPECT_EQ(RunCli({"a", "b"}).second, 2);
}

}  // namespace
