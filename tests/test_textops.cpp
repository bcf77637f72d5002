#include "compress/TextOps.h"

#include <gtest/gtest.h>

namespace {

struct ReplaceCase {
  std::string in, pat, with, out;
  size_t count;
};

TEST(TextOps, ReplaceAllIsOneLeftToRightSweep) {
  const ReplaceCase cases[] = {
      {"a  b  c", "  ", " ", "a b c", 2},
      {"    ", "  ", " ", "  ", 2},          // non-overlapping, inserted text not rescanned
      {"aXbxc", "x", "", "abc", 2},          // ASCII case ignored
      {"abc", "", "zz", "abc", 0},           // an empty pattern changes nothing
      {"<BODY><body>", "<body>", "|", "||", 2},
      {"", "a", "b", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in + " / " + c.pat);
    std::string s = c.in;
    EXPECT_EQ(txt::ReplaceAll(s, c.pat, c.with), c.count);
    EXPECT_EQ(s, c.out);
  }
}

TEST(TextOps, FindIgnoresAsciiCaseOnly) {
  EXPECT_EQ(txt::Find("a<BODY>", "<body"), 1u);
  EXPECT_EQ(txt::Find("a<BODY>", "<body", 2), txt::npos);
  EXPECT_EQ(txt::FindExact("a<BODY><body", "<body"), 7u);
  EXPECT_EQ(txt::Find("\xC3\xA9", "\xC3\x89"), txt::npos);
}

TEST(TextOps, ShiftJisTrailBytesNeverStartAMatch) {
  // 0x83 0x7B is one katakana character whose second byte is '{'.
  const std::string sjis = "a\x83{b{";
  EXPECT_TRUE(txt::IsShiftJisTrail(sjis, 2));
  EXPECT_FALSE(txt::IsShiftJisTrail(sjis, 4));
  EXPECT_EQ(txt::Find(sjis, "{", 0, true), 4u);
  EXPECT_EQ(txt::Find(sjis, "{", 0, false), 2u);
  // Two lead-range bytes in a row form one character, so the '{' after them is free.
  EXPECT_EQ(txt::Find("\x83\x83{", "{", 0, true), 2u);
  std::string s = "\x83{{";
  txt::ReplaceAll(s, "{", "", true);
  EXPECT_EQ(s, "\x83{");
}

}  // namespace

namespace {

size_t NaiveFind(std::string_view text, std::string_view pat, size_t from, bool ignoreCase) {
  if (pat.empty()) return txt::npos;
  for (size_t i = from; i + pat.size() <= text.size(); ++i) {
    bool ok = true;
    for (size_t j = 0; j < pat.size() && ok; ++j) {
      const unsigned char a = static_cast<unsigned char>(text[i + j]);
      const unsigned char b = static_cast<unsigned char>(pat[j]);
      ok = ignoreCase ? txt::AsciiLower(a) == txt::AsciiLower(b) : a == b;
    }
    if (ok) return i;
  }
  return txt::npos;
}

TEST(TextOps, FindAgreesWithANaiveSearchWhateverByteItAnchorsOn) {
  const std::string alphabet = " ;:{}<>-!aAbB\n";
  const std::string pats[] = {" ;", "; ", "<!--", "-->", "{\n", "\n{", "a b", "<A", " :", "-- ", "  ", "B;"};
  unsigned seed = 12345;
  auto next = [&] { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7fff; };
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const size_t len = next() % 40;
    for (size_t i = 0; i < len; ++i) text += alphabet[next() % alphabet.size()];
    for (const auto& pat : pats) {
      const size_t from = len ? next() % (len + 1) : 0;
      ASSERT_EQ(txt::Find(text, pat, from), NaiveFind(text, pat, from, true)) << text << "|" << pat;
      ASSERT_EQ(txt::FindExact(text, pat, from), NaiveFind(text, pat, from, false)) << text << "|" << pat;
    }
  }
}

// Texts long enough for the search to look at many starts at once, with matches at every
// distance from the start and the end, letters next to the bytes that fold onto them ("@" and
// "`", "[" and "{"), and Shift_JIS lead bytes before candidates.
TEST(TextOps, LongTextsAgreeWithANaiveSearch) {
  const std::string alphabet = "sScCrR<!-/>@`[{x\x83\xE0 ";
  const std::string pats[] = {"<script", "</SCRIPT", "<!--", "-->", "s", "S", "@", "<s", "cR", "src=",
                              "x\x83", "[s", "`sc", "<!-- End include"};
  unsigned seed = 99;
  auto next = [&] { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7fff; };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const size_t len = next() % 120;
    for (size_t i = 0; i < len; ++i) text += alphabet[next() % alphabet.size()];
    if (round % 3 == 0 && len > 20) text.replace(next() % (len - 16), 16, "<!-- End include");
    for (const auto& pat : pats) {
      const size_t from = next() % (len + 2);
      ASSERT_EQ(txt::Find(text, pat, from), NaiveFind(text, pat, from, true)) << text << "|" << pat;
      ASSERT_EQ(txt::FindExact(text, pat, from), NaiveFind(text, pat, from, false)) << text << "|" << pat;
      // In a Shift_JIS text a match may not start on a trail byte.
      size_t want = NaiveFind(text, pat, from, true);
      while (want != txt::npos && txt::IsShiftJisTrail(text, want)) want = NaiveFind(text, pat, want + 1, true);
      ASSERT_EQ(txt::Find(text, pat, from, true), want) << text << "|" << pat;
    }
  }
}

}  // namespace
