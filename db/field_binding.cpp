#include "db/field_binding.h"

#include <utility>
#include <variant>

#include "values/failure.h"
#include "values/scaled_text.h"

namespace imp {

namespace {

// The client's codes of VARCHAR and CHAR parameters.
constexpr int kSqlVarying = 448;
constexpr int kSqlText = 452;

// A decimal goes to the database as an integer with the value's own scale;
// the server brings it to the column's scale. Digits beyond what a scaled
// 64-bit integer carries go as text, which the server converts the same way.
fb::Value DecimalParam(const BcdValue& v) {
  const std::string& digits = v.digits();
  if (digits.size() <= 18 && v.scale() <= 18) {
    const int64_t magnitude = std::stoll(digits);
    return fb::Value::Integer(v.negative() ? -magnitude : magnitude, -v.scale());
  }
  return fb::Value::Text(DecimalText(v.negative(), digits, static_cast<std::size_t>(v.scale()), '.',
                                     TrailingZeros::kKeep));
}

}  // namespace

[[noreturn]] void FailNoField(const char* set_name, std::string_view name) {
  throw Failure(std::string(set_name) + ": " +
                FormatText("Campo '%s' no encontrado", {std::string(name)}));
}

void SetFromDatabase(Field& field, const fb::Value& v) {
  const RegionalSettings plain;  // '.' as the separator
  switch (v.kind) {
    case fb::Value::Kind::kNull:
      field.SetNull();
      return;
    case fb::Value::Kind::kInteger:
    case fb::Value::Kind::kBoolean:
      if (v.scale == 0 && field.def().type != FieldType::kDecimal) {
        field.SetInteger(v.integer);
      } else {
        field.SetText(ScaledText(v.integer, v.scale, plain.decimal_separator, TrailingZeros::kKeep),
                      plain, Date());
      }
      return;
    case fb::Value::Kind::kDouble:
      if (field.def().type == FieldType::kFloat) {
        field.SetDouble(v.real);
      } else {
        field.SetCurrency(Currency::FromExtendedCount(static_cast<long double>(v.real) * 10000));
      }
      return;
    case fb::Value::Kind::kText:
    case fb::Value::Kind::kBlob:
      field.SetText(v.bytes, plain, Date());
      return;
    case fb::Value::Kind::kDate:
      field.SetDate(v.date);
      return;
  }
}

fb::Value ToParam(const Field& field) {
  struct Visitor {
    const Field& field;
    fb::Value operator()(std::monostate) const { return fb::Value::Null(); }
    fb::Value operator()(int64_t v) const { return fb::Value::Integer(v); }
    fb::Value operator()(const std::string& v) const {
      return field.def().type == FieldType::kBlob ? fb::Value::Blob(v) : fb::Value::Text(v);
    }
    fb::Value operator()(const BcdValue& v) const {
      return v.is_null() ? fb::Value::Null() : DecimalParam(v);
    }
    fb::Value operator()(double v) const { return fb::Value::Double(v); }
    fb::Value operator()(Date v) const { return fb::Value::OfDate(v); }
  };
  return std::visit(Visitor{field}, field.value());
}

std::vector<int> MapColumns(const std::vector<fb::Column>& columns, const OrderRecord& record,
                            const char* set_name) {
  std::vector<int> positions(record.size(), -1);
  for (std::size_t i = 0; i < record.size(); ++i) {
    const Field& field = record.at(i);
    if (IsNestedSlot(field.def())) continue;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      // The server reports unquoted names in upper case, as the tables list them.
      if (columns[c].name == field.name()) {
        positions[i] = static_cast<int>(c);
        break;
      }
    }
    if (positions[i] < 0) FailNoField(set_name, field.name());
  }
  return positions;
}

void LoadRecord(OrderRecord& record, const fb::Row& row, const std::vector<int>& positions) {
  for (std::size_t i = 0; i < record.size(); ++i) {
    if (positions[i] >= 0) SetFromDatabase(record.at(i), row[static_cast<std::size_t>(positions[i])]);
  }
}

std::vector<std::size_t> AssignedColumns(const OrderRecord& record) {
  std::vector<std::size_t> columns;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const Field& field = record.at(i);
    if (field.assigned() && !IsNestedSlot(field.def())) columns.push_back(i);
  }
  return columns;
}

std::string InsertSql(const char* table, const OrderRecord& record,
                      const std::vector<std::size_t>& columns) {
  std::string names, marks;
  for (std::size_t i : columns) {
    if (!names.empty()) {
      names += ", ";
      marks += ", ";
    }
    names += record.at(i).name();
    marks += '?';
  }
  return std::string("INSERT INTO ") + table + " (" + names + ") VALUES (" + marks + ")";
}

// A column without a character set (NONE, OCTETS) counts its length in
// bytes, which a text of multi-byte characters cut to the column's length
// in characters may still exceed.
int BindRecord(fb::Statement& statement, int position, const OrderRecord& record,
               const std::vector<std::size_t>& columns, TextEncoding encoding) {
  const std::vector<fb::Column>& parameters = statement.parameters();
  for (std::size_t i : columns) {
    const Field& field = record.at(i);
    fb::Value value = field.assigned() ? ToParam(field) : fb::Value::Null();
    const std::size_t p = static_cast<std::size_t>(position);
    if (value.kind == fb::Value::Kind::kText && p < parameters.size() &&
        (parameters[p].charset == 0 || parameters[p].charset == 1) &&
        (parameters[p].sql_type == kSqlVarying || parameters[p].sql_type == kSqlText) &&
        parameters[p].length > 0) {
      value.bytes.resize(BytesOfWholeCharacters(
          value.bytes, static_cast<std::size_t>(parameters[p].length), encoding));
    }
    statement.SetParam(position++, std::move(value));
  }
  return position;
}

}  // namespace imp
