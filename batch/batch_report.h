#pragma once
// The JSON report of an unattended import (--report FILE), for the
// application that called it:
//
//   {"simulacion": false, "archivo": "...", "compania": "01",
//    "base_de_datos": "server:/path/norvela.fdb", "usuario": "SYSDBA",
//    "inicio": "2026-12-09T17:40:01-05:00", "termino": "2026-12-09T17:41:12-05:00",
//    "fin": "completa", "senal": null, "falla": null, "estado_salida": 3,
//    "totales": {"pedidos_grabados": 2, "pedidos_descartados": 1,
//                "pedidos_existentes": 0, "lineas_grabadas": 5,
//                "lineas_descartadas": 1, "lineas_leidas": 9,
//                "iva": 12.5, "total": 1060.5},
//    "pedidos": [{"prefijo": "FE", "numero": "1", "identificador": 41,
//                 "lineas": 2, "iva": 6.25, "total": 530.25,
//                 "estado": "grabado"},
//                {..., "estado": "descartado", "motivo": "..."},
//                {..., "estado": "existente"}],
//    "lineas_descartadas": [{"linea": 3, "motivo": "..."}],
//    "lineas_cortadas": [7, 8]}
//
// The report is a record of the run as it goes: written when the run
// starts with "fin": "en_curso" (and "termino" and "estado_salida" null),
// rewritten while it runs and once more at its end, each time as a whole
// file put in place by a rename. A run that was killed leaves the last
// rewrite: "en_curso", with every order settled up to then.
//
// Orders are listed in the order the run completed them. "identificador"
// is the order's PEDI_ID: the one drawn for a written or refused order
// (null in a dry run, which draws none), the one already in the database
// for an existing order. Money is a JSON number with at most two decimals
// as the columns hold it, null when the order had no value. "totales"
// "iva" and "total" add up the written orders. "lineas_cortadas" are the
// file lines of the order a failure cut off. Strings are the file's and
// the database's bytes: valid UTF-8 goes as it is, any other byte is read
// as Windows-1252 (see JsonText). The orders are spooled to a temporary
// file, so memory stays flat however many there are.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "batch/batch_run_info.h"
#include "import/import_summary.h"

namespace imp {

class BatchReport final : public ImportObserver {
 public:
  BatchReport();

  // In a dry run the identifiers drawn are stand-ins: reported as null.
  void set_dry_run(bool dry_run) { stand_in_ids_ = dry_run; }

  void OnOrderWritten(const OrderWritten& order) override;
  void OnOrderDropped(const OrderDropped& order) override;
  void OnLineDropped(const LineDropped& line) override;
  void OnOrderSkipped(const OrderSkipped& order) override;
  void OnInterrupted(const std::string& failure,
                       const std::vector<LinePosition>& records) override;

  // How the run was asked for and how it ended (or stands).
  struct Closing {
    bool dry_run = false;
    BatchRunInfo run;         // file, company, user, times, signal
    std::string end;          // "en_curso", "completa", "falla", "interrumpida",
                              // "detenida", "sin_archivo", "no_encontrado",
                              // "no_se_pudo_abrir", "sin_conexion"
    std::string failure;      // the failure's text; empty: none
    int exit_status = -1;     // -1: not ended (null)
    int64_t lines_read = -1;  // -1: the lines of the orders settled so far
  };

  // Writes the whole report to `path` (replacing it, by a rename). Fails
  // with imp::Failure when the file cannot be written.
  void Write(const std::string& path, const Closing& closing);

  // Events taken since the report was last written: a rewrite while the
  // run goes on is needed only when there are some.
  bool changed() const { return events_ != written_events_; }

  // `bytes` as a quoted JSON string. Each valid UTF-8 sequence is copied;
  // every other byte is a Windows-1252 character (0x80 the euro sign, 0xE9
  // "é"; the five bytes that code page leaves undefined as the C1 controls
  // of the same number). Byte by byte, because a reason mixes the system's
  // own UTF-8 words with the file's bytes ("Artículo no válido: 'NIÑO'").
  // Quotes, backslashes and control characters are escaped, the latter as
  // \n, \r, \t or \u00XX; the rest of what is not UTF-8 becomes \uXXXX, so
  // the result is always valid UTF-8.
  static std::string JsonText(std::string_view bytes);

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using File = std::unique_ptr<std::FILE, FileCloser>;

  void Append(File& file, bool& first, const std::string& json);

  int64_t events_ = 0, written_events_ = 0;
  int64_t settled_lines_ = 0;  // file lines of the orders settled
  int64_t written_ = 0, dropped_ = 0, existing_ = 0;
  int64_t lines_written_ = 0, lines_discarded_ = 0;
  int64_t vat_ = 0, total_ = 0;  // Currency counts of the written orders
  bool stand_in_ids_ = false;
  File orders_;
  File lines_;
  File cut_lines_;
  bool first_order_ = true, first_line_ = true, first_cut_line_ = true;
};

}  // namespace imp
