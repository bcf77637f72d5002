#include "compress/CssPasses.h"
#include "compress/StripCode.h"
#include "compress/TextOps.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using trimora::TextCtx;

struct Case {
  std::string in, out;
};

TextCtx Ctx(std::string b = "\n", bool sjis = false) {
  TextCtx c;
  c.b = std::move(b);
  c.sjis = sjis;
  return c;
}

// The passes as first described, sweep after sweep with the replace-all primitive; the
// references for the passes, which run all sweeps in one pass.
std::string SheetSweeps(std::string t, const TextCtx& ctx, bool trimLineBreaks) {
  const std::string& b = ctx.b;
  const std::pair<std::string, std::string> first[] = {
      {": ", ":"}, {" ;", ";"}, {"; ", ";"}, {" }", "}"}, {"} ", "}"}, {" {", "{"}, {"{ ", "{"},
      {"{" + b, "{"}, {";" + b, ";"}, {b + "{", "{"}};
  for (const auto& [pat, with] : first) txt::ReplaceAll(t, pat, with, ctx.sjis);
  if (trimLineBreaks) {
    txt::ReplaceAll(t, b, "", ctx.sjis);
    txt::ReplaceAll(t, "\r", "", ctx.sjis);
    txt::RemoveLineBreakBytes(t);
  }
  const std::pair<std::string, std::string> again[] = {
      {": ", ":"}, {" ;", ";"}, {"; ", ";"}, {"{ ", "{"}};
  for (const auto& [pat, with] : again) txt::ReplaceAll(t, pat, with, ctx.sjis);
  return t;
}

std::string StyleBlockSweeps(std::string page, const TextCtx& ctx) {
  const size_t s = txt::Find(page, "<style", 0, ctx.sjis);
  if (s == txt::npos || s + 1 <= 5) return page;
  const size_t e = txt::Find(page, "</style", 0, ctx.sjis);
  if (e == txt::npos || e < s) return page;
  std::string block = page.substr(s, e - s);
  const std::string& b = ctx.b;
  const std::pair<std::string, std::string> sweeps[] = {
      {": ", ":"}, {"; ", ";"}, {"{" + b, "{"}, {";" + b, ";"}, {b + "{", "{"}};
  for (const auto& [pat, with] : sweeps) txt::ReplaceAll(block, pat, with, ctx.sjis);
  return page.substr(0, s) + block + page.substr(e);
}

std::string InlineStyleSplicing(std::string t, const TextCtx& ctx) {
  size_t pos = 9;
  for (;;) {
    const size_t k = txt::Find(t, "style=\"", pos, ctx.sjis);
    if (k == txt::npos) return t;
    const size_t v = k + 7;
    const size_t c = txt::Find(t, "\"", v, ctx.sjis);
    if (c != txt::npos && c != v) {
      std::string seg = t.substr(k - 1, c - (k - 1));
      for (const auto& [pat, with] : {std::pair{": ", ":"}, {" :", ":"}, {" ;", ";"}, {"; ", ";"}})
        txt::ReplaceAll(seg, pat, with, ctx.sjis);
      t.replace(k - 1, c - (k - 1), seg);
      pos = k - 1 + seg.size() + 1;
    } else {
      pos = v;
    }
  }
}

std::string RandomText(std::mt19937& rng, const std::vector<std::string>& pieces, int count) {
  std::string t;
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  for (int i = 0; i < count; ++i) t += pieces[pick(rng)];
  return t;
}

const char* const kLineEndings[] = {"\n", "\r", "\r\n"};

// ---------------------------------------------------------------------------------------------
// Style sheets

