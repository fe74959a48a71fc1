#include "tests/support/fresh_database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/shell_command.h"
#include "values/failure.h"

namespace imp::testing {
std::string SourcePath(const std::string& relative) {
  return std::string(IMPORTA_SOURCE_DIR) + "/" + relative;
}

FreshDatabase::FreshDatabase(bool demo, std::string company, const std::string& charset)
    : folder_("importa-db"), server_(folder_.path()), company_(std::move(company)) {
  path_ = server_ + "/datos/" + company_ + "/norvela.fdb";
  std::string output;
  std::string command = ShellQuote(SourcePath("schema/create_db.sh")) + " " + ShellQuote(path_) +
                        (demo ? "" : " --no-demo") + " --charset " + ShellQuote(charset);
  if (RunShellCommand(command, output) != 0) {
    ADD_FAILURE() << "create_db.sh failed:\n" << output;
    throw Failure("create_db.sh failed: " + output);
  }
}

void FreshDatabase::Exec(const std::string& sql, const std::string& charset) const {
  std::string script = server_ + "/fixture.sql";
  {
    std::ofstream out(script, std::ios::binary | std::ios::trunc);
    out << "SET BAIL ON;\n" << sql << "\nCOMMIT;\n";
  }
  std::string output;
  int status = RunShellCommand("isql-fb -q -bail -m -user SYSDBA -ch " + ShellQuote(charset) + " -i " +
                       ShellQuote(script) + " " +
                       ShellQuote(path_) + " </dev/null",
                   output);
  std::filesystem::remove(script);
  if (status != 0 || output.find("Statement failed") != std::string::npos ||
      output.find("SQLSTATE") != std::string::npos)
    throw Failure("fixture SQL failed: " + output);
}

std::vector<std::string> FreshDatabase::Query(const std::string& sql, const std::string& charset,
                                             const std::string& database,
                                             const std::string& password) const {
  const std::string script = server_ + "/query.sql";
  {
    std::ofstream out(script, std::ios::binary | std::ios::trunc);
    out << "SET HEADING OFF;\n" << sql << "\n";
  }
  std::string output;
  const int status =
      RunShellCommand("isql-fb -q -m -user SYSDBA -password " + ShellQuote(password) + " -ch " +
              ShellQuote(charset) + " -i " + ShellQuote(script) + " " +
              ShellQuote(database.empty() ? path_ : database) + " </dev/null",
          output);
  std::filesystem::remove(script);
  if (status != 0 || output.find("Statement failed") != std::string::npos ||
      output.find("SQLSTATE") != std::string::npos)
    throw Failure("query failed: " + output);
  std::vector<std::string> rows;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    line.erase(line.find_last_not_of(' ') + 1);
    if (!line.empty()) rows.push_back(line);
  }
  return rows;
}

void FreshDatabase::Configure(Connection& connection) const {
  connection.SetParam("Database", path_);
  connection.SetParam("User_Name", "SYSDBA");
  connection.SetParam("password", "masterkey");
}

}  // namespace imp::testing

// The Firebird client keeps a few process-wide allocations (its big-number
// and character-conversion tables) until exit; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfbclient.so\n"; }
