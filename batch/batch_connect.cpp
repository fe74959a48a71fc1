#include "batch/batch_connect.h"

#include <chrono>
#include <string>

#include "session/import_session.h"
#include "values/failure.h"
#include "values/message_text.h"

namespace imp {

void ConnectCompany(ImportSession& session, const CompanyConnection& company,
                    const BatchOptions& options) {
  const auto connecting = std::chrono::steady_clock::now();
  try {
    session.Connect({company, options.connect_wait, options.lock_wait});
  } catch (const Failure& failure) {
    const auto waited = std::chrono::steady_clock::now() - connecting;
    if (waited < std::chrono::seconds(options.connect_wait)) throw;
    throw Failure("El servidor no respondió en " + std::to_string(options.connect_wait) +
                  " s (--espera-conexion): no se importó nada.\n" +
                  WithFinalPeriod(failure.what()));
  }
}

}  // namespace imp
