#include "app/batch_connect.h"

#include <chrono>
#include <string>

#include "db/connection.h"
#include "values/failure.h"
#include "values/message_text.h"

namespace imp {

void ConnectCompany(Connection& norvela, const CompanyConnection& company, TextEncoding encoding,
                    const BatchOptions& options) {
  const auto connecting = std::chrono::steady_clock::now();
  try {
    company.Prepare(norvela, encoding);
    norvela.set_connect_timeout(options.connect_wait);
    if (options.lock_wait) norvela.set_lock_timeout(*options.lock_wait);
    norvela.Open();
  } catch (const Failure& failure) {
    const auto waited = std::chrono::steady_clock::now() - connecting;
    if (waited < std::chrono::seconds(options.connect_wait)) throw;
    throw Failure("El servidor no respondió en " + std::to_string(options.connect_wait) +
                  " s (--espera-conexion): no se importó nada.\n" +
                  WithFinalPeriod(failure.what()));
  }
}

}  // namespace imp
