// The shared passes and the per-file sequence driver.
//
// The fast passes are checked against the literal sweeps they replace, on hand-picked and on
// generated texts; the driver is checked step by step with options and inputs that keep the
// kind-specific passes out of the way.
#include "compress/Optimizer.h"
#include "compress/SharedPasses.h"
#include "compress/TextOps.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using trimora::FileKind;

std::string Show(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += static_cast<char>(c);
  }
  return out;
}

// ---- The literal forms ----------------------------------------------------------------------

std::string LiteralNormalize(const std::string& s, const std::string& b) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += b;
      ++i;
    } else if (s[i] == '\r' || s[i] == '\n') {
      out += b;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string LiteralTabs(std::string s) {
  txt::ReplaceAll(s, "\t", " ");
  txt::ReplaceAll(s, "   ", " ");
  return s;
}

std::string LiteralDoubleSpaces(std::string s) {
  for (int i = 0; i < 10; ++i) txt::ReplaceAll(s, "  ", " ");
  return s;
}

std::string LiteralJoinTags(std::string s) {
  for (int i = 0; i < 10; ++i) txt::ReplaceAll(s, "> <", "><");
  return s;
}

std::string LiteralEmptyLines(std::string s, const std::string& b) {
  txt::ReplaceAll(s, b + b, b);
  return s;
}

// The line filter as its rules read, one line at a time, re-searching a line from its start
// after every marker removed.
std::string LiteralFilter(std::string s, const std::string& b, bool script) {
  txt::ReplaceAll(s, b + b, b);
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(b, start);
    if (at == std::string::npos) {
      lines.push_back(s.substr(start));
      break;
    }
    lines.push_back(s.substr(start, at - start));
    start = at + b.size();
  }
  std::string out;
  for (std::string line : lines) {
    if (script && line.compare(0, 2, "//") == 0) line.clear();
    bool hadMarker = false;
    for (;;) {
      const size_t a = txt::Find(line, "<!-- bxinclude"), e = txt::Find(line, "<!-- End include");
      const size_t m = std::min(a, e);
      if (m == txt::npos) break;
      hadMarker = true;
      const size_t close = line.find("-->", m);
      line.erase(m, close == std::string::npos ? std::string::npos : close + 3 - m);
    }
    if (line.empty()) continue;
    if (hadMarker && line.find_first_not_of(" \t") == std::string::npos) continue;
    out += line + b;
  }
  return out;
}

std::string RandomText(std::mt19937& rng, const std::vector<std::string>& pieces, size_t count) {
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::string s;
  for (size_t i = 0; i < count; ++i) s += pieces[pick(rng)];
  return s;
}

// ---- Line endings ---------------------------------------------------------------------------

