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

[[noreturn]] void Fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "fault: %s for \"%.*s\"\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

RegionalSettings Settings(std::uint8_t b) {
  static const char kDecimal[] = {'.', ',', '.', ','};
  static const char kDate[] = {'/', '-', '.', '/'};
  // "/" in a format stands for the date separator, as the front end makes them.
  static const char* const kFormat[] = {"m/d/yy", "d/MM/yy", "yyyy/MM/dd", "dd/MM/yyyy",
                                         "e/m/d", "", "M/d/yyyy", "x"};
  RegionalSettings rs;
  rs.decimal_separator = kDecimal[b & 3];
  rs.date_separator = kDate[(b >> 2) & 3];
  rs.short_date_format = kFormat[(b >> 4) & 7];
  return rs;
}

// Runs `f`; a Failure must carry a text, any other exception is a fault.
template <typename F>
void Try(const char* what, std::string_view text, F f) {
  try {
    f();
  } catch (const imp::Failure& e) {
    if (e.what()[0] == '\0') Fail(what, text);
  }
}

const FieldDef kColumns[] = {
    {"ENTERO", FieldType::kInteger, 0, false},  {"CORTO", FieldType::kSmallInt, 0, false},
    {"TEXTO", FieldType::kText, 8, false},      {"FIJO", FieldType::kFixedText, 1, false},
    {"DEC2", FieldType::kDecimal, 2, false},    {"DEC4", FieldType::kDecimal, 4, false},
    {"REAL", FieldType::kFloat, 0, false},      {"FECHA", FieldType::kDate, 0, false},
    {"BLOB", FieldType::kBlob, 0, false},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const RegionalSettings rs = Settings(data[0]);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const Date today = *Date::FromYmd(2024, 6, 15);

  Try("TextToInteger", text, [&] {
    const std::int32_t n = imp::TextToInteger(text);
    std::int64_t m = 0;
    if (!imp::ParseInteger(text, m) || m != n) Fail("ParseInteger disagrees", text);
  });
  Try("TextToCurrency", text, [&] {
    const Currency c = imp::TextToCurrency(text, rs);
    if (imp::TextToCurrency(c.ToText(rs), rs) != c) Fail("Currency text does not read back", text);
  });
  Try("TextToDate", text, [&] {
    const Date d = imp::TextToDate(text, rs, today);
    if (d.year() < 1 || d.year() > 9999) Fail("date outside the years 1 to 9999", text);
    // The regional text reads back when the format names day, month and
    // year, and a two-digit year only within its window.
    const std::string& format = rs.short_date_format;
    const bool complete = format.find_first_of("dD") != std::string::npos &&
                          format.find_first_of("mM") != std::string::npos &&
                          format.find_first_of("yY") != std::string::npos;
    const bool in_window = d.year() >= today.year() - rs.two_digit_year_window &&
                            d.year() < today.year() + 100 - rs.two_digit_year_window;
    if (complete && in_window) {
      try {
        if (imp::TextToDate(imp::DateToText(d, rs), rs, today) == d) return;
      } catch (const imp::Failure&) {
      }
      Fail("date text does not read back", text);
    }
  });
  Try("BcdValue", text, [&] {
    const BcdValue v = BcdValue::FromText(text, rs);
    if (v.is_null() != text.empty()) Fail("null decimal for a text", text);
    if (BcdValue::FromText(v.ToText(rs), rs) != v) Fail("decimal text does not read back", text);
    (void)v.ToDouble();
    Try("BcdValue::ToCurrency", text, [&] { (void)v.ToCurrency(); });
  });
  for (const FieldDef& def : kColumns) {
    Try(def.name, text, [&] {
      Field f(def);
      f.SetText(text, rs, today);
      Try("AsText", text, [&] { (void)f.AsText(rs); });
      Try("AsInteger", text, [&] { (void)f.AsInteger(); });
      Try("AsCurrency", text, [&] { (void)f.AsCurrency(); });
      Try("AsDouble", text, [&] { (void)f.AsDouble(); });
      Try("AsDate", text, [&] { (void)f.AsDate(); });
    });
  }
  if (text.size() >= sizeof(double) + 1) {
    double value;
    std::memcpy(&value, text.data() + 1, sizeof value);
    const auto exponent = static_cast<std::int8_t>(text[0]);
    // The import only rounds finite amounts.
    if (!std::isfinite(value)) return 0;
    Try("RoundToExponent", text, [&] { (void)imp::RoundToExponent(exponent, value); });
    long double extended = value;
    Try("FloorToInteger", text, [&] { (void)imp::FloorToInteger(extended); });
  }
  (void)imp::QuoteSqlText(text);
  return 0;
}
