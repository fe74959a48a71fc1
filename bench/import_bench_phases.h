#pragma once
// The phases of the import benchmark, each run in a process of its own:
// building the company database, the import of the order file (as an
// unattended run drives it) and the raw-insert baseline.

#include <string>
#include <vector>

namespace imp::bench {

// Creates the demo company from schema/ at `path` (embedded) and adds the
// generated articles, customers and price lists.
void CreateCompany(const std::string& path);

// Runs the phase that `args` ("--phase import|baseline" and its options)
// names and prints its "RESULT name=value ..." line; returns the exit code.
int RunChildPhase(const std::vector<std::string>& args);

}  // namespace imp::bench
