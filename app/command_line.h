#pragma once
// What the program's command line asks for, decided before anything needs a
// display: the window takes no arguments of its own (only Qt's standard
// ones, such as "-platform offscreen"), so help, the version, batch mode and
// every mistake are answered on the terminal, never by a window that cannot
// open.

#include <string>
#include <vector>

namespace imp {

enum class StartupAction {
  kWindow,   // open the window
  kBatch,    // batch mode ("--batch"): RunBatch reads the rest
  kHelp,     // "-h" or "--help"
  kVersion,  // "--version"
  kRefuse,   // a mistake: StartupChoice::error says which, exit status 2
};

struct StartupChoice {
  StartupAction action = StartupAction::kWindow;
  std::string error;  // for kRefuse, in the operator's words
};

// Looks at the arguments after the program name. "--version", "-h" and
// "--help" win wherever they stand before "--"; then "--batch"; without it,
// anything but Qt's own options is refused.
StartupChoice ChooseStartup(const std::vector<std::string>& args);

// "--version": the program's version and the Firebird client's, one a line.
std::string VersionText();

// Answers every command line but the window's: help, version, batch mode and
// refusals (the one-line error and a hint at "--help" on standard error).
// Returns the exit status.
int RunWithoutWindow(const StartupChoice& choice, int argc, char** argv);

}  // namespace imp
