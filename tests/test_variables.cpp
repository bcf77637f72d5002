#include <gtest/gtest.h>

#include <QLocale>
#include <QTimeZone>
#include <random>
#include <string>
#include <vector>

#include "TestPlatform.h"
#include "compress/TextOps.h"
#include "variables/mDate.h"
#include "variables/mVarialbles.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// Wednesday 7 March 2012, 09:05:41, one hour ahead of Greenwich.
QDateTime Example() { return QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41), QTimeZone(3600)); }

// ---- date stamps ------------------------------------------------------------------------------

TEST(Dates, StampsOfTheExampleMoment) {
  const QDateTime t = Example();
  EXPECT_EQ(mDate::GetYearNumberStr(t), "2012");
  EXPECT_EQ(mDate::GetMonthNumberStr(t), "03");
  EXPECT_EQ(mDate::GetdayNumberStr(t), "07");
  EXPECT_EQ(mDate::GetTimeStr(t), "09:05:41");
  EXPECT_EQ(mDate::GetmonthStr(t), "Mar");
  EXPECT_EQ(mDate::GetDayname(t), "Wed");
  EXPECT_EQ(mDate::GetGMTOffset(t), "+0100");
  EXPECT_EQ(mDate::GetGMToffsetStr(t), "+0100");
  EXPECT_EQ(mDate::GetISODateStr(t), "2012-03-07");
  EXPECT_EQ(mDate::GetARPADateTimeStr(t), "Wed, 07 Mar 2012 09:05:41 +0100");
}

TEST(Dates, FixedWidthsAndEnglishNames) {
  const QDateTime midnight(QDate(987, 1, 4), QTime(0, 0, 0), QTimeZone(0));
  EXPECT_EQ(mDate::GetARPADateTimeStr(midnight), "Thu, 04 Jan 987 00:00:00 +0000");
  EXPECT_EQ(mDate::GetISODateStr(midnight), "987-01-04");
  const QDateTime late(QDate(2012, 12, 31), QTime(23, 59, 59), QTimeZone(0));
  EXPECT_EQ(mDate::GetARPADateTimeStr(late), "Mon, 31 Dec 2012 23:59:59 +0000");

  const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  for (int i = 0; i < 7; ++i) {  // 4 March 2012 was a Sunday
    EXPECT_EQ(mDate::GetDayname(QDateTime(QDate(2012, 3, 4 + i), QTime(12, 0), QTimeZone(0))),
              days[i]);
  }
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(mDate::GetmonthStr(QDateTime(QDate(2012, m, 1), QTime(12, 0), QTimeZone(0))),
              months[m - 1]);
  }
}

TEST(Dates, GreenwichOffsets) {
  const struct {
    int seconds;
    const char* text;
  } cases[] =
      {
          {0, "+0000"},      {3600, "+0100"},  {36000, "+1000"},  {-18000, "-0500"},
          {-36000, "-1000"}, {19800, "+0530"}, {-12600, "-0330"}, {20700, "+0545"},
          {37800, "+1030"},  {-1800, "-0030"}, {-34200, "-0930"}, {50400, "+1400"},
          {1172, "+0019"},  // a local mean time keeps its true minutes
          {-30, "+0000"},   // less than a minute is no offset
      };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(mDate::FormatGMTOffset(c.seconds), c.text);
    EXPECT_EQ(
        mDate::GetGMTOffset(QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41), QTimeZone(c.seconds))),
        c.text);
  }
  // Local time with its daylight saving time as the zone reports it for the moment.
  const QTimeZone berlin("Europe/Berlin");
  EXPECT_EQ(mDate::GetGMTOffset(QDateTime(QDate(2012, 3, 7), QTime(9, 0), berlin)), "+0100");
  EXPECT_EQ(mDate::GetGMTOffset(QDateTime(QDate(2012, 7, 7), QTime(9, 0), berlin)), "+0200");
}

TEST(Dates, ShortAndLongStampsFollowTheSystemLocale) {
  const QDateTime t = Example();
  EXPECT_EQ(mDate::GetShortDateStr(t),
            QLocale::system().toString(t.date(), QLocale::ShortFormat).toStdString());
  EXPECT_EQ(mDate::GetLongDateStr(t),
            QLocale::system().toString(t.date(), QLocale::LongFormat).toStdString());
  EXPECT_FALSE(mDate::GetLongDateStr(t).empty());
}

// ---- variables file lookup --------------------------------------------------------------------

struct Site {
  TempDir dir;
  std::filesystem::path original() const { return dir.path() / "site"; }
  std::filesystem::path first() const { return original() / "_variables" / "_variables.txt"; }
  std::filesystem::path second() const {
    return original() / "_brixelsiteprefs" / "_notes" / "variables.txt";
  }
  Site() { std::filesystem::create_directories(original()); }
};

