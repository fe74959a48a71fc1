#pragma once
// The rejects of an unattended import (--rejects FILE): every line of the
// order file that was not imported, copied byte for byte with its own line
// end (CR LF, LF or CR, as the file has it; none for a last line without
// one), in file order, into FILE; and one line per rejected line in
// FILE.log: "línea N: reason", N being the line's number in the order file,
// so that the k-th line of FILE.log speaks of the k-th line of FILE.
//
// Rejected are: every line of an order the database refused; every line of
// the order a failure cut off; after a failure, every line the run never
// read; and every line of an order written without a line whose article
// was not valid (the order is incomplete in the database). Orders are
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

#include "import/resumen_importacion.h"

namespace imp {

class BatchRejects final : public ObservadorImportacion {
 public:
  // Creates (or empties) `ruta` and `ruta + ".log"`; the lines are copied
  // from `pedidos`, the order file. Fails with imp::Failure naming the file
  // that cannot be written.
  BatchRejects(std::string pedidos, const std::string& ruta);

  void AlGrabarPedido(const PedidoGrabado& pedido) override;
  void AlDescartarPedido(const PedidoDescartado& pedido) override;
  void AlDescartarLinea(const LineaDescartada& linea) override;
  void AlInterrumpirse(const std::string& falla,
                       const std::vector<TPosicionLinea>& registros) override;

  // Completes both files once the run is over: after a failure, the lines
  // it never read. Fails with imp::Failure when a file cannot be written.
  void Termine();

  // Lines written to the rejects file so far.
  int64_t lineas() const { return lineas_; }

  // The line end that follows a line of `longitud` bytes at `desplazamiento`
  // in `archivo`: "\r\n", "\n", "\r" or "" at the end of the file.
  static std::string FinDeLinea(std::FILE* archivo, int64_t desplazamiento, int64_t longitud);

 private:
  struct CierreArchivo {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using Archivo = std::unique_ptr<std::FILE, CierreArchivo>;

  // Copies one line of the order file and logs it.
  void Rechace(const TPosicionLinea& posicion, const std::string& motivo);
  // The reason of a discarded line of the current order, or "".
  std::string MotivoPendiente(int64_t numero) const;
  void CopieRestoSinLeer();

  std::string pedidos_;
  std::string ruta_;
  Archivo origen_;
  Archivo rechazos_;
  Archivo bitacora_;
  std::vector<LineaDescartada> pendientes_;  // discarded lines of the current order
  bool interrumpida_ = false;
  bool algo_leido_ = false;       // a record of the file reached the run
  int64_t fin_ultima_ = 0;        // offset just past the last record read (and its line end)
  int64_t numero_ultima_ = 0;     // number of that record
  int64_t lineas_ = 0;
};

}  // namespace imp
