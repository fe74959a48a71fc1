#include "session/company_connection.h"

#include <utility>

#include "db/connection.h"

namespace imp {

std::string CompanyConnection::Database() const {
  return server + "/datos/" + company + "/norvela.fdb";
}

std::string CompanyConnection::ConnectingCaption() const {
  return "Conectando a la base de datos " + company + " ...";
}

void CompanyConnection::Prepare(Connection& norvela, TextEncoding encoding) const {
  norvela.Close();
  norvela.SetParam("Database", Database());
  norvela.SetParam("User_Name", user);
  norvela.SetParam("password", password);
  norvela.SetParam("ServerCharSet", EncodingName(encoding));
}

QuerySet LayoutSourceSet(Connection& norvela, const RegionalSettings& rs, std::string design_sql) {
  return QuerySet(norvela, rs, "CImporinv", std::move(design_sql),
                  {"IMIN_TIPO", "IMIN_DATO", "IMIN_COLUMNA", "IMIN_ANCHO"});
}

}  // namespace imp
