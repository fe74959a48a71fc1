#pragma once
// Runs a program as a subprocess with extra environment variables and
// collects its exit status, standard output and standard error: either into
// separate pipes-to-files, or with standard error on a pseudo-terminal (so
// that the program sees a terminal there).

#include <string>
#include <utility>
#include <vector>

namespace imp::testing {

struct ProcessResult {
  int status = -1;   // exit status; -1 when it did not exit normally
  std::string out;   // standard output
  std::string err;   // standard error (with a terminal: what the terminal got)
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs `program` with `args` (not counting argv[0]) in `folder`, the parent's
// environment plus `env` (which replaces variables of the same name).
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const Environment& env, const std::string& folder);

// Same, with standard error (and standard input) on a new pseudo-terminal;
// standard output still goes to a file.
ProcessResult RunProcessOnTerminal(const std::string& program,
                                   const std::vector<std::string>& args,
                                   const Environment& env, const std::string& folder);

}  // namespace imp::testing
