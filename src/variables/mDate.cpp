#include "variables/mDate.h"

#include <QLocale>
#include <cstdlib>

namespace mDate {
namespace {

// The decimal text with a "0" in front when it has one digit.   7 -> "07", 12 -> "12"
std::string TwoDigits(int v) {
  std::string s = std::to_string(v);
  if (s.size() == 1) s.insert(s.begin(), '0');
  return s;
}

std::string Utf8(const QString& s) { return s.toStdString(); }

}  // namespace

std::string GetYearNumberStr(const QDateTime& t) { return std::to_string(t.date().year()); }

std::string GetMonthNumberStr(const QDateTime& t) { return TwoDigits(t.date().month()); }

std::string GetdayNumberStr(const QDateTime& t) { return TwoDigits(t.date().day()); }

std::string GetTimeStr(const QDateTime& t) {
  const QTime time = t.time();
  return TwoDigits(time.hour()) + ":" + TwoDigits(time.minute()) + ":" + TwoDigits(time.second());
}

std::string GetmonthStr(const QDateTime& t) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int m = t.date().month();
  return (m >= 1 && m <= 12) ? kMonths[m - 1] : "";
}

std::string GetDayname(const QDateTime& t) {
  // Qt numbers the days from Monday (1) to Sunday (7).
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  const int d = t.date().dayOfWeek();
  return (d >= 1 && d <= 7) ? kDays[d - 1] : "";
}

// Hours and minutes of the offset. For every offset in whole quarter hours (all zones in use)
// this is what writing the offset in hours as a decimal and turning its fraction into minutes
// gives (5.5 -> +0530, -3.5 -> -0330, 5.75 -> +0545); other offsets, the local mean times of
// old dates, keep their true minutes (seconds dropped) instead of a mangled fraction.
std::string FormatGMTOffset(int offsetSeconds) {
  const int minutes = std::abs(offsetSeconds) / 60;
  return std::string(offsetSeconds < 0 && minutes > 0 ? "-" : "+") + TwoDigits(minutes / 60) +
         TwoDigits(minutes % 60);
}

std::string GetGMTOffset(const QDateTime& t) { return FormatGMTOffset(t.offsetFromUtc()); }

std::string GetGMToffsetStr(const QDateTime& t) { return GetGMTOffset(t); }

std::string GetARPADateTimeStr(const QDateTime& t) {
  return GetDayname(t) + ", " + GetdayNumberStr(t) + " " + GetmonthStr(t) + " " +
         GetYearNumberStr(t) + " " + GetTimeStr(t) + " " + GetGMToffsetStr(t);
}

std::string GetISODateStr(const QDateTime& t) {
  return GetYearNumberStr(t) + "-" + GetMonthNumberStr(t) + "-" + GetdayNumberStr(t);
}

std::string GetShortDateStr(const QDateTime& t) {
  return Utf8(QLocale::system().toString(t.date(), QLocale::ShortFormat));
}

std::string GetLongDateStr(const QDateTime& t) {
  return Utf8(QLocale::system().toString(t.date(), QLocale::LongFormat));
}

}  // namespace mDate
