#pragma once
// One typed column of an in-memory record (the order store's header and
// line records). Holds a value or null, remembers whether it ever received a
// value (an insert leaves untouched fields to the column's default), and
// applies the column conversions with the operator's failure texts.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "values/bcd_value.h"
#include "values/currency.h"
#include "values/date.h"
#include "values/regional_settings.h"

namespace imp {

enum class FieldType {
  kInteger,    // 32-bit signed
  kSmallInt,   // 16-bit signed
  kText,       // up to `size` characters; longer texts are cut
  kFixedText,  // CHAR(size)
  kDecimal,    // BcdValue, precision 15, scale `size` (2 or 4)
  kFloat,      // IEEE double
  kDate,
  kBlob,       // bytes
};

struct FieldDef {
  const char* name;
  FieldType type;
  int size;  // text length, or decimal scale; unused otherwise
  bool required;
};

class Field {
 public:
  explicit Field(const FieldDef& def) : def_(&def) {}

  const FieldDef& def() const { return *def_; }
  const char* name() const { return def_->name; }

  bool is_null() const { return std::holds_alternative<std::monostate>(value_); }
  // True once any setter ran (a null set counts).
  bool assigned() const { return assigned_; }
  // Back to "never received a value".
  void Reset();

  // Sets from text by the column's type. Empty text makes the field null.
  //  integer:  TextToInteger grammar; "'%s' no es un valor entero válido para
  //            el campo '%s'"; range: "%g no es un valor válido para el campo
  //            '%s'. El rango permitido es desde %g hasta %g"
  //  decimal:  BcdValue::FromText; more than 15 significant digits fails
  //            naming the column
  //  date:     TextToDate ("'%s' no es una fecha válida")
  //  float:    TextToCurrency
  //  text:     cut to the column's length in characters of rs.text_encoding
  void SetText(std::string_view text, const RegionalSettings& rs, Date today);
  void SetInteger(int64_t value);    // range-checked as above
  void SetCurrency(Currency value);  // decimal: 4 decimals; float: count/10000;
                                     // integer: must be whole
  void SetDate(Date value);
  void SetDouble(double value);
  void SetNull();

  // Null reads "", 0, 0.0000.
  std::string AsText(const RegionalSettings& rs) const;  // decimal: BcdValue text;
                                                         // date: regional short form
  int32_t AsInteger() const;
  Currency AsCurrency() const;  // decimal by the double path; integer exact
  Date AsDate() const;
  double AsDouble() const;

  // Raw stored value for the database layer.
  using Value = std::variant<std::monostate, int64_t, std::string, BcdValue, double, Date>;
  const Value& value() const { return value_; }

 private:
  const FieldDef* def_;
  Value value_;
  bool assigned_ = false;
};

}  // namespace imp
