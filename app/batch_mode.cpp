#include "app/batch_mode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include <QLocale>
#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/batch_options.h"
#include "app/batch_run_info.h"
#include "app/batch_signals.h"
#include "app/batch_rejects.h"
#include "app/batch_report.h"
#include "app/batch_summary.h"
#include "app/batch_terminal.h"
#include "app/install_directory.h"
#include "app/locale_regional_settings.h"
#include "app/message_boxes.h"
#include "app/settings_file.h"
#include "db/connection.h"
#include "db/firebird.h"
#include "db/importer_presence.h"
#include "db/order_store.h"
#include "db/query_set.h"
#include "db/tfdm.h"
#include "import/load_import_layout.h"
#include "import/import_run.h"
#include "import/importacion.h"
#include "values/control_text.h"
#include "values/failure.h"

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

// The settings file named on the command line, or settings.conf of the
// install directory (whose absence the install-directory lookup reports on
// `terminal`, as the window does in a box).
std::string RutaConfiguracion(const BatchOptions& options, Dialogs& terminal) {
  if (!options.settings.empty()) return options.settings;
  UseSystemConfigDirFromEnvironment();
  return diraplicacion(terminal) + "/settings.conf";
}

// The window passes silently over a settings file it cannot read and lets
// the operator type the values; with nobody to type them, batch mode stops.
SettingsFile LeaConfiguracion(const std::string& ruta) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(ruta, error) || !std::ifstream(ruta, std::ios::binary)) {
    throw Failure("No se pudo leer el archivo de configuración " + ruta);
  }
  SettingsFile settings = SettingsFile::Read(ruta);
  if (settings.usuario.empty() || settings.clave.empty() || settings.compania.empty()) {
    throw Failure("El archivo de configuración " + ruta +
                  " no indica usuario (línea 2), clave (línea 3) y compañía (línea 4)");
  }
  return settings;
}

// Seconds since `ruta` was last modified; none when it cannot be read.
std::optional<int64_t> SegundosDesdeQueCambio(const std::string& ruta) {
  struct stat estado;
  if (::stat(ruta.c_str(), &estado) != 0) return std::nullopt;
  const auto cambio = std::chrono::system_clock::from_time_t(estado.st_mtim.tv_sec);
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - cambio)
      .count();
}

int64_t TamanoArchivo(const std::string& ruta) {
  std::error_code error;
  const auto size = std::filesystem::file_size(ruta, error);
  return error ? 0 : static_cast<int64_t>(size);
}

// Passes each event of the run to every observer, in turn, under a lock
// that whoever reads the records while the run goes on (the report's
// rewrites, an immediate end) takes too: they always see the records
// between two events, never in the middle of one.
class Observadores final : public ImportObserver {
 public:
  void Agregue(ImportObserver* o) {
    if (o) lista_.push_back(o);
  }
  std::mutex& cerrojo() { return cerrojo_; }

  void OnOrderWritten(const OrderWritten& p) override {
    const std::lock_guard<std::mutex> bajo(cerrojo_);
    for (auto* o : lista_) o->OnOrderWritten(p);
  }
  void OnOrderDropped(const OrderDropped& p) override {
    const std::lock_guard<std::mutex> bajo(cerrojo_);
    for (auto* o : lista_) o->OnOrderDropped(p);
  }
  void OnLineDropped(const LineDropped& l) override {
    const std::lock_guard<std::mutex> bajo(cerrojo_);
    for (auto* o : lista_) o->OnLineDropped(l);
  }
  void OnOrderSkipped(const OrderSkipped& p) override {
    const std::lock_guard<std::mutex> bajo(cerrojo_);
    for (auto* o : lista_) o->OnOrderSkipped(p);
  }
  void OnInterrupted(const std::string& f, const std::vector<LinePosition>& r) override {
    const std::lock_guard<std::mutex> bajo(cerrojo_);
    for (auto* o : lista_) o->OnInterrupted(f, r);
  }
  void OnStopped(const LinePosition& p) override {
    const std::lock_guard<std::mutex> bajo(cerrojo_);
    for (auto* o : lista_) o->OnStopped(p);
  }

 private:
  std::mutex cerrojo_;
  std::vector<ImportObserver*> lista_;
};

