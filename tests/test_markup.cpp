#include "compress/MarkupPasses.h"
#include "compress/TextOps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace {

using trimora::TextCtx;
using Pass = std::string (*)(std::string, const TextCtx&);

struct Case {
  std::string in, out;
};

TextCtx Ctx(std::string b = "\n", bool sjis = false) {
  TextCtx c;
  c.b = std::move(b);
  c.sjis = sjis;
  return c;
}

void ExpectPass(Pass pass, const std::vector<Case>& cases, const TextCtx& ctx = Ctx()) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(pass(c.in, ctx), c.out);
  }
}

// The passes as first described: restart loops over replace-all sweeps. Kept as references for
// the single-pass versions.
std::string BrixelLoop(std::string t, bool sjis) {
  for (const char* marker : {"<!-- End", "<!-- bxinclude"}) {
    for (;;) {
      const size_t m = txt::Find(t, marker, 0, sjis);
      if (m == txt::npos) break;
      const size_t e = txt::Find(t, "-->", m, sjis);
      if (e == txt::npos) break;
      txt::ReplaceAll(t, t.substr(m, e + 3 - m), "", sjis);
    }
  }
  return t;
}

std::string BodyCommentLoop(std::string t, bool sjis) {
  size_t p = txt::Find(t, "<body", 0, sjis);
  if (p == txt::npos || p + 1 <= 5) return t;
  for (;;) {
    const size_t q = txt::Find(t, "<!--", p, sjis);
    if (q == txt::npos) break;
    const size_t r = txt::Find(t, "-->", q, sjis);
    if (r == txt::npos) break;
    const size_t s = txt::Find(t, "//-->", q, sjis);
    if (s != txt::npos && s + 2 == r) {
      p = r + 3;
    } else {
      t.erase(q, r + 3 - q);
    }
  }
  return t;
}

// Random texts built from pieces of the markers, so that removals often join new markers.
std::string RandomText(std::mt19937& rng, const std::vector<std::string>& pieces, int count) {
  std::string t;
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  for (int i = 0; i < count; ++i) t += pieces[pick(rng)];
  return t;
}

// ---------------------------------------------------------------------------------------------
// Brixel comments

TEST(BrixelComments, IncludeMarkersGoAndTheIncludedMarkupStays) {
  ExpectPass(Markup::RemoveBrixelComments, {
      {"<p><!-- bxinclude header --><h1>T</h1><!-- End include --></p>", "<p><h1>T</h1></p>"},
      // any comment that begins "<!-- End", in the head too, in any letter case
      {"<head><!-- end of menu --><!-- menu --></head>", "<head><!-- menu --></head>"},
      {"<!-- END A --><!-- End a --><!-- BXINCLUDE x -->", ""},
      // non-ASCII letters of other case: every such comment goes, copies or not
      {"<!-- End \xC3\xA9 -->|<!-- End \xC3\x89 -->", "|"},
      // a style sheet or a script carries them as well
      {"a{}\n<!-- bxinclude x -->\nb{}\n<!-- End include -->\n", "a{}\n\nb{}\n\n"},
      // "<!--End" without the blank is another comment
      {"<!--End x --><!-- Endless -->", "<!--End x -->"},
      // the first "-->" closes it, whatever it holds
      {"<!-- End a = 'x-->y' -->", "y' -->"},
      {"<!-- End http://x.org/a.js /[a-z]+-->/ -->k", "/ -->k"},
      {"<!-- End-->", ""},
      {"<!-- End --->", ""},
      {"", ""},
      {"no comments at all", "no comments at all"},
  });
}

TEST(BrixelComments, UnclosedMarkerEndsItsSweep) {
  ExpectPass(Markup::RemoveBrixelComments, {
      {"<!-- End a --> x <!-- End b", " x <!-- End b"},
      // the opening markers have their own sweep
      {"<!-- bxinclude c --> <!-- End b", " <!-- End b"},
      {"<!-- bxinclude a --> <!-- bxinclude b", " <!-- bxinclude b"},
      {"<!-- End x", "<!-- End x"},
  });
}

