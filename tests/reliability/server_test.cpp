// The import through the local Firebird server ("localhost:/path" as the
// database string) and the importer waiting for a lock another transaction
// holds. The server tests need IMPORTA_FB_SERVER and IMPORTA_FB_PASSWORD
// (./run test sets both and starts the server); without them they are
// skipped. A server holds its databases exclusively, so every database here
// is reached either embedded or through the server, never both.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "db/firebird.h"
#include "tests/reliability/reliability_bench.h"
#include "tests/support/order_insert_wait.h"
#include "values/failure.h"

namespace imp::testing {
namespace {

// SYSDBA's password must be given: without IMPORTA_FB_PASSWORD there is no
// server.
std::optional<TestServer> Server() { return TestServer::FromEnvironment(std::nullopt); }

#define REQUIRE_SERVER() \
  if (!Server()) GTEST_SKIP() << "IMPORTA_FB_SERVER / IMPORTA_FB_PASSWORD unset"

// What a run over `file` leaves: its outcome and every row written.
struct Result {
  RunOutcome outcome;
  std::vector<TextRow> orders;
  std::vector<TextRow> lines;
  std::vector<std::string> inconsistencies;
};

Result ImportThrough(std::optional<TestServer> server, const std::string& file) {
  ReliabilityBench bench(server);
  if (server) {
    EXPECT_EQ(bench.database().rfind(server->host + ":/", 0), 0u) << bench.database();
  }
  bench.LoadLayout();
  Result r;
  r.outcome = bench.Import(file);
  r.orders = bench.Read("SELECT * FROM PEDIDOS ORDER BY PEDI_ID");
  r.lines = bench.Read("SELECT * FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM");
  r.inconsistencies = bench.Inconsistencies();
  return r;
}

// Over TCP the same file gives the same outcome and the same rows, column
// for column, as embedded: a whole file and one that stops part-way.
TEST(Server, SameRowsAsEmbedded) {
  REQUIRE_SERVER();
  const struct {
    std::string file;
    size_t orders;
  } cases[] = {
      {SourcePath("schema/examples/pedidos.csv"), 5},
      {TestDataPath("fecha_invalida.csv"), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Result embedded = ImportThrough(std::nullopt, c.file);
    const Result tcp = ImportThrough(Server(), c.file);
    EXPECT_EQ(tcp.outcome.failed, embedded.outcome.failed);
    EXPECT_EQ(tcp.outcome.text, embedded.outcome.text);
    EXPECT_EQ(embedded.orders.size(), c.orders);
    EXPECT_EQ(tcp.orders, embedded.orders);
    EXPECT_EQ(tcp.lines, embedded.lines);
    EXPECT_EQ(tcp.inconsistencies, std::vector<std::string>{});
    EXPECT_EQ(embedded.inconsistencies, std::vector<std::string>{});
  }
}

// Another session inserts, and does not commit, the header row that the
// importer's first order is about to write (same PEDI_ID). The importer's
// insert must wait for that session, not fail, and write its order once
// the other session rolls back.
void WaitForTheLock(std::optional<TestServer> server) {
  ReliabilityBench bench(server);
  bench.LoadLayout();
  const std::string next =
      std::to_string(std::stoi(bench.Read("SELECT GEN_ID(GEN_PEDIDOS, 0) AS N FROM RDB$DATABASE")
                                   .at(0)
                                   .at("N")) +
                     1);

  fb::Attachment other = fb::Attachment::Attach(
      {bench.database(), "SYSDBA", server ? server->password : "masterkey"});
  fb::Transaction lock = fb::Transaction::Begin(other);
  fb::Statement::Prepare(other, lock,
                         "INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, "
                         "PEDI_NUMERO, PEDI_FECHA, PEDI_IVAINC) VALUES (" +
                             next + ", '800100200', 1, 34, 'ZZ', '1', DATE '2026-01-01', 'S')")
      .Execute(lock);

  std::atomic<bool> finished{false};
  auto import_run = std::async(std::launch::async, [&] {
    RunOutcome d = bench.Import(TestDataPath("referencia.csv"));
    finished = true;
    return d;
  });

  // The importer's insert is held in the server by our row.
  const bool seen = WaitForHeldOrderInsert(
      other,
      [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return !finished;
      },
      std::chrono::seconds(120));
  EXPECT_TRUE(seen) << "the importer's insert was never seen waiting";
  EXPECT_FALSE(finished) << "the import ended while the row was locked";

  lock.Rollback();
  if (import_run.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
    ADD_FAILURE() << "the import still waits after the lock was released";
    std::_Exit(1);  // the waiting thread cannot be joined
  }
  const RunOutcome d = import_run.get();
  EXPECT_FALSE(d.failed) << d.text;
  EXPECT_EQ(d.text, "Importación finalizada.");
  EXPECT_EQ(bench.WrittenOrders(), (std::vector<std::string>{"PV 100:2", "PV 101:1"}));
  EXPECT_EQ(bench.Read("SELECT PEDI_ID FROM PEDIDOS WHERE PREF_PRE = 'PV' AND PEDI_NUMERO = '100'")
                .at(0)
                .at("PEDI_ID"),
            next);
  EXPECT_TRUE(bench.Read("SELECT * FROM PEDIDOS WHERE PREF_PRE = 'ZZ'").empty());
  EXPECT_EQ(bench.Inconsistencies(), std::vector<std::string>{});
}

TEST(LockWait, Embedded) { WaitForTheLock(std::nullopt); }

TEST(LockWait, OverTcp) {
  REQUIRE_SERVER();
  WaitForTheLock(Server());
}

}  // namespace
}  // namespace imp::testing
