#include "import/load_import_layout.h"

#include <utility>

#include "db/query_set.h"
#include "import/importacion.h"

namespace imp {

const char kImportLayoutSql[] =
    "select * from importacion_inventario where IMIN_TIPO = 23 order by imin_columna";

void LoadImportLayout(QuerySet& CImporinv, CImportacion& layout) {
  constexpr size_t kFieldNameWidth = 60;  // IMIN_DATO's declared width
  CImporinv.Close();
  // No layout at all until this company's has been read: a run then fails
  // at its first record instead of mapping it with another company's rows.
  layout = CImportacion{};
  CImporinv.SetCommandText(kImportLayoutSql);
  CImporinv.Open();
  layout.Clear();
  for (CImporinv.First(); !CImporinv.Eof(); CImporinv.Next()) {
    std::string field_name = CImporinv.AsText("IMIN_DATO");
    if (field_name.size() > kFieldNameWidth) field_name.resize(kFieldNameWidth);
    layout.Add(ImportLayoutRow{std::move(field_name), CImporinv.AsInteger("IMIN_COLUMNA"),
                               CImporinv.AsInteger("IMIN_ANCHO"), "SI"});
  }
}

}  // namespace imp
