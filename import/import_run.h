#pragma once
// The import run: reads the order file, groups consecutive records with the
// same prefix and number into orders, begins each order's header, prices
// every article line and writes each order as one batch when the next order
// starts or the file ends. It talks to the operator only through
// ImportScreen (and Dialogs, for the lookups' boxes), so the window, an
// unattended run and the tests drive the same code.
//
// One ImportRun lives as long as its window: the key of the order begun last
// (prefijo_actual, numero_actual) outlives a run; everything else starts
// afresh with each run.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "import/import_summary.h"
#include "import/lector_plano.h"
#include "import/valores_registro.h"
#include "values/date.h"
#include "values/regional_settings.h"

namespace imp {

class CImportacion;
class Dialogs;
class ImportScreen;
class OrderStore;
class Tfdm;

class ImportRun {
 public:
  // Every reference must outlive the run. `rs` is read at each run, so a
  // change of the regional settings between runs is picked up.
  ImportRun(Tfdm& fdm, OrderStore& store, const CImportacion& layout, const RegionalSettings& rs,
            ImportScreen& screen, Dialogs& dialogs);

  // Events of the following runs go to `observer` too (null: none).
  void set_observer(ImportObserver* observer) { observer_ = observer; }

  // When on, an order whose document type, prefix and number are already in
  // PEDIDOS is not written (no identifier is drawn for it) and is reported
  // as existing: for feeding a file again after a run that stopped half way.
  void set_skip_existing(bool skip) { skip_existing_ = skip; }

  // A dry run: whoever runs it rolls everything back, so a failure's text
  // counts the orders written so far as undone, not as staying written.
  void set_dry_run(bool dry_run) { dry_run_ = dry_run; }

  // Orders committed together: with n > 1 the orders go into one write
  // transaction of the connection, each under its own savepoint (written
  // whole or not at all), committed every n orders, at the end of the run
  // and before a failure ends it. An order counts as written (summary,
  // observer) only once its transaction has committed; when the commit
  // fails, every order of the group is reported as dropped with the
  // database's reason and the run ends with that failure. Not for a dry
  // run, which has a transaction of its own. 1 (the default): each order
  // commits on its own.
  void set_orders_per_transaction(int n) { orders_per_transaction_ = n < 1 ? 1 : n; }

  // Asks the run to stop between orders: the order in hand (being written,
  // waiting to be written, or having its lines priced) is completed and
  // written (or dropped) whole; no order read after it is written, whether
  // its records were read ahead or not, no further record is read, and the
  // run ends as stopped (ImportSummary::Outcome::kStopped), naming the
  // first line it did not import. Safe to call from a signal handler or from
  // another thread; a request made before a run starts stops it before its
  // first record. The request stays until ClearStopRequest.
  void RequestStop() noexcept { stop_requested_.store(true, std::memory_order_relaxed); }
  void ClearStopRequest() noexcept { stop_requested_.store(false, std::memory_order_relaxed); }
  bool stop_requested() const noexcept { return stop_requested_.load(std::memory_order_relaxed); }

  // Runs the whole import (the F2 handler). Ends by closing the window
  // unless a failure stops it: the failure is then raised with its own
  // text, preceded by "Línea N: " when a record of the file caused it, and
  // followed, once the file was being read, by a line counting the
  // orders this run had already written (they stay written) and one per
  // order the database had refused. The window stays as the failure left it.
  void SpeedButton3Click();

  // The key of the order begun last, in this run or an earlier one.
  const std::string& prefijo_actual() const { return prefijo_actual_; }
  const std::string& numero_actual() const { return numero_actual_; }

  // What the last run did; complete once SpeedButton3Click returned or
  // failed.
  const ImportSummary& summary() const { return summary_; }

