#include "values/date.h"

#include <gtest/gtest.h>

#include <ctime>

namespace imp {
namespace {

TEST(Date, KnownDayCounts) {
  const struct {
    int y, m, d;
    int64_t days;
  } cases[] = {
      {1970, 1, 1, 0},       {1970, 1, 2, 1},        {1969, 12, 31, -1},
      {2000, 2, 29, 11016},  {2000, 3, 1, 11017},    {2024, 12, 31, 20088},
      {1, 1, 1, -719162},    {9999, 12, 31, 2932896}, {1899, 12, 30, -25569},
  };
  for (const auto& c : cases) {
    const auto date = Date::FromYmd(c.y, c.m, c.d);
    ASSERT_TRUE(date) << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(date->days(), c.days) << c.y << "-" << c.m << "-" << c.d;
    const Date back = Date::FromDays(c.days);
    EXPECT_EQ(back.year(), c.y);
    EXPECT_EQ(back.month(), c.m);
    EXPECT_EQ(back.day(), c.d);
  }
}

TEST(Date, RefusesDaysThatDoNotExist) {
  const struct {
    int y, m, d;
  } cases[] = {{2023, 2, 29}, {1900, 2, 29}, {2024, 4, 31}, {2024, 13, 1}, {2024, 0, 1},
               {2024, 1, 0},  {0, 1, 1},     {10000, 1, 1}, {2024, 1, 32}, {-5, 1, 1}};
  for (const auto& c : cases) {
    EXPECT_FALSE(Date::FromYmd(c.y, c.m, c.d)) << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST(Date, ArithmeticInWholeDays) {
  const Date start = *Date::FromYmd(2024, 2, 28);
  EXPECT_EQ(start + 1, *Date::FromYmd(2024, 2, 29));
  EXPECT_EQ(start + 2, *Date::FromYmd(2024, 3, 1));
  EXPECT_EQ(start + 30 - start, 30);
  EXPECT_EQ(*Date::FromYmd(2025, 1, 1) - *Date::FromYmd(2024, 1, 1), 366);
  EXPECT_EQ(start + -59, *Date::FromYmd(2023, 12, 31));
}

TEST(Date, EveryDayOfFourCenturiesRoundTrips) {
  Date d = *Date::FromYmd(1900, 1, 1);
  const Date end = *Date::FromYmd(2300, 1, 1);
  int expected_day = 1;
  for (; !(d == end); d = d + 1) {
    const auto again = Date::FromYmd(d.year(), d.month(), d.day());
    ASSERT_TRUE(again);
    ASSERT_EQ(*again, d);
    ASSERT_EQ(d.day(), expected_day);
    const Date next = d + 1;
    expected_day = next.month() == d.month() ? expected_day + 1 : 1;
  }
  EXPECT_EQ(end - *Date::FromYmd(1900, 1, 1), 146097);
}

TEST(Date, TodayIsTheLocalDate) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const Date today = Date::Today();
  // Around midnight the two readings may straddle the change of day.
  const Date expected = *Date::FromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  EXPECT_LE(today - expected, 1);
  EXPECT_GE(today - expected, 0);
}

}  // namespace
}  // namespace imp