// A dry run: every order is written in one transaction of the connection
// that is always rolled back (also when the run is left by an exception),
// and the identifiers are stand-ins below every PEDI_ID in the table, so
// the generator does not move and no stand-in meets a real order.
class Simulacion {
 public:
  Simulacion(Connection& conexion, OrderStore& store) : conexion_(conexion) {
    fb::Statement& menor = conexion.Prepared("SELECT MIN(PEDI_ID) FROM PEDIDOS");
    menor.ClearParams();
    const std::vector<fb::Row> filas = conexion.Query(menor);
    int64_t primero = -1;
    if (!filas.empty() && !filas[0].empty() && !filas[0][0].is_null()) {
      primero = std::min<int64_t>(0, filas[0][0].integer) - 1;
    }
    store.UseStandInIds(static_cast<int32_t>(
        std::max<int64_t>(primero, std::numeric_limits<int32_t>::min())));
    conexion.BeginTransaction();
  }
  Simulacion(const Simulacion&) = delete;
  Simulacion& operator=(const Simulacion&) = delete;
  ~Simulacion() {
    try {
      if (conexion_.InTransaction()) conexion_.Rollback();
    } catch (...) {
      // A lost connection took the transaction with it.
    }
  }

 private:
  Connection& conexion_;
};

constexpr char kSimulacion[] =
    "Simulación (--dry-run): cada pedido se graba en una transacción que se deshace al final.";
constexpr char kSimulacionFin[] = "Simulación terminada: se deshizo todo; nada quedó grabado.";

const char* FinInforme(ImportSummary::Outcome fin) {
  using Fin = ImportSummary::Outcome;
  switch (fin) {
    case Fin::kComplete: return "completa";
    case Fin::kNoLocation: return "sin_archivo";
    case Fin::kNotFound: return "no_encontrado";
    case Fin::kCannotOpen: return "no_se_pudo_abrir";
    case Fin::kFailed: return "falla";
    case Fin::kStopped: return "detenida";
    case Fin::kRunning: return "en_curso";
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
  resumen.set_skip_existing(options.skip_existing);
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
        rechazos->OnInterrupted(falla, {});
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
  const std::string base = settings.servidor + "/datos/" + settings.compania + "/norvela.fdb";
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

  pantalla.ShowStatus("Conectando a la base de datos " + settings.compania + " ...");
  const auto conectando = std::chrono::steady_clock::now();
  try {
    Connection& norvela = fdm.Norvela;
    norvela.Close();
    norvela.SetParam("Database", base);
    norvela.SetParam("User_Name", settings.usuario);
    norvela.SetParam("password", settings.clave);
    norvela.SetParam("ServerCharSet", EncodingName(rs.text_encoding));
    norvela.set_connect_timeout(options.espera_conexion);
    if (options.espera_bloqueo) norvela.set_lock_timeout(*options.espera_bloqueo);
    norvela.Open();
  } catch (const Failure& falla) {
    const auto espera = std::chrono::steady_clock::now() - conectando;
    std::string texto = falla.what();
    if (espera >= std::chrono::seconds(options.espera_conexion)) {
      texto = "El servidor no respondió en " + std::to_string(options.espera_conexion) +
              " s (--espera-conexion): no se importó nada.\n" + WithFinalPeriod(texto);
    }
    return sin_importar(kBatchUso, texto, "sin_conexion");
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
  QuerySet CImporinv(fdm.Norvela, rs, "CImporinv", {},
                     {"IMIN_TIPO", "IMIN_DATO", "IMIN_COLUMNA", "IMIN_ANCHO"});
  try {
    LoadImportLayout(CImporinv, importacion);
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
  run.set_observer(&observadores);
  run.set_skip_existing(options.skip_existing);
  run.set_orders_per_transaction(options.pedidos_por_transaccion);
  run.set_dry_run(options.dry_run);
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
  const ImportSummary::Outcome fin = run.summary().outcome;
  pantalla.FinishProgress(fin == ImportSummary::Outcome::kComplete);
  if (!falla.empty() || fin == ImportSummary::Outcome::kFailed) {
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
  resumen.set_lineas_omitidas(run.summary().skipped_lines);
  resumen.Imprima(stdout, corrida, fin, run.summary().records, segundos);

  int estado = kBatchTodoGrabado;
  if (senal != 0) {
    estado = 128 + senal;
  } else if (fin != ImportSummary::Outcome::kComplete) {
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
                        run.summary().failure, estado, run.summary().records});
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
