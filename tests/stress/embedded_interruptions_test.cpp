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
  StressCompany company;
  InterruptionSeries(company, "embedded", KillPoints(10), 300);
}

// A program started with a signal ignored: SIGINT and SIGTERM still stop
// it between orders (a background job of a script, `timeout -s INT`);
// SIGHUP ignored (nohup) leaves it running to the end.
TEST(EmbeddedInterruptions, SignalsIgnoredAtStart) {
  struct Case {
    const char* ignored;
    int signal;
    int status;
  };
  const Case cases[] = {{"INT", SIGINT, 130}, {"TERM", SIGTERM, 143}, {"HUP", SIGHUP, 0}};
  StressCompany company;
  int first_number = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ignored);
    const OrderFile file = GenerateOrderFile(7, 300, first_number);
    first_number += 300;
    const auto importer =
        company.Import(company.File(std::string(c.ignored) + ".csv", file.text),
                        /*terminal=*/true, {}, std::string("trap '' ") + c.ignored);
    ASSERT_TRUE(importer->WaitForRecords(200, kRunLimit)) << importer->err();
    importer->Signal(c.signal);
    ASSERT_TRUE(importer->Finish(kRunLimit));
    EXPECT_EQ(importer->status(), c.status) << importer->err() << importer->out();
  }
}

}  // namespace
}  // namespace imp::testing
