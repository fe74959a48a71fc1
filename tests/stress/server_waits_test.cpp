// Bounds on waiting in unattended runs: a row another session holds
// (--espera-bloqueo, over TCP, since only a server lets two processes at
// one company), a server that accepts and never answers (--espera-conexion)
// and a file still being written (--estable). Each ends the run with its
// message instead of a silent wait. The lock test is skipped without
// IMPORTA_FB_SERVER.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>

#include "db/firebird.h"
#include "tests/stress/order_file.h"
#include "tests/stress/stress_bench.h"
#include "tests/support/silent_server.h"

namespace imp::testing {
namespace {

using Clock = std::chrono::steady_clock;

bool Contiene(const std::string& texto, const std::string& parte) {
  return texto.find(parte) != std::string::npos;
}

// A trigger that keeps a running count in a row of its own, as business
// systems keep balances: another session that updates the row and does not
// commit holds every order's insert until it ends.
fb::Attachment WithCountingTrigger(StressCompany& compania) {
  compania.db.Exec(R"(
CREATE TABLE CUENTA_PEDIDOS (N INTEGER);
INSERT INTO CUENTA_PEDIDOS VALUES (0);
SET TERM ^ ;
CREATE TRIGGER PEDIDOS_CUENTA FOR PEDIDOS AFTER INSERT AS
BEGIN
  UPDATE CUENTA_PEDIDOS SET N = N + 1;
END^
SET TERM ; ^
)");
  return fb::Attachment::Attach({compania.base().database, "SYSDBA", compania.base().password});
}

struct HeldOrderInserts {
  explicit HeldOrderInserts(StressCompany& compania)
      : otra(WithCountingTrigger(compania)), bloqueo(fb::Transaction::Begin(otra)) {
    fb::Statement::Prepare(otra, bloqueo, "UPDATE CUENTA_PEDIDOS SET N = N + 100").Execute(bloqueo);
  }
  fb::Attachment otra;
  fb::Transaction bloqueo;
};

TEST(Waits, HeldLockEndsTheRunAfterItsWait) {
  const std::optional<TestServer> servidor = StressServer();
  if (!servidor) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  StressCompany compania(servidor);
  HeldOrderInserts retenidos(compania);
  fb::Transaction& bloqueo = retenidos.bloqueo;

  const OrderFile archivo = GenerateOrderFile(5, 3, 1);
  const std::string rechazos = compania.db.server() + "/bloqueo.rechazos";
  const auto importador = compania.Import(compania.File("bloqueo.csv", archivo.text), false,
                                          {"--espera-bloqueo", "2", "--rejects", rechazos});
  // Without the option the run would wait as long as the row is held.
  const bool termino = importador->Finish(std::chrono::seconds(60));
  bloqueo.Rollback();
  ASSERT_TRUE(termino) << "still waiting on the lock";
  EXPECT_EQ(importador->status(), 1) << importador->err() << importador->out();
  EXPECT_TRUE(Contiene(importador->err(), "s (--espera-bloqueo) por filas que otra transacción"))
      << importador->err();
  // Not an order the database refused: the order in flight goes to the
  // rejects, whole, and nothing was written.
  EXPECT_EQ(importador->err().find("no grabado"), std::string::npos) << importador->err();
  std::string salida;
  EXPECT_EQ(RunShellCommand("head -c 5 '" + rechazos + "'", salida), 0);
  EXPECT_EQ(salida, archivo.text.substr(0, 5));
  ExpectedOrders esperados;
  esperados.Add(archivo);
  EXPECT_EQ(CheckOrders(compania.base(), esperados).orders, 0);
}

// A stop asked for while the first order waits for a held row: once the
// row is free that order is written, and no order read after it, though the
// next ones were read ahead; the rejects hold every line from the second
// order on.
TEST(Waits, SignalWhileAnOrderWaitsWritesThatOrderAndNoneAfter) {
  const std::optional<TestServer> servidor = StressServer();
  if (!servidor) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  StressCompany compania(servidor);
  HeldOrderInserts retenidos(compania);
  const OrderFile archivo = GenerateOrderFile(17, 6, 1);
  const std::string rechazos = compania.db.server() + "/senal.rechazos";
  const auto importador = compania.Import(compania.File("senal.csv", archivo.text),
                                          /*terminal=*/true, {"--rejects", rechazos});
  // The first order's insert waits in the server for the held row: it is
  // the order in hand. (Monitoring tables are a snapshot per transaction.)
  const auto primeras = static_cast<int64_t>(archivo.orders[0].lines.size());
  fb::Statement esperando;
  bool visto = false;
  for (int i = 0; i < 6000 && !visto && !importador->finished(); ++i) {
    fb::Transaction mirada = fb::Transaction::Begin(retenidos.otra);
    if (!esperando.prepared()) {
      esperando = fb::Statement::Prepare(
          retenidos.otra, mirada,
          "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
          "MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
          "(MON$SQL_TEXT STARTING WITH 'INSERT INTO PEDIDOS ' OR"
          " MON$SQL_TEXT STARTING WITH 'EXECUTE BLOCK (P0 TYPE OF COLUMN PEDIDOS.')");
    }
    auto filas = esperando.Open(mirada).FetchAll();
    visto = !filas.empty() && filas[0].at(0).integer > 0;
    mirada.Commit();
    if (!visto) importador->WaitForRecords(INT64_MAX, std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(visto) << "the first order's insert was never seen waiting\n" << importador->err();
  importador->Signal(SIGINT);
  for (int i = 0; i < 600 && !Contiene(importador->err(), "Señal SIGINT recibida"); ++i) {
    importador->WaitForRecords(INT64_MAX, std::chrono::milliseconds(100));
  }
  retenidos.bloqueo.Rollback();
  ASSERT_TRUE(importador->Finish(kRunLimit));
  EXPECT_EQ(importador->status(), 130) << importador->err();
  EXPECT_TRUE(Contiene(importador->err(), "la línea " + std::to_string(primeras + 1) +
                                              " y las siguientes no se leyeron"))
      << importador->err();

  ExpectedOrders esperados;
  esperados.Add(archivo);
  const OrderCheck revision = CheckOrders(compania.base(), esperados);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
  EXPECT_EQ(revision.orders, 1);
  EXPECT_EQ(revision.ids.count({archivo.orders[0].prefix, archivo.orders[0].number}), 1u);
  // The file's text from the second order's first line on.
  size_t desde = 0;
  for (int64_t n = 0; n < primeras; ++n) desde = archivo.text.find("\r\n", desde) + 2;
  std::string rechazado;
  EXPECT_EQ(RunShellCommand("cat '" + rechazos + "'", rechazado), 0);
  EXPECT_EQ(rechazado, archivo.text.substr(desde));
}

// Two runs of one file with --skip-existing at the same time: the second
// does not start beside the first, and every order ends up written once.
TEST(Waits, TwoImportsWithSkipExistingWriteEachOrderOnce) {
  const std::optional<TestServer> servidor = StressServer();
  if (!servidor) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  StressCompany compania(servidor);
  const OrderFile archivo = GenerateOrderFile(21, 1500, 1);
  const std::string ruta = compania.File("dos-veces.csv", archivo.text);
  const auto primera = compania.Import(ruta, /*terminal=*/true, {"--skip-existing"});
  ASSERT_TRUE(primera->WaitForRecords(100, kRunLimit)) << primera->err();
  // Held where it is, so that it is still importing while the others try.
  primera->Suspend();
  const auto segunda = compania.Import(ruta, /*terminal=*/false, {"--skip-existing"});
  ASSERT_TRUE(segunda->Finish(kRunLimit));
  // A trial refuses to start just as the real run does.
  const auto ensayo =
      compania.Import(ruta, /*terminal=*/false, {"--skip-existing", "--dry-run"});
  ASSERT_TRUE(ensayo->Finish(kRunLimit));
  primera->Resume();
  EXPECT_EQ(ensayo->status(), 2) << ensayo->err() << ensayo->out();
  EXPECT_TRUE(Contiene(ensayo->err(), "Otra importación está grabando en la compañía demo ("))
      << ensayo->err();
  ASSERT_TRUE(primera->Finish(kRunLimit));
  EXPECT_EQ(primera->status(), 0) << primera->err();
  EXPECT_EQ(segunda->status(), 2) << segunda->err() << segunda->out();
  EXPECT_TRUE(Contiene(segunda->err(), "Otra importación está grabando en la compañía demo ("))
      << segunda->err();
  EXPECT_TRUE(Contiene(segunda->err(), "con --skip-existing no se importa a la vez")) << segunda->err();

  ExpectedOrders esperados;
  esperados.Add(archivo);
  OrderCheck revision = CheckOrders(compania.base(), esperados);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
  EXPECT_EQ(LeadingOrders(archivo, revision), archivo.orders.size());

  // Once the first has ended, the same run finds every order written.
  const auto tercera = compania.Import(ruta, /*terminal=*/false, {"--skip-existing"});
  ASSERT_TRUE(tercera->Finish(kRunLimit));
  EXPECT_EQ(tercera->status(), 3) << tercera->err();
  revision = CheckOrders(compania.base(), esperados);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
}

TEST(Waits, ServerThatDoesNotAnswerEndsTheRun) {
  const SilentServer mudo;
  StressCompany compania;
  WriteFile(compania.db.server() + "/settings.conf",
            mudo.server_line() + "\nSYSDBA\nclave\ndemo\n");
  const auto inicio = Clock::now();
  const auto importador =
      compania.Import(compania.File("mudo.csv", GenerateOrderFile(6, 2, 1).text), false,
                      {"--espera-conexion", "3"});
  ASSERT_TRUE(importador->Finish(std::chrono::seconds(60))) << "still waiting for the server";
  const auto duracion = Clock::now() - inicio;
  EXPECT_EQ(importador->status(), 2) << importador->err();
  EXPECT_LT(duracion, std::chrono::seconds(30));
  EXPECT_TRUE(Contiene(importador->err(), "El servidor no respondió en 3 s (--espera-conexion)"))
      << importador->err();
}

TEST(Waits, FreshlyModifiedFileIsNotImported) {
  StressCompany compania;
  const std::string ruta = compania.File("fresco.csv", GenerateOrderFile(8, 2, 1).text);
  const auto fresco = compania.Import(ruta, false, {"--estable", "60"});
  ASSERT_TRUE(fresco->Finish(kRunLimit));
  EXPECT_EQ(fresco->status(), 2) << fresco->err();
  EXPECT_TRUE(Contiene(fresco->err(), " s de --estable: puede estar escribiéndose todavía. No se importó."))
      << fresco->err();
  // Two minutes old: stable.
  const struct timespec antes[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, ruta.c_str(), antes, 0), 0);
  const auto estable = compania.Import(ruta, false, {"--estable", "60"});
  ASSERT_TRUE(estable->Finish(kRunLimit));
  EXPECT_EQ(estable->status(), 0) << estable->err();
}

}  // namespace
}  // namespace imp::testing
