#include "tests/support/failure_of.h"
#include "tests/support/quoted_text.h"
#include "values/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "values/failure.h"

namespace imp {
namespace {

RegionalSettings Settings(char decimal, char date = '/', std::string format = "m/d/yy") {
  RegionalSettings rs;
  rs.decimal_separator = decimal;
  rs.date_separator = date;
  rs.short_date_format = std::move(format);
  return rs;
}

Date Ymd(int y, int m, int d) { return *Date::FromYmd(y, m, d); }

// Returns the failure text, or nothing when the call succeeded.
using testing::FailureOf;

TEST(TextToInteger, AcceptsDecimalAndHexadecimal) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"0", 0},           {"42", 42},          {" 5", 5},
      {"   -17", -17},    {"+8", 8},           {"$1F", 31},
      {"$1f", 31},        {"x10", 16},         {"X10", 16},
      {"0x7fffffff", 2147483647},              {"0XFF", 255},
      {"-$80000000", INT32_MIN},               {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},              {"007", 7},
      {"-0", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(TextToInteger(c.text), c.expected) << c.text;
}

TEST(TextToInteger, RefusesMalformedOrOutOfRange) {
  const char* cases[] = {"",    "5 ",     " ",          "+",           "-",
                         "$",   "0x",     "1.5",        "1,5",         "1e3",
                         "--1", "+-1",    "2147483648", "-2147483649", "$80000000",
                         "12a", "$1G",    "\t5",        "5\n",         "99999999999999999999999"};
  for (const char* text : cases) {
    EXPECT_EQ(FailureOf([&] { TextToInteger(text); }),
              imp::testing::QuotedThen(text, " no es un valor entero válido"))
        << text;
  }
}

TEST(ParseInteger, ReachesSixtyFourBits) {
  int64_t v = 0;
  EXPECT_TRUE(ParseInteger("-9223372036854775808", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_TRUE(ParseInteger("$7FFFFFFFFFFFFFFF", v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_FALSE(ParseInteger("9223372036854775808", v));
  EXPECT_FALSE(ParseInteger("5 ", v));
}

TEST(TextToCurrency, ReadsUnderBothSeparators) {
  const struct {
    const char* text;
    char decimal;
    int64_t count;
  } cases[] = {
      {"1.23455", '.', 12346},   // tie to even upwards
      {"1.23465", '.', 12346},   // tie to even downwards
      {"1,23455", ',', 12346},
      {"1,23465", ',', 12346},
      {"12.5", '.', 125000},     {"12,5", ',', 125000},
      {" 5", '.', 50000},        {"5 ", '.', 50000},
      {"  +5  ", '.', 50000},    {"-5", '.', -50000},
      {".", '.', 0},             {",", ',', 0},
      {"-.5", '.', -5000},       {"5.", '.', 50000},
      {"1e3", '.', 10000000},    {"1E-4", '.', 1},
      {"15e-5", '.', 2},         {"25e-5", '.', 2},  // 1.5 and 2.5 ten-thousandths
      {"2,5E+1", ',', 250000},   {"0", '.', 0},
      {"0e99999", '.', 0},       {"1e-9999", '.', 0},
      {"922337203685477.5807", '.', INT64_MAX},
      {"-922337203685477.5808", '.', INT64_MIN},
      {"0.00005", '.', 0},       {"0.00015", '.', 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToCurrency(c.text, Settings(c.decimal)).count(), c.count)
        << c.text << " with '" << c.decimal << "'";
  }
}

TEST(TextToCurrency, RefusesWhatIsNotANumber) {
  const struct {
    const char* text;
    char decimal;
  } cases[] = {
      {"", '.'},     {" ", '.'},      {"+", '.'},       {"-", '.'},
      {"1,5", '.'},  {"1.5", ','},    {"1.000,5", ','}, {"1 000", '.'},
      {"e5", '.'},   {"1e", '.'},     {"1e+", '.'},     {"$1F", '.'},
      {"1..2", '.'}, {"--1", '.'},    {"5x", '.'},      {"922337203685477.5808", '.'},
      {"1e15", '.'}, {"1e99999", '.'}, {"- 5", '.'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf([&] { TextToCurrency(c.text, Settings(c.decimal)); }),
              imp::testing::QuotedThen(c.text, " no es un valor decimal válido"))
        << c.text;
  }
}

TEST(TextToDate, DayMonthYearInTwentyTwentyFour) {
  const RegionalSettings dmy = Settings('.', '/', "dd/MM/yy");
  const Date today = Ymd(2024, 6, 15);
  const struct {
    const char* text;
    Date expected;
  } cases[] = {
      {"31/12/24", Ymd(2024, 12, 31)}, {"1/2", Ymd(2024, 2, 1)},
      {"1/2/", Ymd(2024, 2, 1)},       {" 1 / 2 / 24 ", Ymd(2024, 2, 1)},
      {"1/1/73", Ymd(2073, 1, 1)},     {"1/1/74", Ymd(1974, 1, 1)},
      {"1/1/0", Ymd(2000, 1, 1)},      {"29/2/2024", Ymd(2024, 2, 29)},
      {"1/1/0024", Ymd(24, 1, 1)},     {"31/12/9999", Ymd(9999, 12, 31)},
      {"01/01/1", Ymd(2001, 1, 1)},
  };
  for (const auto& c : cases) EXPECT_EQ(TextToDate(c.text, dmy, today), c.expected) << c.text;
}

TEST(TextToDate, RefusesWhatIsNotADate) {
  const RegionalSettings dmy = Settings('.', '/', "d/m/yy");
  const Date today = Ymd(2024, 6, 15);
  const char* cases[] = {"2024-12-31", "",        "5",          "/",          "1//2",
                         "1/2//",      "32/1/24", "29/2/2023",  "0/1/24",     "1/13/24",
                         "1/2/3/4",    "1/2 x",   "12345/1/24", "1/1/10000", "1-2",
                         "a/b"};
  for (const char* text : cases) {
    EXPECT_EQ(FailureOf([&] { TextToDate(text, dmy, today); }),
              imp::testing::QuotedThen(text, " no es una fecha válida"))
        << text;
  }
}

TEST(TextToDate, OrderComesFromTheFirstLetterOfTheFormat) {
  const Date today = Ymd(2024, 6, 15);
  const struct {
    const char* format;
    char separator;
    const char* text;
    Date expected;
  } cases[] = {
      {"m/d/yy", '/', "2/1/24", Ymd(2024, 2, 1)},
      {"d/MM/yy", '/', "2/1/24", Ymd(2024, 1, 2)},
      {"dd.MM.yy", '.', "2.1.24", Ymd(2024, 1, 2)},
      {"yyyy-MM-dd", '-', "2024-12-31", Ymd(2024, 12, 31)},
      {"ee/mm/dd", '/', "24/1/2", Ymd(2024, 1, 2)},
      {"yyyy-MM-dd", '-', "12-31", Ymd(2024, 12, 31)},  // two numbers: month first
      {"MMM yyyy", '/', "3/4", Ymd(2024, 3, 4)},
      {"", '/', "3/4/24", Ymd(2024, 3, 4)},
      {"#/#/#", '/', "3/4/24", Ymd(2024, 3, 4)},  // none of the letters: m-d-y
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToDate(c.text, Settings('.', c.separator, c.format), today), c.expected)
        << c.format << " " << c.text;
  }
}

TEST(TextToDate, TwoDigitYearsFollowTodayAndTheWindow) {
  RegionalSettings rs = Settings('.', '/', "d/m/yy");
  const struct {
    int today_year;
    int window;
    int written;
    int year;
  } cases[] = {
      {2024, 50, 24, 2024}, {2024, 50, 73, 2073}, {2024, 50, 74, 1974},
      {2000, 50, 50, 1950}, {2000, 50, 49, 2049}, {2099, 50, 48, 2148},
      {2024, 0, 23, 2123},  {2024, 0, 24, 2024},  {2024, 99, 25, 1925},
  };
  for (const auto& c : cases) {
    rs.two_digit_year_window = c.window;
    const std::string text = "1/1/" + std::to_string(c.written);
    EXPECT_EQ(TextToDate(text, rs, Ymd(c.today_year, 3, 3)).year(), c.year)
        << c.today_year << " " << c.window << " " << c.written;
  }
}

TEST(RoundToExponent, WorkedValues) {
  const struct {
    int8_t exponent;
    double value;
    double expected;
  } cases[] = {
      {0, 2.5, 2},        {0, 3.5, 4},        {0, 51.3, 51},       {0, -2.5, -2},
      {1, 25, 20},        {1, 35, 40},        {1, 135, 140},       {1, 51.2, 50},
      {2, 150, 200},      {2, 250, 200},      {2, 1234.5678, 1200}, {2, 49.99, 0},
      {2, 50, 0},         {-2, 1.234, 1.23},  {-2, 1.005, 1.00},   {-4, 0.00015, 0.0001},
      {0, 0, 0},          {5, 0, 0},          {-7, 0, 0},          {2, 300, 300},
      {-2, 1.25, 1.25},   {3, 7000, 7000},    {0, 4503599627370497.0, 4503599627370497.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundToExponent(c.exponent, c.value), c.expected)
        << int(c.exponent) << " " << c.value;
  }
}

TEST(RoundToExponent, FailsWhenTheQuotientLeavesSixtyFourBits) {
  EXPECT_EQ(FailureOf([] { RoundToExponent(-20, 1000.0); }), "Operación decimal inválida");
  EXPECT_EQ(FailureOf([] { RoundToExponent(0, 1e19); }), "Operación decimal inválida");
  EXPECT_EQ(FailureOf([] { RoundToExponent(0, std::nan("")); }), "Operación decimal inválida");
  EXPECT_EQ(RoundToExponent(127, 1e100), 0.0);
}

TEST(FloorToInteger, GoesDownToTheNextWhole) {
  const struct {
    long double value;
    int32_t expected;
  } cases[] = {
      {0.0L, 0},       {2.9L, 2},          {-2.1L, -3},         {-2.0L, -2},
      {-0.5L, -1},     {30.0L, 30},        {2147483647.9L, 2147483647},
      {-2147483648.0L, INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(FloorToInteger(c.value), c.expected);
  for (long double bad : {2147483648.0L, -2147483648.5L, 1e30L, (long double)NAN}) {
    EXPECT_EQ(FailureOf([&] { FloorToInteger(bad); }), "Operación decimal inválida");
  }
}

TEST(QuoteSqlText, DoublesQuotes) {
  const struct {
    const char* text;
    const char* quoted;
  } cases[] = {{"O'Brien", "'O''Brien'"}, {"", "''"}, {"'", "''''"}, {"a''b", "'a''''b'"},
               {"plain", "'plain'"}};
  for (const auto& c : cases) EXPECT_EQ(QuoteSqlText(c.text), c.quoted);
  EXPECT_EQ(QuoteSqlText("O'Brien").size(), 10u);  // seven characters become ten
}

TEST(DateToText, FollowsTheShortFormatAndReadsBack) {
  const Date date = Ymd(2024, 2, 5);
  const struct {
    const char* format;
    char separator;
    const char* text;
  } cases[] = {
      {"m/d/yy", '/', "2/5/24"},         {"d/MM/yy", '/', "5/02/24"},
      {"dd.MM.yy", '.', "05.02.24"},     {"yyyy-MM-dd", '-', "2024-02-05"},
      {"dd/mm/yyyy", '-', "05-02-2024"},
  };
  for (const auto& c : cases) {
    const RegionalSettings rs = Settings('.', c.separator, c.format);
    EXPECT_EQ(DateToText(date, rs), c.text) << c.format;
    EXPECT_EQ(TextToDate(DateToText(date, rs), rs, Ymd(2024, 1, 1)), date) << c.format;
  }
}

// 'e' is a year letter wherever a date format is read: the text a date is
// written as must read back through TextToDate, whose order takes 'e' for
// the year.
TEST(DateToText, TakesEAsTheYearLetter) {
  const Date early = Ymd(2024, 2, 5);
  const Date late = Ymd(2009, 11, 23);
  const struct {
    const char* format;
    char separator;
    const char* early_text;
    const char* late_text;
  } cases[] = {
      {"m/d/yy", '/', "2/5/24", "11/23/09"},
      {"mm/dd/yyyy", '/', "02/05/2024", "11/23/2009"},
      {"d/m/y", '/', "5/2/24", "23/11/09"},
      {"dd/MM/yyy", '-', "05-02-2024", "23-11-2009"},
      {"e/m/d", '/', "24/2/5", "09/11/23"},
      {"ee/mm/dd", '/', "24/02/05", "09/11/23"},
      {"eeee/MM/dd", '-', "2024-02-05", "2009-11-23"},
      {"E.M.D", '/', "24.2.5", "09.11.23"},
      {"d/m/Eeee", '.', "5.2.2024", "23.11.2009"},
      {"yyyy/m/d", '/', "2024/2/5", "2009/11/23"},
  };
  for (const auto& c : cases) {
    RegionalSettings rs = Settings('.', c.separator, c.format);
    EXPECT_EQ(DateToText(early, rs), c.early_text) << c.format;
    EXPECT_EQ(DateToText(late, rs), c.late_text) << c.format;
    // Read back with the literal dots the format itself writes.
    if (std::string(c.format).find('.') != std::string::npos) rs.date_separator = '.';
    EXPECT_EQ(TextToDate(DateToText(early, rs), rs, Ymd(2024, 1, 1)), early) << c.format;
    EXPECT_EQ(TextToDate(DateToText(late, rs), rs, Ymd(2024, 1, 1)), late) << c.format;
  }
}

TEST(DateToText, CopiesWhatIsNoDateLetter) {
  const Date date = Ymd(2024, 2, 5);
  const struct {
    const char* format;
    const char* text;
  } cases[] = {{"", ""}, {"x", "x"}, {"d-m-yy", "5-2-24"}, {"d m e", "5 2 24"}, {"[d]", "[5]"}};
  for (const auto& c : cases) {
    EXPECT_EQ(DateToText(date, Settings('.', '/', c.format)), c.text) << c.format;
  }
}

}  // namespace
}  // namespace imp
