// Two importers on one embedded company database: the engine in the first
// process holds the file, so the second is refused at its connection with
// the database's text and status 2, writes nothing, and does not disturb
// the first, which writes its whole file.

#include <gtest/gtest.h>

#include <string>

#include "tests/stress/banco_estres.h"

namespace imp::testing {
namespace {

TEST(ConcurrenciaEmbebida, ElSegundoImportadorEsRechazadoSinTocarAlPrimero) {
  const uint64_t semilla = SemillaEstres();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  CompaniaEstres compania;
  const ArchivoPedidos primero = GenereArchivoPedidos(semilla, 600, 1);
  const ArchivoPedidos segundo = GenereArchivoPedidos(semilla + 1, 50, 500001);
  PedidosEsperados esperados;
  esperados.Agregue(primero);
  esperados.Agregue(segundo);

  const auto a = compania.Importe(compania.Archivo("a.csv", primero.texto), /*terminal=*/true);
  // The first has the database open once it reads its file; it is held
  // there while the second runs, so however fast it is it cannot end first.
  ASSERT_TRUE(a->WaitForRecords(1, kLimiteCorrida)) << a->err() << a->out();
  a->Suspend();
  const auto b = compania.Importe(compania.Archivo("b.csv", segundo.texto), /*terminal=*/false);
  EXPECT_TRUE(b->Finish(kLimiteCorrida)) << "the second importer hung";
  a->Resume();
  EXPECT_TRUE(a->Finish(kLimiteCorrida)) << "the first importer hung";

  // Refused because the first holds the file.
  EXPECT_EQ(b->status(), 2) << b->err() << b->out();
  EXPECT_EQ(b->err().rfind("dbExpress Error: Unable to connect\n", 0), 0u) << b->err();
  EXPECT_EQ(a->status(), 0) << a->err() << a->out();

  EXPECT_EQ(ValideBase(compania.base()), "");
  RevisionPedidos revision = RevisePedidos(compania.base(), esperados);
  EXPECT_EQ(PedidosIniciales(primero, revision), primero.pedidos.size());
  EXPECT_EQ(PedidosIniciales(segundo, revision), 0u);
  EXPECT_TRUE(revision.faltas.empty()) << (revision.faltas.empty() ? "" : revision.faltas[0]);
}

}  // namespace
}  // namespace imp::testing
