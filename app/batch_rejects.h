#pragma once
// The rejects of an unattended import (--rejects FILE): every line of the
// order file that was not imported, copied byte for byte with its own line
// end (CR LF, LF or CR, as the file has it; none for a last line without
// one), in file order, into FILE; and one line per rejected line in
// FILE.log: "línea N: reason", N being the line's number in the order file,
// so that the k-th line of FILE.log speaks of the k-th line of FILE.
//
// Rejected are: every line of an order the database refused; every line of
// the order a failure cut off; after a failure or a stop, every line the
// run never read ("línea N: no leída, la importación se detuvo en la línea
// M", M the last line it read), also past the point where the file leaves
// its format, each line under its own entry; and every line of an order
// written without a line whose article was not valid (the order is
// incomplete in the database). Whether an order's lines go is decided by
// its outcome alone: a written order is never listed.
//
// Both files replace whatever was at their paths when the run starts
// (created 0600, see output_file.h) and take each order's lines as soon as
// the order is settled, flushed: a run that is killed leaves every order
// refused up to then in them. Orders are
// copied whole, beginning with the line that began them, so the lines that
// leave the order columns empty (the values carry over from the lines
// before) find them again when FILE is imported.
//
// Memory holds at most the discarded lines of one order.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/output_file.h"
#include "import/import_summary.h"

namespace imp {

class BatchRejects final : public ImportObserver {
 public:
  // Creates `ruta` and `ruta + ".log"` anew; the lines are copied
  // from `pedidos`, the order file. Fails with imp::Failure naming the file
  // that cannot be written.
  BatchRejects(std::string pedidos, const std::string& ruta);

  // Whether the order file is declared UTF-8: the lines never read are
  // then found by the same rule as the run's (a line that is not UTF-8
  // stops the reader there).
  void set_require_utf8(bool required) { require_utf8_ = required; }

  void OnOrderWritten(const OrderWritten& pedido) override;
  void OnOrderDropped(const OrderDropped& pedido) override;
  void OnLineDropped(const LineDropped& linea) override;
  void OnOrderSkipped(const OrderSkipped& pedido) override;
  void OnInterrupted(const std::string& falla,
                       const std::vector<LinePosition>& registros) override;
  void OnStopped(const LinePosition& primera_sin_leer) override;

  // Completes both files once the run is over: after a failure or a stop,
  // the lines it never read. Fails with imp::Failure when a file cannot be
  // written.
  void Termine();

  // Lines written to the rejects file so far.
  int64_t lineas() const { return lineas_; }

  // The line end that follows a line of `longitud` bytes at `desplazamiento`
  // in `archivo`: "\r\n", "\n", "\r" or "" at the end of the file.
  static std::string FinDeLinea(std::FILE* archivo, int64_t desplazamiento, int64_t longitud);

 private:
  using Archivo = OwnedFile;

  // Copies one line of the order file and logs it (kept until Vacie).
  void Rechace(const LinePosition& posicion, const std::string& motivo);
  // Writes what Rechace kept to both files, each in one write, and flushes
  // them: the files always end at an order's end.
  void Vacie();
  // Notes the lines the run has read.
  void Vea(const std::vector<LinePosition>& registros);
  // The reason of a discarded line of the current order, or "".
  std::string MotivoPendiente(int64_t numero) const;
  void CopieRestoSinLeer();
  // Copies the file from `desde` to its end line by line, the first line
  // numbered `numero`, each with its own entry in the log.
  void CopieBytesSinLeer(int64_t desde, int64_t numero, const std::string& motivo,
                         const std::string& primera);

  std::string pedidos_;
  bool require_utf8_ = false;
  std::string ruta_;
  Archivo origen_;
  Archivo rechazos_;
  Archivo bitacora_;
  std::string por_escribir_;           // rejected lines not yet written
  std::string por_registrar_;          // their log lines
  std::vector<LineDropped> pendientes_;  // discarded lines of the current order
  bool interrumpida_ = false;
  int64_t ultima_leida_ = 0;           // the last line the run read (0: none)
  int64_t lineas_ = 0;
};

}  // namespace imp
