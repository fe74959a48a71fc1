#include "app/batch_mode.h"

#include <unistd.h>

#include <QLocale>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch_connect.h"
#include "app/batch_dry_run.h"
#include "app/batch_inputs.h"
#include "app/batch_observers.h"
#include "app/batch_options.h"
#include "app/batch_rejects.h"
#include "app/batch_report.h"
#include "app/batch_run_info.h"
#include "app/batch_signals.h"
#include "app/batch_summary.h"
#include "app/batch_terminal.h"
#include "app/company_connection.h"
#include "app/locale_regional_settings.h"
#include "app/settings_file.h"
#include "db/connection.h"
#include "db/importer_presence.h"
#include "db/order_store.h"
#include "db/query_set.h"
#include "db/tfdm.h"
#include "import/carga_importacion.h"
#include "import/import_run.h"
#include "import/importacion.h"
#include "values/control_text.h"
#include "values/failure.h"
#include "values/message_text.h"

namespace imp {
namespace {

constexpr char kPrograma[] = "importa-pedidos";

// Writes `texto` and a line end with one call, so that a message of the
// signal watcher never lands inside one of the run's.
void Escriba(std::FILE* f, const std::string& texto) {
  const std::string linea = texto + "\n";
  std::fwrite(linea.data(), 1, linea.size(), f);
  std::fflush(f);
}

int ErrorDeUso(const std::string& texto) {
  Escriba(stderr, std::string(kPrograma) + ": " + texto);
  Escriba(stderr, std::string("Pruebe '") + kPrograma + " --help'.");
  return kBatchUso;
}

constexpr char kSimulacion[] =
    "Simulación (--dry-run): cada pedido se graba en una transacción que se deshace al final.";
constexpr char kSimulacionFin[] = "Simulación terminada: se deshizo todo; nada quedó grabado.";

const char* FinInforme(ResumenImportacion::Fin fin) {
  using Fin = ResumenImportacion::Fin;
  switch (fin) {
    case Fin::kCompleta: return "completa";
    case Fin::kSinUbicacion: return "sin_archivo";
    case Fin::kNoEncontrado: return "no_encontrado";
    case Fin::kNoSePudoAbrir: return "no_se_pudo_abrir";
    case Fin::kFalla: return "falla";
    case Fin::kDetenida: return "detenida";
    case Fin::kEnCurso: return "en_curso";
  }
  return "falla";
}

// How often the report is rewritten while the run goes on.
constexpr auto kReescrituraInforme = std::chrono::milliseconds(1000);


int Corra(const BatchOptions& options) {
  const bool terminal = isatty(STDERR_FILENO) == 1;
  BatchTerminal pantalla(stderr, terminal, options.order_file,
                         options.fecha.value_or(Date::Today()));

  BatchRunInfo corrida;
  corrida.file = options.order_file;
  corrida.started = IsoTime(std::chrono::system_clock::now());

  // The outputs are made first: a file that cannot be written, or one that
  // would overwrite an input, is the caller's to fix before anything is
  // imported.
  const std::string ruta_configuracion = RutaConfiguracion(options, pantalla);
  try {
    CheckOutputFiles(options, ruta_configuracion);
  } catch (const BatchUsageError& error) {
    return ErrorDeUso(error.what());
  }
  if (options.estable) {
    // A file still being written by the other application is left for the
    // next run.
    if (const std::optional<int64_t> hace = SegundosDesdeQueCambio(options.order_file);
        hace && *hace < *options.estable) {
      Escriba(stderr, "El archivo " + EscapeControls(options.order_file) + " se modificó hace " +
                          std::to_string(*hace) + " s, menos de los " +
                          std::to_string(*options.estable) +
                          " s de --estable: puede estar escribiéndose todavía. No se importó.");
      return kBatchUso;
    }
  }
  std::optional<BatchRejects> rechazos;
  std::optional<BatchReport> informe;
  try {
    if (!options.rejects.empty()) rechazos.emplace(options.order_file, options.rejects);
    if (!options.report.empty()) {
      informe.emplace();
      informe->set_simulacion(options.dry_run);
      informe->Escriba(options.report, {options.dry_run, corrida, "en_curso", "", -1, 0});
    }
  } catch (const Failure& falla) {
    Escriba(stderr, WithFinalPeriod(falla.what()));
    return kBatchUso;
  }

  BatchSummary resumen;
  resumen.set_simulacion(options.dry_run);
  resumen.set_omitir_existentes(options.skip_existing);
  Observadores observadores;
  observadores.Agregue(&resumen);
  if (rechazos) observadores.Agregue(&*rechazos);
  if (informe) observadores.Agregue(&*informe);

  // The signals: the first asks the run (once there is one) to stop between
  // orders; a second ends the process at once, with the records as they
  // stand after the last event (the database rolls back an order it was
  // writing, never keeps half of one); meanwhile the report is rewritten
  // whenever the run settled something since its last rewrite.
  std::atomic<ImportRun*> en_marcha{nullptr};
  bool cerrada = false;  // the closing records are written (under the lock)
  auto informe_en_curso = [&](const std::string& fin, const std::string& falla, int estado) {
    BatchReport::Cierre cierre{options.dry_run, corrida, fin, falla, estado, -1};
    informe->Escriba(options.report, cierre);
  };
  BatchSignals senales(
      [&](int senal) {
        const std::lock_guard<std::mutex> bajo(observadores.cerrojo());
        corrida.signal = senal;
        if (ImportRun* run = en_marcha.load()) run->RequestStop();
        Escriba(stderr, std::string(terminal ? "\r\033[K" : "") + "Señal " + SignalName(senal) +
              " recibida: la importación se detiene al terminar el pedido en curso (otra señal "
              "la termina de inmediato).");
      },
      [&](int senal) {
        std::unique_lock<std::mutex> bajo(observadores.cerrojo());
        if (cerrada) return;  // the run has ended already: nothing to cut short
        const std::string texto =
            "Segunda señal (" + SignalName(senal) +
            "): la importación terminó de inmediato. El pedido que se estaba grabando quedó "
            "grabado entero o no quedó; vuelva a importar el archivo completo con --skip-existing.";
        Escriba(stderr, std::string(terminal ? "\r\033[K" : "") + texto);
        if (informe) {
          try {
            corrida.ended = IsoTime(std::chrono::system_clock::now());
            informe_en_curso("interrumpida", texto, 128 + senal);
          } catch (...) {
            // Ending at once was asked for: nothing more to try.
          }
        }
        std::_Exit(128 + senal);
      },
      [&] {
        if (!informe) return;
        const std::lock_guard<std::mutex> bajo(observadores.cerrojo());
        if (cerrada || !informe->cambiado()) return;
        try {
          informe_en_curso("en_curso", "", -1);
        } catch (const Failure&) {
          // Tried again at the next tick; the end of the run reports it.
        }
      },
      kReescrituraInforme);

  // Ends a run that imported nothing: the whole file is still to import.
  auto sin_importar = [&](int estado, const std::string& falla, const char* fin) {
    Escriba(stderr, EscapeControls(WithFinalPeriod(falla)));
    const std::lock_guard<std::mutex> bajo(observadores.cerrojo());
    cerrada = true;
    try {
      if (rechazos) {
        rechazos->AlInterrumpirse(falla, {});
        rechazos->Termine();
      }
      if (informe) {
        corrida.ended = IsoTime(std::chrono::system_clock::now());
        informe->Escriba(options.report, {options.dry_run, corrida, fin, falla, estado, 0});
      }
    } catch (const Failure& f) {
      Escriba(stderr, WithFinalPeriod(f.what()));
    }
    return estado;
  };

  // Settings and connection: any trouble here is the caller's to fix
  // before running again, and nothing has been imported.
  SettingsFile settings;
  try {
    settings = LeaConfiguracion(ruta_configuracion);
  } catch (const Failure& falla) {
    return sin_importar(kBatchUso, falla.what(), "sin_conexion");
  }
  const CompanyConnection company{settings.servidor, settings.usuario, settings.clave,
                                  settings.compania};
  const std::string base = company.Database();
  {
    const std::lock_guard<std::mutex> bajo(observadores.cerrojo());
    corrida.company = settings.compania;
    corrida.database = WithoutPassword(base, settings.clave);
    corrida.user = settings.usuario;
  }

  // The file's format where the command line states it; the regional
  // settings for the rest.
  const RegionalSettings rs = options.formato.ApplyTo(RegionalSettingsFromLocale(QLocale::system()));
  Tfdm fdm;
  fdm.set_dialogs(&pantalla);
  fdm.set_regional_settings(rs);
  if (rechazos) rechazos->set_require_utf8(rs.text_encoding == TextEncoding::kUtf8);

  pantalla.ShowStatus(company.ConnectingCaption());
  try {
    ConecteCompania(fdm.Norvela, company, rs.text_encoding, options);
  } catch (const Failure& falla) {
    return sin_importar(kBatchUso, falla.what(), "sin_conexion");
  }

  // With --skip-existing the check whether an order is written and its
  // write are two statements: a second importer between them could write
  // the same order. Every run that writes says so on its attachment, and a
  // run that skips existing orders does not start beside another.
  if (!options.dry_run) {
    try {
      AnnounceImporter(fdm.Norvela);
      if (options.skip_existing) {
        const std::vector<std::string> otras = OtherImporters(fdm.Norvela);
        if (!otras.empty()) {
          std::string quienes;
          for (const std::string& o : otras) quienes += (quienes.empty() ? "" : ", ") + o;
          return sin_importar(kBatchUso,
                              "Otra importación está grabando en la compañía " +
                                  settings.compania + " (" + quienes +
                                  "): con --skip-existing no se importa a la vez, para no grabar "
                                  "un pedido dos veces. Vuelva a intentarlo cuando termine",
                              "otra_importacion");
        }
        if (!HasOrderKeyIndex(fdm.Norvela)) {
          Escriba(stderr,
                  "Aviso: PEDIDOS no tiene un índice que empiece por PREF_PRE y PEDI_NUMERO; con "
                  "--skip-existing, buscar cada pedido recorre toda la tabla. Créelo, por ejemplo: "
                  "CREATE INDEX IX_PEDIDOS_PREFIJO_NUMERO ON PEDIDOS (PREF_PRE, PEDI_NUMERO);");
        }
      }
    } catch (const Failure& falla) {
      return sin_importar(kBatchFalla, falla.what(), "falla");
    }
  }

  CImportacion importacion;
  QuerySet CImporinv = LayoutSourceSet(fdm.Norvela, rs);
  try {
    cargue_importacion(CImporinv, importacion);
  } catch (const Failure& falla) {
    return sin_importar(kBatchFalla, falla.what(), "falla");
  }

  OrderStore store(fdm);
  // How orders are sent is chosen per transport; IMPORTA_ESCRITURA=filas or
  // bloques fixes it, for measuring one against the other.
  if (const char* escritura = std::getenv("IMPORTA_ESCRITURA")) {
    if (std::string_view(escritura) == "filas") store.set_write_mode(OrderStore::WriteMode::kRows);
    if (std::string_view(escritura) == "bloques") store.set_write_mode(OrderStore::WriteMode::kBlocks);
  }
  ImportRun run(fdm, store, importacion, rs, pantalla, pantalla);
  run.set_observador(&observadores);
  run.set_omitir_existentes(options.skip_existing);
  run.set_pedidos_por_transaccion(options.pedidos_por_transaccion);
  run.set_simulacion(options.dry_run);
  pantalla.set_file_size(TamanoArchivo(options.order_file));
  // From here a signal reaches the run; one that came before stops it
  // before its first record.
  struct Publicada {
    std::atomic<ImportRun*>& en_marcha;
    ~Publicada() { en_marcha.store(nullptr); }
  } publicada{en_marcha};
  en_marcha.store(&run);
  if (senales.received() != 0) run.RequestStop();

  std::optional<Simulacion> simulacion;
  if (options.dry_run) {
    try {
      simulacion.emplace(fdm.Norvela, store);
    } catch (const Failure& falla) {
      return sin_importar(kBatchFalla, falla.what(), "falla");
    }
    Escriba(stderr, kSimulacion);
  }

  const auto inicio = std::chrono::steady_clock::now();
  std::string falla;
  try {
    run.SpeedButton3Click();
  } catch (const Failure& f) {
    falla = f.what();
  }
  const double segundos =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
  simulacion.reset();  // everything the dry run wrote is rolled back here

  // The closing records are written under the lock, so that no rewrite of
  // the report in progress comes after them.
  const std::lock_guard<std::mutex> bajo(observadores.cerrojo());
  corrida.ended = IsoTime(std::chrono::system_clock::now());
  const int senal = corrida.signal;
  const ResumenImportacion::Fin fin = run.resumen().fin;
  pantalla.FinishProgress(fin == ResumenImportacion::Fin::kCompleta);
  if (!falla.empty() || fin == ResumenImportacion::Fin::kFalla) {
    Escriba(stderr, EscapeControls(WithFinalPeriod(falla)));
    // After its wait the server reports a held row as a lock time-out or,
    // for a row being updated, as an update conflict ("deadlock").
    if (options.espera_bloqueo && (falla.find("lock time-out") != std::string::npos ||
                                   falla.find("deadlock") != std::string::npos ||
                                   falla.find("lock conflict") != std::string::npos)) {
      Escriba(stderr, "Se esperó más de " + std::to_string(*options.espera_bloqueo) +
                          " s (--espera-bloqueo) por filas que otra transacción tiene "
                          "bloqueadas; el pedido en curso no se grabó.");
    }
  }
  if (options.dry_run) Escriba(stderr, kSimulacionFin);
  resumen.set_lineas_omitidas(run.resumen().lineas_omitidas);
  resumen.Imprima(stdout, corrida, fin, run.resumen().registros, segundos);

  int estado = kBatchTodoGrabado;
  if (senal != 0) {
    estado = 128 + senal;
  } else if (fin != ResumenImportacion::Fin::kCompleta) {
    estado = kBatchFalla;
  } else if (resumen.algo_sin_importar()) {
    estado = kBatchIncompleta;
  }

  // A run whose outputs could not be completed has not told the caller
  // what it was asked to.
  try {
    if (rechazos) rechazos->Termine();
    if (informe) {
      informe->Escriba(options.report,
                       {options.dry_run, corrida, senal != 0 ? "interrumpida" : FinInforme(fin),
                        run.resumen().falla, estado, run.resumen().registros});
    }
  } catch (const Failure& f) {
    Escriba(stderr, WithFinalPeriod(f.what()));
    if (estado == kBatchTodoGrabado) estado = kBatchIncompleta;
  }
  cerrada = true;
  return estado;
}

}  // namespace

int RunBatch(int argc, char** argv) {
  // Before anything starts a thread: every thread then leaves the signals
  // to the watcher.
  BatchSignals::Block();
  BatchOptions options;
  try {
    options = ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const BatchUsageError& error) {
    return ErrorDeUso(error.what());
  }
  if (options.help) {
    std::fputs(BatchUsage().c_str(), stdout);
    std::fflush(stdout);
    return kBatchTodoGrabado;
  }
  try {
    return Corra(options);
  } catch (const std::exception& falla) {
    // Whatever the import did not foresee still ends the run with its text.
    Escriba(stderr, WithFinalPeriod(falla.what()));
    return kBatchFalla;
  }
}

}  // namespace imp
