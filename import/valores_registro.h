#pragma once
// The record values: the named texts of the current record that grouping,
// header assembly and line pricing read. They live for a whole run and are
// never cleared between records: a value changes only when a later record
// brings a non-empty text for it, so a file may give the order columns on
// the first line of each order only.

#include <string>
#include <string_view>
#include <utility>

#include "import/campos_registro.h"

namespace imp {

class CImportacion;

struct TValoresRegistro {
  std::string PREF_PRE;         // document prefix (order key)
  std::string PEDI_NUMERO;      // order number (order key)
  std::string PEDI_FECHA;       // order date, as text
  std::string PEDI_CREDITO;     // credit due date, as text
  std::string VEND_COD;         // salesperson
  std::string PTVT_ID;          // point of sale
  std::string TERC_NIT;         // customer tax identifier
  std::string PEDI_NOMTERC;     // customer name
  std::string PEDI_SUCURSAL;    // customer branch
  std::string PEDI_RTFTEMONTO;  // withholding, source tax
  std::string PEDI_RTIVAMONTO;  // withholding, VAT
  std::string PEDI_RTICAMONTO;  // withholding, municipal tax
  std::string ARTI_COD;         // article code: a record with one carries a line
  std::string PEDE_CANT;        // quantity
  std::string PEDE_UNIDAD;      // unit
  std::string PEDE_PRUNIT;      // unit price
  std::string PEDE_DTOPORC;     // line discount percentage

  using Value = std::string TValoresRegistro::*;

  // The value a layout DATO names, compared byte for byte (case and blanks
  // count); nullptr for any other name.
  static Value ValueNamed(std::string_view field_name);

  // The record text shown while importing: prefix and number side by side,
  // " - ", customer name ("PV123 - ACME"; " - " when all three are empty).
  std::string RecordText() const;
};

// Every layout DATO that names a value, with the value it names: the one
// list valor_de answers from.
inline constexpr std::pair<std::string_view, TValoresRegistro::Value> kRecordValueNames[] = {
    {"PREF_PRE", &TValoresRegistro::PREF_PRE},
    {"PEDI_NUMERO", &TValoresRegistro::PEDI_NUMERO},
    {"PEDI_FECHA", &TValoresRegistro::PEDI_FECHA},
    {"PEDI_CREDITO", &TValoresRegistro::PEDI_CREDITO},
    {"VEND_COD", &TValoresRegistro::VEND_COD},
    {"PTVT_ID", &TValoresRegistro::PTVT_ID},
    {"TERC_NIT", &TValoresRegistro::TERC_NIT},
    {"PEDI_NOMTERC", &TValoresRegistro::PEDI_NOMTERC},
    {"PEDI_SUCURSAL", &TValoresRegistro::PEDI_SUCURSAL},
    {"PEDI_RTFTEMONTO", &TValoresRegistro::PEDI_RTFTEMONTO},
    {"PEDI_RTIVAMONTO", &TValoresRegistro::PEDI_RTIVAMONTO},
    {"PEDI_RTICAMONTO", &TValoresRegistro::PEDI_RTICAMONTO},
    {"ARTI_COD", &TValoresRegistro::ARTI_COD},
    {"PEDE_CANT", &TValoresRegistro::PEDE_CANT},
    {"PEDE_UNIDAD", &TValoresRegistro::PEDE_UNIDAD},
    {"PEDE_PRUNIT", &TValoresRegistro::PEDE_PRUNIT},
    {"PEDE_DTOPORC", &TValoresRegistro::PEDE_DTOPORC},
};

// Copies the record's field texts into `values` through the layout, walking
// its entries in ascending COLUMNA: an entry counts only when IMPORTAR is
// exactly "SI", its DATO names a value, its COLUMNA lies in 1..51 and that
// slot is not empty. So the last such entry for a value wins, an empty field
// leaves the value as it was, and a field of blanks replaces it. Never fails.
void asigne_valores(const TCamposRegistro& fields, const CImportacion& import_layout,
                    TValoresRegistro& values);

}  // namespace imp
