// The importer interrupted by SIGINT, SIGTERM, SIGHUP and SIGKILL at random
// points of large imports into a company on the local Firebird server, over
// TCP: the server rolls back what a cut connection left open, and every
// order is once in the database or in the rejects. Skipped without
// IMPORTA_FB_SERVER.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "tests/stress/corridas_interrumpidas.h"

namespace imp::testing {
namespace {

TEST(InterrupcionesServidor, CadaPedidoUnaVezEnLaBaseOEnLosRechazos) {
  const std::optional<ServidorEstres> servidor = ServidorEstres::DelEntorno();
  if (!servidor) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use";
  const uint64_t semilla = SemillaEstres();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  const int puntos = PuntosDeMuerte(10);
  CompaniaEstres compania(servidor);
  PedidosEsperados esperados;
  int primer_numero = 1;
  for (const int senal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    const CifrasInterrupcion cifras = CorridasInterrumpidas(compania, esperados, senal, puntos, 200,
                                                            primer_numero, semilla + senal);
    primer_numero += 200 * (2 * puntos + 2);
    EXPECT_EQ(cifras.puntos, puntos) << "signal " << senal;
    std::printf("TCP, signal %d: seed %llu, %d runs interrupted, %d ended first, %lld orders "
                "written, %lld in the rejects\n",
                senal, static_cast<unsigned long long>(semilla), cifras.puntos, cifras.completas,
                static_cast<long long>(cifras.pedidos_grabados),
                static_cast<long long>(cifras.pedidos_rechazados));
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace imp::testing
