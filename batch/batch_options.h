#pragma once
// The command line of batch mode, the unattended import. Its synopsis is
// BatchUsage()'s first lines; the manual page and the README show the same
// options in the same order.
//
// Options are looked up in one table (name, whether it takes a value, what
// it sets), so a new option is one row and one field. A value may follow as
// the next argument or after "=" ("--fecha=2026-01-15"); "--" ends the
// options.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "values/date.h"
#include "values/file_format.h"

namespace imp {

struct BatchOptions {
  bool batch = false;
  bool help = false;
  std::string settings;        // settings file; empty: the install directory's
  std::optional<Date> date;    // fallback order date; none: today
  bool dry_run = false;        // everything rolled back, no identifier drawn
  std::string rejects;         // file for the lines not imported (+ ".log"); empty: none
  bool skip_existing = false;  // orders already in PEDIDOS are not written again
  std::string report;          // JSON report of the run; empty: none
  // Seconds: a file modified less than this long ago is not imported (it
  // may still be being written); none: no such check.
  std::optional<int> stable_seconds;
  // Seconds a transaction waits for a row another one holds; none: it
  // waits as long as it takes.
  std::optional<int> lock_wait;
  // Orders committed together in one transaction, each still all or
  // nothing; 1: each order commits on its own.
  int orders_per_transaction = 1;
  bool orders_per_transaction_given = false;
  FileFormat file_format;  // the file's numbers and dates, where stated
  int connect_wait = 30;   // seconds to wait for the server to answer
  bool connect_wait_given = false;
  std::string order_file;
};

// A command line that cannot be run; what() says why, in the operator's
// words.
class BatchUsageError : public std::runtime_error {
 public:
  explicit BatchUsageError(const std::string& text) : std::runtime_error(text) {}
};

// Reads the arguments after the program name. With "--help" or "-h" anywhere the
// rest is not checked. Otherwise requires "--batch" and exactly one order
// file; an unknown or repeated option, a missing value or a date that is not
// a real YYYY-MM-DD date raise BatchUsageError.
BatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// Refuses (BatchUsageError) outputs that would overwrite the order file,
// the settings file at `settings_path` (empty: none known yet) or each
// other, and output paths that are a symbolic link or not a regular file.
// ParseBatchOptions checks against the settings named on the command line;
// batch mode checks again against the install directory's.
void CheckOutputFiles(const BatchOptions& options, const std::string& settings_path);

// The "--help" text.
std::string BatchUsage();

// An option of the command line: its name and whether it takes a value.
struct BatchOptionName {
  std::string name;
  bool takes_value = false;
};

// Every option ParseBatchOptions takes, in the synopsis's order.
std::vector<BatchOptionName> BatchOptionTable();

// "YYYY-MM-DD" as a date, independent of the regional settings; nothing for
// any other form or a date that does not exist.
std::optional<Date> ParseIsoDate(const std::string& text);

}  // namespace imp
