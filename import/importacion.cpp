#include "import/importacion.h"

#include <algorithm>
#include <utility>

namespace imp {

void CImportacion::vacie() {
  filas_.clear();
  asignaciones_.clear();
  creada_ = true;
}

void CImportacion::agregue(TFilaImportacion fila) {
  creada_ = true;
  const std::int32_t columna = fila.COLUMNA;
  // upper_bound: a row goes after the rows of the same COLUMNA added before.
  if (fila.IMPORTAR == "SI" && TCamposRegistro::es_campo(columna)) {
    if (const TValoresRegistro::Valor valor = TValoresRegistro::valor_de(fila.DATO)) {
      const auto donde = std::upper_bound(
          asignaciones_.begin(), asignaciones_.end(), columna,
          [](std::int32_t c, const TAsignacion& a) { return c < a.columna; });
      asignaciones_.insert(donde, TAsignacion{columna, valor});
    }
  }
  const auto donde =
      std::upper_bound(filas_.begin(), filas_.end(), columna,
                       [](std::int32_t c, const TFilaImportacion& f) { return c < f.COLUMNA; });
  filas_.insert(donde, std::move(fila));
}

}  // namespace imp
