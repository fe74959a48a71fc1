#pragma once
// Batch mode's connection to the company: as the window's, with the time
// the server has to answer (--espera-conexion) and the wait for rows other
// transactions hold (--espera-bloqueo).

#include "app/batch_options.h"
#include "app/company_connection.h"

namespace imp {

class Connection;

// Opens `norvela` for `company`. Its failure is raised as a Failure; when
// the server did not answer within --espera-conexion, the text says so
// first, then gives the server's reason.
void ConnectCompany(Connection& norvela, const CompanyConnection& company, TextEncoding encoding,
                    const BatchOptions& options);

}  // namespace imp
