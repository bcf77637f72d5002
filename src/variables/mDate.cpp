#include "variables/mDate.h"

namespace mDate {
std::string GetYearNumberStr(const QDateTime&) { return {}; }
std::string GetMonthNumberStr(const QDateTime&) { return {}; }
std::string GetdayNumberStr(const QDateTime&) { return {}; }
std::string GetTimeStr(const QDateTime&) { return {}; }
std::string GetmonthStr(const QDateTime&) { return {}; }
std::string GetDayname(const QDateTime&) { return {}; }
std::string GetGMTOffset(const QDateTime&) { return {}; }
std::string GetGMToffsetStr(const QDateTime&) { return {}; }
std::string GetARPADateTimeStr(const QDateTime&) { return {}; }
std::string GetISODateStr(const QDateTime&) { return {}; }
std::string GetShortDateStr(const QDateTime&) { return {}; }
std::string GetLongDateStr(const QDateTime&) { return {}; }
}  // namespace mDate
