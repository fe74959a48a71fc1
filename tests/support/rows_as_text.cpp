#include "tests/support/rows_as_text.h"

#include <utility>

#include "db/query_set.h"

namespace imp::testing {

std::vector<Fila> RowsAsText(Connection& connection, const RegionalSettings& rs,
                             const std::string& sql) {
  QuerySet q(connection, rs, "QPrueba");
  q.SetCommandText(sql);
  q.Open();
  std::vector<Fila> filas;
  for (q.First(); !q.Eof(); q.Next()) {
    Fila fila;
    for (int i = 0; i < q.FieldCount(); ++i) fila[q.FieldName(i)] = q.AsText(i);
    filas.push_back(std::move(fila));
  }
  return filas;
}

}  // namespace imp::testing
