#pragma once
// Batch mode's connection to the company: as the window's, with the time
// the server has to answer (--espera-conexion) and the wait for rows other
// transactions hold (--espera-bloqueo).

#include "batch/batch_options.h"
#include "session/company_connection.h"

namespace imp {

class ImportSession;

// Connects `session` to `company`. Its failure is raised as a Failure; when
// the server did not answer within --espera-conexion, the text says so
// first, then gives the server's reason.
void ConnectCompany(ImportSession& session, const CompanyConnection& company,
                    const BatchOptions& options);

}  // namespace imp
