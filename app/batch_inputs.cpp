#include "app/batch_inputs.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/install_directory.h"
#include "values/failure.h"

namespace imp {

std::string RutaConfiguracion(const BatchOptions& options, Dialogs& terminal) {
  if (!options.settings.empty()) return options.settings;
  UseSystemConfigDirFromEnvironment();
  return diraplicacion(terminal) + "/settings.conf";
}

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

}  // namespace imp
