#pragma once
// A query-backed set: a statement on the module's connection whose rows are
// all fetched into memory when the set opens. The set keeps its rows when
// the connection closes; closing the set discards them.
//
// Fields: a set with declared fields exposes exactly those, in declaration
// order, matched by name (case-insensitive) to the statement's columns;
// opening fails with "<set name>: Campo '<field>' no encontrado" when the
// statement lacks one. A set without declared fields exposes the
// statement's columns in its order. A null value reads as "", 0 or 0.0000.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/firebird.h"
#include "values/currency.h"
#include "values/regional_settings.h"

namespace imp {

class Connection;

class QuerySet {
 public:
  // `design_sql` is the statement used while no command text is set;
  // `rs` (kept by reference) gives the decimal separator of decimal texts.
  QuerySet(Connection& connection, const RegionalSettings& rs, std::string name,
           std::string design_sql = {}, std::vector<std::string> declared_fields = {});

  const std::string& name() const { return name_; }

  // The command text replaces the design-time statement from the next open.
  void SetCommandText(std::string sql) { command_text_ = std::move(sql); }
  const std::string& command_text() const { return command_text_; }

  // Runs the statement (command text, else design-time text) and fetches
  // every row, opening the connection first when it is closed; the set is
  // then on its first row. Opening an open set re-reads nothing. A failure
  // leaves the set closed.
  void Open();
  // Same, with a statement prepared once per connection and `params` bound
  // to its "?" placeholders (the lookups of the module use this).
  void OpenPrepared(const std::string& sql, const std::vector<fb::Value>& params);
  // Same, with rows already read by the statement (described by `columns`)
  // instead of running it.
  void OpenWithRows(const std::vector<fb::Column>& columns, std::vector<fb::Row> rows);
  void Close();
  bool active() const { return active_; }

  void First() { position_ = 0; }
  void Next();
  bool Eof() const;
  int RecordCount() const { return static_cast<int>(rows_.size()); }
  bool IsEmpty() const { return rows_.empty(); }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  const std::string& FieldName(int position) const;
  // Position of a field by name (case-insensitive); fails with
  // "<set name>: Campo '<name>' no encontrado".
  int FieldIndex(std::string_view name) const;

  // The current row's value. Reading a closed or empty set, or past the
  // last row, fails with "<set name>: No hay registro actual".
  const fb::Value& Value(int position) const;
  const fb::Value& Value(std::string_view name) const { return Value(FieldIndex(name)); }
  bool IsNull(int position) const { return Value(position).is_null(); }

  // Text: texts as stored; integers in decimal; decimals with the regional
  // separator and no trailing fraction zeros ("12.5", "3"); dates in the
  // regional short form. Null: "".
  std::string AsText(int position) const;
  std::string AsText(std::string_view name) const { return AsText(FieldIndex(name)); }
  // Integer: texts by TextToInteger; decimals truncated. Null: 0.
  int32_t AsInteger(int position) const;
  int32_t AsInteger(std::string_view name) const { return AsInteger(FieldIndex(name)); }
  // Currency: decimals through the double path (as BcdValue::ToCurrency);
  // doubles × 10000 rounded to even; texts by TextToCurrency. Null: 0.0000.
  Currency AsCurrency(int position) const;
  Currency AsCurrency(std::string_view name) const { return AsCurrency(FieldIndex(name)); }

 private:
  void Load(const std::vector<fb::Column>& columns, std::vector<fb::Row> rows);

  Connection& connection_;
  const RegionalSettings& rs_;
  std::string name_;
  std::string design_sql_;
  std::string command_text_;
  std::vector<std::string> declared_;
  std::vector<std::string> fields_;
  std::vector<fb::Row> rows_;
  size_t position_ = 0;
  bool active_ = false;
};

// Conversions of one column value, shared by sets and lookups.
std::string ValueToText(const fb::Value& value, const RegionalSettings& rs);
int32_t ValueToInteger(const fb::Value& value);
Currency ValueToCurrency(const fb::Value& value, const RegionalSettings& rs);

}  // namespace imp
