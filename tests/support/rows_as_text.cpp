#include "tests/support/rows_as_text.h"

#include <utility>

#include "db/query_set.h"

namespace imp::testing {

std::vector<TextRow> RowsAsText(Connection& connection, const RegionalSettings& rs,
                                const std::string& sql) {
  QuerySet q(connection, rs, "QPrueba");
  q.SetCommandText(sql);
  q.Open();
  std::vector<TextRow> filas;
  for (q.First(); !q.Eof(); q.Next()) {
    TextRow fila;
    for (int i = 0; i < q.FieldCount(); ++i) fila[q.FieldName(i)] = q.AsText(i);
    filas.push_back(std::move(fila));
  }
  return filas;
}

}  // namespace imp::testing
