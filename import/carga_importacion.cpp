#include "import/carga_importacion.h"

#include <utility>

#include "db/query_set.h"
#include "import/importacion.h"

namespace imp {

const char kSqlImportacion[] =
    "select * from importacion_inventario where IMIN_TIPO = 23 order by imin_columna";

void cargue_importacion(QuerySet& CImporinv, CImportacion& importacion) {
  constexpr size_t kAnchoDato = 60;  // IMIN_DATO's declared width
  CImporinv.Close();
  // No layout at all until this company's has been read: a run then fails
  // at its first record instead of mapping it with another company's rows.
  importacion = CImportacion{};
  CImporinv.SetCommandText(kSqlImportacion);
  CImporinv.Open();
  importacion.vacie();
  for (CImporinv.First(); !CImporinv.Eof(); CImporinv.Next()) {
    std::string dato = CImporinv.AsText("IMIN_DATO");
    if (dato.size() > kAnchoDato) dato.resize(kAnchoDato);
    importacion.agregue(TFilaImportacion{std::move(dato), CImporinv.AsInteger("IMIN_COLUMNA"),
                                         CImporinv.AsInteger("IMIN_ANCHO"), "SI"});
  }
}

}  // namespace imp
