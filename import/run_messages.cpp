#include "import/run_messages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace imp {

std::string EndWithPeriod(std::string text) {
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

std::string CannotOpenCause(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    return "\nEl archivo " + path + " no se pudo abrir: " + std::strerror(errno) + ".";
  }
  if (!S_ISREG(status.st_mode)) return "\nEl archivo " + path + " no es un archivo regular.";
  if (::access(path.c_str(), R_OK) != 0) {
    return "\nNo hay permiso para leer el archivo " + path + ".";
  }
  return "\nOtro programa tiene bloqueado el archivo " + path + ".";
}

}  // namespace imp
