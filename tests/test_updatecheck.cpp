// The update check's decision: version texts and version-file bodies, no network.
#include <gtest/gtest.h>

#include <string>

#include "tools/UpdateCheck.h"

namespace {

using updatecheck::Decide;
using updatecheck::isNewer;
using updatecheck::ParseVersion;
using updatecheck::Verdict;
using updatecheck::Version;

TEST(ParseVersion, ReadsTheRunningVersionForm) {
  struct Case {
    std::string text;
    std::optional<Version> expected;
  };
  const Case cases[] = {
      {"2.1.0 (3.4)", Version{2, 1, 0, 3, 4}},
      {"1.10.0 (3.0)", Version{1, 10, 0, 3, 0}},
      {"0.0.0 (0.0)", Version{0, 0, 0, 0, 0}},
      {"012.3.4 (1.07)", Version{12, 3, 4, 1, 7}},
      {"999999999.0.0 (3.0)", Version{999999999, 0, 0, 3, 0}},
      // a line break after the version, as most editors save it
      {"1.2.3 (3.0)\n", Version{1, 2, 3, 3, 0}},
      {"\t1.2.3 (3.0)\r\n", Version{1, 2, 3, 3, 0}},
      // not the form
      {"", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2 (3.0)", std::nullopt},
      {"1.2.3(3.0)", std::nullopt},
      {"1.2.3  (3.0)", std::nullopt},
      {"1.2.3 (3)", std::nullopt},
      {"1.2.3 (3.0", std::nullopt},
      {"1.2.3 (3.0)x", std::nullopt},
      {"1.2.3 (3.0) 1.2.4 (3.0)", std::nullopt},
      {"-1.2.3 (3.0)", std::nullopt},
      {"1.+2.3 (3.0)", std::nullopt},
      {"1.2.3 (3.0.1)", std::nullopt},
      {"v1.2.3 (3.0)", std::nullopt},
      {"1000000000.0.0 (3.0)", std::nullopt},  // would overflow
      {"99999999999999999999.0.0 (3.0)", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseVersion(c.text), c.expected);
  }
}

TEST(ParseVersion, FormatRoundTrips) {
  for (const std::string text : {"2.1.0 (3.4)", "1.10.0 (3.0)", "0.0.0 (0.0)"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(updatecheck::FormatVersion(*ParseVersion(text)), text);
  }
}

TEST(IsNewer, ComparesNumbersFieldByField) {
  struct Case {
    const char* installed;
    const char* remote;
    bool newer;
  };
  const Case cases[] = {
      {"1.9.0 (3.0)", "1.10.0 (3.0)", true},  // a text comparison would say older
      {"1.10.0 (3.0)", "1.9.0 (3.0)", false},
      {"1.9.0 (3.0)", "1.9.0 (3.0)", false},
      {"1.9.0 (3.0)", "2.0.0 (3.0)", true},
      {"2.0.0 (3.0)", "1.99.99 (9.9)", false},
      {"1.9.0 (3.0)", "1.9.1 (0.0)", true},
      {"1.9.0 (2.5)", "1.9.0 (3.0)", true},  // a later stage of the same release
      {"1.9.0 (3.0)", "1.9.0 (2.9)", false},
      {"1.9.0 (3.4)", "1.9.0 (3.10)", true},
      {"1.9.0 (3.10)", "1.9.0 (3.4)", false},
      {"01.9.0 (3.0)", "1.9.0 (3.0)", false},  // leading zeros change nothing
      // a text that does not parse never wins
      {"1.9.0 (3.0)", "garbage", false},
      {"1.9.0 (3.0)", "", false},
      {"", "9.9.9 (3.0)", false},
      {"unknown", "9.9.9 (3.0)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " vs " + c.remote);
    EXPECT_EQ(isNewer(c.installed, c.remote), c.newer);
  }
}

TEST(Decide, JudgesTheVersionFileBody) {
  const std::string running = "1.9.0 (3.0)";
  struct Case {
    std::string body;
    Verdict verdict;
  };
  const Case cases[] = {
      {"#1.10.0 (3.0)", Verdict::Newer},
      {"#1.10.0 (3.0)\n", Verdict::Newer},
      {"#1.9.0 (3.0)", Verdict::NotNewer},
      {"#1.9.0 (3.0)\r\n", Verdict::NotNewer},  // a line break does not make it newer
      {"#1.8.7 (3.0)", Verdict::NotNewer},
      {std::string("#1.1\0"
                   "0.0 (3.0)",
                   14),
       Verdict::Newer},  // NUL characters are dropped
      {std::string("\0#2.0.0 (3.0)", 13), Verdict::Newer},
      {"", Verdict::NotAVersionFile},
      {"#", Verdict::NotAVersionFile},
      {"1.10.0 (3.0)", Verdict::NotAVersionFile},  // no "#"
      {" #1.10.0 (3.0)", Verdict::NotAVersionFile},
      {"##1.10.0 (3.0)", Verdict::NotAVersionFile},
      {"\xEF\xBB\xBF#1.10.0 (3.0)", Verdict::NotAVersionFile},
      {"<html><body>404 Not Found</body></html>", Verdict::NotAVersionFile},
      {"#<html>", Verdict::NotAVersionFile},
      {"#1.10.0 (3.0)\n<script>", Verdict::NotAVersionFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(Decide(running, c.body), c.verdict);
  }
}

TEST(Decide, AnUnreadableRunningVersionNeverOffersAnUpdate) {
  EXPECT_EQ(Decide("", "#9.9.9 (3.0)"), Verdict::NotNewer);
}

}  // namespace
