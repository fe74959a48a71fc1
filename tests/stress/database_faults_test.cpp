// Failures of the database itself, not of an order. A database that cannot grow (its file at the limit the process may
// write, as on a full disk) ends the run with one failure: the orders
// written before it stay whole, the order in flight goes to the rejects,
// and no order is dropped one by one as if the database had refused it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/stress/order_file.h"
#include "tests/stress/stress_bench.h"

namespace imp::testing {
namespace {

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(FullDisk, TheRunEndsWithASingleFailure) {
  StressCompany company;
  struct stat base {};
  ASSERT_EQ(stat(company.db.path().c_str(), &base), 0);
  // Room for some dozens of orders beyond what the file holds (in blocks of
  // 512 bytes, as sh's ulimit counts them); SIGXFSZ ignored so that a
  // write past it fails with EFBIG, as on a full disk.
  const long limit = static_cast<long>(base.st_size / 512) + 400;
  const OrderFile file = GenerateOrderFile(11, 3000, 1);
  ExpectedOrders expected;
  expected.Add(file);
  const std::string rejects = company.db.server() + "/lleno.rechazos";
  const auto importer =
      company.Import(company.File("lleno.csv", file.text), /*terminal=*/false,
                      {"--rejects", rejects}, "trap '' XFSZ; ulimit -f " + std::to_string(limit));
  ASSERT_TRUE(importer->Finish(kRunLimit)) << importer->err();
  EXPECT_EQ(importer->status(), 1) << importer->err() << importer->out();
  EXPECT_EQ(Occurrences(importer->err(), "no grabado"), 0u) << importer->err();
  EXPECT_NE(importer->err().find("Pedidos de esta importación ya grabados (quedan grabados)"),
            std::string::npos)
      << importer->err();

  OrderCheck revision = CheckOrders(company.base(), expected);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
  const size_t written = LeadingOrders(file, revision);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, file.orders.size());
  EXPECT_EQ(ValidateDatabase(company.base()), "");
}

// A user who may read everything and write headers but not lines: every
// order's insert of its lines fails for want of a privilege, which no order
// can mend. The run ends at the first one, instead of dropping each.
TEST(DatabaseFault, WithoutPrivilegeTheRunEnds) {
  StressCompany company;
  company.db.Exec(R"(
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE n VARCHAR(63);
BEGIN
  FOR SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 INTO :n DO
    EXECUTE STATEMENT 'GRANT SELECT ON "' || n || '" TO IMPORTADOR' WITH AUTONOMOUS TRANSACTION;
  FOR SELECT TRIM(RDB$PROCEDURE_NAME) FROM RDB$PROCEDURES WHERE RDB$SYSTEM_FLAG = 0 INTO :n DO
    EXECUTE STATEMENT 'GRANT EXECUTE ON PROCEDURE "' || n || '" TO IMPORTADOR' WITH AUTONOMOUS TRANSACTION;
  FOR SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE RDB$SYSTEM_FLAG = 0 INTO :n DO
    EXECUTE STATEMENT 'GRANT USAGE ON SEQUENCE "' || n || '" TO IMPORTADOR' WITH AUTONOMOUS TRANSACTION;
END^
SET TERM ; ^
GRANT INSERT ON PEDIDOS TO IMPORTADOR;
)");
  // The company's settings name that user from here on.
  WriteFile(company.db.server() + "/settings.conf",
            company.db.server() + "\nIMPORTADOR\nclave\ndemo\n");
  const OrderFile file = GenerateOrderFile(12, 20, 1);
  const auto importer = company.Import(company.File("sin-permiso.csv", file.text),
                                          /*terminal=*/false);
  ASSERT_TRUE(importer->Finish(kRunLimit)) << importer->err();
  EXPECT_EQ(importer->status(), 1) << importer->err() << importer->out();
  EXPECT_EQ(Occurrences(importer->err(), "no grabado"), 0u) << importer->err();
  EXPECT_NE(importer->err().find("no permission"), std::string::npos) << importer->err();
  ExpectedOrders expected;
  expected.Add(file);
  OrderCheck revision = CheckOrders(company.base(), expected);
  EXPECT_EQ(revision.orders, 0);
}

}  // namespace
}  // namespace imp::testing
