#pragma once
// What an import run did, in sum: the counts and the few details its closing
// message needs, complete once the run has ended. The events themselves go
// to an ImportObserver as they happen.

#include <cstdint>
#include <string>
#include <vector>

#include "import/import_observer.h"
#include "import/lector_plano.h"

namespace imp {

// Counts and outcome of the last run.
struct ImportSummary {
  enum class Outcome {
    kRunning,     // not ended (or never started)
    kComplete,    // the whole file was read
    kNoLocation,  // no file location given
    kNotFound,    // no file at the location
    kCannotOpen,  // the reader could not open the file
    kFailed,      // a failure ended the run part-way
    kStopped,     // asked to stop, it stopped between two orders
  };

  Outcome outcome = Outcome::kRunning;
  int64_t records = 0;  // records delivered by the reader
  int64_t written_orders = 0;
  int64_t written_lines = 0;  // lines of the written orders
  int64_t dropped_lines = 0;
  int64_t existing_orders = 0;  // skipped: already in the database
  int64_t skipped_lines = 0;    // empty lines, or with every field empty
  std::vector<OrderDropped> dropped_orders;
  std::string failure;                          // the failure's own text
  std::vector<LinePosition> interrupted_lines;  // of the order cut off
  // kStopped: the first record not read (number 0 when the stop came
  // before the first record of a file that had none).
  LinePosition first_unread;
};

}  // namespace imp
