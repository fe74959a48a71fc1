#pragma once
// A shell command run to its end, for the tools the tests drive (the
// database scripts, isql, gfix): what it said and how it ended.

#include <string>

namespace imp::testing {

// Runs `command` through the shell with its standard error joined to its
// output; returns its exit status (-1 when it did not exit normally) and
// puts what it wrote in `output`.
int RunShellCommand(const std::string& command, std::string& output);

// `text` quoted for the shell, whatever it holds.
std::string ShellQuote(const std::string& text);

}  // namespace imp::testing