TEST(BrixelComments, MarkersSpelledByARemovalAreRemovedToo) {
  // Removing a comment joins the text on both sides; a marker spelled across the join is a
  // comment of the text as it now stands.
  ExpectPass(Markup::RemoveBrixelComments, {
      {"<!-- E<!-- End x -->nd y --> z", " z"},
      {"<!-<!-- End a -->- End b -->c", "c"},
      {"<!-- bx<!-- End -->include -->", ""},
  });
}

TEST(BrixelComments, NestedCopyOfAnEarlierCommentGoesWithTheLongerComment) {
  // Comments do not nest: the second "<!-- End" opens a comment that the first "-->" after it
  // closes, even when the tail of that comment repeats an earlier one.
  ExpectPass(Markup::RemoveBrixelComments, {
      {"<!-- End a --><p><!-- End b <!-- End a --></p>", "<p></p>"},
  });
}

TEST(BrixelComments, AgreesWithTheRestartLoopOnRandomTexts) {
  // Without a copy of a removed comment inside a longer one the two agree byte for byte.
  // Each text here holds only one comment text, so no comment can nest a copy of another.
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {"<!-- End x -->", "<!-- bxinclude -->", "<!-",
                                           "- End x -->", "<!-- E", "nd x -->", "-->", "<", "q",
                                           "<!-- END X -->", "!"};
  for (int i = 0; i < 3000; ++i) {
    const std::string t = RandomText(rng, pieces, 1 + i % 9);
    const std::string ref = BrixelLoop(t, false);
    SCOPED_TRACE(t);
    EXPECT_EQ(Markup::RemoveBrixelComments(t, Ctx()), ref);
  }
}

TEST(BrixelComments, ShiftJisText) {
  // 0x81 0x81 is one character: the "<" after it starts a comment. 0x82 0xA0 likewise.
  ExpectPass(Markup::RemoveBrixelComments, {
      {"\x81\x81<!-- End include -->\x82\xA0<!-- End \x83\x41 -->", "\x81\x81\x82\xA0"},
  }, Ctx("\r\n", true));
}

TEST(BrixelComments, ManyDistinctCommentsTakeLinearTime) {
  std::string page;
  for (int i = 0; i < 100000; ++i) page += "<!-- End " + std::to_string(i) + " -->x";
  const std::string out = Markup::RemoveBrixelComments(page, Ctx());
  EXPECT_EQ(out, std::string(100000, 'x'));
}

// ---------------------------------------------------------------------------------------------
// Comments of the page body

TEST(BodyComments, BodyCommentsGoHeadCommentsStay) {
  ExpectPass(Markup::RemoveBodyComments, {
      {"<head><!-- menu --></head><body><!-- menu --><p>x</p></body>",
       "<head><!-- menu --></head><body><p>x</p></body>"},
      // conditional comments of the body, and an empty comment
      {"<html><body><!--[if IE]><p>old</p><![endif]-->a<!---->b<!-->c</body>",
       "<html><body>abc</body>"},
      // the first "-->" closes the comment, whatever stands in it
      {"<html><body><!-- see http://x.org/?a=1--b 'it''s' /a-->b/ -->z</body>",
       "<html><body>b/ -->z</body>"},
      {"<html><BODY>a<!-- x -->b<!-- y -->c", "<html><BODY>abc"},
      // a style block of the body loses its wrapped rules
      {"<html><body><style><!-- p{color:red} --></style>", "<html><body><style></style>"},
      {"", ""},
  });
}

TEST(BodyComments, EarlyOrMissingBodyTagKeepsEveryComment) {
  ExpectPass(Markup::RemoveBodyComments, {
      {"<body><!-- a --></body>", "<body><!-- a --></body>"},
      {"1234<body><!-- a -->", "1234<body><!-- a -->"},       // "<body" at the fifth character
      {"12345<body><!-- a -->", "12345<body>"},                // at the sixth
      {"<rss><item><!-- a --></item></rss>", "<rss><item><!-- a --></item></rss>"},
  });
}

