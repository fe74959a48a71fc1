// Line arithmetic: the worked line, ties, rounding exponents and the
// failures of the extended arithmetic, computed over columns of the same
// types as the order line's.

#include <gtest/gtest.h>

#include <string>

#include "db/order_records.h"
#include "import/line_pricing.h"
#include "import/pricing.h"
#include "values/conversions.h"
#include "values/failure.h"
#include "values/field.h"

namespace imp {
namespace {

const RegionalSettings kRs{};

Currency M(const std::string& text) { return TextToCurrency(text, kRs); }

// The columns of an order line that the pricing touches, typed as the line's.
struct FreeLine {
  Field quantity{LineColumn("PEDE_CANT")}, unit_price{LineColumn("PEDE_PRUNIT")},
      discount_percent{LineColumn("PEDE_DTOPORC")}, discount1{LineColumn("PEDE_DTO1")},
      discount2{LineColumn("PEDE_DTO2")}, discount3{LineColumn("PEDE_DTO3")},
      factor{LineColumn("PEDE_FACTOR")}, vat_percent{LineColumn("PEDE_IVAPORC")},
      consumption{LineColumn("PEDE_CONSUMO")}, discount_amount{LineColumn("PEDE_DTOMONTO")},
      discount_amount1{LineColumn("PEDE_DTOM1")}, discount_amount2{LineColumn("PEDE_DTOM2")},
      discount_amount3{LineColumn("PEDE_DTOM3")}, vat_amount{LineColumn("PEDE_IVAMONTO")},
      total{LineColumn("PEDE_TOTAL")};

