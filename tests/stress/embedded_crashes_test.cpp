// The importer killed (SIGKILL) at random points of large imports into an
// embedded database: the engine dies with the importer, in the middle of a
// lookup, an insert or a commit. Whatever the moment, the database must
// validate and hold every order whole or not at all.

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/stress/stress_bench.h"

namespace imp::testing {
namespace {

TEST(EmbeddedCrashes, KilledImporterLeavesNoSplitOrders) {
  const uint64_t semilla = StressSeed();
  const int puntos = KillPoints(15);
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  StressCompany compania;
  const KillFigures cifras = RunsWithKills(compania, puntos, 400, semilla);
  EXPECT_EQ(cifras.points, puntos);
  ReportKillFigures("embedded", semilla, cifras);
}

}  // namespace
}  // namespace imp::testing