TEST(StyleSheet, PunctuationIsTightened) {
  const Case cases[] = {
      // no rule for a blank before ":" in a style sheet
      {"a { color : red ; }", "a{color :red;}"},
      {"a {\n  color: red;\n  margin: 0;\n}\n", "a{ color:red; margin:0;}\n"},
      {"a{x:y} b{x:y}\n c , d > e { }", "a{x:y}b{x:y}\n c , d > e{}"},
      // each sweep goes over the text once: a run of blanks loses one blank per sweep
      {"a  {  x:  y  ;  }", "a {x:y;}"},
      // strings and url(...) are not spared
      {"a{content: 'x ; y'; background: url(\"a; b.png\")}",
       "a{content:'x;y';background:url(\"a;b.png\")}"},
      {"", ""},
      {"plain", "plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Css::OptimizeStyleSheet(c.in, Ctx(), false), c.out);
  }
}

TEST(StyleSheet, LineBreaksOnlyGoWhenAsked) {
  const std::string sheet = "a {\n  color: red;\n}\n\nb\n{\n x: y }\n";
  EXPECT_EQ(Css::OptimizeStyleSheet(sheet, Ctx(), false), "a{ color:red;}\n\nb{x:y}\n");
  EXPECT_EQ(Css::OptimizeStyleSheet(sheet, Ctx(), true), "a{ color:red;}b{x:y}");
  // every form of line break goes, not only the file's own
  EXPECT_EQ(Css::OptimizeStyleSheet("a {\r\n x: y;\r\n}\r\nb {\n}\r", Ctx("\r\n"), true),
            "a{x:y;}b{}");
  EXPECT_EQ(Css::OptimizeStyleSheet("a {\r x: y;\r}\r", Ctx("\r"), false), "a{x:y;}\r");
}

TEST(StyleSheet, ShiftJisSecondByteIsNoBrace) {
  // 0x83 0x7B and 0x83 0x7D are characters whose second bytes are "{" and "}".
  const std::string sheet = "a{content:'\x83{ \x83} '} b { }";
  EXPECT_EQ(Css::OptimizeStyleSheet(sheet, Ctx("\n", true), false), "a{content:'\x83{ \x83} '}b{}");
  EXPECT_EQ(Css::OptimizeStyleSheet(sheet, Ctx("\n", false), false), "a{content:'\x83{\x83}'}b{}");
  EXPECT_EQ(Css::OptimizeStyleSheet("a\x83{\n\x83\n", Ctx("\n", true), true), "a\x83{\x83");
}

TEST(StyleSheet, OnePassGivesTheSweepsResult) {
  std::mt19937 rng(3);
  const std::vector<std::string> pieces = {" ", " ", ":", ";", "{", "}", "\n", "\r", "\r\n",
                                           "a", "\"", ",", "\t"};
  for (int i = 0; i < 20000; ++i) {
    const std::string t = RandomText(rng, pieces, 1 + i % 30);
    const TextCtx ctx = Ctx(kLineEndings[i % 3], i % 7 == 0);
    for (const bool trim : {false, true}) {
      SCOPED_TRACE(testing::Message() << ::testing::PrintToString(t) << " b=" << i % 3
                                      << " trim=" << trim << " sjis=" << ctx.sjis);
      EXPECT_EQ(Css::OptimizeStyleSheet(t, ctx, trim), SheetSweeps(t, ctx, trim));
    }
  }
  // Long sheets, where repeated stretches are remembered and long plain stretches moved whole.
  const std::vector<std::string> rules = {"a {\n  color: red;\n}\n", ".b , c > d{x : y ;z:w}",
                                          "  ", " ", ";", ":", "\r\n", "{", "}", "url(a; b)",
                                          "abcdefghijklmnopqrstuvwxyz0123456789"};
  for (int i = 0; i < 60; ++i) {
    const std::string t = RandomText(rng, rules, 400 + 40 * i);
    const TextCtx ctx = Ctx(kLineEndings[i % 3]);
    for (const bool trim : {false, true}) {
      SCOPED_TRACE(testing::Message() << "long sheet " << i << " trim=" << trim);
      EXPECT_EQ(Css::OptimizeStyleSheet(t, ctx, trim), SheetSweeps(t, ctx, trim));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The first style block of a page

TEST(StyleBlock, OnlyTheFirstBlockIsTightened) {
  const Case cases[] = {
      {"<html><style>\np { color: red; }\n</style><style>q { color: red; }</style>",
       "<html><style>\np { color:red;}\n</style><style>q { color: red; }</style>"},
      // the tag is part of the block
      {"<html><style media=\"a; b\">p {\nx: y;\n}\n</style>",
       "<html><style media=\"a;b\">p {x:y;}\n</style>"},
      // a "<style" among the first five characters
      {"<style>p { x: y; }</style>", "<style>p { x: y; }</style>"},
      {"1234<style>p { x: y; }</style>", "1234<style>p { x: y; }</style>"},
      {"12345<style>p { x: y; }</style>", "12345<style>p { x:y;}</style>"},
      // no block: no "</style", or "</style" before "<style"
      {"<html><style>p { x: y; }", "<html><style>p { x: y; }"},
      {"<html></style><style>p { x: y; }</style>", "<html></style><style>p { x: y; }</style>"},
      {"<html><p>x: y; z</p>", "<html><p>x: y; z</p>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Css::OptimizeFirstStyleBlock(c.in, Ctx()), c.out);
  }
}

TEST(StyleBlock, LineEndingsAndShiftJis) {
  EXPECT_EQ(Css::OptimizeFirstStyleBlock("<html><style>\r\np\r\n{\r\ncolor: red;\r\n}\r\n</style>\r\n",
                                         Ctx("\r\n")),
            "<html><style>\r\np{color:red;}\r\n</style>\r\n");
  // "{" as the second byte of 0x83 0x7B is followed by a line break that stays
  EXPECT_EQ(Css::OptimizeFirstStyleBlock("<html><style>a{\n\x83{\n</style>", Ctx("\n", true)),
            "<html><style>a{\x83{\n</style>");
}

TEST(StyleBlock, OnePassGivesTheSweepsResult) {
  std::mt19937 rng(5);
  const std::vector<std::string> pieces = {" ", ":", ";", "{", "}", "\n", "\r", "\r\n", "a",
                                           "<style>", "</style>", "<html>"};
  for (int i = 0; i < 20000; ++i) {
    const std::string t = RandomText(rng, pieces, 1 + i % 30);
    const TextCtx ctx = Ctx(kLineEndings[i % 3], i % 7 == 0);
    SCOPED_TRACE(::testing::PrintToString(t));
    EXPECT_EQ(Css::OptimizeFirstStyleBlock(t, ctx), StyleBlockSweeps(t, ctx));
  }
}

// ---------------------------------------------------------------------------------------------
// Inline style attributes

TEST(InlineStyle, DoubleQuotedValuesAreTightened) {
  const Case cases[] = {
      {"<p class=x style=\"color : red ; margin: 0\">t</p>",
       "<p class=x style=\"color:red;margin:0\">t</p>"},
      // two elements in a row
      {"<div id=x><i style=\"a : b\"></i><i style=\"c ; d\"></i>",
       "<div id=x><i style=\"a:b\"></i><i style=\"c;d\"></i>"},
      // an empty value is passed over, the search goes on after it
      {"<p id=aaa style=\"\">x<b style=\"a : b\">", "<p id=aaa style=\"\">x<b style=\"a:b\">"},
      // single quotes are not handled; any name ending in "style" is
      {"<p id=abc style='a : b' data-style=\"a : b\">", "<p id=abc style='a : b' data-style=\"a:b\">"},
      // an attribute among the first nine characters
      {"12345678style=\"a : b\"", "12345678style=\"a : b\""},
      {"123456789style=\"a : b\"", "123456789style=\"a:b\""},
      // no closing quote
      {"<p id=abcd style=\"a : b", "<p id=abcd style=\"a : b"},
      // blanks elsewhere are left
      {"<p id=abcd style=\"font: 1em  a , b\">a : b</p>", "<p id=abcd style=\"font:1em  a , b\">a : b</p>"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(StripCode::OptimizeInlineStyle(c.in, Ctx()), c.out);
  }
}

TEST(InlineStyle, ShiftJisTrailByteIsNoAttribute) {
  // 0x83 0x73 is one character, so its "s" starts no "style=\"".
  EXPECT_EQ(StripCode::OptimizeInlineStyle("<p id=abcd \x83style=\"a : b\"><i style=\"c : d\">",
                                           Ctx("\n", true)),
            "<p id=abcd \x83style=\"a : b\"><i style=\"c:d\">");
}

TEST(InlineStyle, OnePassGivesTheSplicingResult) {
  std::mt19937 rng(9);
  const std::vector<std::string> pieces = {"style=\"", "STYLE=\"", "\"", " ", " ", ":", ";",
                                           "a", "=", "'", "\x83"};
  for (int i = 0; i < 20000; ++i) {
    const std::string t = RandomText(rng, pieces, 1 + i % 25);
    const TextCtx ctx = Ctx("\n", i % 2 == 0);
    SCOPED_TRACE(::testing::PrintToString(t));
    EXPECT_EQ(StripCode::OptimizeInlineStyle(t, ctx), InlineStyleSplicing(t, ctx));
  }
}

TEST(InlineStyle, ManyAttributesTakeLinearTime) {
  std::string page = "<html><body>";
  std::string expected = page;
  for (int i = 0; i < 100000; ++i) {
    page += "<i style=\"a : b ; c: d\">x</i>";
    expected += "<i style=\"a:b;c:d\">x</i>";
  }
  EXPECT_EQ(StripCode::OptimizeInlineStyle(page, Ctx()), expected);
}

}  // namespace
