#include "import/import_run.h"

#include <filesystem>
#include <system_error>

#include "db/dialogs.h"
#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/run_messages.h"
#include "import/screen.h"
#include "values/control_text.h"
#include "values/conversions.h"
#include "values/failure.h"

namespace imp {

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

std::string ImportRun::LineasDescartados() const {
  std::string lineas;
  for (const PedidoDescartado& d : resumen_.pedidos_descartados) {
    lineas += '\n';
    lineas += FormatText(kPedidoNoGrabado, {d.prefijo, d.numero, OneLine(d.motivo)});
  }
  return lineas;
}

}  // namespace imp
