#include "values/field.h"

#include <cmath>

#include "values/conversions.h"
#include "values/extended.h"
#include "values/failure.h"

namespace imp {

namespace {

constexpr int kDecimalPrecision = 15;

[[noreturn]] void FailType(const Field& f) {
  throw Failure(FormatText("El campo '%s' no admite este tipo de valor", {f.name()}));
}

[[noreturn]] void FailIntegerText(std::string_view text, const Field& f) {
  throw Failure(FormatText("'%s' no es un valor entero válido para el campo '%s'",
                           {std::string(text), f.name()}));
}

void CheckRange(double value, const Field& f) {
  const bool small = f.def().type == FieldType::kSmallInt;
  const double low = small ? INT16_MIN : INT32_MIN;
  const double high = small ? INT16_MAX : INT32_MAX;
  if (!(value >= low && value <= high)) {
    throw Failure(FormatText(
        "%g no es un valor válido para el campo '%s'. El rango permitido es desde %g hasta %g",
        {FormatGeneral(value), f.name(), FormatGeneral(low), FormatGeneral(high)}));
  }
}

// A decimal column holds 15 digits, `size` of them after the separator. The
// value is kept with the digits as given (the pricing reads them back), but
// one the column cannot hold is refused now, naming the column, rather than
// being refused or cut when the order is written. Zeros that end the
// fraction do not count: the column drops them without loss.
void CheckPrecision(const BcdValue& v, std::string_view shown, const Field& f) {
  const std::string& digits = v.digits();
  const int scale = v.scale();
  size_t kept = digits.size();
  for (int dropped = 0; dropped < scale && kept > 1 && digits[kept - 1] == '0'; ++dropped) --kept;
  const int significant = v.significant_digits() == 0 ? 0 : static_cast<int>(kept);
  const int whole = static_cast<int>(digits.size()) - scale;
  int column_scale = f.def().size;
  if (column_scale < 0) column_scale = 0;
  if (column_scale > kDecimalPrecision) column_scale = kDecimalPrecision;
  const bool fits_digits = significant <= kDecimalPrecision;
  const bool fits_whole = v.significant_digits() == 0 || whole <= kDecimalPrecision - column_scale;
  if (!fits_digits || !fits_whole) {
    throw Failure(FormatText(
        "El valor %s no cabe en el campo '%s': admite %s dígitos, %s de ellos decimales",
        {std::string(shown), f.name(), std::to_string(kDecimalPrecision),
         std::to_string(column_scale)}));
  }
}

std::string Cut(std::string_view text, const FieldDef& def, TextEncoding encoding) {
  if (def.type != FieldType::kBlob && def.size > 0 && text.size() > static_cast<size_t>(def.size)) {
    text = text.substr(0, BytesOfCharacters(text, static_cast<size_t>(def.size), encoding));
  }
  return std::string(text);
}

}  // namespace

void Field::Reset() {
  value_ = std::monostate{};
  assigned_ = false;
}

void Field::SetNull() {
  value_ = std::monostate{};
  assigned_ = true;
}

void Field::SetText(std::string_view text, const RegionalSettings& rs, Date today) {
  // An empty text leaves every kind of column without a value.
  if (text.empty()) return SetNull();
  switch (def_->type) {
    case FieldType::kInteger:
    case FieldType::kSmallInt: {
      // The 32-bit grammar first (its own text message), then the column's
      // range (the range message).
      int64_t value = 0;
      if (!ParseInteger(text, value) || value < INT32_MIN || value > INT32_MAX) {
        FailIntegerText(text, *this);
      }
      return SetInteger(value);
    }
    case FieldType::kDecimal: {
      const BcdValue v = BcdValue::FromText(text, rs);
      CheckPrecision(v, text, *this);
      value_ = v;
      break;
    }
    case FieldType::kDate:
      value_ = TextToDate(text, rs, today);
      break;
    case FieldType::kFloat:
      value_ = TextToCurrency(text, rs).ToDouble();
      break;
    case FieldType::kText:
    case FieldType::kFixedText:
    case FieldType::kBlob:
      value_ = Cut(text, *def_, rs.text_encoding);
      break;
  }
  assigned_ = true;
}

void Field::SetInteger(int64_t value) {
  switch (def_->type) {
    case FieldType::kInteger:
    case FieldType::kSmallInt:
      CheckRange(static_cast<double>(value), *this);
      value_ = value;
      break;
    case FieldType::kDecimal: {
      const std::string text = std::to_string(value);
      const BcdValue v = BcdValue::FromText(text, RegionalSettings{});
      CheckPrecision(v, text, *this);
      value_ = v;
      break;
    }
    case FieldType::kFloat:
      value_ = static_cast<double>(value);
      break;
    case FieldType::kText:
    case FieldType::kFixedText:
    case FieldType::kBlob:
      value_ = Cut(std::to_string(value), *def_, TextEncoding::kNone);
      break;
    case FieldType::kDate:
      FailType(*this);
  }
  assigned_ = true;
}

void Field::SetCurrency(Currency value) {
  switch (def_->type) {
    case FieldType::kInteger:
    case FieldType::kSmallInt:
      if (value.count() % 10000 != 0) FailIntegerText(value.ToText(RegionalSettings{}), *this);
      return SetInteger(value.count() / 10000);
    case FieldType::kDecimal: {
      const BcdValue v = BcdValue::FromCurrency(value);
      CheckPrecision(v, value.ToText(RegionalSettings{}), *this);
      value_ = v;
      break;
    }
    case FieldType::kFloat:
      value_ = value.ToDouble();
      break;
    case FieldType::kText:
    case FieldType::kFixedText:
    case FieldType::kBlob:
      value_ = Cut(value.ToText(RegionalSettings{}), *def_, TextEncoding::kNone);
      break;
    case FieldType::kDate:
      FailType(*this);
  }
  assigned_ = true;
}

void Field::SetDate(Date value) {
  if (def_->type != FieldType::kDate) FailType(*this);
  value_ = value;
  assigned_ = true;
}

void Field::SetDouble(double value) {
  switch (def_->type) {
    case FieldType::kInteger:
    case FieldType::kSmallInt:
      if (std::isnan(value) || value != std::trunc(value)) {
        FailIntegerText(FormatGeneral(value), *this);
      }
      CheckRange(value, *this);
      value_ = static_cast<int64_t>(value);
      break;
    case FieldType::kDecimal:
      return SetCurrency(Currency::FromExtendedCount(ExtMul(value, 10000.0L)));
    case FieldType::kFloat:
      value_ = value;
      break;
    case FieldType::kText:
    case FieldType::kFixedText:
    case FieldType::kBlob:
      value_ = Cut(FormatGeneral(value), *def_, TextEncoding::kNone);
      break;
    case FieldType::kDate:
      FailType(*this);
  }
  assigned_ = true;
}

std::string Field::AsText(const RegionalSettings& rs) const {
  struct Visitor {
    const RegionalSettings& rs;
    std::string operator()(std::monostate) const { return ""; }
    std::string operator()(int64_t v) const { return std::to_string(v); }
    std::string operator()(const std::string& v) const { return v; }
    std::string operator()(const BcdValue& v) const { return v.ToText(rs); }
    std::string operator()(double v) const {
      std::string text = FormatGeneral(v);
      for (char& c : text) {
        if (c == '.') c = rs.decimal_separator;
      }
      return text;
    }
    std::string operator()(Date v) const { return DateToText(v, rs); }
  };
  return std::visit(Visitor{rs}, value_);
}

int32_t Field::AsInteger() const {
  if (is_null()) return 0;
  if (const auto* v = std::get_if<int64_t>(&value_)) return static_cast<int32_t>(*v);
  if (const auto* v = std::get_if<std::string>(&value_)) return TextToInteger(*v);
  if (std::holds_alternative<Date>(value_)) FailType(*this);
  // Decimal and float values round to the nearest whole number, ties to even.
  const long double units = std::nearbyint(AsCurrency().extended_count() / 10000.0L);
  if (!(units >= INT32_MIN && units <= INT32_MAX)) RaiseInvalidOperation();
  return static_cast<int32_t>(units);
}

Currency Field::AsCurrency() const {
  if (is_null()) return Currency();
  if (const auto* v = std::get_if<BcdValue>(&value_)) return v->ToCurrency();
  if (const auto* v = std::get_if<int64_t>(&value_)) return Currency::FromUnits(*v);
  if (const auto* v = std::get_if<double>(&value_)) {
    return Currency::FromExtendedCount(ExtMul(*v, 10000.0L));
  }
  if (const auto* v = std::get_if<std::string>(&value_)) return TextToCurrency(*v, RegionalSettings{});
  FailType(*this);
}

Date Field::AsDate() const {
  if (is_null()) return Date();
  if (const auto* v = std::get_if<Date>(&value_)) return *v;
  FailType(*this);
}

double Field::AsDouble() const {
  if (is_null()) return 0.0;
  if (const auto* v = std::get_if<double>(&value_)) return *v;
  if (const auto* v = std::get_if<BcdValue>(&value_)) return v->ToDouble();
  if (const auto* v = std::get_if<int64_t>(&value_)) return static_cast<double>(*v);
  if (const auto* v = std::get_if<std::string>(&value_)) {
    return TextToCurrency(*v, RegionalSettings{}).ToDouble();
  }
  FailType(*this);
}

}  // namespace imp
