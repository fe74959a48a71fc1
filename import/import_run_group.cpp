#include "import/import_run.h"

#include <optional>
#include <utility>

#include "db/tfdm.h"
#include "import/run_messages.h"
#include "values/control_text.h"
#include "values/failure.h"

// Many orders per transaction: the group's transaction, its commit, and the
// observer's events held back until the group's fate is known.

namespace imp {

bool ImportRun::Agrupando() const { return pedidos_por_transaccion_ > 1 && !simulacion_; }

void ImportRun::Avise(std::function<void()> aviso) {
  if (Agrupando()) {
    diferidos_.push_back({std::move(aviso), std::nullopt});
  } else {
    aviso();
  }
}

void ImportRun::ConfirmeGrupo() {
  std::optional<std::string> falla;
  if (grupo_abierto_) {
    grupo_abierto_ = false;
    pedidos_en_grupo_ = 0;
    try {
      fdm_.Norvela.Commit();
    } catch (const Failure& f) {
      falla = f.what();
      try {
        if (fdm_.Norvela.InTransaction()) fdm_.Norvela.Rollback();
      } catch (const Failure&) {
        // The connection is gone, and the transaction with it.
      }
    }
  }
  // What the observer hears of the group, in the order it happened; an
  // order written in a transaction that did not commit was not written.
  std::vector<Diferido> diferidos = std::move(diferidos_);
  diferidos_.clear();
  for (Diferido& d : diferidos) {
    if (!d.grabado) {
      d.aviso();
      continue;
    }
    PedidoGrabado& g = *d.grabado;
    if (!falla) {
      ++resumen_.pedidos_grabados;
      resumen_.lineas_grabadas += g.lineas;
      if (observador_) observador_->AlGrabarPedido(g);
      continue;
    }
    PedidoDescartado descartado{g.prefijo,  g.numero, FormatText(kGrupoSinConfirmar, {*falla}),
                                std::move(g.registros), g.pedi_id, g.lineas, g.iva, g.total};
    if (observador_) observador_->AlDescartarPedido(descartado);
    resumen_.pedidos_descartados.push_back(std::move(descartado));
  }
  if (falla) throw Failure(*falla);
}

}  // namespace imp
