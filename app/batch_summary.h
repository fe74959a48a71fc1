#pragma once
// The closing summary of an unattended import, gathered from the run's
// events as they happen: orders written, orders dropped (prefix, number,
// reason), lines written, lines discarded (file line number, reason),
// elapsed time and lines per second. The details of dropped orders and
// discarded lines are spooled to temporary files, so memory stays flat
// however many there are.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "app/batch_run_info.h"
#include "import/import_summary.h"

namespace imp {

class BatchSummary final : public ImportObserver {
 public:
  BatchSummary();

  void OnOrderWritten(const OrderWritten& pedido) override;
  void OnOrderDropped(const OrderDropped& pedido) override;
  void OnLineDropped(const LineDropped& linea) override;
  void OnOrderSkipped(const OrderSkipped& pedido) override;

  // A dry run: the summary says so, first and last.
  void set_simulacion(bool simulacion) { simulacion_ = simulacion; }
  // Lists the orders found already written (even none) under their heading.
  void set_skip_existing(bool omitir) { omitir_existentes_ = omitir; }
  // Lines of the file that held no record (empty, or every field empty).
  void set_lineas_omitidas(int64_t lineas) { lineas_omitidas_ = lineas; }

  int64_t pedidos_grabados() const { return pedidos_grabados_; }
  int64_t pedidos_descartados() const { return pedidos_descartados_; }
  int64_t lineas_grabadas() const { return lineas_grabadas_; }
  int64_t lineas_descartadas() const { return lineas_descartadas_; }
  int64_t pedidos_existentes() const { return pedidos_existentes_; }
  // True when something the run read was not imported (an order found
  // already written included).
  bool algo_sin_importar() const {
    return pedidos_descartados_ > 0 || lineas_descartadas_ > 0 || pedidos_existentes_ > 0;
  }

  // Writes the summary to `out`. `corrida` names the run (file, company,
  // user, times; the signal that interrupted it), `fin` is how the run
  // ended, `registros` the records it read and `segundos` how long it took.
  void Imprima(std::FILE* out, const BatchRunInfo& corrida, ImportSummary::Outcome fin,
               int64_t registros, double segundos) const;

  // The text of a reason on one line (a database's reason may run over
  // several), its control bytes shown as \xNN (see values/control_text.h).
  static std::string EnUnaLinea(const std::string& texto);

 private:
  struct CierreArchivo {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using Archivo = std::unique_ptr<std::FILE, CierreArchivo>;

  static void Copie(std::FILE* desde, std::FILE* hacia);

  int64_t pedidos_grabados_ = 0;
  int64_t pedidos_descartados_ = 0;
  int64_t lineas_grabadas_ = 0;
  int64_t lineas_descartadas_ = 0;
  int64_t pedidos_existentes_ = 0;
  bool simulacion_ = false;
  bool omitir_existentes_ = false;
  int64_t lineas_omitidas_ = 0;
  Archivo detalle_pedidos_;
  Archivo detalle_lineas_;
  Archivo detalle_existentes_;
};

}  // namespace imp