TEST(BodyComments, UnclosedCommentEndsTheStep) {
  ExpectPass(Markup::RemoveBodyComments, {
      {"<html><body><!-- a -->x<!-- b <p>rest</p>", "<html><body>x<!-- b <p>rest</p>"},
  });
}

TEST(BodyComments, ScriptHidingCommentsStay) {
  ExpectPass(Markup::RemoveBodyComments, {
      {"<html><body><!-- hide\ncode();\n//-->\n<!-- x --></body>",
       "<html><body><!-- hide\ncode();\n//-->\n</body>"},
      // "/ /-->" or "-->" alone is no script-hiding comment
      {"<html><body><!-- a / -->b", "<html><body>b"},
  });
}

TEST(BodyComments, ScriptBlocksAreLeftToTheScriptPass) {
  ExpectPass(Markup::RemoveBodyComments, {
      // a legacy wrapper without "//" stays with the code it wraps
      {"<html><body><script><!--\nrun();\n--></script><!-- x -->",
       "<html><body><script><!--\nrun();\n--></script>"},
      {"<html><body><SCRIPT>s = '<!-- not a comment -->';</SCRIPT>",
       "<html><body><SCRIPT>s = '<!-- not a comment -->';</SCRIPT>"},
      // a script with no end makes the rest script
      {"<html><body><!-- a --><script>x('<!-- b -->')", "<html><body><script>x('<!-- b -->')"},
      // a "<script" inside a comment is part of the comment
      {"<html><body><!-- <script>old()</script> -->k<!-- y -->", "<html><body>k"},
      // a first "<body" inside a head script is no body tag; the body starts after the script
      {"<html><head><script>w('<body>')</script><!-- h --></head><body><!-- b -->",
       "<html><head><script>w('<body>')</script></head><body>"},
  });
}

TEST(BodyComments, JoinedMarkersAreSeen) {
  // Text on both sides of a removed comment can spell a new one; the page as it stands after
  // the removal has that comment, so it goes too.
  ExpectPass(Markup::RemoveBodyComments, {
      {"<html><body><!<!-- a -->-- b -->c", "<html><body>c"},
      {"<html><body><!-<!-- a -->->c", "<html><body>c"},
      // the joined comment ends in "//-->" and stays
      {"<html><body><!-<!-- a -->-- //-->c", "<html><body><!--- //-->c"},
  });
}

TEST(BodyComments, AgreesWithTheRestartLoopOnRandomTexts) {
  std::mt19937 rng(11);
  const std::vector<std::string> pieces = {"<!--", "-->", "//-->", "/", "<!", "-", ">", "x",
                                           "<body>", "\n", "<!-- a -->"};
  for (int i = 0; i < 5000; ++i) {
    const std::string t = "<html><body>" + RandomText(rng, pieces, 1 + i % 12);
    SCOPED_TRACE(t);
    EXPECT_EQ(Markup::RemoveBodyComments(t, Ctx()), BodyCommentLoop(t, false));
  }
}

TEST(BodyComments, ShiftJisAndCrLf) {
  // 0x83 0x2F is no character, but searches read 0x83 as a lead byte and the "/" after it as
  // its second byte, so no "//-->" starts there and that comment goes.
  ExpectPass(Markup::RemoveBodyComments, {
      {"<html>\r\n<body>\r\n\x82\xA0<!-- a\r\n//-->\r\n<!-- b \x83//-->\r\n",
       "<html>\r\n<body>\r\n\x82\xA0<!-- a\r\n//-->\r\n\r\n"},
  }, Ctx("\r\n", true));
}

TEST(BodyComments, ManyDistinctCommentsTakeLinearTime) {
  std::string page = "<html><body>";
  for (int i = 0; i < 100000; ++i) page += "<!-- " + std::to_string(i) + " -->x";
  EXPECT_EQ(Markup::RemoveBodyComments(page, Ctx()), "<html><body>" + std::string(100000, 'x'));
}

