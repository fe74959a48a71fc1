// Two importers on one embedded company database: the engine in the first
// process holds the file, so the second is refused at its connection with
// the database's text and status 2, writes nothing, and does not disturb
// the first, which writes its whole file.

#include <gtest/gtest.h>

#include <string>

#include "tests/stress/stress_bench.h"

namespace imp::testing {
namespace {

TEST(EmbeddedConcurrency, TheSecondImporterIsRefusedWithoutTouchingTheFirst) {
  const uint64_t seed = StressSeed();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(seed));
  StressCompany company;
  const OrderFile first = GenerateOrderFile(seed, 600, 1);
  const OrderFile second = GenerateOrderFile(seed + 1, 50, 500001);
  ExpectedOrders expected;
  expected.Add(first);
  expected.Add(second);

  const auto a = company.Import(company.File("a.csv", first.text), /*terminal=*/true);
  // The first has the database open once it reads its file; it is held
  // there while the second runs, so however fast it is it cannot end first.
  ASSERT_TRUE(a->WaitForRecords(1, kRunLimit)) << a->err() << a->out();
  a->Suspend();
  const auto b = company.Import(company.File("b.csv", second.text), /*terminal=*/false);
  EXPECT_TRUE(b->Finish(kRunLimit)) << "the second importer hung";
  a->Resume();
  EXPECT_TRUE(a->Finish(kRunLimit)) << "the first importer hung";

  // Refused because the first holds the file.
  EXPECT_EQ(b->status(), 2) << b->err() << b->out();
  EXPECT_EQ(b->err().rfind("dbExpress Error: Unable to connect\n", 0), 0u) << b->err();
  EXPECT_EQ(a->status(), 0) << a->err() << a->out();

  EXPECT_EQ(ValidateDatabase(company.base()), "");
  OrderCheck revision = CheckOrders(company.base(), expected);
  EXPECT_EQ(LeadingOrders(first, revision), first.orders.size());
  EXPECT_EQ(LeadingOrders(second, revision), 0u);
  EXPECT_TRUE(revision.faults.empty()) << (revision.faults.empty() ? "" : revision.faults[0]);
}

}  // namespace
}  // namespace imp::testing
