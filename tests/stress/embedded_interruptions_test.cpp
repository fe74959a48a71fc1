// The importer interrupted by SIGINT, SIGTERM, SIGHUP and SIGKILL at random
// points of large imports into an embedded database: what it wrote, what its
// rejects file and report say, and that importing the rejects completes the
// file without writing an order twice.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "tests/stress/interrupted_runs.h"
#include "tests/stress/order_file.h"

namespace imp::testing {
namespace {

TEST(EmbeddedInterruptions, EachOrderOnceInTheDatabaseOrInTheRejects) {
  StressCompany compania;
  InterruptionSeries(compania, "embedded", KillPoints(10), 300);
}

// A program started with a signal ignored: SIGINT and SIGTERM still stop
// it between orders (a background job of a script, `timeout -s INT`);
// SIGHUP ignored (nohup) leaves it running to the end.
TEST(EmbeddedInterruptions, SignalsIgnoredAtStart) {
  struct Case {
    const char* ignoradas;
    int senal;
    int estado;
  };
  const Case casos[] = {{"INT", SIGINT, 130}, {"TERM", SIGTERM, 143}, {"HUP", SIGHUP, 0}};
  StressCompany compania;
  int primer_numero = 1;
  for (const Case& c : casos) {
    SCOPED_TRACE(c.ignoradas);
    const OrderFile archivo = GenerateOrderFile(7, 300, primer_numero);
    primer_numero += 300;
    const auto importador =
        compania.Import(compania.File(std::string(c.ignoradas) + ".csv", archivo.text),
                        /*terminal=*/true, {}, std::string("trap '' ") + c.ignoradas);
    ASSERT_TRUE(importador->WaitForRecords(200, kRunLimit)) << importador->err();
    importador->Signal(c.senal);
    ASSERT_TRUE(importador->Finish(kRunLimit));
    EXPECT_EQ(importador->status(), c.estado) << importador->err() << importador->out();
  }
}

}  // namespace
}  // namespace imp::testing
