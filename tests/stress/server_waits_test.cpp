// Bounds on waiting in unattended runs: a row another session holds
// (--espera-lock, over TCP, since only a server lets two processes at
// one company), a server that accepts and never answers (--espera-conexion)
// and a file still being written (--stable). Each ends the run with its
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
#include "tests/support/order_insert_wait.h"
#include "tests/support/silent_server.h"

namespace imp::testing {
namespace {

using Clock = std::chrono::steady_clock;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A trigger that keeps a running count in a row of its own, as business
// systems keep balances: another session that updates the row and does not
// commit holds every order's insert until it ends.
fb::Attachment WithCountingTrigger(StressCompany& company) {
  company.db.Exec(R"(
CREATE TABLE CUENTA_PEDIDOS (N INTEGER);
INSERT INTO CUENTA_PEDIDOS VALUES (0);
SET TERM ^ ;
CREATE TRIGGER PEDIDOS_CUENTA FOR PEDIDOS AFTER INSERT AS
BEGIN
  UPDATE CUENTA_PEDIDOS SET N = N + 1;
END^
SET TERM ; ^
)");
  return fb::Attachment::Attach({company.base().database, "SYSDBA", company.base().password});
}

struct HeldOrderInserts {
  explicit HeldOrderInserts(StressCompany& company)
      : other(WithCountingTrigger(company)), lock(fb::Transaction::Begin(other)) {
    fb::Statement::Prepare(other, lock, "UPDATE CUENTA_PEDIDOS SET N = N + 100").Execute(lock);
  }
  fb::Attachment other;
  fb::Transaction lock;
};

TEST(Waits, HeldLockEndsTheRunAfterItsWait) {
  const std::optional<TestServer> server = StressServer();
  if (!server) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  StressCompany company(server);
  HeldOrderInserts held(company);
  fb::Transaction& lock = held.lock;

  const OrderFile file = GenerateOrderFile(5, 3, 1);
  const std::string rejects = company.db.server() + "/bloqueo.rechazos";
  const auto importer = company.Import(company.File("bloqueo.csv", file.text), false,
                                          {"--espera-bloqueo", "2", "--rejects", rejects});
  // Without the option the run would wait as long as the row is held.
  const bool finished = importer->Finish(std::chrono::seconds(60));
  lock.Rollback();
  ASSERT_TRUE(finished) << "still waiting on the lock";
  EXPECT_EQ(importer->status(), 1) << importer->err() << importer->out();
  EXPECT_TRUE(Contains(importer->err(), "s (--espera-bloqueo) por filas que otra transacción"))
      << importer->err();
  // Not an order the database refused: the order in flight goes to the
  // rejects, whole, and nothing was written.
  EXPECT_EQ(importer->err().find("no grabado"), std::string::npos) << importer->err();
  std::string output;
  EXPECT_EQ(RunShellCommand("head -c 5 '" + rejects + "'", output), 0);
  EXPECT_EQ(output, file.text.substr(0, 5));
  ExpectedOrders expected;
  expected.Add(file);
  EXPECT_EQ(CheckOrders(company.base(), expected).orders, 0);
}

// A stop asked for while the first order waits for a held row: once the
// row is free that order is written, and no order read after it, though the
// next ones were read ahead; the rejects hold every line from the second
// order on.
TEST(Waits, SignalWhileAnOrderWaitsWritesThatOrderAndNoneAfter) {
  const std::optional<TestServer> server = StressServer();
  if (!server) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  StressCompany company(server);
  HeldOrderInserts held(company);
  const OrderFile file = GenerateOrderFile(17, 6, 1);
  const std::string rejects = company.db.server() + "/senal.rechazos";
  const auto importer = company.Import(company.File("senal.csv", file.text),
                                       /*terminal=*/true, {"--rejects", rejects});
  // The first order's insert waits in the server for the held row: it is
  // the order in hand. (Monitoring tables are a snapshot per transaction.)
  const auto first_lines = static_cast<int64_t>(file.orders[0].lines.size());
  const bool seen = WaitForHeldOrderInsert(
      held.other,
      [&] { return importer->WaitForRecords(INT64_MAX, std::chrono::milliseconds(20)) ||
                   !importer->finished(); },
      kRunLimit);
  ASSERT_TRUE(seen) << "the first order's insert was never seen waiting\n" << importer->err();
  importer->Signal(SIGINT);
  for (int i = 0; i < 600 && !Contains(importer->err(), "Señal SIGINT recibida"); ++i) {
    importer->WaitForRecords(INT64_MAX, std::chrono::milliseconds(100));
  }
  held.lock.Rollback();
  ASSERT_TRUE(importer->Finish(kRunLimit));
  EXPECT_EQ(importer->status(), 130) << importer->err();
  EXPECT_TRUE(Contains(importer->err(), "la línea " + std::to_string(first_lines + 1) +
                                            " y las siguientes no se leyeron"))
      << importer->err();

  ExpectedOrders expected;
  expected.Add(file);
  const OrderCheck revision = CheckOrders(company.base(), expected);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
  EXPECT_EQ(revision.orders, 1);
  EXPECT_EQ(revision.ids.count({file.orders[0].prefix, file.orders[0].number}), 1u);
  // The file's text from the second order's first line on.
  size_t from = 0;
  for (int64_t n = 0; n < first_lines; ++n) from = file.text.find("\r\n", from) + 2;
  std::string rejected;
  EXPECT_EQ(RunShellCommand("cat '" + rejects + "'", rejected), 0);
  EXPECT_EQ(rejected, file.text.substr(from));
}

// Two runs of one file with --skip-existing at the same time: the second
// does not start beside the first, and every order ends up written once.
TEST(Waits, TwoImportsWithSkipExistingWriteEachOrderOnce) {
  const std::optional<TestServer> server = StressServer();
  if (!server) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  StressCompany company(server);
  const OrderFile file = GenerateOrderFile(21, 1500, 1);
  const std::string path = company.File("dos-veces.csv", file.text);
  const auto first = company.Import(path, /*terminal=*/true, {"--skip-existing"});
  ASSERT_TRUE(first->WaitForRecords(100, kRunLimit)) << first->err();
  // Held where it is, so that it is still importing while the others try.
  first->Suspend();
  const auto second = company.Import(path, /*terminal=*/false, {"--skip-existing"});
  ASSERT_TRUE(second->Finish(kRunLimit));
  // A trial refuses to start just as the real run does.
  const auto trial = company.Import(path, /*terminal=*/false, {"--skip-existing", "--dry-run"});
  ASSERT_TRUE(trial->Finish(kRunLimit));
  first->Resume();
  EXPECT_EQ(trial->status(), 2) << trial->err() << trial->out();
  EXPECT_TRUE(Contains(trial->err(), "Otra importación está grabando en la compañía demo ("))
      << trial->err();
  ASSERT_TRUE(first->Finish(kRunLimit));
  EXPECT_EQ(first->status(), 0) << first->err();
  EXPECT_EQ(second->status(), 2) << second->err() << second->out();
  EXPECT_TRUE(Contains(second->err(), "Otra importación está grabando en la compañía demo ("))
      << second->err();
  EXPECT_TRUE(Contains(second->err(), "con --skip-existing no se importa a la vez")) << second->err();

  ExpectedOrders expected;
  expected.Add(file);
  OrderCheck revision = CheckOrders(company.base(), expected);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
  EXPECT_EQ(LeadingOrders(file, revision), file.orders.size());

  // Once the first has ended, the same run finds every order written.
  const auto third = company.Import(path, /*terminal=*/false, {"--skip-existing"});
  ASSERT_TRUE(third->Finish(kRunLimit));
  EXPECT_EQ(third->status(), 3) << third->err();
  revision = CheckOrders(company.base(), expected);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
}

TEST(Waits, ServerThatDoesNotAnswerEndsTheRun) {
  const SilentServer mute;
  StressCompany company;
  WriteFile(company.db.server() + "/settings.conf",
            mute.server_line() + "\nSYSDBA\nclave\ndemo\n");
  const auto start = Clock::now();
  const auto importer =
      company.Import(company.File("mudo.csv", GenerateOrderFile(6, 2, 1).text), false,
                      {"--espera-conexion", "3"});
  ASSERT_TRUE(importer->Finish(std::chrono::seconds(60))) << "still waiting for the server";
  const auto duration = Clock::now() - start;
  EXPECT_EQ(importer->status(), 2) << importer->err();
  EXPECT_LT(duration, std::chrono::seconds(30));
  EXPECT_TRUE(Contains(importer->err(), "El servidor no respondió en 3 s (--espera-conexion)"))
      << importer->err();
}

TEST(Waits, FreshlyModifiedFileIsNotImported) {
  StressCompany company;
  const std::string path = company.File("fresco.csv", GenerateOrderFile(8, 2, 1).text);
  const auto fresh = company.Import(path, false, {"--estable", "60"});
  ASSERT_TRUE(fresh->Finish(kRunLimit));
  EXPECT_EQ(fresh->status(), 2) << fresh->err();
  EXPECT_TRUE(Contains(fresh->err(), " s de --estable: puede estar escribiéndose todavía. No se importó."))
      << fresh->err();
  // Two minutes old: stable.
  const struct timespec before[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), before, 0), 0);
  const auto stable = company.Import(path, false, {"--estable", "60"});
  ASSERT_TRUE(stable->Finish(kRunLimit));
  EXPECT_EQ(stable->status(), 0) << stable->err();
}

}  // namespace
}  // namespace imp::testing
