#pragma once
// Passes each event of the run to every observer, in turn, under a lock
// that whoever reads the records while the run goes on (the report's
// rewrites, an immediate end) takes too: they always see the records
// between two events, never in the middle of one.

#include <mutex>
#include <string>
#include <vector>

#include "import/resumen_importacion.h"

namespace imp {

class BatchObservers final : public ObservadorImportacion {
 public:
  // Adds `o` (nothing when null); it must outlive the run.
  void Add(ObservadorImportacion* o);
  // The lock every event is passed under.
  std::mutex& mutex() { return mutex_; }

  void AlGrabarPedido(const PedidoGrabado& p) override;
  void AlDescartarPedido(const PedidoDescartado& p) override;
  void AlDescartarLinea(const LineaDescartada& l) override;
  void AlOmitirPedido(const PedidoExistente& p) override;
  void AlInterrumpirse(const std::string& f, const std::vector<TPosicionLinea>& r) override;
  void AlDetenerse(const TPosicionLinea& p) override;

 private:
  std::mutex mutex_;
  std::vector<ObservadorImportacion*> observers_;
};

}  // namespace imp
