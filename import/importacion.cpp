#include "import/importacion.h"

#include <algorithm>
#include <utility>

namespace imp {

void CImportacion::Clear() {
  rows_.clear();
  mappings_.clear();
  created_ = true;
}

void CImportacion::Add(ImportLayoutRow row) {
  created_ = true;
  const std::int32_t column = row.COLUMNA;
  // upper_bound: a row goes after the rows of the same COLUMNA added before.
  if (row.IMPORTAR == "SI" && TCamposRegistro::IsField(column)) {
    if (const TValoresRegistro::Value value = TValoresRegistro::ValueNamed(row.DATO)) {
      const auto where =
          std::upper_bound(mappings_.begin(), mappings_.end(), column,
                           [](std::int32_t c, const Mapping& m) { return c < m.column; });
      mappings_.insert(where, Mapping{column, value});
    }
  }
  const auto where =
      std::upper_bound(rows_.begin(), rows_.end(), column,
                       [](std::int32_t c, const ImportLayoutRow& r) { return c < r.COLUMNA; });
  rows_.insert(where, std::move(row));
}

}  // namespace imp
