#include "tests/support/failure_of.h"
#include "values/bcd_value.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "values/failure.h"

namespace imp {
namespace {

RegionalSettings Decimal(char separator) {
  RegionalSettings rs;
  rs.decimal_separator = separator;
  return rs;
}

using testing::FailureOf;

TEST(BcdValue, KeepsTheDigitsAsWritten) {
  const struct {
    const char* text;
    char decimal;
    bool negative;
    const char* digits;
    int scale;
    int significant;
    const char* back;  // read as text under the same separator
  } cases[] = {
      {"10.5", '.', false, "105", 1, 3, "10.5"},
      {"10,5", ',', false, "105", 1, 3, "10,5"},
      {"1.50", '.', false, "150", 2, 3, "1.50"},
      {"-0.05", '.', true, "5", 2, 1, "-0.05"},
      {"007", '.', false, "7", 0, 1, "7"},
      {"0", '.', false, "0", 0, 0, "0"},
      {"-0", '.', false, "0", 0, 0, "0"},
      {"-0,000", ',', false, "0", 3, 0, "0,000"},
      {".5", '.', false, "5", 1, 1, "0.5"},
      {"5.", '.', false, "5", 0, 1, "5"},
      {"1.23456789", '.', false, "123456789", 8, 9, "1.23456789"},
      {"-123456789012345", '.', true, "123456789012345", 0, 15, "-123456789012345"},
  };
  for (const auto& c : cases) {
    const BcdValue v = BcdValue::FromText(c.text, Decimal(c.decimal));
    EXPECT_FALSE(v.is_null()) << c.text;
    EXPECT_EQ(v.negative(), c.negative) << c.text;
    EXPECT_EQ(v.digits(), c.digits) << c.text;
    EXPECT_EQ(v.scale(), c.scale) << c.text;
    EXPECT_EQ(v.significant_digits(), c.significant) << c.text;
    EXPECT_EQ(v.ToText(Decimal(c.decimal)), c.back) << c.text;
  }
}

TEST(BcdValue, EmptyTextIsNullAndNullReadsZero) {
  const BcdValue v = BcdValue::FromText("", Decimal('.'));
  EXPECT_TRUE(v.is_null());
  EXPECT_EQ(v, BcdValue());
  EXPECT_EQ(v.ToCurrency(), Currency());
  EXPECT_EQ(v.ToText(Decimal('.')), "");
}

TEST(BcdValue, RefusesForeignCharactersAndMalformedTexts) {
  const struct {
    const char* text;
    char decimal;
  } cases[] = {
      // characters other than digits, minus and the separator
      {"+5", '.'}, {" 5", '.'}, {"5 ", '.'}, {"1,5", '.'}, {"1.5", ','}, {"1e3", '.'},
      {"1.000,5", ','}, {"$1F", '.'}, {"\t1", '.'},
      // only accepted characters, but not a number
      {"1-2", '.'}, {"1.2.3", '.'}, {".", '.'}, {"-", '.'}, {"--1", '.'}, {"-.", '.'},
      {"1,2,3", ','}, {",", ','}, {"5-", '.'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf([&] { BcdValue::FromText(c.text, Decimal(c.decimal)); }),
              std::string(c.text) + " no es un valor BCD válido")
        << c.text;
  }
}

TEST(BcdValue, ReadsAsCurrencyThroughTheNearestDouble) {
  const struct {
    const char* text;
    int64_t count;
  } cases[] = {
      {"10.5", 105000},     {"10.12345", 101235}, {"1.23465", 12347},  {"0.00015", 1},
      {"-1.23465", -12347}, {"3113.16", 31131600}, {"377.4454", 3774454},
      {"0", 0},             {"99999999999.9999", 999999999999999},
      {"1234567890123.45", 12345678901234500}, {"9999999999999.99", 99999999999999900},
      {"922337203685477.5807", INT64_MAX},      {"-922337203685477.5808", INT64_MIN},
      {"0.12345678901234", 1235},
  };
  for (const char sep : {'.', ','}) {
    for (const auto& c : cases) {
      std::string text = c.text;
      for (char& ch : text) {
        if (ch == '.') ch = sep;
      }
      EXPECT_EQ(BcdValue::FromText(text, Decimal(sep)).ToCurrency().count(), c.count) << text;
    }
  }
}

TEST(BcdValue, FromCurrencyHasFourDecimals) {
  const struct {
    int64_t count;
    const char* text;
  } cases[] = {
      {125000, "12.5000"}, {5, "0.0005"}, {-5000, "-0.5000"}, {0, "0.0000"},
      {INT64_MIN, "-922337203685477.5808"},
  };
  for (const auto& c : cases) {
    const BcdValue v = BcdValue::FromCurrency(Currency::FromCount(c.count));
    EXPECT_EQ(v.scale(), 4);
    EXPECT_EQ(v.ToText(Decimal('.')), c.text);
    EXPECT_EQ(v.ToCurrency().count(), c.count);
  }
}

TEST(BcdValue, ValuesBeyondTheCurrencyRangeFail) {
  const struct {
    std::string text;
    const char* failure;
  } cases[] = {
      {"922337203685477.5808", "Operación decimal inválida"},
      {"-922337203685477.5809", "Operación decimal inválida"},
      {std::string(30, '9'), "Operación decimal inválida"},
  };
  for (const auto& c : cases) {
    const BcdValue v = BcdValue::FromText(c.text, Decimal('.'));
    EXPECT_EQ(FailureOf([&] { v.ToCurrency(); }), c.failure) << c.text;
  }
  // So many digits that even extended precision overflows on the way in.
  const BcdValue huge = BcdValue::FromText(std::string(5000, '9') + ".00001", Decimal('.'));
  EXPECT_EQ(FailureOf([&] { huge.ToCurrency(); }), "Desbordamiento decimal");
  EXPECT_EQ(FailureOf([&] { huge.ToDouble(); }), "Desbordamiento decimal");
  const BcdValue big = BcdValue::FromText("99999999999999999999.00001", Decimal('.'));
  EXPECT_EQ(FailureOf([&] { big.ToCurrency(); }), "Operación decimal inválida");
}

}  // namespace
}  // namespace imp
