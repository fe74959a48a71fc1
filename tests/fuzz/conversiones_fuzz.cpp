// Fuzz target: the text conversions and the typed columns.
//
// The first byte picks the regional settings, the rest is the text. Each
// conversion either gives a value or raises imp::Failure with a text; and
// what a conversion gives must read back: a Currency's text, a decimal
// column's text and a date's regional text convert back to the same value.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "values/bcd_value.h"
#include "values/conversions.h"
#include "values/failure.h"
#include "values/field.h"

namespace {

using imp::BcdValue;
using imp::Currency;
using imp::Date;
using imp::Field;
using imp::FieldDef;
using imp::FieldType;
using imp::RegionalSettings;

[[noreturn]] void Falle(const char* que, std::string_view texto) {
  std::fprintf(stderr, "fault: %s for \"%.*s\"\n", que, static_cast<int>(texto.size()),
               texto.data());
  std::abort();
}

RegionalSettings Ajustes(std::uint8_t b) {
  static const char kDecimal[] = {'.', ',', '.', ','};
  static const char kDate[] = {'/', '-', '.', '/'};
  // "/" in a format stands for the date separator, as the front end makes them.
  static const char* const kFormato[] = {"m/d/yy", "d/MM/yy", "yyyy/MM/dd", "dd/MM/yyyy",
                                         "e/m/d", "", "M/d/yyyy", "x"};
  RegionalSettings rs;
  rs.decimal_separator = kDecimal[b & 3];
  rs.date_separator = kDate[(b >> 2) & 3];
  rs.short_date_format = kFormato[(b >> 4) & 7];
  return rs;
}

// Runs `f`; a Failure must carry a text, any other exception is a fault.
template <typename F>
void Pruebe(const char* que, std::string_view texto, F f) {
  try {
    f();
  } catch (const imp::Failure& e) {
    if (e.what()[0] == '\0') Falle(que, texto);
  }
}

const FieldDef kColumnas[] = {
    {"ENTERO", FieldType::kInteger, 0, false},  {"CORTO", FieldType::kSmallInt, 0, false},
    {"TEXTO", FieldType::kText, 8, false},      {"FIJO", FieldType::kFixedText, 1, false},
    {"DEC2", FieldType::kDecimal, 2, false},    {"DEC4", FieldType::kDecimal, 4, false},
    {"REAL", FieldType::kFloat, 0, false},      {"FECHA", FieldType::kDate, 0, false},
    {"BLOB", FieldType::kBlob, 0, false},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const RegionalSettings rs = Ajustes(data[0]);
  const std::string_view texto(reinterpret_cast<const char*>(data + 1), size - 1);
  const Date hoy = *Date::FromYmd(2024, 6, 15);

  Pruebe("TextToInteger", texto, [&] {
    const std::int32_t n = imp::TextToInteger(texto);
    std::int64_t m = 0;
    if (!imp::ParseInteger(texto, m) || m != n) Falle("ParseInteger disagrees", texto);
  });
  Pruebe("TextToCurrency", texto, [&] {
    const Currency c = imp::TextToCurrency(texto, rs);
    if (imp::TextToCurrency(c.ToText(rs), rs) != c) Falle("Currency text does not read back", texto);
  });
  Pruebe("TextToDate", texto, [&] {
    const Date d = imp::TextToDate(texto, rs, hoy);
    if (d.year() < 1 || d.year() > 9999) Falle("date outside the years 1 to 9999", texto);
    // The regional text reads back when the format names day, month and
    // year, and a two-digit year only within its window.
    const std::string& formato = rs.short_date_format;
    const bool completo = formato.find_first_of("dD") != std::string::npos &&
                          formato.find_first_of("mM") != std::string::npos &&
                          formato.find_first_of("yY") != std::string::npos;
    const bool en_ventana = d.year() >= hoy.year() - rs.two_digit_year_window &&
                            d.year() < hoy.year() + 100 - rs.two_digit_year_window;
    if (completo && en_ventana) {
      try {
        if (imp::TextToDate(imp::DateToText(d, rs), rs, hoy) == d) return;
      } catch (const imp::Failure&) {
      }
      Falle("date text does not read back", texto);
    }
  });
  Pruebe("BcdValue", texto, [&] {
    const BcdValue v = BcdValue::FromText(texto, rs);
    if (v.is_null() != texto.empty()) Falle("null decimal for a text", texto);
    if (BcdValue::FromText(v.ToText(rs), rs) != v) Falle("decimal text does not read back", texto);
    (void)v.ToDouble();
    Pruebe("BcdValue::ToCurrency", texto, [&] { (void)v.ToCurrency(); });
  });
  for (const FieldDef& def : kColumnas) {
    Pruebe(def.name, texto, [&] {
      Field f(def);
      f.SetText(texto, rs, hoy);
      Pruebe("AsText", texto, [&] { (void)f.AsText(rs); });
      Pruebe("AsInteger", texto, [&] { (void)f.AsInteger(); });
      Pruebe("AsCurrency", texto, [&] { (void)f.AsCurrency(); });
      Pruebe("AsDouble", texto, [&] { (void)f.AsDouble(); });
      Pruebe("AsDate", texto, [&] { (void)f.AsDate(); });
    });
  }
  if (texto.size() >= sizeof(double) + 1) {
    double valor;
    std::memcpy(&valor, texto.data() + 1, sizeof valor);
    const auto exponente = static_cast<std::int8_t>(texto[0]);
    // The import only rounds finite amounts.
    if (!std::isfinite(valor)) return 0;
    Pruebe("RoundToExponent", texto, [&] { (void)imp::RoundToExponent(exponente, valor); });
    long double extendido = valor;
    Pruebe("FloorToInteger", texto, [&] { (void)imp::FloorToInteger(extendido); });
  }
  (void)imp::QuoteSqlText(texto);
  return 0;
}
