#include "db/order_tables.h"

#include "db/connection.h"
#include "db/field_binding.h"
#include "db/firebird.h"
#include "values/failure.h"

namespace imp {

namespace {
const char* const kNoRowAffected = "Registro no encontrado o cambiado por otro usuario";
const char* const kManyRowsAffected = "La actualización afectó a más de un registro.";
}  // namespace

void OrderTables::InsertRow(const char* table, const OrderRecord& record,
                            TextEncoding encoding) {
  std::string refusal;
  try {
    const std::vector<std::size_t> columns = AssignedColumns(record);
    fb::Statement& insert = connection_.Prepared(InsertSql(table, record, columns));
    insert.ClearParams();
    BindRecord(insert, 0, record, columns, encoding);
    if (IsBaseTable(table)) {
      // One row of VALUES into a table is in it once the statement has
      // succeeded: asking the count would only cost a round trip. A view
      // writes what its triggers make of the row, so its count is asked.
      insert.ExecuteUncounted(connection_.transaction());
      return;
    }
    const uint64_t affected = insert.Execute(connection_.transaction());
    if (affected == 1) return;
    refusal = affected == 0 ? kNoRowAffected : kManyRowsAffected;
  } catch (const DatabaseFailure& failure) {
    // Not this order's doing: the run cannot go on.
    if (failure.ends_the_run()) throw;
    refusal = failure.what();
  } catch (const Failure& failure) {
    refusal = failure.what();
  }
  throw RowRefused(refusal.empty() ? std::string(kNoRowAffected) : refusal);
}

OrderTables::Facts& OrderTables::FactsOf(const char* table) {
  if (opens_ != connection_.opens()) {
    facts_.clear();
    opens_ = connection_.opens();
  }
  return facts_[table];
}

bool OrderTables::IsBaseTable(const char* table) {
  Facts& facts = FactsOf(table);
  if (facts.base) return *facts.base;
  fb::Statement& kind = connection_.Prepared(
      "SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = ? AND RDB$VIEW_BLR IS NULL");
  kind.ClearParams();
  kind.SetParam(0, fb::Value::Text(table));
  facts.base = !connection_.Query(kind).empty();
  return *facts.base;
}

const std::set<std::string>& OrderTables::FilledByDatabase(const char* table) {
  Facts& facts = FactsOf(table);
  if (facts.filled_by_database) return *facts.filled_by_database;
  fb::Statement& query = connection_.Prepared(
      "SELECT TRIM(RF.RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS RF"
      " JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE"
      " WHERE RF.RDB$RELATION_NAME = ? AND (RF.RDB$DEFAULT_VALUE IS NOT NULL"
      " OR F.RDB$DEFAULT_VALUE IS NOT NULL OR F.RDB$COMPUTED_BLR IS NOT NULL)");
  query.ClearParams();
  query.SetParam(0, fb::Value::Text(table));
  std::set<std::string>& names = facts.filled_by_database.emplace();
  for (const fb::Row& row : connection_.Query(query)) names.insert(row[0].bytes);
  return names;
}

}  // namespace imp
