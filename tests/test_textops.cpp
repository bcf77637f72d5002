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
