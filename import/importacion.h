#pragma once
// CImportacion: the import layout of the company, i.e. which field of a line
// (COLUMNA, counted from 1) fills which record value (DATO). Loaded from the
// database when the window connects and read for every record, so it keeps
// the rows ordered by COLUMNA (equal numbers in the order they were added)
// and resolves each row's DATO once, when the row is added.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "import/valores_registro.h"

namespace imp {

// One layout entry, as the layout table gives it.
struct ImportLayoutRow {
  std::string DATO;      // name of the record value the entry fills
  std::int32_t COLUMNA;  // field number in the line, from 1
  std::int32_t ANCHO;    // width; not used by the import
  std::string IMPORTAR;  // the entry is used only when exactly "SI"
};

class CImportacion {
 public:
  // A row that takes part in the mapping: slot `column` (1..51) goes to
  // `value`. Same order as the rows.
  struct Mapping {
    std::int32_t column;
    TValoresRegistro::Value value;
  };
  using const_iterator = std::vector<ImportLayoutRow>::const_iterator;

  // Removes every row; the layout exists from then on.
  void Clear();
  // Adds a row after every row whose COLUMNA is lower or equal (the layout
  // exists from then on).
  void Add(ImportLayoutRow row);
  // False until the layout was first emptied or given a row: no company has
  // been connected yet, so there is no layout to read records through.
  bool created() const { return created_; }

  const_iterator begin() const { return rows_.begin(); }
  const_iterator end() const { return rows_.end(); }
  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }

  // The rows that map a field: IMPORTAR exactly "SI", a recognised DATO and
  // a COLUMNA within the slots; others can never change a value.
  const std::vector<Mapping>& mappings() const { return mappings_; }

 private:
  std::vector<ImportLayoutRow> rows_;
  std::vector<Mapping> mappings_;
  bool created_ = false;
};

}  // namespace imp