TEST(VariablesLookup, FirstUsableFileWins) {
  {
    Site s;
    WriteFile(s.first(), "Home;About");
    WriteFile(s.second(), "Other");
    const auto v = mVarialbles::isBrixelVariables(s.original(), s.original());
    EXPECT_TRUE(v.isBrixelProject);
    EXPECT_EQ(v.text, "Home;About");
  }
  for (const char* unusable : {"*", ""}) {
    SCOPED_TRACE(unusable);
    Site s;
    WriteFile(s.first(), unusable);
    WriteFile(s.second(), "Other");
    auto v = mVarialbles::isBrixelVariables(s.original(), s.original());
    EXPECT_TRUE(v.isBrixelProject);
    EXPECT_EQ(v.text, "Other");
    // Without the second place the text read stays, and the site has no variables.
    std::filesystem::remove(s.second());
    v = mVarialbles::isBrixelVariables(s.original(), s.original());
    EXPECT_FALSE(v.isBrixelProject);
    EXPECT_EQ(v.text, unusable);
  }
  {
    Site s;
    WriteFile(s.second(), "*");
    const auto v = mVarialbles::isBrixelVariables(s.original(), s.original());
    EXPECT_FALSE(v.isBrixelProject);
    EXPECT_EQ(v.text, "*");
  }
}

TEST(VariablesLookup, AbsentPlaces) {
  Site s;
  auto v = mVarialbles::isBrixelVariables(s.original(), s.original());
  EXPECT_FALSE(v.isBrixelProject);
  EXPECT_EQ(v.text, "*");
  v = mVarialbles::isBrixelVariables({}, {});
  EXPECT_FALSE(v.isBrixelProject);
  EXPECT_EQ(v.text, "*");
  // Only the second place is looked at when the selected folder is absent.
  WriteFile(s.second(), "A;B");
  v = mVarialbles::isBrixelVariables(s.dir.path() / "missing", s.original());
  EXPECT_TRUE(v.isBrixelProject);
  EXPECT_EQ(v.text, "A;B");
  // A folder where the file should be reads as empty.
  std::filesystem::create_directories(s.first());
  v = mVarialbles::isBrixelVariables(s.original(), {});
  EXPECT_FALSE(v.isBrixelProject);
  EXPECT_EQ(v.text, "");
}

// ---- page replacement -------------------------------------------------------------------------

std::string Update(const std::string& page, const std::string& vars, bool brixel = true) {
  mVarialbles::Variables v;
  v.text = vars;
  v.isBrixelProject = brixel;
  return mVarialbles::DoUpdateVariables(page, v, Example(), trimora::TextCtx{});
}

