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
  const uint64_t seed = StressSeed();
  const int points = KillPoints(15);
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(seed));
  StressCompany company;
  const KillFigures figures = RunsWithKills(company, points, 400, seed);
  EXPECT_EQ(figures.points, points);
  ReportKillFigures("embedded", seed, figures);
}

}  // namespace
}  // namespace imp::testing
