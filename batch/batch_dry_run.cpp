#include "batch/batch_dry_run.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "db/connection.h"
#include "db/firebird.h"
#include "db/order_store.h"

namespace imp {

BatchDryRun::BatchDryRun(Connection& connection, OrderStore& store) : connection_(connection) {
  fb::Statement& lowest = connection.Prepared("SELECT MIN(PEDI_ID) FROM PEDIDOS");
  lowest.ClearParams();
  const std::vector<fb::Row> rows = connection.Query(lowest);
  int64_t first = -1;
  if (!rows.empty() && !rows[0].empty() && !rows[0][0].is_null()) {
    first = std::min<int64_t>(0, rows[0][0].integer) - 1;
  }
  store.UseStandInIds(
      static_cast<int32_t>(std::max<int64_t>(first, std::numeric_limits<int32_t>::min())));
  connection.BeginTransaction();
}

BatchDryRun::~BatchDryRun() {
  try {
    if (connection_.InTransaction()) connection_.Rollback();
  } catch (...) {
    // A lost connection took the transaction with it.
  }
}

}  // namespace imp
