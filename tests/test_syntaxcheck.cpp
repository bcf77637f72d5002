#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "compress/TextOps.h"
#include "tagcheck/SyntaxCheck.h"

namespace {

using SyntaxCheck::Dictionary;
using SyntaxCheck::Unbalanced;

// Dictionary fields as the file holds them: every name followed by CR.
Dictionary Dict(const std::vector<std::string>& names) {
  std::string file;
  for (const auto& n : names) file += n + "\r";
  return SyntaxCheck::ParseDictionary(file);
}

std::string Show(const std::vector<Unbalanced>& v) {
  std::string s;
  for (const auto& u : v) {
    s += u.name + " " + std::to_string(u.startTags) + "/" + std::to_string(u.endTags) + ";";
  }
  return s;
}

// The check written the literal way, entry by entry: line endings made CR, each start form
// replaced by a marker and the markers counted, the end tags counted. Start tags ignore
// letter case in both variants.
std::vector<Unbalanced> Reference(const std::string& page, const Dictionary& dict, bool html5) {
  std::vector<std::string> skipped = {"br",   "img",  "br />", "hr",    "hr />",
                                      "link", "meta", "input", "param", "base"};
  if (html5) skipped.push_back("embed");
  std::string text = txt::Replaced(page, "\r\n", "\r");
  txt::ReplaceAll(text, "\n", "\r");
  const std::string marker("<\0\0\0>", 5);
  std::vector<Unbalanced> out;
  for (size_t i = 0; i + 1 < dict.names.size(); ++i) {
    const std::string& name = dict.names[i];
    bool skip = false;
    for (const auto& s : skipped)
      skip = skip || (s.size() == name.size() && txt::MatchAt(name, 0, s));
    if (skip) continue;
    std::string t = text;
    txt::ReplaceAll(t, "<" + name + " ", marker);
    txt::ReplaceAll(t, "<" + name + ">", marker);
    txt::ReplaceAll(t, "<" + name + "\r", marker);
    int start = 0;
    for (size_t at = t.find(marker); at != std::string::npos; at = t.find(marker, at + 5)) ++start;
    int end = 0;
    const std::string close = "</" + name + ">";
    for (size_t at = txt::Find(text, close); at != txt::npos;
         at = txt::Find(text, close, at + close.size()))
      ++end;
    if (start != end) out.push_back({name, start, end});
  }
  return out;
}

const Dictionary& RealHtml() {
  static const auto d = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  return d.html;
}
const Dictionary& RealHtml5() {
  static const auto d = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  return d.html5;
}

// Names the one-pass count must treat like any other: an empty name, a name with a blank or a
// "<" inside, one starting with "/", the same name in two cases, a skipped one.
const Dictionary& OddDict() {
  static const Dictionary d =
      Dict({"div", "DIV", "p", "b", "", "x y", "a<b", "/p", "br", "embed", "li\n", "q>", "span"});
  return d;
}

void ExpectSameAsReference(const std::string& page) {
  for (const Dictionary* d : {&RealHtml(), &RealHtml5(), &OddDict()}) {
    EXPECT_EQ(Show(SyntaxCheck::CheckUnbalancedHTMLTags(page, *d)),
              Show(Reference(page, *d, false)));
    EXPECT_EQ(Show(SyntaxCheck::CheckUnbalancedTagsHTML5(page, *d)),
              Show(Reference(page, *d, true)));
  }
}

TEST(SyntaxCheck, OnePassCountsAsTheLiteralProcedure) {
  const std::string pages[] = {
      "<div><div></div>",
      "<DIV></div>",
      "<p class=x><p><p\n<p\r\n<p\r</P>",
      "<br/><br><br /><hr><body><b>x</b></body>",
      "<div\t>x</div >",
      "< ></><>< \r",
      "<x y><x y></x y></x y>",
      "<a<b ><a<b></a<b>",
      "</p></p><p>",
      "<li\n></li\n></li\r\n>",
      "<q>></q>>",
      "<div",
      "</div",
      "<",
      "",
      "<span><span><SPAN></span>",
      "<embed src=x><EMBED>",
      "<!-- <div> --><script>if(a<b&&c>d){}</script>",
  };
  for (const auto& page : pages) {
    SCOPED_TRACE(page);
    ExpectSameAsReference(page);
  }
}

TEST(SyntaxCheck, OnePassMatchesTheLiteralProcedureOnRandomPages) {
  const std::vector<std::string> parts = {
      "<div", "</div>", "<DIV", "</Div>", "<p",    "</p>",    "<b",     "</b>", "<br", "<",
      "</",   ">",      " ",    "\t",     "\r",    "\n",      "\r\n",   "/",    "x",   "y",
      "<x y", "</x y>", "a<b",  "</a<b>", "<span", "</span>", "<li\n>", "</>",  "q>"};
  std::mt19937 rng(20120307);
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    const int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) page += parts[rng() % parts.size()];
    SCOPED_TRACE(page);
    ExpectSameAsReference(page);
    if (HasFailure()) break;
  }
}