 private:
  void ReadOrderFile(const std::string& path);
  // The reader's handler: maps the record and keeps it until its order's
  // records are all read (or a batch of them), then handles them in turn.
  void OnRecordRead(const TCamposRegistro& fields, const LinePosition& position);
  void HandleRead();
  // Handles the record read_ahead_[next_], whose values have moved to
  // values_.
  void HandleRecord(const LinePosition& position);
  // Reads the lookups of the records still to handle, from the current one
  // on, in one go (with the order header's when it begins an order).
  void PreloadLookups(bool with_header);
  void inicie_pedido();
  // What to add to a header's missing-field failure so that the operator
  // knows the cause: an unknown prefix named, or the field the order's
  // first line does not bring.
  std::string MissingFieldCause(const std::string& failure);
  // Completes the current order: sums into the header, a new identifier,
  // the write as one batch (the order dropped and reported when the
  // database refuses it). The key-change form empties the store for the
  // next order; the end-of-file form leaves that to the closing of the store.
  void complete_pedido(bool end_of_file);
  // The header being completed gets its lines' VAT and total (less its
  // discount), where the lines have any; it is left being edited.
  void SumLinesIntoHeader();
  void DropOrder(OrderDropped dropped);
  // The file's cut-off last line: refused with the order it belongs to,
  // which is then not written (an order before it, when the line begins a
  // new one, is written as usual).
  void DropCutOffLine(const LinePosition& position);
  // With skip_existing_: when the current order is already in the
  // database, drops it from the store, reports it and returns true.
  bool SkipIfExisting(std::vector<LinePosition>& file_lines, bool end_of_file);
  // The current order is settled (written, refused or skipped): its file
  // lines leave the list of the order being built, so that a failure from
  // here on never reports them as cut off. At a change of key the last
  // record stays: it begins the next order.
  void ForgetOrderLines(bool end_of_file);
  std::string DroppedOrderLines() const;
  // With more than one order per transaction, what the observer is told of
  // an order waits until its group has committed (or failed to), so that
  // it hears every event in the order it happened and a written order only
  // once it is.
  bool Grouping() const;
  void Notify(std::function<void()> notice);
  // Commits the group's transaction, if one is open, and counts its orders
  // as written, telling the observer what waited; a failed commit reports
  // the group's orders as dropped and is raised.
  void CommitGroup();

  Tfdm& fdm_;
  OrderStore& store_;
  const CImportacion& layout_;
  const RegionalSettings& rs_;
  ImportScreen& screen_;
  Dialogs& dialogs_;
  ImportObserver* observer_ = nullptr;
  bool skip_existing_ = false;
  bool dry_run_ = false;
  int orders_per_transaction_ = 1;
  bool group_open_ = false;  // the write transaction is the group's
  int orders_in_group_ = 0;  // orders written in it
  struct Deferred {
    std::function<void()> notice;         // an event for the observer, or
    std::optional<OrderWritten> written;  // an order written in the group
  };
  std::vector<Deferred> deferred_;
  std::atomic<bool> stop_requested_{false};
  static_assert(std::atomic<bool>::is_always_lock_free,
                "a stop request must be settable from a signal handler");

  // Window state.
  std::string prefijo_actual_;
  std::string numero_actual_;

  // Run state.
  int32_t exponente_redondeo_ = 0;
  std::string bodega_pedido_;
  bool primer_pedido_ = true;
  TValoresRegistro values_;
  Date today_;
  bool reading_ = false;  // the store was opened for the file
  // File line of the record being handled while a failure there is the
  // line's own (0 otherwise, e.g. while the previous order is written).
  std::int64_t failing_line_ = 0;
  std::vector<LinePosition> order_lines_;  // file lines of the current order
  // Records read ahead: the values as the reader left them at each record
  // (they carry over from record to record) and its place in the file. They
  // all belong to one order, so that its lookups can be read together;
  // each is then handled exactly as it would have been when read.
  struct ReadAhead {
    TValoresRegistro values;
    LinePosition position;
  };
  TValoresRegistro reading_values_;
  std::vector<ReadAhead> read_ahead_;
  std::size_t next_ = 0;  // the one being handled
  ImportSummary summary_;
};

}  // namespace imp