TEST(Variables, PagePlaceholders) {
  const std::string iso = "2012-03-07";
  const std::string arpa = "Wed, 07 Mar 2012 09:05:41 +0100";
  const std::string ten = "v1;v2;v3;v4;v5;v6;v7;v8;v9;v10";
  const struct {
    std::string page, vars;
    bool brixel;
    std::string out;
  } cases[] = {
      {"#VARIABLE1# - #VARIABLE2##VARIABLE3#", "Home;About us;", true, "Home - About us"},
      {"<b>#VARIABLE4#</b>", "a;b;c", true, "<b>#VARIABLE4#</b>"},
      {"#VARIABLE1#|#VARIABLE10#|#VARIABLE01#", ten, true, "v1|v10|#VARIABLE01#"},
      {"#variable2# #Variable1#", "a;b", true, "b a"},
      {"x\r\n#VARIABLE1#\n", "line one\r\nline two\n", true, "x\r\nline one\r\nline two\n\n"},
      // values are replaced in number order over the whole text
      {"#VARIABLE1#", "#VARIABLE2#;two", true, "two"},
      {"#VARIABLE2#", "one;#VARIABLE1# #VARIABLE2#", true, "#VARIABLE1# #VARIABLE2#"},
      {"#VARIABLE1#", "#ISODATE#", true, iso},
      // no usable file: placeholders stay, dates are still filled
      {"#VARIABLE1# #ISODATE#", "a", false, "#VARIABLE1# " + iso},
      // dates, in any letter case; the page is trimmed only when it held one
      {" \t\r\n<p>#IsoDate#</p>\r\n \t", "", false, "<p>" + iso + "</p>"},
      {"#ARPADATE#\n", "", false, arpa},
      {"  <p>#VARIABLE1#</p>\n", "x", true, "  <p>x</p>\n"},
      {"  <p>plain</p>\n", "x", true, "  <p>plain</p>\n"},
      {"\n#ISODATE#", "", false, iso},
      {"#ISODATE##ISODATE", "", false, iso + "#ISODATE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page + " / " + c.vars);
    EXPECT_EQ(Update(c.page, c.vars, c.brixel), c.out);
  }
  const QDateTime t = Example();
  EXPECT_EQ(Update("#LONGDATE#|#SHORTDATE#", "", false),
            mDate::GetLongDateStr(t) + "|" + mDate::GetShortDateStr(t));
}

// The numbered replacement written the straightforward way: a sweep for every value in turn.
std::string Sweeps(std::string text, const std::string& vars) {
  std::vector<std::string> values;
  size_t from = 0;
  for (size_t semi; (semi = vars.find(';', from)) != std::string::npos; from = semi + 1)
    values.push_back(vars.substr(from, semi - from));
  values.push_back(vars.substr(from));
  for (size_t n = 1; n <= values.size(); ++n)
    txt::ReplaceAll(text, "#VARIABLE" + std::to_string(n) + "#", values[n - 1]);
  return text;
}

TEST(Variables, ReplacementEqualsTheSweepsInTurn) {
  const struct {
    std::string page, vars;
  } cases[] = {
      {"#VARIABLE1# - #VARIABLE2##VARIABLE3#", "Home;About us;"},
      {"<title>#VARIABLE1#</title><h1>#VARIABLE1#</h1>", "Site"},
      {"#VARIABLE2#VARIABLE1#", "#;x"},  // a shared "#" goes to the first sweep
      {"#VARIABLE2#VARIABLE1#", "x;y"},
      {"#VARIABLE1#VARIABLE2#", "x;y"},
      {"#VARIABLE1#VARIABLE1#VARIABLE1#", "x"},  // non-overlapping left to right
      {"#VARIABLE#VARIABLE1#2#", "x;y"},         // a value completing a later placeholder
      {"#VARIABLE#VARIABLE1#2#", ";y"},
      {"##VARIABLE1#2#", "VARIABLE;z"},
      {"#VARI#VARIABLE1#2#", "ABLE;x"},
      {"#VARIABLE#VARIABLE1##", "2;y"},
      {"#VARIABLE#VARIABLE1##", "2 ;y"},
      {"#VARIABLE1##VARIABLE2#VARIABLE#", "Home;About"},
      {"#VARIABLE1##VARIABLE2#", "#VARIABLE;3#"},
      {"#VARIABLE1#", "#VARIABLE1#"},  // its own placeholder stays
      {"#VARIABLE3#", "a;b;#VARIABLE2#"},
      {"#VARIABLE1#", "#VARIABLE3#;b;#VARIABLE2#"},
      {"#VARIABLE2#", "a;#VARIABLE1"},  // completed with the text after it?
      {"#VARIABLE2##", "a;#VARIABLE1"},
      {"x#VARIABLE1#2#", "#VARIABLE;a;b;c;d;e;f;g;h;i;j;k;l"},
      {"#VARIABLE99999999999999999999#", "a"},
      {"#VARIABLE#VARIABLE#", "a"},
      {"", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page + " / " + c.vars);
    EXPECT_EQ(mVarialbles::ReplaceVariables(c.page, c.vars), Sweeps(c.page, c.vars));
  }
}

TEST(Variables, ReplacementEqualsTheSweepsOnRandomPages) {
  const std::vector<std::string> pageParts = {
      "#VARIABLE",   "#variable",    "#", "1", "2",   "3",           "12",
      "0",           "VARIABLE",     "x", " ", "<p>", "#VARIABLE1#", "#VARIABLE2#",
      "#VARIABLE3#", "#VARIABLE12#", "\n"};
  // Values with "#" and without it: the one pass and the sweeps both get their share.
  const std::vector<std::string> hashParts = pageParts;
  const std::vector<std::string> plainParts = {"VARIABLE", "ABLE", "1", "2", "12", "0", "x", " "};
  std::mt19937 rng(7032012);
  const auto random = [&](const std::vector<std::string>& parts, int maxParts, bool semis) {
    std::string s;
    const int n = static_cast<int>(rng() % maxParts);
    for (int i = 0; i < n; ++i) s += (semis && rng() % 3 == 0) ? ";" : parts[rng() % parts.size()];
    return s;
  };
  for (int round = 0; round < 6000; ++round) {
    const std::string page = random(pageParts, 12, false);
    const std::string vars = random(round % 2 ? hashParts : plainParts, 16, true);
    SCOPED_TRACE(page + " / " + vars);
    EXPECT_EQ(mVarialbles::ReplaceVariables(page, vars), Sweeps(page, vars));
    if (HasFailure()) break;
  }
}

TEST(Variables, ManyPlaceholdersAndValues) {
  // Every value used once, in reverse order on the page; the one-pass result must still be
  // what the sweeps give.
  std::string vars, page, expected;
  for (int n = 1; n <= 3000; ++n) vars += (n > 1 ? ";" : "") + ("v" + std::to_string(n));
  for (int n = 3000; n >= 1; --n) {
    page += "<li>#VARIABLE" + std::to_string(n) + "#</li>";
    expected += "<li>v" + std::to_string(n) + "</li>";
  }
  EXPECT_EQ(mVarialbles::ReplaceVariables(page, vars), expected);
}

}  // namespace
