#include "app/batch_dry_run.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "db/connection.h"
#include "db/firebird.h"
#include "db/order_store.h"

namespace imp {

Simulacion::Simulacion(Connection& conexion, OrderStore& store) : conexion_(conexion) {
  fb::Statement& menor = conexion.Prepared("SELECT MIN(PEDI_ID) FROM PEDIDOS");
  menor.ClearParams();
  const std::vector<fb::Row> filas = conexion.Query(menor);
  int64_t primero = -1;
  if (!filas.empty() && !filas[0].empty() && !filas[0][0].is_null()) {
    primero = std::min<int64_t>(0, filas[0][0].integer) - 1;
  }
  store.UseStandInIds(static_cast<int32_t>(
      std::max<int64_t>(primero, std::numeric_limits<int32_t>::min())));
  conexion.BeginTransaction();
}

Simulacion::~Simulacion() {
  try {
    if (conexion_.InTransaction()) conexion_.Rollback();
  } catch (...) {
    // A lost connection took the transaction with it.
  }
}

}  // namespace imp
