#include "app/batch_connect.h"

#include <chrono>
#include <string>

#include "db/connection.h"
#include "values/failure.h"
#include "values/message_text.h"

namespace imp {

void ConecteCompania(Connection& norvela, const CompanyConnection& company,
                     TextEncoding encoding, const BatchOptions& options) {
  const auto conectando = std::chrono::steady_clock::now();
  try {
    company.Prepare(norvela, encoding);
    norvela.set_connect_timeout(options.espera_conexion);
    if (options.espera_bloqueo) norvela.set_lock_timeout(*options.espera_bloqueo);
    norvela.Open();
  } catch (const Failure& falla) {
    const auto espera = std::chrono::steady_clock::now() - conectando;
    if (espera < std::chrono::seconds(options.espera_conexion)) throw;
    throw Failure("El servidor no respondió en " + std::to_string(options.espera_conexion) +
                  " s (--espera-conexion): no se importó nada.\n" +
                  WithFinalPeriod(falla.what()));
  }
}

}  // namespace imp
