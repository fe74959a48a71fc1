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
#include "values/failure.h"

namespace imp::testing {
namespace {

// SYSDBA's password must be given: without IMPORTA_FB_PASSWORD there is no
// server.
std::optional<TestServer> Server() { return TestServer::FromEnvironment(std::nullopt); }

#define REQUIRE_SERVER() \
  if (!Server()) GTEST_SKIP() << "IMPORTA_FB_SERVER / IMPORTA_FB_PASSWORD unset"

// What a run over `archivo` leaves: its outcome and every row written.
struct Result {
  RunOutcome desenlace;
  std::vector<TextRow> pedidos;
  std::vector<TextRow> lineas;
  std::vector<std::string> incoherencias;
};

Result ImportThrough(std::optional<TestServer> servidor, const std::string& archivo) {
  ReliabilityBench banco(servidor);
  if (servidor) {
    EXPECT_EQ(banco.database().rfind(servidor->host + ":/", 0), 0u) << banco.database();
  }
  banco.LoadLayout();
  Result r;
  r.desenlace = banco.Import(archivo);
  r.pedidos = banco.Read("SELECT * FROM PEDIDOS ORDER BY PEDI_ID");
  r.lineas = banco.Read("SELECT * FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM");
  r.incoherencias = banco.Inconsistencies();
  return r;
}

// Over TCP the same file gives the same outcome and the same rows, column
// for column, as embedded: a whole file and one that stops part-way.
TEST(Server, SameRowsAsEmbedded) {
  REQUIRE_SERVER();
  const struct {
    std::string archivo;
    size_t pedidos;
  } casos[] = {
      {SourcePath("schema/examples/pedidos.csv"), 5},
      {TestDataPath("fecha_invalida.csv"), 2},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.archivo);
    const Result embebido = ImportThrough(std::nullopt, c.archivo);
    const Result tcp = ImportThrough(Server(), c.archivo);
    EXPECT_EQ(tcp.desenlace.failed, embebido.desenlace.failed);
    EXPECT_EQ(tcp.desenlace.text, embebido.desenlace.text);
    EXPECT_EQ(embebido.pedidos.size(), c.pedidos);
    EXPECT_EQ(tcp.pedidos, embebido.pedidos);
    EXPECT_EQ(tcp.lineas, embebido.lineas);
    EXPECT_EQ(tcp.incoherencias, std::vector<std::string>{});
    EXPECT_EQ(embebido.incoherencias, std::vector<std::string>{});
  }
}

// Another session inserts, and does not commit, the header row that the
// importer's first order is about to write (same PEDI_ID). The importer's
// insert must wait for that session, not fail, and write its order once
// the other session rolls back.
void WaitForTheLock(std::optional<TestServer> servidor) {
  ReliabilityBench banco(servidor);
  banco.LoadLayout();
  const std::string siguiente =
      std::to_string(std::stoi(banco.Read("SELECT GEN_ID(GEN_PEDIDOS, 0) AS N FROM RDB$DATABASE")
                                   .at(0)
                                   .at("N")) +
                     1);

  fb::Attachment otra = fb::Attachment::Attach(
      {banco.database(), "SYSDBA", servidor ? servidor->password : "masterkey"});
  fb::Transaction bloqueo = fb::Transaction::Begin(otra);
  fb::Statement::Prepare(otra, bloqueo,
                         "INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, "
                         "PEDI_NUMERO, PEDI_FECHA, PEDI_IVAINC) VALUES (" +
                             siguiente + ", '800100200', 1, 34, 'ZZ', '1', DATE '2026-01-01', 'S')")
      .Execute(bloqueo);

  std::atomic<bool> terminado{false};
  auto importacion = std::async(std::launch::async, [&] {
    RunOutcome d = banco.Import(TestDataPath("referencia.csv"));
    terminado = true;
    return d;
  });

  // Wait until the importer's insert (over TCP, the block that holds it) is
  // running in the server while our row blocks it. The deadline only keeps
  // a broken importer from hanging the test; it measures nothing.
  fb::Statement esperando;
  bool visto = false;
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!visto && !terminado && std::chrono::steady_clock::now() < limite) {
    // Monitoring tables are a snapshot per transaction: a new one each time.
    fb::Transaction mirada = fb::Transaction::Begin(otra);
    if (!esperando.prepared()) {
      esperando = fb::Statement::Prepare(
          otra, mirada,
          "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
          "MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
          "(MON$SQL_TEXT STARTING WITH 'INSERT INTO PEDIDOS ' OR"
          " MON$SQL_TEXT STARTING WITH 'EXECUTE BLOCK (P0 TYPE OF COLUMN PEDIDOS.')");
    }
    auto filas = esperando.Open(mirada).FetchAll();
    visto = !filas.empty() && filas[0].at(0).integer > 0;
    mirada.Commit();
    if (!visto) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(visto) << "the importer's insert was never seen waiting";
  EXPECT_FALSE(terminado) << "the import ended while the row was locked";

  bloqueo.Rollback();
  if (importacion.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
    ADD_FAILURE() << "the import still waits after the lock was released";
    std::_Exit(1);  // the waiting thread cannot be joined
  }
  const RunOutcome d = importacion.get();
  EXPECT_FALSE(d.failed) << d.text;
  EXPECT_EQ(d.text, "Importación finalizada.");
  EXPECT_EQ(banco.WrittenOrders(), (std::vector<std::string>{"PV 100:2", "PV 101:1"}));
  EXPECT_EQ(banco.Read("SELECT PEDI_ID FROM PEDIDOS WHERE PREF_PRE = 'PV' AND PEDI_NUMERO = '100'")
                .at(0)
                .at("PEDI_ID"),
            siguiente);
  EXPECT_TRUE(banco.Read("SELECT * FROM PEDIDOS WHERE PREF_PRE = 'ZZ'").empty());
  EXPECT_EQ(banco.Inconsistencies(), std::vector<std::string>{});
}

TEST(LockWait, Embedded) { WaitForTheLock(std::nullopt); }

TEST(LockWait, OverTcp) {
  REQUIRE_SERVER();
  WaitForTheLock(Server());
}

}  // namespace
}  // namespace imp::testing
