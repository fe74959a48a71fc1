#pragma once
// Connecting to a company, the same way from the window (CiaExit) and from
// batch mode: the company's database is norvela.fdb in the company's folder
// under "datos" on the server, opened with the user and password given and
// the texts' encoding as the connection's character set. The layout source
// set CImporinv is then read over that connection.

#include <string>

#include "db/query_set.h"
#include "values/regional_settings.h"
#include "values/text_encoding.h"

namespace imp {

class Connection;

// What names a company connection: the four values of settings.conf (or of
// the window's four fields).
struct CompanyConnection {
  std::string server;
  std::string user;
  std::string password;
  std::string company;

  // "<server>/datos/<company>/norvela.fdb".
  std::string Database() const;

  // The status shown while the connection opens.
  std::string ConnectingCaption() const;

  // Closes `norvela` and gives it this company's database, user, password
  // and `encoding` as its character set; opening it is the caller's (the
  // window keeps painting meanwhile, batch mode sets its time-outs first).
  void Prepare(Connection& norvela, TextEncoding encoding) const;
};

// The layout source set over `norvela`: "CImporinv" with its four declared
// fields; LoadImportLayout gives it the statement it runs.
QuerySet LayoutSourceSet(Connection& norvela, const RegionalSettings& rs,
                         std::string design_sql = {});

}  // namespace imp
