#include "compress/StripCode.h"
#include "compress/TextOps.h"
#include "compress/mEncodings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using StripCode::Lang;

struct Case {
  std::string in, out;
};

trimora::TextCtx Ctx(std::string b = "\n") {
  trimora::TextCtx ctx;
  ctx.b = std::move(b);
  return ctx;
}

void ExpectStrip(const Case* begin, const Case* end, Lang lang = Lang::Script,
                 const trimora::TextCtx& ctx = Ctx()) {
  for (const Case* c = begin; c != end; ++c) {
    SCOPED_TRACE(c->in);
    EXPECT_EQ(StripCode::JSBlockComments(c->in, ctx, lang), c->out);
  }
}

template <size_t N>
void ExpectStrip(const Case (&cases)[N], Lang lang = Lang::Script, const trimora::TextCtx& ctx = Ctx()) {
  ExpectStrip(cases, cases + N, lang, ctx);
}

// --- block comments -------------------------------------------------------------------------

TEST(StripCodeBlock, RemovesRealBlockCommentsOnly) {
  const Case cases[] = {
      {"a = 1; /* x */ b = 2;", "a = 1;  b = 2;"},
      {"/* a */ f(); /* a */ g(); /* b */", " f();  g(); "},
      {"s = \"/*\"; f(); t = \"*/\";", "s = \"/*\"; f(); t = \"*/\";"},
      {"s = '/*'; /* c */ t = '*/';", "s = '/*';  t = '*/';"},
      {"s = 'it\\'s /*'; /* c */", "s = 'it\\'s /*'; "},
      {"s = \"a\\\\\"; /* c */", "s = \"a\\\\\"; "},                // escaped backslash closes
      {"x = 1; // see /* here\ny = 2; /* c */", "x = 1; // see /* here\ny = 2; "},
      {"a/*/ b /*/c", "a c"},                                         // "/*/" does not close
      {"a = 1; /* open", "a = 1; /* open"},                           // unclosed: left as is
      {"f(); /** doc **/ g();", "f();  g();"},
  };
  ExpectStrip(cases);
}

TEST(StripCodeBlock, TemplateLiteralsAreText) {
  const Case cases[] = {
      {"t = `/* ${a} */`; /* c */", "t = `/* ${a} */`; "},
      {"t = `a ${ \"*/\" } /*`; /* c */", "t = `a ${ \"*/\" } /*`; "},
      {"t = `${ /\\/*/.test(a) ? '/*' : `*/` }`; /* c */", "t = `${ /\\/*/.test(a) ? '/*' : `*/` }`; "},
      {"t = `${ {a: 1}.a /* in code */ }`;", "t = `${ {a: 1}.a  }`;"},
      {"t = `\\` /* `; /* c */", "t = `\\` /* `; "},
      {"t = `$ {/*}`; /* c */", "t = `$ {/*}`; "},
  };
  ExpectStrip(cases);
}

TEST(StripCodeBlock, RegularExpressionsAreNotComments) {
  const Case cases[] = {
      {"re = /\\/\\*/; /* c */ x = /\\*\\//;", "re = /\\/\\*/;  x = /\\*\\//;"},
      {"re = /[/*]/g; /* c */", "re = /[/*]/g; "},
      {"re = /[\\]/*]/; /* c */", "re = /[\\]/*]/; "},
      {"if (/'/.test(s)) f(); /* c */", "if (/'/.test(s)) f(); "},
      {"return /'/.test(s) /* c */", "return /'/.test(s) "},
      {"x = typeof /'/; /* c */", "x = typeof /'/; "},
      {"f(a, /\"/, b); /* c */", "f(a, /\"/, b); "},
      {"x = a ? /'/ : /\"/; /* c */", "x = a ? /'/ : /\"/; "},
      {"x = [/'/]; /* c */", "x = [/'/]; "},
      {"x = !/'/.test(s); /* c */", "x = !/'/.test(s); "},
      {"x = (/* c */ /'/);", "x = ( /'/);"},                        // seen through the comment
  };
  ExpectStrip(cases);
}

