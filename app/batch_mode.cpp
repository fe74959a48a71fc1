#include "app/batch_mode.h"

#include <unistd.h>

#include <QLocale>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/batch_options.h"
#include "app/batch_summary.h"
#include "app/batch_terminal.h"
#include "app/install_directory.h"
#include "app/locale_regional_settings.h"
#include "app/message_boxes.h"
#include "app/settings_file.h"
#include "db/order_store.h"
#include "db/query_set.h"
#include "db/tfdm.h"
#include "import/carga_importacion.h"
#include "import/import_run.h"
#include "import/importacion.h"
#include "values/failure.h"

namespace imp {
namespace {

constexpr char kPrograma[] = "importa-pedidos";

void Escriba(std::FILE* f, const std::string& texto) {
  std::fwrite(texto.data(), 1, texto.size(), f);
  std::fputc('\n', f);
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

int64_t TamanoArchivo(const std::string& ruta) {
  std::error_code error;
  const auto size = std::filesystem::file_size(ruta, error);
  return error ? 0 : static_cast<int64_t>(size);
}

int Corra(const BatchOptions& options) {
  const bool terminal = isatty(STDERR_FILENO) == 1;
  BatchTerminal pantalla(stderr, terminal, options.order_file,
                         options.fecha.value_or(Date::Today()));

  // Settings and connection: any trouble here is the caller's to fix
  // before running again, and nothing has been imported.
  SettingsFile settings;
  try {
    settings = LeaConfiguracion(RutaConfiguracion(options, pantalla));
  } catch (const Failure& falla) {
    Escriba(stderr, WithFinalPeriod(falla.what()));
    return kBatchUso;
  }

  const RegionalSettings rs = RegionalSettingsFromLocale(QLocale::system());
  Tfdm fdm;
  fdm.set_dialogs(&pantalla);
  fdm.set_regional_settings(rs);

  pantalla.ShowStatus("Conectando a la base de datos " + settings.compania + " ...");
  try {
    Connection& norvela = fdm.Norvela;
    norvela.Close();
    norvela.SetParam("Database", settings.servidor + "/datos/" + settings.compania + "/norvela.fdb");
    norvela.SetParam("User_Name", settings.usuario);
    norvela.SetParam("password", settings.clave);
    norvela.Open();
  } catch (const Failure& falla) {
    Escriba(stderr, WithFinalPeriod(falla.what()));
    return kBatchUso;
  }

  CImportacion importacion;
  QuerySet CImporinv(fdm.Norvela, rs, "CImporinv", {},
                     {"IMIN_TIPO", "IMIN_DATO", "IMIN_COLUMNA", "IMIN_ANCHO"});
  try {
    cargue_importacion(CImporinv, importacion);
  } catch (const Failure& falla) {
    Escriba(stderr, WithFinalPeriod(falla.what()));
    return kBatchFalla;
  }

  OrderStore store(fdm);
  ImportRun run(fdm, store, importacion, rs, pantalla, pantalla);
  BatchSummary resumen;
  run.set_observador(&resumen);
  pantalla.set_file_size(TamanoArchivo(options.order_file));

  const auto inicio = std::chrono::steady_clock::now();
  std::string falla;
  try {
    run.SpeedButton3Click();
  } catch (const Failure& f) {
    falla = f.what();
  }
  const double segundos =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();

  const ResumenImportacion::Fin fin = run.resumen().fin;
  pantalla.FinishProgress(fin == ResumenImportacion::Fin::kCompleta);
  if (!falla.empty() || fin == ResumenImportacion::Fin::kFalla) {
    Escriba(stderr, WithFinalPeriod(falla));
  }
  resumen.Imprima(stdout, fin, run.resumen().registros, segundos);

  if (fin != ResumenImportacion::Fin::kCompleta) return kBatchFalla;
  return resumen.algo_sin_importar() ? kBatchIncompleta : kBatchTodoGrabado;
}

}  // namespace

int RunBatch(int argc, char** argv) {
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
