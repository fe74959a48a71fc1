#include "tests/support/rows_as_text.h"

#include <utility>

#include "db/query_set.h"

namespace imp::testing {

std::vector<TextRow> RowsAsText(Connection& connection, const RegionalSettings& rs,
                                const std::string& sql) {
  QuerySet q(connection, rs, "QPrueba");
  q.SetCommandText(sql);
  q.Open();
  std::vector<TextRow> rows;
  for (q.First(); !q.Eof(); q.Next()) {
    TextRow row;
    for (int i = 0; i < q.FieldCount(); ++i) row[q.FieldName(i)] = q.AsText(i);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace imp::testing