  LinePricing Price() {
    return LinePricing({&quantity, &unit_price, &discount_percent, &discount1, &discount2,
                        &discount3, &factor, &vat_percent, &consumption, &discount_amount,
                        &discount_amount1, &discount_amount2, &discount_amount3, &vat_amount,
                        &total});
  }
};

void Set(Field& f, const std::string& text) { f.SetText(text, kRs, Date()); }

// Inputs as the earlier steps leave them in the line ("" = no value), the
// exponent and the VAT flag, then every column the pricing sets and the net.
struct LineCase {
  const char* name;
  const char *quantity, *unit_price, *discount_percent, *discount1, *discount2,
      *consumption_per_unit, *factor, *vat;
  int32_t e;
  bool vat_included;
  const char *consumption, *discount_amount, *discount_amount1, *discount_amount2,
      *discount_amount3, *net, *vat_amount, *total;
};

const LineCase kCases[] = {
    // The worked line: 3 × 1000, 10 % off, list rates 5 and 2, tax 50, VAT 19.
    {"e0_excluido", "3", "1000", "10", "5", "2", "50", "1", "19", 0, false,
     "150", "100", "135", "51", "0", "2514", "449.16", "3113.16"},
    {"e0_incluido", "3", "1000", "10", "5", "2", "50", "1", "19", 0, true,
     "150", "100", "135", "51", "0", "2514", "377.4454", "2514"},
    {"e1_excluido", "3", "1000", "10", "5", "2", "50", "1", "19", 1, false,
     "150", "100", "140", "50", "0", "2510", "448.40", "3108.40"},
    {"e2_excluido", "3", "1000", "10", "5", "2", "50", "1", "19", 2, false,
     "150", "100", "100", "100", "0", "2500", "446.50", "3096.50"},
    // 2.5 goes to the even 2.
    {"empate_al_par", "2", "12.5", "0", "10", "", "0", "1", "0", 0, false,
     "0", "0", "2", "0", "0", "23", "0", "23"},
    // Only the low 8 bits of the exponent count: 258 rounds like 2.
    {"exponente_258", "3", "1000", "10", "5", "2", "50", "1", "19", 258, false,
     "150", "100", "100", "100", "0", "2500", "446.50", "3096.50"},
    // No quantity: everything but the unit discount is 0.
    {"sin_cantidad", "", "1000", "10", "5", "2", "50", "1", "19", 0, false,
     "0", "100", "0", "0", "0", "0", "0", "0"},
    // Price 0 with a consumption tax, VAT excluded: VAT is −c × v / 100.
    {"precio_cero", "2", "0", "0", "", "", "50", "1", "19", 0, false,
     "100", "0", "0", "0", "0", "0", "-19", "81"},
    // No price-list row: neither list discount applies.
    {"sin_descuentos_lista", "3", "1000", "10", "", "", "0", "1", "0", 0, false,
     "0", "100", "0", "0", "0", "2700", "0", "2700"},
    // prar_dto1 null, prar_dto2 3: 3 % of 2700 = 81, to the even 80 with e = 1.
    {"solo_dto2", "3", "1000", "10", "", "3", "0", "1", "0", 1, false,
     "0", "100", "0", "80", "0", "2620", "0", "2620"},
    // The factor multiplies the tax only; the tax is rounded to 4 decimals.
    {"factor_y_consumo", "1.5", "10", "0", "", "", "0.3333", "12", "10", 0, false,
     "5.9994", "0", "0", "0", "0", "15", "0.9001", "21.8995"},
    // A price with more decimals than its column is read back as written.
    {"precio_con_decimales", "1", "10.12345", "0", "", "", "0", "1", "0", 0, true,
     "0", "0", "0", "0", "0", "10.1235", "0", "10.1235"},
};

class WorkedLine : public testing::TestWithParam<LineCase> {};

TEST_P(WorkedLine, EachColumn) {
  const LineCase& k = GetParam();
  FreeLine l;
  Set(l.quantity, k.quantity);
  Set(l.unit_price, k.unit_price);
  Set(l.discount_percent, k.discount_percent);
  Set(l.discount1, k.discount1);
  Set(l.discount2, k.discount2);
  Set(l.consumption, k.consumption_per_unit);
  Set(l.factor, k.factor);
  Set(l.vat_percent, k.vat);

  LinePricing price = l.Price();
  price.ApplyConsumptionTax();
  price.ApplyUnitDiscount();
  const Currency net = price.ApplyCascade(DiscountExponent(k.e));
  price.ApplyVat(net, k.vat_included);

  EXPECT_EQ(l.consumption.AsCurrency(), M(k.consumption));
  EXPECT_EQ(l.discount_amount.AsCurrency(), M(k.discount_amount));
  EXPECT_EQ(l.discount_amount1.AsCurrency(), M(k.discount_amount1));
  EXPECT_EQ(l.discount_amount2.AsCurrency(), M(k.discount_amount2));
  EXPECT_EQ(l.discount_amount3.AsCurrency(), M(k.discount_amount3));
  EXPECT_EQ(net, M(k.net));
  EXPECT_EQ(l.vat_amount.AsCurrency(), M(k.vat_amount));
  EXPECT_EQ(l.total.AsCurrency(), M(k.total));
  // The third discount is stored as a value although its rate is never set.
  EXPECT_FALSE(l.discount_amount3.is_null());
  EXPECT_TRUE(l.discount3.is_null());
}

INSTANTIATE_TEST_SUITE_P(Prices, WorkedLine, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DiscountExponent, LowEightBitsSigned) {
  const struct {
    int32_t configured;
    int expected;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {-2, -2}, {255, -1}, {256, 0},
               {258, 2}, {300, 44}, {127, 127}, {128, -128}, {-256, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(DiscountExponent(c.configured), c.expected) << c.configured;
  }
}

TEST(CascadeDiscount, RoundingByExponent) {
  // A 100 % rate makes the amount equal to the base / 10^12 (in counts).
  const struct {
    const char* amount;
    int8_t e;
    const char* expected;
  } cases[] = {
      {"49.99", 2, "0"},   {"50", 2, "0"},    {"150", 2, "200"}, {"250", 2, "200"},
      {"2.5", 0, "2"},     {"3.5", 0, "4"},   {"51.3", 0, "51"}, {"135", 1, "140"},
      {"25", 1, "20"},     {"1.234", -2, "1.23"}, {"0", 3, "0"}, {"-150", 2, "-200"},
  };
  for (const auto& c : cases) {
    const long double base = M(c.amount).extended_count() * 1e8L;
    EXPECT_EQ(CascadeDiscount(M("100"), base, c.e), M(c.expected)) << c.amount << " e=" << int(c.e);
  }
}

TEST(LinePricing, ArithmeticFailures) {
  const struct {
    const char* name;
    const char *net, *consumption, *vat;
    const char* message;
  } cases[] = {
      {"iva_menos_cien", "100", "10", "-100", "División decimal por cero"},
      {"cero_entre_cero", "10", "10", "-100", "Operación decimal inválida"},
  };
  for (const auto& c : cases) {
    try {
      VatIncluded(M(c.vat), M(c.net), M(c.consumption));
      ADD_FAILURE() << c.name << ": no failure";
    } catch (const Failure& f) {
      EXPECT_STREQ(f.what(), c.message) << c.name;
    }
  }
  // A line tax beyond the Currency range.
  try {
    LineConsumptionTax(M("100000000000"), M("100000000000"), M("1"));
    ADD_FAILURE() << "consumo: no failure";
  } catch (const Failure& f) {
    EXPECT_STREQ(f.what(), "Operación decimal inválida");
  }
}

}  // namespace
}  // namespace imp
