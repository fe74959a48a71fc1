#pragma once
// What an import run did, event by event: the run reports each event to an
// observer as it happens, so that an unattended run can write it out without
// holding it. The counts and the few details the closing message needs are
// kept in ImportSummary.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "import/lector_plano.h"
#include "values/currency.h"

namespace imp {

// An order written to the database.
struct OrderWritten {
  std::string prefix;    // PREF_PRE as written
  std::string number;    // PEDI_NUMERO as written
  std::string order_id;  // PEDI_ID, the identifier drawn for it
  int32_t lines = 0;
  std::optional<Currency> vat;           // PEDI_IVAMONTO; none when no line had one
  std::optional<Currency> total;         // PEDI_TOTAL; likewise
  std::vector<LinePosition> file_lines;  // the file lines it came from
};

// An order the database refused (or the file's own state made
// unwritable): nothing of it was written.
struct OrderDropped {
  std::string prefix;
  std::string number;
  std::string reason;                    // the database's failure text
  std::vector<LinePosition> file_lines;  // the file lines it came from
  std::string order_id;                  // the identifier drawn for it (given up)
  int32_t lines = 0;
  std::optional<Currency> vat;
  std::optional<Currency> total;
  // Refused before the database saw it, for what the file holds (a last
  // line cut off), not by the database.
  bool by_file = false;
};

// An order not written because one with its document type, prefix and
// number was already in the database (runs that skip existing orders).
struct OrderSkipped {
  std::string prefix;
  std::string number;
  std::string order_id;  // the identifier of the order already written
  int32_t lines = 0;     // lines this run read for it
  std::optional<Currency> vat;
  std::optional<Currency> total;
  std::vector<LinePosition> file_lines;
  // Written earlier in this same trial run (a dry run): `order_id` is a
  // stand-in that no real run would give it.
  bool in_this_trial = false;
};

// A record whose line was left out of its order (article not valid).
struct LineDropped {
  LinePosition position;
  std::string reason;
};

// Receives the events of a run; every method does nothing by default.
class ImportObserver {
 public:
  virtual ~ImportObserver() = default;
  virtual void OnOrderWritten(const OrderWritten&) {}
  virtual void OnOrderDropped(const OrderDropped&) {}
  virtual void OnLineDropped(const LineDropped&) {}
  virtual void OnOrderSkipped(const OrderSkipped&) {}
  // A failure ended the run: its text and the file lines of the order it
  // cut off (not written), the record that failed last.
  virtual void OnInterrupted(const std::string& /*failure*/,
                             const std::vector<LinePosition>& /*file_lines*/) {}
  // The run was asked to stop and did, between two orders: every order
  // before `first_unread` was settled (written, refused or skipped); that
  // record and everything after it in the file was not read.
  virtual void OnStopped(const LinePosition& /*first_unread*/) {}
};

}  // namespace imp
