#include "import/run_messages.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace imp {

std::string ConPunto(std::string texto) {
  if (!texto.empty() && static_cast<unsigned char>(texto.back()) > '.') texto += '.';
  return texto;
}

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

}  // namespace imp
