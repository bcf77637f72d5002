// Date and time stamps of a moment, for the date placeholders of web pages.
//
// Every function takes the moment to show (the caller reads its clock once) and writes the
// moment's own local date, time and offset from Greenwich time. Names of days and months are
// English whatever the user's language; the short and long stamps follow the system locale.
#pragma once

#include <QDateTime>
#include <string>

namespace mDate {

std::string GetYearNumberStr(const QDateTime& t);    // 2012
std::string GetMonthNumberStr(const QDateTime& t);   // 03
std::string GetdayNumberStr(const QDateTime& t);     // 07
std::string GetTimeStr(const QDateTime& t);          // 09:05:41
std::string GetmonthStr(const QDateTime& t);         // Mar
std::string GetDayname(const QDateTime& t);          // Wed
std::string GetGMTOffset(const QDateTime& t);        // +0100
std::string GetGMToffsetStr(const QDateTime& t);     // +0100
std::string GetARPADateTimeStr(const QDateTime& t);  // Wed, 07 Mar 2012 09:05:41 +0100
std::string GetISODateStr(const QDateTime& t);       // 2012-03-07
std::string GetShortDateStr(const QDateTime& t);     // the system's short date format (UTF-8)
std::string GetLongDateStr(const QDateTime& t);      // the system's long date format (UTF-8)

// The offset written as a sign, two digits of hours and two of minutes:
//   3600 -> "+0100", -18000 -> "-0500", 19800 -> "+0530", -12600 -> "-0330", 0 -> "+0000"
std::string FormatGMTOffset(int offsetSeconds);

}  // namespace mDate