TEST(SyntaxCheck, LongPagesWithNamesUpToABlockLong) {
  // Tags at every distance from one another, names of up to fifteen bytes, one of sixteen,
  // an empty name, and letters in both cases.
  const Dictionary shortNames = Dict({"div", "fifteenletters1", "", "p", "fourteenletter", "a"});
  const Dictionary longName = Dict({"div", "sixteenletters16", "p"});
  const std::vector<std::string> parts = {
      "<div", "</div>", "<DIV>", "<fifteenletters1", "</FifteenLetters1>", "<fifteenletters1x ",
      "<sixteenletters16", "</sixteenletters16>", "<fourteenletter>", "<p", "</p>", "< ", "</>", "<a\n",
      "</a>", ">", " ", "\r\n", "xxxxxxx", "<", "</", "/", "\xC3\xA9"};
  std::mt19937 rng(7);
  for (int round = 0; round < 1500; ++round) {
    std::string page;
    const int n = static_cast<int>(rng() % 120);
    for (int i = 0; i < n; ++i) page += parts[rng() % parts.size()];
    SCOPED_TRACE(page);
    for (const Dictionary* d : {&shortNames, &longName}) {
      EXPECT_EQ(Show(SyntaxCheck::CheckUnbalancedHTMLTags(page, *d)), Show(Reference(page, *d, false)));
      EXPECT_EQ(Show(SyntaxCheck::CheckUnbalancedTagsHTML5(page, *d)), Show(Reference(page, *d, true)));
    }
    if (HasFailure()) break;
  }
}

struct CheckCase {
  std::string page;
  std::string html;   // findings of the HTML check
  std::string html5;  // findings of the HTML5 check
};

