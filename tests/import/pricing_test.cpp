// Line arithmetic: the worked line, ties, rounding exponents and the
// failures of the extended arithmetic, computed over columns of the same
// types as the order line's.

#include <gtest/gtest.h>

#include <string>

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
  static constexpr FieldDef kCant{"PEDE_CANT", FieldType::kDecimal, 4, false};
  static constexpr FieldDef kPrunit{"PEDE_PRUNIT", FieldType::kDecimal, 2, false};
  static constexpr FieldDef kDtoporc{"PEDE_DTOPORC", FieldType::kDecimal, 4, false};
  static constexpr FieldDef kDto1{"PEDE_DTO1", FieldType::kDecimal, 4, false};
  static constexpr FieldDef kDto2{"PEDE_DTO2", FieldType::kDecimal, 4, false};
  static constexpr FieldDef kDto3{"PEDE_DTO3", FieldType::kDecimal, 4, false};
  static constexpr FieldDef kFactor{"PEDE_FACTOR", FieldType::kDecimal, 4, false};
  static constexpr FieldDef kIvaporc{"PEDE_IVAPORC", FieldType::kDecimal, 4, false};
  static constexpr FieldDef kConsumo{"PEDE_CONSUMO", FieldType::kDecimal, 2, false};
  static constexpr FieldDef kDtomonto{"PEDE_DTOMONTO", FieldType::kDecimal, 2, false};
  static constexpr FieldDef kDtom1{"PEDE_DTOM1", FieldType::kDecimal, 2, false};
  static constexpr FieldDef kDtom2{"PEDE_DTOM2", FieldType::kDecimal, 2, false};
  static constexpr FieldDef kDtom3{"PEDE_DTOM3", FieldType::kDecimal, 2, false};
  static constexpr FieldDef kIvamonto{"PEDE_IVAMONTO", FieldType::kDecimal, 2, false};
  static constexpr FieldDef kTotal{"PEDE_TOTAL", FieldType::kDecimal, 2, false};

  Field cant{kCant}, prunit{kPrunit}, dtoporc{kDtoporc}, dto1{kDto1}, dto2{kDto2},
      dto3{kDto3}, factor{kFactor}, ivaporc{kIvaporc}, consumo{kConsumo},
      dtomonto{kDtomonto}, dtom1{kDtom1}, dtom2{kDtom2}, dtom3{kDtom3},
      ivamonto{kIvamonto}, total{kTotal};

  LinePricing Precio() {
    return LinePricing({&cant, &prunit, &dtoporc, &dto1, &dto2, &dto3, &factor, &ivaporc,
                        &consumo, &dtomonto, &dtom1, &dtom2, &dtom3, &ivamonto, &total});
  }
};

void Set(Field& f, const std::string& text) { f.SetText(text, kRs, Date()); }

// Inputs as the earlier steps leave them in the line ("" = no value), the
// exponent and the VAT flag, then every column the pricing sets and the net.
struct LineCase {
  const char* nombre;
  const char *cant, *prunit, *dtoporc, *dto1, *dto2, *consumo_unidad, *factor, *iva;
  int32_t e;
  bool iva_incluido;
  const char *consumo, *dtomonto, *dtom1, *dtom2, *dtom3, *neto, *ivamonto, *total;
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
  Set(l.cant, k.cant);
  Set(l.prunit, k.prunit);
  Set(l.dtoporc, k.dtoporc);
  Set(l.dto1, k.dto1);
  Set(l.dto2, k.dto2);
  Set(l.consumo, k.consumo_unidad);
  Set(l.factor, k.factor);
  Set(l.ivaporc, k.iva);

  LinePricing precio = l.Precio();
  precio.ApplyConsumptionTax();
  precio.ApplyUnitDiscount();
  const Currency neto = precio.ApplyCascade(DiscountExponent(k.e));
  precio.ApplyVat(neto, k.iva_incluido);

  EXPECT_EQ(l.consumo.AsCurrency(), M(k.consumo));
  EXPECT_EQ(l.dtomonto.AsCurrency(), M(k.dtomonto));
  EXPECT_EQ(l.dtom1.AsCurrency(), M(k.dtom1));
  EXPECT_EQ(l.dtom2.AsCurrency(), M(k.dtom2));
  EXPECT_EQ(l.dtom3.AsCurrency(), M(k.dtom3));
  EXPECT_EQ(neto, M(k.neto));
  EXPECT_EQ(l.ivamonto.AsCurrency(), M(k.ivamonto));
  EXPECT_EQ(l.total.AsCurrency(), M(k.total));
  // The third discount is stored as a value although its rate is never set.
  EXPECT_FALSE(l.dtom3.is_null());
  EXPECT_TRUE(l.dto3.is_null());
}

INSTANTIATE_TEST_SUITE_P(Precios, WorkedLine, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.nombre); });

TEST(DiscountExponent, LowEightBitsSigned) {
  const struct {
    int32_t configurado;
    int expected;
  } casos[] = {{0, 0}, {1, 1}, {2, 2}, {-2, -2}, {255, -1}, {256, 0},
               {258, 2}, {300, 44}, {127, 127}, {128, -128}, {-256, 0}};
  for (const auto& c : casos) {
    EXPECT_EQ(DiscountExponent(c.configurado), c.expected) << c.configurado;
  }
}

TEST(CascadeDiscount, RoundingByExponent) {
  // A 100 % rate makes the amount equal to the base / 10^12 (in counts).
  const struct {
    const char* monto;
    int8_t e;
    const char* expected;
  } casos[] = {
      {"49.99", 2, "0"},   {"50", 2, "0"},    {"150", 2, "200"}, {"250", 2, "200"},
      {"2.5", 0, "2"},     {"3.5", 0, "4"},   {"51.3", 0, "51"}, {"135", 1, "140"},
      {"25", 1, "20"},     {"1.234", -2, "1.23"}, {"0", 3, "0"}, {"-150", 2, "-200"},
  };
  for (const auto& c : casos) {
    const long double base = M(c.monto).extended_count() * 1e8L;
    EXPECT_EQ(CascadeDiscount(M("100"), base, c.e), M(c.expected)) << c.monto << " e=" << int(c.e);
  }
}

TEST(LinePricing, ArithmeticFailures) {
  const struct {
    const char* nombre;
    const char *neto, *consumo, *iva;
    const char* mensaje;
  } casos[] = {
      {"iva_menos_cien", "100", "10", "-100", "División decimal por cero"},
      {"cero_entre_cero", "10", "10", "-100", "Operación decimal inválida"},
  };
  for (const auto& c : casos) {
    try {
      VatIncluded(M(c.iva), M(c.neto), M(c.consumo));
      ADD_FAILURE() << c.nombre << ": no failure";
    } catch (const Failure& f) {
      EXPECT_STREQ(f.what(), c.mensaje) << c.nombre;
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
