#pragma once
// One import session: what every front end (the window, batch mode, an
// unattended service) needs to import order files into a company, built the
// same way by each. It connects the module's connection to the company named
// by the settings (user, password, company, the file's character set), reads
// the company's import layout into the layout set, and holds the order store,
// the run over them and the run's observers. A front end adds only its
// screen and dialogs, and decides what to do with the outcome.
//
// The session lives as long as its front end: the run it holds keeps the key
// of the order begun last from one run to the next, and connecting again
// (another company) reads that company's layout into the same sets.

#include <functional>
#include <optional>
#include <string>

#include "db/order_store.h"
#include "db/query_set.h"
#include "import/import_run.h"
#include "import/importacion.h"
#include "session/company_connection.h"
#include "session/run_observers.h"
#include "values/regional_settings.h"

namespace imp {

class Dialogs;
class ImportScreen;
class Tfdm;

// How a session connects: the company, and how long the connection waits.
struct SessionConnection {
  CompanyConnection company;
  // Seconds to wait for the server to answer; none: the client's own wait.
  std::optional<int> connect_wait;
  // Seconds a transaction waits for rows another one holds; none: as long
  // as it takes.
  std::optional<int> lock_wait;
};

class ImportSession {
 public:
  // Runs the blocking part of a connection (its opening); the window keeps
  // painting meanwhile. It must run `work` once and raise its failure.
  using Blocking = std::function<void(const std::function<void()>& work)>;

  // Every reference must outlive the session. `rs` is read at each run and
  // each connection (its text encoding is the connection's character set),
  // so a change of the regional settings is picked up. `layout_design_sql`
  // is the layout set's statement until a layout is loaded.
  ImportSession(Tfdm& fdm, const RegionalSettings& rs, ImportScreen& screen, Dialogs& dialogs,
                std::string layout_design_sql = {});
  ImportSession(const ImportSession&) = delete;
  ImportSession& operator=(const ImportSession&) = delete;

  // Shows the connecting caption on the screen, closes the module's
  // connection and opens it to `connection`'s company (through `blocking`
  // when given). A failure of the opening is raised as the client gives it.
  void Connect(const SessionConnection& connection, const Blocking& blocking = {});
  bool connected() const;

  // Reads the connected company's import layout (LoadImportLayout): a
  // second company never keeps the first one's columns.
  void LoadLayout();

  // Runs the whole import (ImportRun::SpeedButton3Click). A stop asked for
  // before it (run().RequestStop()) stops it before its first record; a
  // front end that runs again clears it first (run().ClearStopRequest()).
  void Run();

  // The module's connection, for checks a front end makes before it runs.
  Connection& connection();
  // Events of the runs go to every observer added here (null: nothing).
  void AddObserver(ImportObserver* observer) { observers_.Add(observer); }
  RunObservers& observers() { return observers_; }

  QuerySet& layout_set() { return CImporinv; }
  const QuerySet& layout_set() const { return CImporinv; }
  const CImportacion& layout() const { return CImportacion_; }
  OrderStore& store() { return CFacturas; }
  ImportRun& run() { return run_; }
  const ImportRun& run() const { return run_; }

 private:
  Tfdm& fdm_;
  const RegionalSettings& rs_;
  ImportScreen& screen_;
  RunObservers observers_;
  // Layout source, over the module's connection; its rows stay in memory.
  QuerySet CImporinv;
  CImportacion CImportacion_;
  // The order store (CFacturas with its lines) and the run that fills it.
  OrderStore CFacturas;
  ImportRun run_;
};

}  // namespace imp
