#pragma once
// Batch mode: the import without a window, for scheduled and scripted runs.
// It reads the connection values from a settings file, connects and loads
// the company's layout as the window does, runs the same import, writes the
// run's messages to standard error and a summary to standard output, and
// says how it went in the exit status. No QApplication is needed.

#include "batch/batch_inputs.h"
#include "values/regional_settings.h"

namespace imp {

// Exit statuses of batch mode.
enum BatchExit : int {
  kBatchAllWritten = 0,  // every order and every line written
  kBatchFailure = 1,     // a failure ended the run (its text on stderr)
  kBatchUsage = 2,       // bad usage, unreadable settings, no connection
  kBatchIncomplete = 3,  // the run finished, but an order or a line was not imported
};

// What batch mode takes from the program that starts it, so that it needs
// no front end's library: the user's regional settings (read off the
// locale; the command line's file format applies over them) and how to find
// the install directory, whose settings.conf is used when the command line
// names none.
struct BatchEnvironment {
  RegionalSettings regional_settings;
  InstallDirectoryLookup install_directory;  // none: an empty directory
};

// Runs batch mode (or prints its help) for the program's command line and
// returns the exit status.
int RunBatch(int argc, char** argv, const BatchEnvironment& environment = {});

}  // namespace imp
