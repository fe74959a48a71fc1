#pragma once
// The closing summary of an unattended import, gathered from the run's
// events as they happen: orders written, orders dropped (prefix, number,
// reason), lines written, lines discarded (file line number, reason),
// elapsed time and lines per second. The details of dropped orders and
// discarded lines are spooled to temporary files, so memory stays flat
// however many there are.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "batch/batch_run_info.h"
#include "import/import_summary.h"

namespace imp {

class BatchSummary final : public ImportObserver {
 public:
  BatchSummary();

  void OnOrderWritten(const OrderWritten& order) override;
  void OnOrderDropped(const OrderDropped& order) override;
  void OnLineDropped(const LineDropped& line) override;
  void OnOrderSkipped(const OrderSkipped& order) override;

  // A dry run: the summary says so, first and last.
  void set_dry_run(bool dry_run) { dry_run_ = dry_run; }
  // Lists the orders found already written (even none) under their heading.
  void set_skip_existing(bool skip) { skip_existing_ = skip; }
  // Lines of the file that held no record (empty, or every field empty).
  void set_skipped_lines(int64_t lines) { skipped_lines_ = lines; }

  int64_t orders_written() const { return orders_written_; }
  int64_t orders_dropped() const { return orders_dropped_; }
  int64_t lines_written() const { return lines_written_; }
  int64_t lines_discarded() const { return lines_discarded_; }
  int64_t orders_existing() const { return orders_existing_; }
  // True when something the run read was not imported (an order found
  // already written included).
  bool anything_not_imported() const {
    return orders_dropped_ > 0 || lines_discarded_ > 0 || orders_existing_ > 0;
  }

  // Writes the summary to `out`. `run` names the run (file, company,
  // user, times; the signal that interrupted it), `end` is how the run
  // ended, `records` the records it read and `seconds` how long it took.
  void Print(std::FILE* out, const BatchRunInfo& run, ImportSummary::Outcome end, int64_t records,
             double seconds) const;

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using File = std::unique_ptr<std::FILE, FileCloser>;

  static void Copy(std::FILE* from, std::FILE* to);

  int64_t orders_written_ = 0;
  int64_t orders_dropped_ = 0;
  int64_t lines_written_ = 0;
  int64_t lines_discarded_ = 0;
  int64_t orders_existing_ = 0;
  bool dry_run_ = false;
  bool skip_existing_ = false;
  int64_t skipped_lines_ = 0;
  File dropped_orders_;
  File discarded_lines_;
  File existing_orders_;
};

}  // namespace imp