TEST(StripCodeBlock, DivisionIsNoRegularExpression) {
  // Taking these slashes for a regular expression would swallow the quote or the comment.
  const Case cases[] = {
      {"a = b / c / d; s = \"it's\"; /* c */", "a = b / c / d; s = \"it's\"; "},
      {"x = (a)/2/b; s = \"it's\"; /* c */", "x = (a)/2/b; s = \"it's\"; "},
      {"x = a[0] / 2 / 3; s = \"'\"; /* c */", "x = a[0] / 2 / 3; s = \"'\"; "},
      {"x = a++ / 2 / b; s = \"'\"; /* c */", "x = a++ / 2 / b; s = \"'\"; "},
      {"x = o.return / 2 / o.typeof; s = \"'\"; /* c */", "x = o.return / 2 / o.typeof; s = \"'\"; "},
      {"x = 'a' / 2 / `b`; s = \"'\"; /* c */", "x = 'a' / 2 / `b`; s = \"'\"; "},
      {"x = /a/g / 2 / b; s = \"'\"; /* c */", "x = /a/g / 2 / b; s = \"'\"; "},
      {"x = a /* c */ / 2 / b; s = \"'\";", "x = a  / 2 / b; s = \"'\";"},
      {"x = 1.5 / 2 / e; s = \"'\"; /* c */", "x = 1.5 / 2 / e; s = \"'\"; "},
  };
  ExpectStrip(cases);
}

TEST(StripCodeBlock, CommentsRemovedBeforeDoNotChangeWhatFollows) {
  // The text is compacted while it is lexed: what the lexer looks back at after a removed
  // comment (the word before a slash, the blanks before "-->", a Shift_JIS lead byte) must
  // still be the text's own bytes.
  const Case cases[] = {
      {"x = (/* c */ /'/);", "x = ( /'/);"},
      {"x = a /* c */ / 2 / b; s = \"'\";", "x = a  / 2 / b; s = \"'\";"},
      {"x = o.return / 2 / o.typeof; s = \"'\";", "x = o.return / 2 / o.typeof; s = \"'\";"},
      {"return /*c*/ /'/.test(s)", "return  /'/.test(s)"},
      {"a()\n  --> old\nb(); /* c */", "a()\n  --> old\nb(); "},
      {"s = `${/* c */ 1}` + 'x'; /* d */", "s = `${ 1}` + 'x'; "},
      {"f(a, /\"/, b); // c\ng();\n// c\n", "f(a, /\"/, b); \ng();\n"},
  };
  const std::string before = "/* a first comment, long enough */\n/* a second one */\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    // The two line breaks left meet and are collapsed into one.
    EXPECT_EQ(StripCode::JSBlockComments(before + c.in, Ctx(), Lang::Script), "\n" + c.out);
    EXPECT_EQ(StripCode::JSBlockComments(c.in, Ctx(), Lang::Script), c.out);
  }
}

TEST(StripCodeBlock, NeverJoinsTheTokensAroundAComment) {
  const Case cases[] = {
      {"return/**/x;", "return x;"},
      {"var/* v */a = 1;", "var a = 1;"},
      {"a = b +/**/+c;", "a = b + +c;"},
      {"a = b -/**/-c;", "a = b - -c;"},
      {"x = 1/**/.toString();", "x = 1 .toString();"},
      {"x = a/**/(b);", "x = a(b);"},
      {"a/**//**/b", "a b"},
      // A comment holding the only line break between two statements still ends the first.
      {"a = b /*\n*/ c = d;", "a = b \n c = d;"},
      {"return /*\n*/ x;", "return \n x;"},
      {"/**\n * doc\n */\nfunction f() {}", "\nfunction f() {}"},
      {"f(); /* one\n two */\ng();", "f(); \ng();"},
  };
  ExpectStrip(cases);
}

// --- comment lines --------------------------------------------------------------------------

TEST(StripCodeLines, RemovesCommentLinesAndTheirTwinsAtLineEnds) {
  const Case cases[] = {
      {"a;\n// x\nb;\n", "a;\nb;\n"},
      {"// first\nb;\n// later\nc;\n", "// first\nb;\nc;\n"},         // the first line stays
      {"var a = 1; // x\nb;\n", "var a = 1; // x\nb;\n"},             // no comment line "// x"
      {"var a = 1; // x\n// x\nb;\n", "var a = 1; \nb;\n"},           // its twin goes too
      {"var a = 1; // X\n// x\nb;\n", "var a = 1; \nb;\n"},           // letter case aside
      {"a; // x y\n// x\nb;\n", "a; // x y\nb;\n"},                   // only the whole text
      {"a;\n  // x\nb;\n", "a;\n  // x\nb;\n"},                       // indented: no comment line
      {"a;\n// x", "a;\n// x"},                                       // no line ending after it
      {"a;\n// x\nb; // x", "a;\nb; "},                               // the twin ends the text
      {"a;\n//\nb;\n", "a;\nb;\n"},                                   // bare slashes
      {"a;\n/* c */// x\nb; // x\n", "a;\nb; \n"},                    // starts a line once A ran
      {"a;\n// 1\n// 2\n// 3\nb;\n", "a;\nb;\n"},
  };
  ExpectStrip(cases);
}

