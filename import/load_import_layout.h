#pragma once
// Loading the company's import layout: the rows of type 23 of
// IMPORTACION_INVENTARIO, read over the module's connection into the
// in-memory layout CImportacion. Shared by every front end that connects to
// a company (the window on leaving the company field, batch mode at start).

#include <string>

namespace imp {

class CImportacion;
class QuerySet;

// The statement that selects the import layout, ordered by column.
extern const char kImportLayoutSql[];

// Empties `layout` and fills it from `CImporinv`, which is closed first
// so that the rows are read again from the database it is connected to
// (opening the connection when it is closed). Each row gives DATO (cut to 60
// bytes; null: empty), COLUMNA and ANCHO (null: 0) and IMPORTAR "SI". A
// failure of the statement is raised; `layout` then holds no layout
// (CImportacion::created() is false).
void LoadImportLayout(QuerySet& CImporinv, CImportacion& layout);

}  // namespace imp
