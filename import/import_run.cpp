#include "import/import_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "db/dialogs.h"
#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/agregue_linea.h"
#include "import/importacion.h"
#include "import/screen.h"
#include "values/control_text.h"
#include "values/conversions.h"
#include "values/extended.h"
#include "values/failure.h"

namespace imp {
namespace {

constexpr char kImportando[] = "Importando pedidos. Espere un momento...";
constexpr char kSinUbicacion[] = "Debe indicar antes el archivo con los datos a importar.";
constexpr char kNoEncontrado[] = "No se encontró el archivo a importar.";
constexpr char kErrorAlAbrir[] =
    "Error al abrir el archivo, asegúrece que el nombre sea correcto y que no esté abierto en "
    "otra aplicación en este momento.";
constexpr char kFinalizada[] = "Importación finalizada.";
constexpr char kPedidoNoGrabado[] = "Pedido %s %s no grabado: %s";
constexpr char kLineaIncompleta[] =
    "Línea %s: la última línea está incompleta (sin fin de línea y con menos campos que la "
    "anterior).";
constexpr char kYaGrabados[] = "Pedidos de esta importación ya grabados (quedan grabados): %s.";
constexpr char kYaGrabadosSimulacion[] =
    "Pedidos de esta importación grabados en la simulación (se deshacen): %s.";
constexpr char kGrupoSinConfirmar[] =
    "no se confirmó la transacción de su grupo de pedidos (--pedidos-por-transaccion): %s";
constexpr char kDetenida[] =
    "Importación detenida a pedido del usuario: la línea %s y las siguientes no se leyeron.";

// Raised by the record handler to leave the reader when a stop was asked
// for and the record just read begins a new order. Not a failure: nothing
// is wrong with the file or the database.
struct StopBeforeRecord {
  TPosicionLinea posicion;
};

// The failure's text as the error display would end it, so that the lines
// added after it read as separate sentences.
std::string ConPunto(std::string texto) {
  if (!texto.empty() && static_cast<unsigned char>(texto.back()) > '.') texto += '.';
  return texto;
}

// Why the reader could not open `ruta`, as a line to add to the message
// (the reader only says that it could not).
std::string CausaSinAbrir(const std::string& ruta) {
  struct stat estado;
  if (::stat(ruta.c_str(), &estado) != 0) {
    return "\nEl archivo " + ruta + " no se pudo abrir: " + std::strerror(errno) + ".";
  }
  if (!S_ISREG(estado.st_mode)) return "\nEl archivo " + ruta + " no es un archivo regular.";
  if (::access(ruta.c_str(), R_OK) != 0) {
    return "\nNo hay permiso para leer el archivo " + ruta + ".";
  }
  return "\nOtro programa tiene bloqueado el archivo " + ruta + ".";
}

std::optional<Currency> ValorDe(const Field& campo) {
  if (campo.is_null()) return std::nullopt;
  return campo.AsCurrency();
}

}  // namespace

ImportRun::ImportRun(Tfdm& fdm, OrderStore& store, const CImportacion& importacion,
                     const RegionalSettings& rs, ImportScreen& screen, Dialogs& dialogs)
    : fdm_(fdm), store_(store), importacion_(importacion), rs_(rs), screen_(screen),
      dialogs_(dialogs) {}

void ImportRun::SpeedButton3Click() {
  resumen_ = ResumenImportacion{};
  registros_pedido_.clear();
  leidos_.clear();
  lectura_ = TValoresRegistro{};
  leyendo_ = false;
  linea_en_falta_ = 0;
  // The lookups' boxes go where this run's messages go, and texts the
  // module makes (sums, rates) are read back with the run's settings.
  fdm_.set_dialogs(&dialogs_);
  fdm_.set_regional_settings(rs_);
  hoy_ = Date::Today();

  try {
    screen_.ShowStatus(kImportando);
    exponente_redondeo_ = TextToInteger(
        fdm_.configuracion("FACTURACION", "DOCUMENTOS", "REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"));

    screen_.ShowRecordBox();
    primer_pedido_ = true;
    store_.set_contador_lineas(0);
    bodega_pedido_.clear();
    valores_ = TValoresRegistro{};

    const std::string ruta = screen_.FileLocation();
    std::error_code error;
    if (ruta.empty()) {
      resumen_.fin = ResumenImportacion::Fin::kSinUbicacion;
      screen_.ShowMessage(kSinUbicacion);
    } else if (!std::filesystem::exists(ruta, error) ||
               std::filesystem::is_directory(ruta, error)) {
      // A folder is not a file to import, whatever the reader would make of it.
      resumen_.fin = ResumenImportacion::Fin::kNoEncontrado;
      screen_.ShowMessage(kNoEncontrado);
    } else {
      LeaArchivo(ruta);
    }
  } catch (const Failure& falla_de_la_corrida) {
    // The group's orders are whole: they are committed before the run ends,
    // unless the failure took the connection with it.
    std::string texto = falla_de_la_corrida.what();
    try {
      ConfirmeGrupo();
    } catch (const Failure& confirmacion) {
      texto = ConPunto(texto) + "\n" + confirmacion.what();
    }
    resumen_.fin = ResumenImportacion::Fin::kFalla;
    resumen_.falla = texto;
    resumen_.registros_interrumpidos = registros_pedido_;
    if (observador_) observador_->AlInterrumpirse(resumen_.falla, registros_pedido_);
    if (!leyendo_) throw;
    // The operator has to find the line to mend in the file; the reader
    // names the line in its own failures.
    const std::string linea =
        linea_en_falta_ > 0 ? "Línea " + std::to_string(linea_en_falta_) + ": " : std::string();
    // Orders written before the failure stay written: the operator must
    // know before feeding the same file again.
    throw Failure(linea + ConPunto(texto) + "\n" +
                  FormatText(simulacion_ ? kYaGrabadosSimulacion : kYaGrabados,
                             {std::to_string(resumen_.pedidos_grabados)}) +
                  LineasDescartados());
  }

  screen_.HideStatus();
  screen_.CloseWindow();
}

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

void ImportRun::Descarte(PedidoDescartado descartado) {
  if (observador_) Avise([this, descartado] { observador_->AlDescartarPedido(descartado); });
  resumen_.pedidos_descartados.push_back(std::move(descartado));
}

std::string ImportRun::LineasDescartados() const {
  std::string lineas;
  for (const PedidoDescartado& d : resumen_.pedidos_descartados) {
    lineas += '\n';
    lineas += FormatText(kPedidoNoGrabado, {d.prefijo, d.numero, OneLine(d.motivo)});
  }
  return lineas;
}

}  // namespace imp
