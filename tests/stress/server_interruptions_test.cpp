// The importer interrupted by SIGINT, SIGTERM, SIGHUP and SIGKILL at random
// points of large imports into a company on the local Firebird server, over
// TCP: the server rolls back what a cut connection left open, and every
// order is once in the database or in the rejects. Skipped without
// IMPORTA_FB_SERVER.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "tests/stress/interrupted_runs.h"

namespace imp::testing {
namespace {

TEST(ServerInterruptions, EachOrderOnceInTheDatabaseOrInTheRejects) {
  const std::optional<TestServer> server = StressServer();
  if (!server) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  StressCompany company(server);
  InterruptionSeries(company, "TCP", KillPoints(10), 200);
}

}  // namespace
}  // namespace imp::testing