TEST(LineEndings, TheFirstBreakDecides) {
  const struct { std::string in, b; } cases[] = {
      {"a\nb\r\nc", "\n"},   {"a\r\nb\nc", "\r\n"}, {"a\rb\r\nc", "\r"},
      {"abc", "\n"},         {"", "\n"},            {"x\r", "\r"},
      {"\r\n", "\r\n"},      {"ab\n\r", "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.in));
    EXPECT_EQ(Shared::GetLineEnding(c.in), c.b);
  }
}

TEST(LineEndings, EveryBreakBecomesTheFilesOwn) {
  const struct { std::string in, b, out; } cases[] = {
      {"a\r\nb\r\n", "\r\n", "a\r\nb\r\n"},          // one convention throughout: unchanged
      {"a\nb\r\nc\rd", "\n", "a\nb\nc\nd"},         // mixed, LF first
      {"a\r\nb\nc\r", "\r\n", "a\r\nb\r\nc\r\n"},
      {"a\rb\r\n\n", "\r", "a\rb\r\r"},
      {"\n\r", "\r\n", "\r\n\r\n"},                 // LF then lone CR, no pair
      {"\r\r\n", "\n", "\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.in));
    std::string s = c.in;
    Shared::NormalizeLineEndings(s, c.b);
    EXPECT_EQ(Show(s), Show(c.out));
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const std::string in = RandomText(rng, {"a", "\r", "\n", "\r\n", "b", "\r\n\r\n", "bcdefgh"}, i % 60);
    for (const std::string b : {"\n", "\r", "\r\n"}) {
      std::string s = in;
      Shared::NormalizeLineEndings(s, b);
      ASSERT_EQ(Show(s), Show(LiteralNormalize(in, b))) << Show(in);
    }
  }
}

// ---- Blanks ---------------------------------------------------------------------------------

TEST(Blanks, TabsThenThreeBlanksToOneInOneSweep) {
  const struct { std::string in, out; } cases[] = {
      {"\t\t\t\t", "  "},       // four tabs -> four blanks -> two
      {"a\tb", "a b"},
      {"a   b", "a b"},
      {"a    b", "a  b"},
      {"a      b", "a  b"},     // six: two sweeps' worth is not done, one sweep gives two
      {"a  b", "a  b"},
      {" \t \t\t ", "  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.in));
    std::string s = c.in;
    Shared::ReplaceTabs(s);
    EXPECT_EQ(s, c.out);
  }
}

TEST(Blanks, TenHalvingSweepsLeaveCeilOfRunOver1024) {
  for (size_t n : {1u, 2u, 3u, 1023u, 1024u, 1025u, 2048u, 2049u, 5000u}) {
    SCOPED_TRACE(n);
    std::string s = "a" + std::string(n, ' ') + "b";
    Shared::CollapseBlankRuns(s);
    EXPECT_EQ(s, "a" + std::string((n + 1023) / 1024, ' ') + "b");
    EXPECT_EQ(s, LiteralDoubleSpaces("a" + std::string(n, ' ') + "b"));
  }
  std::string tabs = "a\t\t  b";
  Shared::CollapseBlankRuns(tabs);  // tabs are no blanks for this pass
  EXPECT_EQ(tabs, "a\t\t b");
}

TEST(Blanks, OnePassEqualsTheLiteralSweeps) {
  std::mt19937 rng(11);
  const std::vector<std::string> pieces = {" ", " ", "  ", "\t", "a", "bc", "\n", std::string(40, ' '),
                                           std::string(1030, ' ')};
  for (int i = 0; i < 3000; ++i) {
    const std::string in = RandomText(rng, pieces, i % 50);
    for (int mode = 0; mode < 4; ++mode) {
      const bool tabs = mode & 1, doubles = mode & 2;
      std::string fast = in;
      Shared::CollapseBlanks(fast, tabs, doubles);
      std::string slow = in;
      if (tabs) slow = LiteralTabs(slow);
      if (doubles) slow = LiteralDoubleSpaces(slow);
      ASSERT_EQ(Show(fast), Show(slow)) << Show(in) << " mode " << mode;
    }
    std::string t = in;
    Shared::ReplaceTabs(t);
    ASSERT_EQ(t, LiteralTabs(in));
    std::string d = in;
    Shared::CollapseBlankRuns(d);
    ASSERT_EQ(d, LiteralDoubleSpaces(in));
  }
}

// ---- Empty lines, tag joins, leading line ending --------------------------------------------

TEST(EmptyLines, OneSweepOfDoubleBreaks) {
  std::mt19937 rng(3);
  for (int i = 0; i < 2000; ++i) {
    const std::string in = RandomText(rng, {"a", "\n", "\r", "\r\n", "\n\n", "bcdefgh"}, i % 60);
    for (const std::string b : {"\n", "\r", "\r\n"}) {
      std::string s = in;
      Shared::CollapseEmptyLines(s, b);
      ASSERT_EQ(Show(s), Show(LiteralEmptyLines(in, b))) << Show(in);
    }
  }
  std::string s = "a\n\n\n\nb";
  Shared::CollapseEmptyLines(s, "\n");
  EXPECT_EQ(s, "a\n\nb");
}

TEST(TagJoins, OneSweepEqualsTen) {
  const struct { std::string in, out; } cases[] = {
      {"<a> <b> <c>", "<a><b><c>"},
      {"<a>  <b>", "<a>  <b>"},       // two blanks stay
      {"> > < <", "> >< <"},
      {">< > <", ">< ><"},
      {"a > < b", "a >< b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string s = c.in;
    Shared::JoinTags(s);
    EXPECT_EQ(s, c.out);
    EXPECT_EQ(s, LiteralJoinTags(c.in));
  }
  std::mt19937 rng(5);
  for (int i = 0; i < 3000; ++i) {
    const std::string in = RandomText(rng, {">", "<", " ", "> <", "a", "  "}, i % 40);
    std::string s = in;
    Shared::JoinTags(s);
    ASSERT_EQ(s, LiteralJoinTags(in)) << in;
  }
}

TEST(LeadingLineEnding, OnlyAOneByteEndingGoes) {
  const struct { std::string in, b, out; } cases[] = {
      {"\nabc", "\n", "abc"},   {"\n\nabc", "\n", "\nabc"}, {"\rabc", "\r", "abc"},
      {"\r\nabc", "\r\n", "\r\nabc"}, {"abc", "\n", "abc"}, {"", "\n", ""},
  };
  for (const auto& c : cases) {
    std::string s = c.in;
    Shared::RemoveLeadingLineEnding(s, c.b);
    EXPECT_EQ(Show(s), Show(c.out));
  }
}

// ---- The line filter ------------------------------------------------------------------------

std::string Filter(std::string s, const std::string& b, bool script = false) {
  trimora::TextCtx ctx;
  ctx.b = b;
  Shared::FilterLines(s, ctx, script);
  return s;
}

TEST(LineFilter, DropsEmptyLinesAndEndsEveryLine) {
  EXPECT_EQ(Filter("a\n\n\nb", "\n"), "a\nb\n");        // final line break added
  EXPECT_EQ(Filter("abc", "\n"), "abc\n");              // no break at all: LF added
  EXPECT_EQ(Filter("\n\na\n", "\n"), "a\n");
  EXPECT_EQ(Filter("a\r\n\r\nb\r\n", "\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(Filter("a\rb", "\r"), "a\rb\r");
  EXPECT_EQ(Filter("", "\n"), "");
  EXPECT_EQ(Filter("  \n\t\n", "\n"), "  \n\t\n");     // blank lines are not empty
}

TEST(LineFilter, ScriptCommentLinesAtColumnOneOnly) {
  EXPECT_EQ(Filter("a();\n// note\n\t// kept\nb();", "\n", true), "a();\n\t// kept\nb();\n");
  EXPECT_EQ(Filter("// first\na", "\n", true), "a\n");
  EXPECT_EQ(Filter("a\n// note\n", "\n", false), "a\n// note\n");  // pages and style sheets keep it
}

TEST(LineFilter, IncludeMarkersAreCutOutOfTheirLine) {
  const struct { std::string in, out; } cases[] = {
      {"some text <!-- End include --> more\n", "some text  more\n"},
      {"<!-- bxinclude header -->\n<nav>\n<!-- End include -->\n", "<nav>\n"},
      {"\t<!-- END INCLUDE x -->  \n", ""},                   // nothing but blanks left
      {"a <!-- bxinclude x\nb\n", "a \nb\n"},                // no "-->": to the line's end
      {"<!-- bxinclude a --><!-- End include b -->c\n", "c\n"},
      {"x<!-- bx<!-- End include -->include y -->z\n", "xz\n"},  // a marker joined by a cut
      {"a <!-- End include --> b -->\n", "a  b -->\n"},       // through the first "-->" only
      {"<!-- end navigation -->\n", "<!-- end navigation -->\n"},  // not an include marker
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Show(c.in));
    EXPECT_EQ(Show(Filter(c.in, "\n")), Show(c.out));
    EXPECT_EQ(Show(Filter(c.in, "\n")), Show(LiteralFilter(c.in, "\n", false)));
  }
}

TEST(LineFilter, OnePassEqualsTheLiteralRules) {
  std::mt19937 rng(13);
  const std::vector<std::string> pieces = {"a", " ", "\t", "//", "\n", "\n\n", "<!-- bxinclude", "<!-- End include",
                                           "<!-- bx", "include", "-->", "--", ">", "<!-- end INCLUDE"};
  for (int i = 0; i < 4000; ++i) {
    const std::string in = RandomText(rng, pieces, i % 25);
    for (bool script : {false, true}) {
      ASSERT_EQ(Show(Filter(in, "\n", script)), Show(LiteralFilter(in, "\n", script))) << Show(in);
      for (const std::string b : {"\r\n", "\r"}) {
        std::string other = in;
        Shared::NormalizeLineEndings(other, b);
        ASSERT_EQ(Show(Filter(other, b, script)), Show(LiteralFilter(other, b, script))) << Show(in);
      }
    }
  }
}

TEST(LineFilter, LongTextsWithFewChanges) {
  // Long stretches between the lines that change, in every line ending.
  std::string page;
  for (int i = 0; i < 300; ++i) page += i % 97 == 0 ? "\n" : i % 89 == 0 ? "// c <!-- End include -->\n" : "line of text\n";
  page += "last";
  for (const std::string b : {"\n", "\r\n", "\r"}) {
    for (bool script : {false, true}) {
      std::string t = page;
      Shared::NormalizeLineEndings(t, b);
      ASSERT_EQ(Filter(t, b, script), LiteralFilter(t, b, script)) << Show(b) << script;
    }
  }
}

TEST(LineFilter, LongTextsWithoutMarkersEqualTheLiteralRules) {
  // Texts without include markers take a faster way; long lines and runs of every length.
  std::mt19937 rng(17);
  const std::vector<std::string> pieces = {"a", "bcdefghijklmnopqrstuvwxyz0123456789", " ", "/", "//", "\n",
                                           "\n\n", "\n//", "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"};
  for (int i = 0; i < 3000; ++i) {
    const std::string in = RandomText(rng, pieces, i % 60);
    for (bool script : {false, true}) {
      for (const std::string b : {"\n", "\r\n", "\r"}) {
        std::string t = in;
        Shared::NormalizeLineEndings(t, b);
        ASSERT_EQ(Show(Filter(t, b, script)), Show(LiteralFilter(t, b, script))) << Show(t);
      }
    }
  }
}

TEST(LineFilter, ManyMarkersOnOneLineStayLinear) {
  // 200,000 markers on one line: a re-search from the line's start after each cut would take
  // minutes.
  std::string line;
  for (int i = 0; i < 200000; ++i) line += "<!-- End include -->x";
  const std::string out = Filter(line, "\n");
  EXPECT_EQ(out, std::string(200000, 'x') + "\n");
}

// ---- The sequence ---------------------------------------------------------------------------

// Options that keep the comment and line-break passes of other families out of the way.
trimora::OptimizeEnv PlainEnv() {
  trimora::OptimizeEnv env;
  env.opts.TrimAllComments = false;
  env.now = QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41));
  return env;
}

std::string Opt(const std::string& in, FileKind kind, const trimora::OptimizeEnv& env, bool php = false) {
  return trimora::OptimizeText(in, kind, php, env).text;
}

TEST(Sequence, LineEndingsSettleOnTheFirstBreak) {
  auto env = PlainEnv();
  env.opts.TrimEmptyLines = false;
  EXPECT_EQ(Show(Opt("<p>a</p>\r\n<p>b</p>\r\n", FileKind::Html, env)), Show("<p>a</p>\r\n<p>b</p>\r\n"));
  EXPECT_EQ(Show(Opt("<p>a</p>\n<p>b</p>\r\n<p>c</p>\r\n", FileKind::Html, env)),
            Show("<p>a</p>\n<p>b</p>\n<p>c</p>\n"));
}

TEST(Sequence, EmptyLinesOptionFiltersAndEndsTheText) {
  auto env = PlainEnv();
  EXPECT_EQ(Opt("<p>a</p>\n\n\n<p>b</p>", FileKind::Html, env), "<p>a</p>\n<p>b</p>\n");
  EXPECT_EQ(Opt("<p>a</p>", FileKind::Html, env), "<p>a</p>\n");
  // The marker line keeps its other content, with "Remove Comments" off.
  EXPECT_EQ(Opt("some text <!-- End include --> more\n", FileKind::Html, env), "some text more\n");
  env.opts.TrimEmptyLines = false;
  EXPECT_EQ(Opt("<p>a</p>\n\n\n<p>b</p>", FileKind::Html, env), "<p>a</p>\n\n\n<p>b</p>");
}

TEST(Sequence, ScriptCommentLineAndIndentedComment) {
  auto env = PlainEnv();
  EXPECT_EQ(Opt("a();\n// note\n\t// indented\n", FileKind::Script, env), "a();\n // indented\n");
}

TEST(Sequence, TabsAndDoubleSpaces) {
  auto env = PlainEnv();
  env.opts.TrimDoubleSpace = false;
  EXPECT_EQ(Opt("a\t\t\t\tb\n", FileKind::Html, env), "a  b\n");
  env.opts.TrimDoubleSpace = true;
  EXPECT_EQ(Opt("a\t\t\t\tb\n", FileKind::Html, env), "a b\n");
  env.opts.TrimTAB = false;
  EXPECT_EQ(Opt("a\t\t  b\n", FileKind::Html, env), "a\t\t b\n");
}

TEST(Sequence, TagJoinsInPagesOnly) {
  auto env = PlainEnv();
  EXPECT_EQ(Opt("<a> <b>\n", FileKind::Html, env), "<a><b>\n");
  EXPECT_EQ(Opt("s = \"<a> <b>\";\n", FileKind::Script, env), "s = \"<a> <b>\";\n");
  EXPECT_NE(Opt("a::after { content: \"> <\" }\n", FileKind::Css, env).find("> <"), std::string::npos);
}

TEST(Sequence, LeadingLineEndingGoesAfterThePasses) {
  auto env = PlainEnv();
  env.opts.TrimEmptyLines = false;
  EXPECT_EQ(Show(Opt("\n<p>a</p>\n", FileKind::Html, env)), Show("<p>a</p>\n"));
  EXPECT_EQ(Show(Opt("\r\n<p>a</p>\r\n", FileKind::Html, env)), Show("\r\n<p>a</p>\r\n"));
}

TEST(Sequence, BrixelCommentsFlagChangesNothing) {
  auto env = trimora::OptimizeEnv();
  env.now = QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41));
  const std::string page =
      "<!DOCTYPE html>\n<html><head><!-- bxinclude h --></head>\n<body>\t<p>a</p> <!-- End include -->\n</body></html>\n";
  env.opts.TrimBrixelComments = true;
  const std::string on = Opt(page, FileKind::Html, env);
  env.opts.TrimBrixelComments = false;
  EXPECT_EQ(Opt(page, FileKind::Html, env), on);
}

TEST(Sequence, OtherKindIsLeftAlone) {
  const std::string bytes = "\x89PNG\r\n\x1a\n\t\t  > <";
  EXPECT_EQ(Opt(bytes, FileKind::Other, PlainEnv()), bytes);
}

TEST(Sequence, TagCheckSeesCompletePagesWithTheirDictionary) {
  SyntaxCheck::Dictionaries dicts;
  dicts.html.names = {"div", ""};
  dicts.html5.names = {"span", ""};
  auto env = PlainEnv();
  env.dicts = &dicts;
  auto check = [&](const std::string& page) { return trimora::OptimizeText(page, FileKind::Html, false, env).unbalanced; };
  const std::string body = "<div><div></div><span>\n";
  auto html4 = check("<html><body>" + body + "</body></html>\n");
  ASSERT_EQ(html4.size(), 1u);
  EXPECT_EQ(html4[0].name, "div");
  auto html5 = check("<!doctype html>\n<html><body>" + body + "</body></html>\n");
  ASSERT_EQ(html5.size(), 1u);
  EXPECT_EQ(html5[0].name, "span");
  EXPECT_TRUE(check("<html><body>" + body + "</body>\n").empty());  // no "</html": not checked
  EXPECT_TRUE(check("<html><body>" + body + std::string(9000, 'x') + "</htm>\n").empty());
  // A closing tag far from the end is found as well.
  EXPECT_EQ(check("<html><body>" + body + "</body></HTML>\n" + std::string(9000, 'x')).size(), 1u);
  EXPECT_EQ(check("<html><body>" + body + "</body></html" + std::string(4094, 'x')).size(), 1u);
  // Scripts and style sheets are never checked.
  EXPECT_TRUE(trimora::OptimizeText("<html><body><div></html>", FileKind::Script, false, env).unbalanced.empty());
}

}  // namespace
