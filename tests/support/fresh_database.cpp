#include "tests/support/fresh_database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "values/failure.h"

namespace imp::testing {
namespace {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

// Runs a shell command; returns its exit status and puts stdout+stderr in
// `output`.
int Run(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string SourcePath(const std::string& relative) {
  return std::string(IMPORTA_SOURCE_DIR) + "/" + relative;
}

FreshDatabase::FreshDatabase(bool demo, std::string company, const std::string& charset)
    : company_(std::move(company)) {
  std::string pattern = (std::filesystem::temp_directory_path() / "importa-db-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw Failure("cannot create a temporary folder");
  server_ = name.data();
  path_ = server_ + "/datos/" + company_ + "/norvela.fdb";
  std::string output;
  std::string command = ShellQuote(SourcePath("schema/create_db.sh")) + " " + ShellQuote(path_) +
                        (demo ? "" : " --no-demo") + " --charset " + ShellQuote(charset);
  if (Run(command, output) != 0) {
    std::filesystem::remove_all(server_);
    ADD_FAILURE() << "create_db.sh failed:\n" << output;
    throw Failure("create_db.sh failed: " + output);
  }
}

FreshDatabase::~FreshDatabase() {
  std::error_code ignored;
  std::filesystem::remove_all(server_, ignored);
}

void FreshDatabase::Exec(const std::string& sql, const std::string& charset) const {
  std::string script = server_ + "/fixture.sql";
  {
    std::ofstream out(script, std::ios::binary | std::ios::trunc);
    out << "SET BAIL ON;\n" << sql << "\nCOMMIT;\n";
  }
  std::string output;
  int status = Run("isql-fb -q -bail -m -user SYSDBA -ch " + ShellQuote(charset) + " -i " +
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
      Run("isql-fb -q -m -user SYSDBA -password " + ShellQuote(password) + " -ch " +
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