TEST(StripCodeLines, NeverCutsCode) {
  const Case cases[] = {
      // A bare "//" line once made every "//" of the file go.
      {"u = 'http://host/';\nv = 1; //\n//\nw = 2;\n", "u = 'http://host/';\nv = 1; \nw = 2;\n"},
      {"a = 1;\n//\nu = \"http://host\"; x = `//`;\n", "a = 1;\nu = \"http://host\"; x = `//`;\n"},
      {"s = \"// x\";\n// x\n", "s = \"// x\";\n"},
      {"r = /[//]/;\n//]/;\nf();\n", "r = /[//]/;\nf();\n"},
      {"t = `\n// x\n`;\n// x\n", "t = `\n// x\n`;\n"},
      {"http://example.com\nf(); /* c */", "http://example.com\nf(); "},
  };
  ExpectStrip(cases);
}

TEST(StripCodeLines, CdataOpeningStaysClosingGoes) {
  const Case cases[] = {
      {"\n//<![CDATA[\nf();\n//]]>\n", "\n//<![CDATA[\nf();\n"},
      {"\n//<![cdata[\nf();\n", "\n//<![cdata[\nf();\n"},
  };
  ExpectStrip(cases);
}

TEST(StripCodeLines, UsesTheFileLineEnding) {
  ExpectStrip({{"a;\r\n// x\r\nb;\r\n", "a;\r\nb;\r\n"}}, Lang::Script, Ctx("\r\n"));
  ExpectStrip({{"a;\r// x\rb;\r", "a;\rb;\r"}}, Lang::Script, Ctx("\r"));
  // Several comments in a text without LF; an E2 byte that starts no line separator.
  ExpectStrip({{"a;\r// \xe2\x82\xac\rb; // \xe2\x82\xac\r// y\rc; // z\xe2\x80\xa8d;\r",
                "a;\rb; \rc; // z\xe2\x80\xa8d;\r"}},
              Lang::Script, Ctx("\r"));
  // A comment line that is not followed by the file's line ending is no comment line.
  ExpectStrip({{"a;\r\n// x\nb;\r\n", "a;\r\n// x\nb;\r\n"}}, Lang::Script, Ctx("\r\n"));
}

TEST(StripCodeLines, LetterCaseOfTheEncoding) {
  // UTF-8: "ÄB" and "äb" are the same comment.
  ExpectStrip({{"a; // \xC3\x84" "B\n// \xC3\xA4" "b\nc;\n", "a; \nc;\n"}});
  trimora::TextCtx sjis = Ctx();
  sjis.encoding = mEncodings::kShiftJis;
  sjis.sjis = true;
  // Shift_JIS: fullwidth A (0x82 0x60) and fullwidth a (0x82 0x81) are one letter in two cases.
  EXPECT_EQ(StripCode::JSBlockComments("a; // \x82\x60\n// \x82\x81\nc;\n", sjis), "a; \nc;\n");
  // Katakana A (0x83 0x41) and small tsu (0x83 0x61) differ although their second bytes are
  // an ASCII letter in two cases.
  EXPECT_EQ(StripCode::JSBlockComments("a; // \x83\x41\n// \x83\x61\nc;\n", sjis),
            "a; // \x83\x41\nc;\n");
}

// --- unclassified text ----------------------------------------------------------------------

TEST(StripCodeUnclassified, LeftAsItStandsFromThereOn) {
  const Case cases[] = {
      {"/* c */ a = \"open;\n/* d */\n", " a = \"open;\n/* d */\n"},
      {"/* c */ a = 'open;\n/* d */\n", " a = 'open;\n/* d */\n"},
      {"/* c */ a = /open;\n/* d */\n", " a = /open;\n/* d */\n"},
      {"/* c */ a = `open /* d */ ${ /* e */ 1 }", " a = `open /* d */ ${ /* e */ 1 }"},
      {"/* c */ a = `${ f( /* d */", " a = `${ f( /* d */"},
      {std::string("/* c */ a;\0 /* d */", 19), std::string(" a;\0 /* d */", 12)},
      {"/* c */a;\n\n\n\nb = \"x\n\n\n\nc", "a;\nb = \"x\n\n\n\nc"},
  };
  ExpectStrip(cases);
}

