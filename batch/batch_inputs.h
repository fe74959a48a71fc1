#pragma once
// What batch mode reads before it connects: the settings file (named on
// the command line or the install directory's) and the order file's age
// and size.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "batch/batch_options.h"
#include "session/settings_file.h"

namespace imp {

class Dialogs;

// Finds the install directory, reporting its absence on the dialogs given
// (as the window does in a box).
using InstallDirectoryLookup = std::function<std::string(Dialogs&)>;

// The settings file named on the command line, or settings.conf of the
// install directory that `install_directory` finds (none: an empty
// directory), reporting on `terminal`.
std::string SettingsPath(const BatchOptions& options,
                         const InstallDirectoryLookup& install_directory, Dialogs& terminal);

// The settings at `path`. The window passes silently over a settings file
// it cannot read and lets the operator type the values; with nobody to type
// them, batch mode stops: a Failure when the file cannot be read or lacks
// the user, password or company.
SettingsFile ReadBatchSettings(const std::string& path);

// Seconds since `path` was last modified; none when it cannot be read.
std::optional<int64_t> SecondsSinceModified(const std::string& path);

// The size of `path` in bytes; 0 when it cannot be read.
int64_t FileSize(const std::string& path);

}  // namespace imp
