#include "tests/support/failure_of.h"
#include "values/field.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "values/failure.h"

namespace imp {
namespace {

const FieldDef kId{"PEDI_ID", FieldType::kInteger, 0, true};
const FieldDef kDays{"PEDI_DIASCR", FieldType::kSmallInt, 0, false};
const FieldDef kQuantity{"PEDE_CANT", FieldType::kDecimal, 4, false};
const FieldDef kTotal{"PEDE_TOTAL", FieldType::kDecimal, 2, false};
const FieldDef kFactor{"PEDI_FACTOR", FieldType::kFloat, 0, false};
const FieldDef kDate{"PEDI_FECHA", FieldType::kDate, 0, true};
const FieldDef kWarehouse{"BODE_COD", FieldType::kText, 2, false};
const FieldDef kFlag{"PEDI_IVAINC", FieldType::kFixedText, 1, true};
const FieldDef kNotes{"PEDI_OBS", FieldType::kBlob, 0, false};

RegionalSettings Settings(char decimal) {
  RegionalSettings rs;
  rs.decimal_separator = decimal;
  rs.short_date_format = "dd/MM/yyyy";
  return rs;
}

const Date kToday = *Date::FromYmd(2024, 6, 15);

using testing::FailureOf;

TEST(Field, NullReadsEmptyZeroAndIsNotAssignedUntilSet) {
  for (const FieldDef* def : {&kId, &kDays, &kQuantity, &kFactor, &kDate, &kWarehouse}) {
    Field f(*def);
    EXPECT_TRUE(f.is_null()) << def->name;
    EXPECT_FALSE(f.assigned()) << def->name;
    EXPECT_EQ(f.AsText(Settings('.')), "") << def->name;
    EXPECT_EQ(f.AsInteger(), 0) << def->name;
    EXPECT_EQ(f.AsCurrency(), Currency()) << def->name;
    EXPECT_EQ(f.AsDouble(), 0.0) << def->name;
    // An empty text leaves any column without a value, but counts as set.
    f.SetText("", Settings('.'), kToday);
    EXPECT_TRUE(f.is_null()) << def->name;
    EXPECT_TRUE(f.assigned()) << def->name;
    f.Reset();
    EXPECT_FALSE(f.assigned()) << def->name;
  }
}

TEST(Field, SetFromTextByColumnType) {
  const struct {
    const FieldDef* def;
    const char* text;
    char decimal;
    const char* as_text;
    int64_t count;  // AsCurrency
  } cases[] = {
      {&kId, " 42", '.', "42", 420000},
      {&kId, "$1F", '.', "31", 310000},
      {&kId, "-2147483648", '.', "-2147483648", -21474836480000},
      {&kDays, "-32768", '.', "-32768", -327680000},
      {&kQuantity, "3", '.', "3", 30000},
      {&kQuantity, "1.23465", '.', "1.23465", 12347},
      {&kQuantity, "1,23465", ',', "1,23465", 12347},
      {&kTotal, "377.4454", '.', "377.4454", 3774454},  // kept as given until written
      {&kTotal, "-0,5", ',', "-0,5", -5000},
      {&kFactor, "1", '.', "1", 10000},
      {&kFactor, " +2,5 ", ',', "2,5", 25000},
      {&kWarehouse, "01", '.', "01", 10000},
      {&kWarehouse, "0123", '.', "01", 10000},  // cut to the column's length
      {&kFlag, "No", '.', "N", 0},
      {&kNotes, "a long note", '.', "a long note", 0},
  };
  for (const auto& c : cases) {
    Field f(*c.def);
    f.SetText(c.text, Settings(c.decimal), kToday);
    EXPECT_TRUE(f.assigned());
    EXPECT_EQ(f.AsText(Settings(c.decimal)), c.as_text) << c.def->name << " " << c.text;
    if (c.def->type != FieldType::kText && c.def->type != FieldType::kFixedText &&
        c.def->type != FieldType::kBlob) {
      EXPECT_EQ(f.AsCurrency().count(), c.count) << c.def->name << " " << c.text;
    }
  }
}

TEST(Field, RefusedTextsCarryTheColumnMessages) {
  const struct {
    const FieldDef* def;
    const char* text;
    char decimal;
    const char* failure;
  } cases[] = {
      {&kId, "5 ", '.', "'5 ' no es un valor entero válido para el campo 'PEDI_ID'"},
      {&kId, "1.5", '.', "'1.5' no es un valor entero válido para el campo 'PEDI_ID'"},
      {&kId, "2147483648", '.',
       "'2147483648' no es un valor entero válido para el campo 'PEDI_ID'"},
      {&kDays, "32768", '.',
       "32768 no es un valor válido para el campo 'PEDI_DIASCR'. El rango permitido es desde "
       "-32768 hasta 32767"},
      {&kDays, "-$8001", '.',
       "-32769 no es un valor válido para el campo 'PEDI_DIASCR'. El rango permitido es desde "
       "-32768 hasta 32767"},
      {&kQuantity, "+5", '.', "+5 no es un valor BCD válido"},
      {&kQuantity, " 5", '.', " 5 no es un valor BCD válido"},
      {&kQuantity, "1,5", '.', "1,5 no es un valor BCD válido"},
      {&kQuantity, "1.5", ',', "1.5 no es un valor BCD válido"},
      {&kQuantity, "1-2", '.', "1-2 no es un valor BCD válido"},
      {&kQuantity, "1.2.3", '.', "1.2.3 no es un valor BCD válido"},
      {&kQuantity, ".", '.', ". no es un valor BCD válido"},
      {&kQuantity, "-", '.', "- no es un valor BCD válido"},
      {&kDate, "2024-12-31", '.', "'2024-12-31' no es una fecha válida"},
      {&kFactor, "1e", '.', "'1e' no es un valor decimal válido"},
  };
  for (const auto& c : cases) {
    Field f(*c.def);
    EXPECT_EQ(FailureOf([&] { f.SetText(c.text, Settings(c.decimal), kToday); }), c.failure)
        << c.def->name << " " << c.text;
    EXPECT_TRUE(f.is_null());
  }
}

TEST(Field, DecimalColumnsRefuseWhatTheyCannotHold) {
  const struct {
    const FieldDef* def;
    const char* text;
    bool fits;
  } cases[] = {
      {&kQuantity, "12345678901.2345", true},    // 11 + 4 digits
      {&kQuantity, "123456789012", false},       // 12 whole digits in a scale-4 column
      {&kTotal, "1234567890123.45", true},       // 13 + 2
      {&kTotal, "12345678901234", false},
      {&kTotal, "1234567890123.4567", false},    // 17 significant digits
      {&kTotal, "1.2345678901234567", false},
      {&kTotal, "0.000000000000001", true},      // 1 significant digit
      {&kTotal, "1.00000000000000000000", true}, // zeros ending the fraction cost nothing
      {&kTotal, "-000000000000000000001", true},
  };
  for (const auto& c : cases) {
    Field f(*c.def);
    const auto failure = FailureOf([&] { f.SetText(c.text, Settings('.'), kToday); });
    if (c.fits) {
      EXPECT_EQ(failure, std::nullopt) << c.text;
    } else {
      EXPECT_EQ(failure, "El valor " + std::string(c.text) + " no cabe en el campo '" +
                             c.def->name + "': admite 15 dígitos, " +
                             std::to_string(c.def->size) + " de ellos decimales")
          << c.text;
    }
  }
  Field total(kTotal);
  total.SetCurrency(Currency::FromCount(99999999999999900));  // 9999999999999.99
  EXPECT_NE(FailureOf([&] { total.SetCurrency(Currency::FromCount(99999999999999990)); }),
            std::nullopt);  // 9999999999999.999 would round up past the column
  EXPECT_EQ(FailureOf([&] { total.SetCurrency(Currency::FromCount(100000000000000000)); }),
            "El valor 10000000000000 no cabe en el campo 'PEDE_TOTAL': admite 15 dígitos, 2 de "
            "ellos decimales");
}

TEST(Field, SetFromValues) {
  Field id(kId);
  id.SetInteger(7);
  EXPECT_EQ(id.AsInteger(), 7);
  EXPECT_EQ(FailureOf([&] { id.SetInteger(3000000000); }),
            "3000000000 no es un valor válido para el campo 'PEDI_ID'. El rango permitido es "
            "desde -2147483648 hasta 2147483647");
  id.SetCurrency(Currency::FromUnits(12));
  EXPECT_EQ(id.AsInteger(), 12);
  EXPECT_EQ(FailureOf([&] { id.SetCurrency(Currency::FromCount(125000)); }),
            "'12.5' no es un valor entero válido para el campo 'PEDI_ID'");

  Field qty(kTotal);
  qty.SetCurrency(Currency::FromCount(3774454));
  EXPECT_EQ(qty.AsText(Settings(',')), "377,4454");
  EXPECT_EQ(qty.AsCurrency().count(), 3774454);
  qty.SetDouble(2.5);
  EXPECT_EQ(qty.AsCurrency().count(), 25000);

  Field factor(kFactor);
  factor.SetCurrency(Currency::FromUnits(1));
  EXPECT_EQ(std::get<double>(factor.value()), 1.0);
  EXPECT_EQ(factor.AsText(Settings(',')), "1");
  factor.SetDouble(0.25);
  EXPECT_EQ(factor.AsText(Settings(',')), "0,25");

  Field date(kDate);
  date.SetDate(*Date::FromYmd(2024, 2, 5));
  EXPECT_EQ(date.AsText(Settings('.')), "05/02/2024");
  EXPECT_EQ(date.AsDate() - *Date::FromYmd(2024, 1, 1), 35);
  date.SetText("5/2/24", Settings('.'), kToday);  // day first in this format
  EXPECT_EQ(date.AsDate(), *Date::FromYmd(2024, 2, 5));
  EXPECT_EQ(FailureOf([&] { date.SetInteger(1); }),
            "El campo 'PEDI_FECHA' no admite este tipo de valor");

  Field code(kWarehouse);
  code.SetInteger(123);
  EXPECT_EQ(code.AsText(Settings('.')), "12");
  code.SetNull();
  EXPECT_TRUE(code.is_null());
  EXPECT_TRUE(code.assigned());
}

}  // namespace
}  // namespace imp
