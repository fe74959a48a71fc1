#pragma once
// A company database created fresh from schema/ for one test, laid out as a
// real installation: <server>/datos/<company>/norvela.fdb, where <server> is
// a new temporary folder. The folder is removed when the object goes away.

#include <string>
#include <vector>

#include "db/connection.h"
#include "tests/support/temp_folder.h"

namespace imp::testing {

class FreshDatabase {
 public:
  // Creates the database with schema/create_db.sh, with the demo data when
  // `demo` is true and `charset` as its default character set. Fails the
  // test (ADD_FAILURE and an exception) when the script fails.
  explicit FreshDatabase(bool demo = false, std::string company = "prueba",
                         const std::string& charset = "NONE");
  FreshDatabase(const FreshDatabase&) = delete;
  FreshDatabase& operator=(const FreshDatabase&) = delete;

  // The folder playing the server part of the database string.
  const std::string& server() const { return server_; }
  const std::string& company() const { return company_; }
  // The database string: server + "/datos/" + company + "/norvela.fdb".
  const std::string& path() const { return path_; }

  // Runs SQL statements (each ended by ";") through isql and commits them,
  // over a connection of character set `charset` (the encoding of `sql`).
  // Throws imp::Failure with isql's output when a statement fails.
  void Exec(const std::string& sql, const std::string& charset = "NONE") const;

  // The rows `sql` (one SELECT) gives through isql, one line each without
  // headings or trailing blanks, over a connection of character set
  // `charset`. `database` and `password` reach the same file another way
  // (a server's "host/port:path"); empty: the file itself, embedded.
  std::vector<std::string> Query(const std::string& sql, const std::string& charset,
                                 const std::string& database = "",
                                 const std::string& password = "masterkey") const;

  // Points `connection` at this database as SYSDBA (Database, User_Name,
  // password) without opening it.
  void Configure(Connection& connection) const;

 private:
  TempFolder folder_;
  std::string server_;
  std::string company_;
  std::string path_;
};

// Absolute path of a file of the source tree.
std::string SourcePath(const std::string& relative);

}  // namespace imp::testing