TEST(StripCodeUnclassified, ShiftJisTrailBytesAreNoSyntax) {
  // 0x95 0x5C is one character whose second byte reads as a backslash.
  const std::string in = "s = \"\x95\x5C\"; /* c */";
  trimora::TextCtx sjis = Ctx();
  sjis.encoding = mEncodings::kShiftJis;
  sjis.sjis = true;
  EXPECT_EQ(StripCode::JSBlockComments(in, sjis), "s = \"\x95\x5C\"; ");
  // Read as single bytes the backslash escapes the quote and the string never ends.
  EXPECT_EQ(StripCode::JSBlockComments(in, Ctx()), in);
}

// --- empty lines ----------------------------------------------------------------------------

TEST(StripCodeEmptyLines, SweepsOutsideTemplateText) {
  const Case cases[] = {
      {"a\n\n\n\nb", "a\nb"},            // three empty lines, no comment at all
      {"a\n\n\n\n\n\nb", "a\n\nb"},      // each sweep runs once
      {"x = `a\n\nb`;\n\n\n\ny", "x = `a\n\nb`;\ny"},
      {"x = `${a}\n\n${b}`;\n\ny", "x = `${a}\n\n${b}`;\ny"},
  };
  ExpectStrip(cases);
  ExpectStrip({{"a\r\n\r\n\r\n\r\nb", "a\r\nb"}}, Lang::Script, Ctx("\r\n"));
}

TEST(StripCodeEmptyLines, OnePassEqualsTheFourSweeps) {
  // Texts of line-break bytes and letters, without comments or literals: the result must be
  // what the four literal sweeps give.
  const char alphabet[] = {'\n', '\r', 'a'};
  unsigned seed = 7;
  for (const std::string b : {"\n", "\r", "\r\n"}) {
    for (int n = 0; n < 3000; ++n) {
      std::string in;
      for (int len = static_cast<int>(n % 23); len > 0; --len) {
        seed = seed * 1103515245u + 12345u;
        in += alphabet[(seed >> 16) % 3];
      }
      std::string expected = in;
      txt::ReplaceAll(expected, b + b, b);
      txt::ReplaceAll(expected, "\r\r", b);
      txt::ReplaceAll(expected, "\r\n\r\n", b);
      txt::ReplaceAll(expected, "\n\n", b);
      ASSERT_EQ(StripCode::JSBlockComments(in, Ctx(b)), expected) << testing::PrintToString(in);
    }
  }
  // Longer texts, mostly of single CR LF line endings, the way a CR LF file is made.
  const std::string pieces[] = {"\r\n", "\r\n", "\r\n", "abcdefgh", "a", "\n", "\r", "\r\n\r\n"};
  for (int n = 0; n < 3000; ++n) {
    std::string in;
    for (int len = n % 40; len > 0; --len) {
      seed = seed * 1103515245u + 12345u;
      in += pieces[(seed >> 16) % 8];
    }
    std::string expected = in;
    txt::ReplaceAll(expected, "\r\n\r\n", "\r\n");
    txt::ReplaceAll(expected, "\r\r", "\r\n");
    txt::ReplaceAll(expected, "\r\n\r\n", "\r\n");
    txt::ReplaceAll(expected, "\n\n", "\r\n");
    ASSERT_EQ(StripCode::JSBlockComments(in, Ctx("\r\n")), expected) << testing::PrintToString(in);
  }
}

// --- style sheets ---------------------------------------------------------------------------

