#include "db/query_set.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "db/connection.h"
#include "values/bcd_value.h"
#include "values/conversions.h"
#include "values/failure.h"
#include "values/scaled_text.h"

namespace imp {

std::string ValueToText(const fb::Value& v, const RegionalSettings& rs) {
  switch (v.kind) {
    case fb::Value::Kind::kNull: return {};
    case fb::Value::Kind::kText:
    case fb::Value::Kind::kBlob: return v.bytes;
    case fb::Value::Kind::kInteger: return ScaledText(v.integer, v.scale, rs.decimal_separator, TrailingZeros::kDrop);
    case fb::Value::Kind::kBoolean: return v.integer ? "True" : "False";
    case fb::Value::Kind::kDate: return DateToText(v.date, rs);
    case fb::Value::Kind::kDouble: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.15g", v.real);
      std::string text(buffer);
      std::replace(text.begin(), text.end(), '.', rs.decimal_separator);
      return text;
    }
  }
  return {};
}

int32_t ValueToInteger(const fb::Value& v) {
  switch (v.kind) {
    case fb::Value::Kind::kNull: return 0;
    case fb::Value::Kind::kText:
    case fb::Value::Kind::kBlob: return TextToInteger(v.bytes);
    case fb::Value::Kind::kBoolean: return static_cast<int32_t>(v.integer);
    case fb::Value::Kind::kDate: return static_cast<int32_t>(v.date.days());
    case fb::Value::Kind::kInteger:
    case fb::Value::Kind::kDouble: {
      long double whole;
      if (v.kind == fb::Value::Kind::kDouble) {
        whole = std::nearbyint(static_cast<long double>(v.real));
      } else {
        int64_t n = v.integer;
        for (int s = v.scale; s < 0; ++s) n /= 10;  // truncates toward zero
        whole = static_cast<long double>(n);
      }
      if (!(whole >= INT32_MIN && whole <= INT32_MAX))
        throw Failure(FormatText("'%s' no es un valor entero válido",
                                 {ValueToText(v, RegionalSettings())}));
      return static_cast<int32_t>(whole);
    }
  }
  return 0;
}

Currency ValueToCurrency(const fb::Value& v, const RegionalSettings& rs) {
  switch (v.kind) {
    case fb::Value::Kind::kNull: return Currency();
    case fb::Value::Kind::kText:
    case fb::Value::Kind::kBlob: return TextToCurrency(v.bytes, rs);
    case fb::Value::Kind::kBoolean: return Currency::FromUnits(v.integer);
    case fb::Value::Kind::kDate: return Currency::FromUnits(v.date.days() + 25569);
    case fb::Value::Kind::kDouble:
      return Currency::FromExtendedCount(static_cast<long double>(v.real) * 10000.0L);
    case fb::Value::Kind::kInteger: {
      if (v.scale == 0) return Currency::FromUnits(v.integer);
      // A decimal column reads through a double, as every decimal does.
      RegionalSettings plain;
      plain.decimal_separator = '.';
      return BcdValue::FromText(ScaledText(v.integer, v.scale, '.', TrailingZeros::kDrop), plain).ToCurrency();
    }
  }
  return Currency();
}

QuerySet::QuerySet(Connection& connection, const RegionalSettings& rs, std::string name,
                   std::string design_sql, std::vector<std::string> declared_fields)
    : connection_(connection),
      rs_(rs),
      name_(std::move(name)),
      design_sql_(std::move(design_sql)),
      declared_(std::move(declared_fields)) {}

void QuerySet::Open() {
  if (active_) return;
  const std::string& sql = command_text_.empty() ? design_sql_ : command_text_;
  fb::Transaction& tra = connection_.ReadTransaction();
  fb::Statement statement = fb::Statement::Prepare(connection_.attachment(), tra, sql);
  Load(statement.columns(), connection_.Query(statement));
}

void QuerySet::OpenPrepared(const std::string& sql, const std::vector<fb::Value>& params) {
  if (active_) return;
  fb::Statement& statement = connection_.Prepared(sql);
  statement.ClearParams();
  for (size_t i = 0; i < params.size(); ++i) statement.SetParam(static_cast<int>(i), params[i]);
  Load(statement.columns(), connection_.Query(statement));
}

void QuerySet::OpenWithRows(const std::vector<fb::Column>& columns, std::vector<fb::Row> rows) {
  if (active_) return;
  Load(columns, std::move(rows));
}

void QuerySet::Load(const std::vector<fb::Column>& columns, std::vector<fb::Row> rows) {
  std::vector<std::string> fields;
  if (declared_.empty()) {
    for (const fb::Column& c : columns) fields.push_back(c.name);
  } else {
    std::vector<size_t> source;
    for (const std::string& name : declared_) {
      auto it = std::find_if(columns.begin(), columns.end(),
                             [&](const fb::Column& c) { return SameNameIgnoringCase(c.name, name); });
      if (it == columns.end())
        throw Failure(name_ + ": " + FormatText("Campo '%s' no encontrado", {name}));
      source.push_back(static_cast<size_t>(it - columns.begin()));
    }
    for (fb::Row& row : rows) {
      fb::Row picked;
      picked.reserve(source.size());
      for (size_t s : source) picked.push_back(std::move(row[s]));
      row = std::move(picked);
    }
    fields = declared_;
  }
  rows_ = std::move(rows);
  fields_ = std::move(fields);
  position_ = 0;
  active_ = true;
}

void QuerySet::Close() {
  rows_.clear();
  fields_.clear();
  position_ = 0;
  active_ = false;
}

void QuerySet::Next() {
  if (position_ < rows_.size()) ++position_;
}

bool QuerySet::Eof() const { return !active_ || position_ >= rows_.size(); }

const std::string& QuerySet::FieldName(int position) const {
  if (position < 0 || position >= FieldCount())
    throw Failure(name_ + ": Índice de campo fuera de rango");
  return fields_[static_cast<size_t>(position)];
}

int QuerySet::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (SameNameIgnoringCase(fields_[i], name)) return static_cast<int>(i);
  throw Failure(name_ + ": " + FormatText("Campo '%s' no encontrado", {std::string(name)}));
}

const fb::Value& QuerySet::Value(int position) const {
  FieldName(position);  // range check
  if (Eof()) throw Failure(name_ + ": No hay registro actual");
  return rows_[position_][static_cast<size_t>(position)];
}

std::string QuerySet::AsText(int position) const { return ValueToText(Value(position), rs_); }
int32_t QuerySet::AsInteger(int position) const { return ValueToInteger(Value(position)); }
Currency QuerySet::AsCurrency(int position) const {
  return ValueToCurrency(Value(position), rs_);
}

}  // namespace imp
