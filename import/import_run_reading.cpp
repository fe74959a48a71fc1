#include "import/import_run.h"

#include <optional>
#include <utility>

#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/agregue_linea.h"
#include "import/importacion.h"
#include "import/run_messages.h"
#include "import/screen.h"
#include "values/control_text.h"
#include "values/conversions.h"
#include "values/failure.h"

// The reading loop: the file's records read ahead a batch at a time, their
// lookups read together, then each record handled in turn.

namespace imp {
namespace {

// for and the record just read begins a new order. Not a failure: nothing
// is wrong with the file or the database.
struct StopBeforeRecord {
  TPosicionLinea posicion;
};

}  // namespace

void ImportRun::LeaArchivo(const std::string& ruta) {
  // An order an earlier, failed run left in the store is not this run's:
  // it is dropped rather than merged into the first order of this file.
  store_.Close();
  store_.Open();
  leyendo_ = true;

  TLectorPlano lector;
  lector.set_require_utf8(rs_.text_encoding == TextEncoding::kUtf8);
  bool abierto = false;
  std::optional<TPosicionLinea> detenida;
  try {
    abierto = lector.lea_registros(
        ruta,
        [this](const TCamposRegistro& campos, const TPosicionLinea& posicion) {
          LeaRegistro(campos, posicion);
        },
        [this] { screen_.StepProgress(); });
  } catch (const Failure&) {
    // A line the reader refuses: the records read before it are handled
    // first, as they would have been had they not been read ahead.
    ManejeLeidos();
    throw;
  } catch (const StopBeforeRecord& stop) {
    detenida = stop.posicion;
    abierto = true;
  }
  ManejeLeidos();
  resumen_.lineas_omitidas = lector.lineas_omitidas();
  if (detenida) {
    // The order read so far is whole: it is written like the last order of
    // a file, and the run ends there.
    if (!primer_pedido_) complete_pedido(/*fin_de_archivo=*/true);
    ConfirmeGrupo();
    store_.Close();
    registros_pedido_.clear();
    resumen_.fin = ResumenImportacion::Fin::kDetenida;
    resumen_.primera_sin_leer = *detenida;
    if (observador_) observador_->AlDetenerse(*detenida);
    screen_.ShowMessage(FormatText(kDetenida, {std::to_string(detenida->numero)}) +
                        LineasDescartados());
    return;
  }
  if (!abierto) {
    store_.Close();
    resumen_.fin = ResumenImportacion::Fin::kNoSePudoAbrir;
    screen_.ShowMessage(kErrorAlAbrir + CausaSinAbrir(ruta));
    return;
  }

  if (!primer_pedido_) complete_pedido(/*fin_de_archivo=*/true);
  ConfirmeGrupo();
  store_.Close();
  registros_pedido_.clear();
  resumen_.fin = ResumenImportacion::Fin::kCompleta;
  screen_.ShowMessage(kFinalizada + LineasDescartados());
}

void ImportRun::LeaRegistro(const TCamposRegistro& campos, const TPosicionLinea& posicion) {
  // Without a company connected there is no layout to map the record with;
  // that is not the line's fault.
  if (!importacion_.creada()) {
    ManejeLeidos();
    throw Failure("CImportacion: No es posible realizar ésta operación en un Dataset cerrado");
  }
  // A stop asked for takes effect at the first record of an order, so that
  // the order before it is read whole. The records read ahead, or else the
  // order being built, tell where the current order ends.
  if (stop_requested()) {
    TValoresRegistro siguiente = lectura_;
    asigne_valores(campos, importacion_, siguiente);
    const bool nuevo_pedido =
        leidos_.empty() ? primer_pedido_ || siguiente.PREF_PRE != prefijo_actual_ ||
                              siguiente.PEDI_NUMERO != numero_actual_
                        : siguiente.PREF_PRE != leidos_.back().valores.PREF_PRE ||
                              siguiente.PEDI_NUMERO != leidos_.back().valores.PEDI_NUMERO;
    if (nuevo_pedido) throw StopBeforeRecord{posicion};
    lectura_ = std::move(siguiente);
  } else {
    asigne_valores(campos, importacion_, lectura_);
  }
  if (!leidos_.empty() && (lectura_.PREF_PRE != leidos_.back().valores.PREF_PRE ||
                           lectura_.PEDI_NUMERO != leidos_.back().valores.PEDI_NUMERO ||
                           leidos_.size() >= Tfdm::kLineasPorLectura))
    ManejeLeidos();
  leidos_.push_back(RegistroLeido{lectura_, posicion});
}

void ImportRun::ManejeLeidos() {
  try {
    for (proximo_ = 0; proximo_ < leidos_.size(); ++proximo_) {
      valores_ = std::move(leidos_[proximo_].valores);
      ManejeRegistro(leidos_[proximo_].posicion);
    }
  } catch (...) {
    // The run ends here; what was read after the failing record is not
    // this run's to handle.
    leidos_.clear();
    throw;
  }
  leidos_.clear();
}

void ImportRun::PrecargueConsultas(bool con_pedido) {
  std::vector<Tfdm::ConsultasLinea> lineas;
  for (std::size_t i = proximo_; i < leidos_.size(); ++i) {
    // The current record's values have moved to valores_.
    const TValoresRegistro& v = i == proximo_ ? valores_ : leidos_[i].valores;
    lineas.push_back({v.ARTI_COD, v.PEDE_UNIDAD, v.TERC_NIT, v.PEDI_SUCURSAL});
  }
  const Tfdm::ConsultasPedido pedido{valores_.PREF_PRE, valores_.PTVT_ID};
  fdm_.precargue(con_pedido ? &pedido : nullptr, lineas);
}

void ImportRun::ManejeRegistro(const TPosicionLinea& posicion) {
  ++resumen_.registros;
  linea_en_falta_ = posicion.numero;
  screen_.SetRecordText(valores_.texto_registro());
  registros_pedido_.push_back(posicion);
  if (posicion.incompleta) {
    DescarteIncompleta(posicion);
    return;
  }

  // The first record of a run always begins an order, whatever key an
  // earlier run left behind: no line is priced against a header this run
  // did not begin.
  if (primer_pedido_ || valores_.PREF_PRE != prefijo_actual_ ||
      valores_.PEDI_NUMERO != numero_actual_) {
    if (!primer_pedido_) {
      // Writing the previous order is not this line's doing.
      linea_en_falta_ = 0;
      complete_pedido(/*fin_de_archivo=*/false);
      linea_en_falta_ = posicion.numero;
    }
    registros_pedido_.erase(registros_pedido_.begin(), registros_pedido_.end() - 1);
    PrecargueConsultas(/*con_pedido=*/true);
    inicie_pedido();
  } else if (proximo_ == 0) {
    PrecargueConsultas(/*con_pedido=*/false);
  }

  if (valores_.ARTI_COD.empty()) {
    linea_en_falta_ = 0;
    return;
  }
  const ContextoLinea ctx{fdm_, store_, bodega_pedido_, exponente_redondeo_, rs_, hoy_};
  if (!agregue_linea(ctx, valores_)) {
    ++resumen_.lineas_descartadas;
    if (observador_) {
      Avise([this, linea = LineaDescartada{posicion, FormatText("Artículo no válido: %s",
                                                           {QuoteSqlText(
                                                               valores_.ARTI_COD.substr(0, 15))})}] {
        observador_->AlDescartarLinea(linea);
      });
    }
  }
  linea_en_falta_ = 0;
}

}  // namespace imp
