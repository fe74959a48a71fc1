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
  importacion.vacie();
  CImporinv.SetCommandText(kSqlImportacion);
  CImporinv.Open();
  for (CImporinv.First(); !CImporinv.Eof(); CImporinv.Next()) {
    std::string dato = CImporinv.AsText("IMIN_DATO");
    if (dato.size() > kAnchoDato) dato.resize(kAnchoDato);
    importacion.agregue(TFilaImportacion{std::move(dato), CImporinv.AsInteger("IMIN_COLUMNA"),
                                         CImporinv.AsInteger("IMIN_ANCHO"), "SI"});
  }
}

}  // namespace imp
