#pragma once
// The two tables the order store writes, as the connection knows them: what
// each is (a table or a view, the columns the database fills itself), read
// when first asked in each open of the connection, and the one-row INSERT
// into them, which depends on it.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "db/order_records.h"
#include "values/failure.h"
#include "values/text_encoding.h"

namespace imp {

class Connection;

// A row the database refused (or a view's INSERT that did not add exactly
// one row): the order it belongs to is not written, and the run goes on.
// The text is the database's reason, or the store's.
class RowRefused : public Failure {
 public:
  using Failure::Failure;
};

class OrderTables {
 public:
  // `connection` must outlive this.
  explicit OrderTables(Connection& connection) : connection_(connection) {}

  // True when `table` is a table, not a view.
  bool IsBaseTable(const char* table);
  // The columns of `table` that the database fills when an INSERT leaves
  // them out (a default, a computation).
  const std::set<std::string>& FilledByDatabase(const char* table);

  // Writes one row, naming the fields that received a value, in the
  // connection's transaction. A refused row raises RowRefused; a failure
  // that ends the run is raised as it came.
  void InsertRow(const char* table, const OrderRecord& record, TextEncoding encoding);

 private:
  struct Facts {
    std::optional<bool> base;
    std::optional<std::set<std::string>> filled_by_database;
  };
  // The facts of `table` known for the connection's current open.
  Facts& FactsOf(const char* table);

  Connection& connection_;
  // The tables' facts, for the connection opened opens_ times.
  std::map<std::string, Facts> facts_;
  uint64_t opens_ = 0;
};

}  // namespace imp
