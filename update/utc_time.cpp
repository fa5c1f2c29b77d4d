#include "update/utc_time.h"

#include <cstdio>

namespace kestrune {
namespace {

// The proleptic Gregorian date of `days` since 1970-01-01, by arithmetic
// alone (no gmtime: the output thread needs no lock or table for it).
void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
  days += 719468;  // from 0000-03-01
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthFromMarch = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

std::string IsoUtcTime(std::chrono::system_clock::time_point when) {
  const long long millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  // Floor division, so a time before 1970 counts forward from its second.
  const long long days = (millis >= 0 ? millis : millis - 86399999) / 86400000;
  const long long ofDay = millis - days * 86400000;
  long long year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", year, month,
                day, ofDay / 3600000, ofDay / 60000 % 60, ofDay / 1000 % 60, ofDay % 1000);
  return text;
}

}  // namespace kestrune
