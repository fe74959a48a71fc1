#include "tests/support/failure_of.h"
#include "values/currency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "values/conversions.h"
#include "values/extended.h"
#include "values/failure.h"

namespace imp {
namespace {

using testing::FailureOf;

RegionalSettings Decimal(char separator) {
  RegionalSettings rs;
  rs.decimal_separator = separator;
  return rs;
}

TEST(Currency, FromExtendedCountRoundsTiesToEven) {
  const struct {
    long double count;
    int64_t expected;
  } cases[] = {
      {0.5L, 0},      {1.5L, 2},       {2.5L, 2},         {-2.5L, -2},       {-3.5L, -4},
      {2.4999L, 2},   {2.5001L, 3},    {-0.0L, 0},        {123456.5L, 123456},
      {9223372036854775807.0L, INT64_MAX}, {-9223372036854775808.0L, INT64_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(Currency::FromExtendedCount(c.count).count(), c.expected);
}

TEST(Currency, FromExtendedCountRefusesWhatHasNoCount) {
  const long double inf = std::numeric_limits<long double>::infinity();
  for (long double bad : {9223372036854775808.0L, -9223372036854775809.0L, 1e30L, inf, -inf,
                          std::numeric_limits<long double>::quiet_NaN()}) {
    EXPECT_EQ(FailureOf([&] { Currency::FromExtendedCount(bad); }), "Operación decimal inválida");
  }
}

TEST(Currency, FromUnitsAndToDouble) {
  EXPECT_EQ(Currency::FromUnits(1).count(), 10000);
  EXPECT_EQ(Currency::FromUnits(-922337203685477).count(), -9223372036854770000);
  EXPECT_EQ(FailureOf([] { Currency::FromUnits(922337203685478); }), "Operación decimal inválida");
  EXPECT_EQ(Currency::FromCount(125000).ToDouble(), 12.5);
  EXPECT_EQ(Currency::FromCount(1).ToDouble(), 0.0001);
  EXPECT_EQ(Currency::FromCount(-12346).ToDouble(), -1.2346);
}

TEST(Currency, ToTextIsPlainAndReadsBackExactly) {
  const struct {
    int64_t count;
    const char* dot;
    const char* comma;
  } cases[] = {
      {0, "0", "0"},
      {10000, "1", "1"},
      {125000, "12.5", "12,5"},
      {1, "0.0001", "0,0001"},
      {-5000, "-0.5", "-0,5"},
      {31131600, "3113.16", "3113,16"},
      {12345678901234, "1234567890.1234", "1234567890,1234"},
      {INT64_MAX, "922337203685477.5807", "922337203685477,5807"},
      {INT64_MIN, "-922337203685477.5808", "-922337203685477,5808"},
  };
  for (const auto& c : cases) {
    const Currency v = Currency::FromCount(c.count);
    EXPECT_EQ(v.ToText(Decimal('.')), c.dot);
    EXPECT_EQ(v.ToText(Decimal(',')), c.comma);
    EXPECT_EQ(TextToCurrency(v.ToText(Decimal('.')), Decimal('.')), v);
    EXPECT_EQ(TextToCurrency(v.ToText(Decimal(',')), Decimal(',')), v);
  }
}

TEST(Extended, RaisesWhatTheUnitWouldHaveTrapped) {
  const long double big = std::numeric_limits<long double>::max();
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const struct {
    const char* what;
    long double (*op)(long double, long double);
    long double a, b;
    const char* failure;
  } cases[] = {
      {"0/0", ExtDiv, 0, 0, "Operación decimal inválida"},
      {"1/0", ExtDiv, 1, 0, "División decimal por cero"},
      {"-1/0", ExtDiv, -1, 0, "División decimal por cero"},
      {"nan+1", ExtAdd, nan, 1, "Operación decimal inválida"},
      {"1*nan", ExtMul, 1, nan, "Operación decimal inválida"},
      {"nan/1", ExtDiv, nan, 1, "Operación decimal inválida"},
      {"max*2", ExtMul, big, 2, "Desbordamiento decimal"},
      {"max+max", ExtAdd, big, big, "Desbordamiento decimal"},
      {"-max-max", ExtSub, -big, big, "Desbordamiento decimal"},
      {"max/0.5", ExtDiv, big, 0.5L, "Desbordamiento decimal"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf([&] { c.op(c.a, c.b); }), c.failure) << c.what;
  }
}

TEST(Extended, KeepsSixtyFourBitsOfSignificand) {
  // 2^63 + 1 needs the full 64-bit significand; a double would lose the 1.
  const long double a = 9223372036854775808.0L;
  EXPECT_EQ(ExtSub(ExtAdd(a, 1), a), 1);
  EXPECT_EQ(ExtMul(3, 7), 21);
  EXPECT_EQ(ExtDiv(1, 4), 0.25L);
  // The worked VAT-included amount: V × ((NC − C) ÷ (V + 10^6)).
  const long double nc = 25140000, c = 1500000, v = 190000;
  EXPECT_EQ(Currency::FromExtendedCount(ExtMul(v, ExtDiv(ExtSub(nc, c), ExtAdd(v, 1e6L)))).count(),
            3774454);
}

// The helpers composed the way a priced line uses them: counts entering
// extended precision, RoundToExponent on doubles, one rounding per stored
// amount. Quantity 3, price 1000, discount 10 %, list rates 5 and 2,
// consumption tax 50, factor 1, VAT 19 %.
TEST(Extended, ComposeToTheWorkedLine) {
  const long double q = 30000, p = 10000000, d = 100000, d1 = 50000, d2 = 20000, d3 = 0,
                    c0 = 500000, f = 10000, v = 190000;
  auto count = [](long double x) { return Currency::FromExtendedCount(x).count(); };
  auto discount = [&](int8_t e, long double rate, long double base) {
    const double x = ExtToDouble(ExtDiv(ExtDiv(ExtMul(rate, base), 100), 1e16L));
    return count(ExtMul(RoundToExponent(e, x), 10000));
  };
  const struct {
    int8_t e;
    bool vat_excluded;
    int64_t m1, m2, net, vat, total;
  } cases[] = {
      {0, true, 1350000, 510000, 25140000, 4491600, 31131600},
      {0, false, 1350000, 510000, 25140000, 3774454, 25140000},
      {1, true, 1400000, 500000, 25100000, 4484000, 31084000},
      {2, true, 1000000, 1000000, 25000000, 4465000, 30965000},
  };
  for (const auto& row : cases) {
    const int64_t c = count(ExtDiv(ExtMul(ExtMul(q, c0), f), 1e8L));
    EXPECT_EQ(c, 1500000);
    EXPECT_EQ(count(ExtDiv(ExtDiv(ExtMul(d, p), 100), 10000)), 1000000);
    const long double bb = ExtMul(ExtSub(10000, ExtDiv(d, 100)), ExtMul(p, q));
    const int64_t m1 = discount(row.e, d1, bb);
    const long double bb2 = ExtSub(bb, ExtMul(m1, 1e8L));
    const int64_t m2 = discount(row.e, d2, bb2);
    const long double bb3 = ExtSub(bb2, ExtMul(m2, 1e8L));
    const int64_t m3 = discount(row.e, d3, bb3);
    const int64_t net = count(ExtDiv(ExtSub(bb3, ExtMul(m3, 1e8L)), 1e8L));
    const int64_t vat =
        row.vat_excluded ? count(ExtDiv(ExtDiv(ExtMul(v, ExtSub(net, c)), 100), 10000))
                         : count(ExtMul(v, ExtDiv(ExtSub(net, c), ExtAdd(v, 1e6L))));
    const int64_t total = row.vat_excluded ? vat + net + c : net;
    EXPECT_EQ(m1, row.m1) << int(row.e);
    EXPECT_EQ(m2, row.m2) << int(row.e);
    EXPECT_EQ(m3, 0) << int(row.e);
    EXPECT_EQ(net, row.net) << int(row.e);
    EXPECT_EQ(vat, row.vat) << int(row.e);
    EXPECT_EQ(total, row.total) << int(row.e);
  }
}

TEST(Extended, ToDoubleRoundsAndOverflows) {
  EXPECT_EQ(ExtToDouble(0.1L), 0.1);
  EXPECT_EQ(ExtToDouble(1e-4000L), 0.0);  // underflow passes silently
  EXPECT_EQ(FailureOf([] { ExtToDouble(1e309L); }), "Desbordamiento decimal");
  EXPECT_EQ(FailureOf([] { ExtToDouble(-1e400L); }), "Desbordamiento decimal");
  EXPECT_EQ(FailureOf([] { ExtToDouble(std::numeric_limits<long double>::quiet_NaN()); }),
            "Operación decimal inválida");
}

TEST(FormatText, SubstitutesInOrder) {
  EXPECT_EQ(FormatText("'%s' no es un valor entero válido para el campo '%s'", {"x", "PEDI_ID"}),
            "'x' no es un valor entero válido para el campo 'PEDI_ID'");
  EXPECT_EQ(FormatText("%g hasta %g", {FormatGeneral(-32768), FormatGeneral(32767)}),
            "-32768 hasta 32767");
  EXPECT_EQ(FormatText("%s y %s", {"a"}), "a y %s");
  EXPECT_EQ(FormatText("100%", {"a"}), "100%");
  EXPECT_EQ(FormatText("%s", {"%s"}), "%s");  // an argument is not scanned again
  EXPECT_STREQ(Failure(FormatText("%s no es un valor BCD válido", {std::string("\0x", 2)})).what(),
               "?x no es un valor BCD válido");
  const struct {
    double value;
    const char* text;
  } numbers[] = {{-2147483648.0, "-2147483648"}, {2147483647.0, "2147483647"},
                 {3000000000.0, "3000000000"},   {0.5, "0.5"},
                 {1e20, "1e+20"},                {-40000, "-40000"}};
  for (const auto& n : numbers) EXPECT_EQ(FormatGeneral(n.value), n.text);
}

}  // namespace
}  // namespace imp
