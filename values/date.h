#pragma once
// A calendar date as a whole count of days (proleptic Gregorian, years 1 to
// 9999). A date plus an integer is that many days later; the difference of
// two dates is a count of days.

#include <cstdint>
#include <optional>

namespace imp {

class Date {
 public:
  Date() = default;  // 1 January 1970

  // Returns the date, or nothing when y/m/d is not a real calendar date of
  // the years 1 to 9999.
  static std::optional<Date> FromYmd(int year, int month, int day);
  // Days since 1 January 1970 (negative before).
  static Date FromDays(int64_t days) { return Date(days); }
  // Today in the machine's local time zone.
  static Date Today();

  int64_t days() const { return days_; }
  int year() const;
  int month() const;
  int day() const;

  Date operator+(int64_t days) const { return Date(days_ + days); }
  friend int64_t operator-(Date a, Date b) { return a.days_ - b.days_; }
  friend bool operator==(Date a, Date b) = default;

 private:
  explicit Date(int64_t days) : days_(days) {}
  int64_t days_ = 0;
};

}  // namespace imp
