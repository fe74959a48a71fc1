#include "import/import_run.h"

#include <optional>
#include <utility>

#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/run_messages.h"
#include "import/screen.h"
#include "values/control_text.h"
#include "values/conversions.h"
#include "values/extended.h"
#include "values/failure.h"

// One order's life in the run: its header begun from the record that opens
// it, its sums and identifier when it is complete, its write, and the ways
// it is dropped or skipped instead.

namespace imp {
namespace {

std::optional<Currency> ValorDe(const Field& campo) {
  if (campo.is_null()) return std::nullopt;
  return campo.AsCurrency();
}

}  // namespace

void ImportRun::inicie_pedido() {
  const TValoresRegistro& v = valores_;
  store_.BeginHeader();
  auto campo = [this](const char* nombre) -> Field& { return store_.HeaderField(nombre); };
  auto asigne = [&](const char* nombre, const std::string& texto) {
    campo(nombre).SetText(texto, rs_, hoy_);
  };

  campo("TIDO_COD").SetInteger(34);
  campo("PEDI_ID").SetInteger(0);
  asigne("PREF_PRE", v.PREF_PRE);
  campo("PEDI_FACTOR").SetCurrency(Currency::FromUnits(1));
  campo("PEDI_TRM").SetCurrency(Currency::FromUnits(1));
  asigne("PEDI_ANULADO", "N");
  asigne("PEDI_TRANSMIT", "N");
  asigne("PEDI_IVAINC", fdm_.prefijo_ivainc(v.PREF_PRE));
  asigne("PEDI_NUMERO", v.PEDI_NUMERO);
  if (!v.PEDI_FECHA.empty()) {
    asigne("PEDI_FECHA", v.PEDI_FECHA);
  } else {
    campo("PEDI_FECHA").SetDate(screen_.FallbackDate());
  }
  asigne("PEDI_VALIDEZ", fdm_.configuracion("FACTURACION", "PEDIDOS", "DIAS DE VALIDEZ"));
  const Date fecha = campo("PEDI_FECHA").AsDate();
  campo("PEDI_VENCE").SetDate(fecha + campo("PEDI_VALIDEZ").AsInteger());
  if (!v.PEDI_CREDITO.empty()) {
    const Date credito = TextToDate(v.PEDI_CREDITO, rs_, hoy_);
    campo("PEDI_DIASCR").SetInteger(FloorToInteger(static_cast<long double>(credito - fecha)));
  } else {
    campo("PEDI_DIASCR").SetInteger(1);
  }
  if (!v.PTVT_ID.empty()) asigne("PTVT_ID", v.PTVT_ID);
  // An order without point of sale has no warehouse: there is nothing to
  // look up.
  bodega_pedido_ = v.PTVT_ID.empty() ? std::string() : fdm_.bodega_punto_venta(v.PTVT_ID);
  asigne("VEND_COD", v.VEND_COD);
  asigne("TERC_NIT", v.TERC_NIT);
  asigne("PEDI_NOMTERC", v.PEDI_NOMTERC);
  asigne("PEDI_SUCURSAL", v.PEDI_SUCURSAL.empty() ? std::string("01") : v.PEDI_SUCURSAL);
  if (!v.PEDI_RTFTEMONTO.empty()) asigne("PEDI_RTFTEMONTO", v.PEDI_RTFTEMONTO);
  if (!v.PEDI_RTIVAMONTO.empty()) asigne("PEDI_RTIVAMONTO", v.PEDI_RTIVAMONTO);
  if (!v.PEDI_RTICAMONTO.empty()) asigne("PEDI_RTICAMONTO", v.PEDI_RTICAMONTO);

  try {
    store_.PostHeader();
  } catch (const Failure& falla) {
    throw Failure(falla.what() + CausaCampoFaltante(falla.what()));
  }
  prefijo_actual_ = v.PREF_PRE;
  numero_actual_ = v.PEDI_NUMERO;
  primer_pedido_ = false;
}

std::string ImportRun::CausaCampoFaltante(const std::string& falla) {
  const TValoresRegistro& v = valores_;
  auto falta = [&falla](const char* campo) {
    return falla.find(std::string("'") + campo + "'") != std::string::npos;
  };
  if (falta("PEDI_IVAINC") && !fdm_.existe_prefijo(v.PREF_PRE)) {
    return ": el prefijo " + QuoteSqlText(v.PREF_PRE) + " no existe para el tipo de documento 34";
  }
  for (const char* campo : {"PREF_PRE", "PEDI_NUMERO", "TERC_NIT", "VEND_COD", "PEDI_NOMTERC"}) {
    if (falta(campo)) {
      return std::string(": la línea que empieza el pedido no trae ") + campo;
    }
  }
  return "";
}

void ImportRun::complete_pedido(bool fin_de_archivo) {
  auto campo = [this](const char* nombre) -> Field& { return store_.HeaderField(nombre); };

  store_.EditHeader();
  const std::string suma_iva = store_.SumIva();
  if (!suma_iva.empty()) campo("PEDI_IVAMONTO").SetCurrency(TextToCurrency(suma_iva, rs_));
  const std::string suma_total = store_.SumTotal();
  if (!suma_total.empty()) {
    const Currency total = TextToCurrency(suma_total, rs_);
    const Currency descuento = campo("PEDI_DTOMONTO").AsCurrency();
    campo("PEDI_TOTAL").SetCurrency(Currency::FromExtendedCount(
        ExtSub(total.extended_count(), descuento.extended_count())));
  }
  // The records of the order being completed: at a change of key the last
  // record already belongs to the next order.
  std::vector<TPosicionLinea> registros = registros_pedido_;
  if (!fin_de_archivo && !registros.empty()) registros.pop_back();

  if (fin_de_archivo) {
    if (OmitaExistente(registros, fin_de_archivo)) return;
    if (campo("PEDI_ID").AsInteger() == 0) campo("PEDI_ID").SetText(store_.SCambieidpedido(), rs_, hoy_);
    store_.PostHeader();
  } else {
    store_.PostHeader();
    if (OmitaExistente(registros, fin_de_archivo)) {
      store_.Refresh();
      store_.set_contador_lineas(0);
      return;
    }
    if (campo("PEDI_ID").AsInteger() == 0) {
      store_.EditHeader();
      campo("PEDI_ID").SetText(store_.SCambieidpedido(), rs_, hoy_);
      store_.PostHeader();
    }
  }

  PedidoGrabado grabado{campo("PREF_PRE").AsText(rs_), campo("PEDI_NUMERO").AsText(rs_),
                        campo("PEDI_ID").AsText(rs_), static_cast<int32_t>(store_.line_count()),
                        ValorDe(campo("PEDI_IVAMONTO")), ValorDe(campo("PEDI_TOTAL")),
                        std::move(registros)};
  if (Agrupando() && !grupo_abierto_ && !fdm_.Norvela.InTransaction()) {
    fdm_.Norvela.BeginTransaction();
    grupo_abierto_ = true;
  }
  if (store_.ApplyUpdates() > 0) {
    const std::optional<OrderWriteFailure>& falla = store_.last_failure();
    OlvideRegistros(fin_de_archivo);
    // A header the database refuses comes from the line that began the
    // order: the operator is told which.
    std::string motivo = falla ? falla->text : std::string();
    if (falla && falla->item == 0 && !grabado.registros.empty()) {
      motivo = "Línea " + std::to_string(grabado.registros.front().numero) + ": " + motivo;
    }
    Descarte(PedidoDescartado{grabado.prefijo, grabado.numero, std::move(motivo),
                              std::move(grabado.registros), grabado.pedi_id, grabado.lineas, grabado.iva,
                              grabado.total});
    store_.CancelUpdates();
  } else {
    // Committed: whatever fails from here on, these lines are written and
    // must never be offered again as cut off.
    OlvideRegistros(fin_de_archivo);
    if (Agrupando()) {
      // Written in the group's transaction: it counts once that commits.
      diferidos_.push_back({{}, std::move(grabado)});
      if (!grupo_abierto_ || ++pedidos_en_grupo_ >= pedidos_por_transaccion_) ConfirmeGrupo();
    } else {
      ++resumen_.pedidos_grabados;
      resumen_.lineas_grabadas += grabado.lineas;
      if (observador_) observador_->AlGrabarPedido(grabado);
    }
  }

  if (!fin_de_archivo) {
    store_.Refresh();
    store_.set_contador_lineas(0);
  }
}

void ImportRun::DescarteIncompleta(const TPosicionLinea& posicion) {
  const bool pedido_nuevo = primer_pedido_ || valores_.PREF_PRE != prefijo_actual_ ||
                            valores_.PEDI_NUMERO != numero_actual_;
  if (pedido_nuevo) {
    // The line begins an order of its own: the one before it is whole.
    linea_en_falta_ = 0;
    if (!primer_pedido_) complete_pedido(/*fin_de_archivo=*/false);
    registros_pedido_.erase(registros_pedido_.begin(), registros_pedido_.end() - 1);
  } else {
    // The line belongs to the order being built: none of it is written.
    store_.CancelUpdates();
    store_.Refresh();
    store_.set_contador_lineas(0);
  }
  primer_pedido_ = true;  // nothing left to complete at the end of the file
  PedidoDescartado descartado{valores_.PREF_PRE, valores_.PEDI_NUMERO,
                              FormatText(kLineaIncompleta, {std::to_string(posicion.numero)}),
                              registros_pedido_, std::string(), 0, std::nullopt, std::nullopt};
  descartado.por_el_archivo = true;
  Descarte(std::move(descartado));
  registros_pedido_.clear();
  linea_en_falta_ = 0;
}

void ImportRun::OlvideRegistros(bool fin_de_archivo) {
  if (fin_de_archivo || registros_pedido_.empty()) {
    registros_pedido_.clear();
  } else {
    registros_pedido_.erase(registros_pedido_.begin(), registros_pedido_.end() - 1);
  }
}

bool ImportRun::OmitaExistente(std::vector<TPosicionLinea>& registros, bool fin_de_archivo) {
  if (!omitir_existentes_) return false;
  Field& prefijo = store_.HeaderField("PREF_PRE");
  Field& numero = store_.HeaderField("PEDI_NUMERO");
  std::optional<std::string> id = store_.FindWrittenOrder(prefijo.AsText(rs_), numero.AsText(rs_));
  if (!id) return false;
  PedidoExistente existente{prefijo.AsText(rs_),
                            numero.AsText(rs_),
                            std::move(*id),
                            static_cast<int32_t>(store_.line_count()),
                            ValorDe(store_.HeaderField("PEDI_IVAMONTO")),
                            ValorDe(store_.HeaderField("PEDI_TOTAL")),
                            std::move(registros)};
  store_.CancelUpdates();
  OlvideRegistros(fin_de_archivo);
  ++resumen_.pedidos_existentes;
  if (observador_) Avise([this, existente] { observador_->AlOmitirPedido(existente); });
  return true;
}

void ImportRun::Descarte(PedidoDescartado descartado) {
  if (observador_) Avise([this, descartado] { observador_->AlDescartarPedido(descartado); });
  resumen_.pedidos_descartados.push_back(std::move(descartado));
}

}  // namespace imp