TEST(SyntaxCheck, FindingsOfSmallPages) {
  const Dictionary d = Dict({"div", "p", "b", "br", "embed", "span"});
  const CheckCase cases[] = {
      {"<div><div></div>", "div 2/1;", "div 2/1;"},
      // letter case is ignored in start and end tags of both variants
      {"<DIV></div>", "", ""},
      {"<div></DIV>", "", ""},
      // a start tag needs a blank, ">" or a line break right after the name
      {"<p class=x><p><p\n</p></P></p>", "", ""},
      {"<p\r\n</p>", "", ""},
      {"<div\t>x</div>", "div 0/1;", "div 0/1;"},
      {"<div/></div>", "div 0/1;", "div 0/1;"},
      {"<b>x</b><br><body>", "", ""},
      // an end tag counts only as "</" name ">"
      {"<div>x</div >", "div 1/0;", "div 1/0;"},
      // skipped names never give findings; "embed" only in HTML5
      {"<br><br></br>", "", ""},
      {"<embed src=x>", "embed 1/0;", ""},
      // two unbalanced names, in dictionary order
      {"</span><div>", "div 1/0;span 0/1;", "div 1/0;span 0/1;"},
      // tags in comments and scripts count like any other
      {"<!-- <div> --><script>'<p>'</script>", "div 1/0;p 1/0;", "div 1/0;p 1/0;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    EXPECT_EQ(Show(SyntaxCheck::CheckUnbalancedHTMLTags(c.page, d)), c.html);
    EXPECT_EQ(Show(SyntaxCheck::CheckUnbalancedTagsHTML5(c.page, d)), c.html5);
  }
}

TEST(SyntaxCheck, LastEntryAndEmptyDictionariesCheckNothing) {
  // Without a final CR the last name is the remainder, which is never checked.
  const Dictionary noFinalCr = SyntaxCheck::ParseDictionary("div\rp");
  EXPECT_EQ(Show(SyntaxCheck::CheckUnbalancedHTMLTags("<div><p>", noFinalCr)), "div 1/0;");
  EXPECT_TRUE(
      SyntaxCheck::CheckUnbalancedHTMLTags("<div>", SyntaxCheck::ParseDictionary("div")).empty());
  EXPECT_TRUE(SyntaxCheck::CheckUnbalancedHTMLTags("<div>", Dictionary{}).empty());
  EXPECT_TRUE(SyntaxCheck::CheckUnbalancedTagsHTML5("<div>", Dictionary{}).empty());
}

TEST(SyntaxCheck, ParseKeepsFieldsUnchanged) {
  EXPECT_EQ(SyntaxCheck::ParseDictionary("div\rp\r").names,
            (std::vector<std::string>{"div", "p", ""}));
  EXPECT_EQ(SyntaxCheck::ParseDictionary("div\n\rbr />\r").names,
            (std::vector<std::string>{"div\n", "br />", ""}));
  EXPECT_TRUE(SyntaxCheck::ParseDictionary("").names.empty());
}

TEST(SyntaxCheck, ShippedDictionariesHaveTheirFormat) {
  for (const Dictionary* d : {&RealHtml(), &RealHtml5()}) {
    ASSERT_GT(d->names.size(), 50u);
    EXPECT_EQ(d->names.back(), "");  // the file ends with CR
    for (size_t i = 0; i + 1 < d->names.size(); ++i) {
      const std::string& n = d->names[i];
      SCOPED_TRACE(n);
      EXPECT_FALSE(n.empty());
      EXPECT_EQ(n.find('\n'), std::string::npos);
    }
    const auto has = [&](const std::string& n) {
      return std::find(d->names.begin(), d->names.end(), n) != d->names.end();
    };
    for (const char* n : {"br", "img", "br />", "hr", "hr />", "link", "meta", "input", "param",
                          "base", "div", "p", "html", "body", "table"})
      EXPECT_TRUE(has(n)) << n;
    // Elements without end tags that are not passed over would always be reported.
    for (const char* n : {"area", "col", "wbr", "source", "track", "frame", "basefont", "isindex"})
      EXPECT_FALSE(has(n)) << n;
  }
  EXPECT_TRUE(std::find(RealHtml5().names.begin(), RealHtml5().names.end(), "section") !=
              RealHtml5().names.end());
  EXPECT_TRUE(std::find(RealHtml().names.begin(), RealHtml().names.end(), "frameset") !=
              RealHtml().names.end());
}

TEST(SyntaxCheck, MissingDictionaryFilesGiveEmptyLists) {
  const auto d = SyntaxCheck::LoadDictionaries("/nonexistent/trimora/resources");
  EXPECT_TRUE(d.html.names.empty());
  EXPECT_TRUE(d.html5.names.empty());
}

TEST(SyntaxCheck, CheckPageChoosesTheVariantByDoctype) {
  SyntaxCheck::Dictionaries d;
  d.html = Dict({"div", "embed"});
  d.html5 = Dict({"div", "embed"});
  const std::string body = "<html><body><div><embed src=x></body></html>";
  EXPECT_EQ(Show(SyntaxCheck::CheckPage(body, d)), "div 1/0;embed 1/0;");
  EXPECT_EQ(Show(SyntaxCheck::CheckPage("<!doctype html>" + body, d)), "div 1/0;");
  // A doctype with a public identifier is not the HTML5 one.
  EXPECT_EQ(Show(SyntaxCheck::CheckPage("<!DOCTYPE html PUBLIC \"x\">" + body, d)),
            "div 1/0;embed 1/0;");
  // Only complete documents are checked.
  EXPECT_TRUE(SyntaxCheck::CheckPage("<html><div></html>", d).empty());
  EXPECT_TRUE(SyntaxCheck::CheckPage("<body><div></html>", d).empty());
  EXPECT_TRUE(SyntaxCheck::CheckPage("<html><body><div>", d).empty());
}

TEST(SyntaxCheck, FindingMessageText) {
  EXPECT_EQ(SyntaxCheck::FindingMessage("\xE2\x88\xBC/index.html", {"div", 3, 2}),
            "\xE2\x88\xBC/index.html <div> Tags  Start Tags: 3 End Tags: 2");
}

}  // namespace