TEST(StripCodeCss, StringsAndUrlsAreNotComments) {
  const Case cases[] = {
      {"a{content:\"/*\"} /* c */ b{content:'*/'}", "a{content:\"/*\"}  b{content:'*/'}"},
      {"a{background:url(//cdn/x/*.png)} /* c */", "a{background:url(//cdn/x/*.png)} "},
      {"a{background:URL( \"/*\" )} /* c */", "a{background:URL( \"/*\" )} "},
      {"a{margin:1px/**/2px}", "a{margin:1px 2px}"},
      {"a{}\n// x\nb{}\n", "a{}\nb{}\n"},                  // "//" lines go as in scripts
      {"a{}\n// don't\nb{} /* c */\n", "a{}\nb{} \n"},     // an open quote ends at the line end
      // "//" is no comment in a style sheet: the block comment runs on, the line goes after it
      // (the rule on it was dead already, its selector starting with "//").
      {"a{}\n// x /* c\nd{} */ b{}\n", "a{}\n"},
      {"a{x:\"//\"}\n// y\n", "a{x:\"//\"}\n"},
      {"a{} // x\n// x\n", "a{} // x\n"},                 // nor at the end of a line
  };
  ExpectStrip(cases, Lang::Css);
}

// --- inline scripts of pages ----------------------------------------------------------------

std::string Page(const std::string& body) { return "<html><body>" + body + "</body></html>"; }

TEST(StripCodeInline, StripsTheScriptAfterTheOpeningTag) {
  const Case cases[] = {
      {Page("<script>\nvar s = \"/*\";\n// c\n/* d */f();\n</script>"),
       Page("<script>\nvar s = \"/*\";\nf();\n</script>")},
      {Page("<script data-note=\"don't /*\">\n/* c */f();\n</script>"),
       Page("<script data-note=\"don't /*\">\nf();\n</script>")},
      {Page("<script src=\"a.js\">/* c */</script>"), Page("<script src=\"a.js\">/* c */</script>")},
      {Page("<script src='a.js'>/* c */</script>"), Page("<script src='a.js'></script>")},
      {Page("<SCRIPT>/* c */f();</SCRIPT>"), Page("<SCRIPT>f();</SCRIPT>")},
      {Page("<script>\n//<![CDATA[\nf();\n//]]>\n</script>"), Page("<script>\n//<![CDATA[\nf();\n</script>")},
      {Page("<script>\n<!-- hide it's\nf(); /* c */\n//-->\n</script>"),
       Page("<script>\n<!-- hide it's\nf(); \n</script>")},
      {"<script>/* c */</script>", "<script>/* c */</script>"},      // starts the page
      {"1234<script>/* c */</script>", "1234<script>/* c */</script>"},
      {"12345<script>/* c */</script>", "12345<script></script>"},
      {Page("<script>/* a */</script><script>/* b */"), Page("<script></script><script>/* b */")},
      {Page("<p>no scripts</p>"), Page("<p>no scripts</p>")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(StripCode::InlineScripts(c.in, Ctx()), c.out);
  }
}

TEST(StripCodeInline, VisitsTenBlocksAtMost) {
  std::string in = "<html>", out = "<html>";
  for (int i = 1; i <= 12; ++i) {
    in += "<script>/* c */f();</script>";
    out += i <= 10 ? "<script>f();</script>" : "<script>/* c */f();</script>";
  }
  in.insert(6, "<script src=\"a.js\"></script>");  // loads its code, yet counts as one of the ten
  out.insert(6, "<script src=\"a.js\"></script>");
  out.replace(out.rfind("<script>f();</script>"), 21, "<script>/* c */f();</script>");
  EXPECT_EQ(StripCode::InlineScripts(in, Ctx()), out);
}

TEST(StripCodeScale, ManyDistinctCommentLines) {
  // CR alone: a text without LF once had its whole rest searched for one at every comment.
  for (const std::string b : {"\n", "\r"}) {
    std::string in = "start();" + b, out = "start();" + b;
    for (int i = 0; i < 100000; ++i) {
      in += "// note " + std::to_string(i) + b + "f(" + std::to_string(i) + "); // note " + std::to_string(i) + b;
      out += "f(" + std::to_string(i) + "); " + b;
    }
    EXPECT_EQ(StripCode::JSBlockComments(in, Ctx(b)), out);
  }
}

TEST(StripCodeScale, ManyCommentsBetweenBlanks) {
  // Comments with line breaks separated by blanks only (tabs and double spaces kept): the
  // blanks before each comment were once looked back over from the end of all before it.
  EXPECT_EQ(StripCode::JSBlockComments("a   /*\n*/   /*\n*/   b", Ctx()), "a   \n      b");
  std::string in = "a", out = "a   \n";
  for (int i = 0; i < 100000; ++i) {
    in += "   /*\n*/";
    if (i > 0) out += "   ";
  }
  in += "   b";
  out += "   b";
  EXPECT_EQ(StripCode::JSBlockComments(in, Ctx()), out);
}

}  // namespace
