// Date and time stamps of a moment in local time.
#pragma once

#include <QDateTime>

#include <string>

namespace mDate {

std::string GetYearNumberStr(const QDateTime& t);   // 2012
std::string GetMonthNumberStr(const QDateTime& t);  // 03
std::string GetdayNumberStr(const QDateTime& t);    // 07
std::string GetTimeStr(const QDateTime& t);         // 09:05:41
std::string GetmonthStr(const QDateTime& t);        // Mar
std::string GetDayname(const QDateTime& t);         // Wed
std::string GetGMTOffset(const QDateTime& t);       // +0100
std::string GetGMToffsetStr(const QDateTime& t);    // +0100
std::string GetARPADateTimeStr(const QDateTime& t); // Wed, 07 Mar 2012 09:05:41 +0100
std::string GetISODateStr(const QDateTime& t);      // 2012-03-07
std::string GetShortDateStr(const QDateTime& t);    // the system's short date format
std::string GetLongDateStr(const QDateTime& t);     // the system's long date format

}  // namespace mDate
