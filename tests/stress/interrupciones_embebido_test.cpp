// The importer interrupted by SIGINT, SIGTERM, SIGHUP and SIGKILL at random
// points of large imports into an embedded database: what it wrote, what its
// rejects file and report say, and that importing the rejects completes the
// file without writing an order twice.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "tests/stress/corridas_interrumpidas.h"

namespace imp::testing {
namespace {

TEST(InterrupcionesEmbebido, CadaPedidoUnaVezEnLaBaseOEnLosRechazos) {
  const uint64_t semilla = SemillaEstres();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  const int puntos = PuntosDeMuerte(10);
  CompaniaEstres compania;
  PedidosEsperados esperados;
  int primer_numero = 1;
  for (const int senal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    const CifrasInterrupcion cifras =
        CorridasInterrumpidas(compania, esperados, senal, puntos, 300, primer_numero, semilla + senal);
    primer_numero += 300 * (2 * puntos + 2);
    EXPECT_EQ(cifras.puntos, puntos) << "signal " << senal;
    std::printf("embedded, signal %d: seed %llu, %d runs interrupted, %d ended first, %lld orders "
                "written, %lld in the rejects\n",
                senal, static_cast<unsigned long long>(semilla), cifras.puntos, cifras.completas,
                static_cast<long long>(cifras.pedidos_grabados),
                static_cast<long long>(cifras.pedidos_rechazados));
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace imp::testing
