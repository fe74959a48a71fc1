#pragma once
// Bench of the reliability tests: a fresh demo company database from
// schema/, reached embedded (a local path) or through the local Firebird
// server ("<host>:/path"), the import layout loaded from the database the
// way the window loads it, and a recorder standing in for the window and the
// message boxes. After a run it reads back what was written and checks that
// every order is whole.

#include <optional>
#include <string>
#include <vector>

#include "db/dialogs.h"
#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/import_run.h"
#include "import/importacion.h"
#include "import/screen.h"
#include "tests/support/fresh_database.h"
#include "tests/support/recording_screen.h"
#include "tests/support/rows_as_text.h"
#include "tests/support/test_server.h"
#include "values/date.h"
#include "values/regional_settings.h"

namespace imp::testing {

// How one run ended.
struct RunOutcome {
  bool failed = false;
  std::string text;  // the failure's text, or the run's messages one per line
};

class ReliabilityBench {
  // First member: the database outlives every connection to it.
  FreshDatabase db_;
  std::optional<TestServer> server_;
  std::string database_;

 public:
  // A fresh demo database; `server` set: every connection goes through it.
  explicit ReliabilityBench(std::optional<TestServer> server = std::nullopt);

  // The database string the importer uses.
  const std::string& database() const { return database_; }
  const FreshDatabase& db() const { return db_; }

  // Runs SQL on the database before the first connection (embedded, as the
  // server may not hold the file at the same time).
  void Prepare(const std::string& sql) const { db_.Exec(sql); }

  // Loads the import layout (rows of type 23, by column) from the database.
  void LoadLayout();

  // One import run over the file at `path`. Any exception other than the
  // system's failure fails the test.
  RunOutcome Import(const std::string& path);

  // Every row of `sql` over a connection of its own, columns by name as
  // text (null reads "").
  std::vector<TextRow> Read(const std::string& sql) const;

  // "PREF NUMERO:lines" of every written order, in identifier order.
  std::vector<std::string> WrittenOrders() const;

  // Problems of the written orders: lines not numbered 1..n, a header total
  // or VAT that is not the sum of its lines'. Empty when every order is whole.
  std::vector<std::string> Inconsistencies() const;

  Tfdm fdm;
  OrderStore store{fdm};
  CImportacion layout;
  RegionalSettings rs;
  RecordingScreen screen;
  ImportRun run{fdm, store, layout, rs, screen, screen};

 private:
  void Configure(Connection& connection) const;
};

// Absolute path of a file of tests/data.
std::string TestDataPath(const std::string& name);

}  // namespace imp::testing