// ---------------------------------------------------------------------------------------------
// Page line breaks

TEST(PageLineBreaks, BreaksAfterHtmlTagGo) {
  ExpectPass(Markup::RemoveLineBreaks, {
      {"<!DOCTYPE html>\n<html>\n<head>\n</head>\n<pre>a\nb</pre>\n</html>\n",
       "<!DOCTYPE html>\n<html><head></head><pre>ab</pre></html>"},
      // no "<html", or one among the first ten characters
      {"<html>\n<p>\n", "<html>\n<p>\n"},
      {"123456789<html>\n", "123456789<html>\n"},
      {"1234567890<html>\n", "1234567890<html>"},
      {"<!DOCTYPE x>\n<p>\n</p>\n", "<!DOCTYPE x>\n<p>\n</p>\n"},
      {"", ""},
  });
}

TEST(PageLineBreaks, EveryFormOfLineBreakGoes) {
  // mixed forms remain possible when the line filter is off
  ExpectPass(Markup::RemoveLineBreaks, {
      {"<!DOCTYPE html>\r\n<HTML>\r\n<p>\ra\n\r</p>\r\n", "<!DOCTYPE html>\r\n<HTML><p>a</p>"},
  }, Ctx("\r\n"));
  ExpectPass(Markup::RemoveLineBreaks, {
      {"<!DOCTYPE html>\r<html>\r<p>\r\n</p>\r", "<!DOCTYPE html>\r<html><p></p>"},
  }, Ctx("\r"));
}

TEST(PageLineBreaks, ScriptsKeepTheirLineBreaks) {
  // A "//" comment would otherwise swallow the code on the lines after it.
  ExpectPass(Markup::RemoveLineBreaks, {
      {"<!DOCTYPE html>\n<html>\n<script>//x\ncode()</script>\n<p>\n</p>\n",
       "<!DOCTYPE html>\n<html><script>//x\ncode()</script><p></p>"},
      // the stretch ends with the eight characters "</script"
      {"<!DOCTYPE html>\n<html>\n<SCRIPT>\na()\n</SCRIPT\n>\n<script src=x>\n</script>\n",
       "<!DOCTYPE html>\n<html><SCRIPT>\na()\n</SCRIPT><script src=x>\n</script>"},
      // no "</script": the rest keeps its line breaks
      {"<!DOCTYPE html>\n<html>\n<p>\n<script>\na()\n</p>\n",
       "<!DOCTYPE html>\n<html><p><script>\na()\n</p>\n"},
      // a script that the first "<html" stands in (a string) keeps its breaks past it
      {"<!DOCTYPE html>\n<script>w('<html>');\n//c\nf()</script>\n<html>\n",
       "<!DOCTYPE html>\n<script>w('<html>');\n//c\nf()</script><html>"},
  });
  ExpectPass(Markup::RemoveLineBreaks, {
      {"<!DOCTYPE html>\r\n<html>\r\n<script>//x\r\ncode()</script>\r\n",
       "<!DOCTYPE html>\r\n<html><script>//x\r\ncode()</script>"},
  }, Ctx("\r\n"));
}

TEST(PageLineBreaks, ShiftJisLineBreakAfterLeadByteGoesToo) {
  // A lead byte before LF is malformed, but no CR or LF may remain.
  ExpectPass(Markup::RemoveLineBreaks, {
      {"<!DOCTYPE html>\n<html>\x83\n\x82\xA0\n</html>", "<!DOCTYPE html>\n<html>\x83\x82\xA0</html>"},
  }, Ctx("\n", true));
}

TEST(PageLineBreaks, NothingToDoKeepsTheBuffer) {
  const std::string page = "<!DOCTYPE html><html><p>one line</p></html>" + std::string(4096, 'x');
  std::string in = page;
  const char* data = in.data();
  const std::string out = Markup::RemoveLineBreaks(std::move(in), Ctx());
  EXPECT_EQ(out, page);
  EXPECT_EQ(out.data(), data);
}

}  // namespace
