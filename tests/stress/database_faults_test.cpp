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

size_t Occurrences(const std::string& texto, const std::string& que) {
  size_t n = 0;
  for (size_t at = texto.find(que); at != std::string::npos; at = texto.find(que, at + 1)) ++n;
  return n;
}

TEST(FullDisk, TheRunEndsWithASingleFailure) {
  StressCompany compania;
  struct stat base {};
  ASSERT_EQ(stat(compania.db.path().c_str(), &base), 0);
  // Room for some dozens of orders beyond what the file holds (in blocks of
  // 512 bytes, as sh's ulimit counts them); SIGXFSZ ignored so that a
  // write past it fails with EFBIG, as on a full disk.
  const long limite = static_cast<long>(base.st_size / 512) + 400;
  const OrderFile archivo = GenerateOrderFile(11, 3000, 1);
  ExpectedOrders esperados;
  esperados.Add(archivo);
  const std::string rechazos = compania.db.server() + "/lleno.rechazos";
  const auto importador =
      compania.Import(compania.File("lleno.csv", archivo.text), /*terminal=*/false,
                      {"--rejects", rechazos}, "trap '' XFSZ; ulimit -f " + std::to_string(limite));
  ASSERT_TRUE(importador->Finish(kRunLimit)) << importador->err();
  EXPECT_EQ(importador->status(), 1) << importador->err() << importador->out();
  EXPECT_EQ(Occurrences(importador->err(), "no grabado"), 0u) << importador->err();
  EXPECT_NE(importador->err().find("Pedidos de esta importación ya grabados (quedan grabados)"),
            std::string::npos)
      << importador->err();

  OrderCheck revision = CheckOrders(compania.base(), esperados);
  EXPECT_TRUE(revision.faults.empty()) << revision.faults.front();
  const size_t escritos = LeadingOrders(archivo, revision);
  EXPECT_GT(escritos, 0u);
  EXPECT_LT(escritos, archivo.orders.size());
  EXPECT_EQ(ValidateDatabase(compania.base()), "");
}

// A user who may read everything and write headers but not lines: every
// order's insert of its lines fails for want of a privilege, which no order
// can mend. The run ends at the first one, instead of dropping each.
TEST(DatabaseFault, WithoutPrivilegeTheRunEnds) {
  StressCompany compania;
  compania.db.Exec(R"(
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
  WriteFile(compania.db.server() + "/settings.conf",
            compania.db.server() + "\nIMPORTADOR\nclave\ndemo\n");
  const OrderFile archivo = GenerateOrderFile(12, 20, 1);
  const auto importador = compania.Import(compania.File("sin-permiso.csv", archivo.text),
                                          /*terminal=*/false);
  ASSERT_TRUE(importador->Finish(kRunLimit)) << importador->err();
  EXPECT_EQ(importador->status(), 1) << importador->err() << importador->out();
  EXPECT_EQ(Occurrences(importador->err(), "no grabado"), 0u) << importador->err();
  EXPECT_NE(importador->err().find("no permission"), std::string::npos) << importador->err();
  ExpectedOrders esperados;
  esperados.Add(archivo);
  OrderCheck revision = CheckOrders(compania.base(), esperados);
  EXPECT_EQ(revision.orders, 0);
}

}  // namespace
}  // namespace imp::testing
