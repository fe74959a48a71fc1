#include "values/date.h"

#include <ctime>

namespace imp {

namespace {

// Day counts of the proleptic Gregorian calendar in 400-year eras that
// start on 1 March, so the leap day is the last day of an era's year.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;                                  // [0, 399]
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;           // [0, 146096]
  return era * 146097 + doe - 719468;
}

struct Ymd {
  int64_t year;
  int month;
  int day;
};

Ymd CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2), month, day};
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::optional<Date> Date::FromYmd(int year, int month, int day) {
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return std::nullopt;
  const int last = kMonthDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  if (day > last) return std::nullopt;
  return Date(DaysFromCivil(year, month, day));
}

Date Date::Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Date(DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
}

int Date::year() const { return static_cast<int>(CivilFromDays(days_).year); }
int Date::month() const { return CivilFromDays(days_).month; }
int Date::day() const { return CivilFromDays(days_).day; }

}  // namespace imp
