#include "batch/batch_inputs.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "values/failure.h"

namespace imp {

std::string SettingsPath(const BatchOptions& options,
                         const InstallDirectoryLookup& install_directory, Dialogs& terminal) {
  if (!options.settings.empty()) return options.settings;
  return (install_directory ? install_directory(terminal) : std::string()) + "/settings.conf";
}

SettingsFile ReadBatchSettings(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || !std::ifstream(path, std::ios::binary)) {
    throw Failure("No se pudo leer el archivo de configuración " + path);
  }
  SettingsFile settings = SettingsFile::Read(path);
  if (settings.user.empty() || settings.password.empty() || settings.company.empty()) {
    throw Failure("El archivo de configuración " + path +
                  " no indica usuario (línea 2), clave (línea 3) y compañía (línea 4)");
  }
  return settings;
}

std::optional<int64_t> SecondsSinceModified(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  const auto modified = std::chrono::system_clock::from_time_t(status.st_mtim.tv_sec);
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() -
                                                          modified)
      .count();
}

int64_t FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<int64_t>(size);
}

}  // namespace imp
