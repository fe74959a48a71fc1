#include "db/order_ids.h"

#include <charconv>
#include <cstdint>

#include "db/connection.h"
#include "db/firebird.h"
#include "values/failure.h"
#include "values/scaled_text.h"

namespace imp {

namespace {
// isc_read_only_trans: an update attempted in a read-only transaction.
constexpr intptr_t kReadOnlyTransaction = 335544361;
}  // namespace

bool OrderIds::IsStandIn(const std::string& id) const {
  if (!stand_in_id_) return false;
  int64_t n = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), n);
  if (error != std::errc() || end != id.data() + id.size()) return false;
  return n <= first_stand_in_ && n > *stand_in_id_;
}

std::string OrderIds::Next() {
  if (stand_in_id_) {
    const int32_t id = *stand_in_id_;
    *stand_in_id_ = id - 1;
    return std::to_string(id);
  }
  fb::Statement& procedure = connection_.Prepared("EXECUTE PROCEDURE CAMBIE_ID_PEDIDO");
  procedure.ClearParams();
  fb::Row outputs;
  // A procedure that only draws from a generator runs in the lookups' long
  // read-only transaction: generators are outside transaction control, so
  // nothing can give the identifier back, and no commit has to be forced to
  // disk for it (the order's own commit writes the generator page). One that
  // writes to a table is refused there before it changes anything; from
  // then on it runs in a short transaction of its own, committed at once.
  if (!needs_write_) {
    try {
      procedure.ExecuteUncounted(connection_.ReadTransaction());
      outputs = procedure.outputs();
    } catch (const DatabaseFailure& failure) {
      if (failure.gds_code() != kReadOnlyTransaction) throw;
      needs_write_ = true;
    }
  }
  if (needs_write_) {
    fb::Transaction transaction = connection_.StartTransaction();
    procedure.ExecuteUncounted(transaction);
    // Copied before the commit: the outputs belong to the statement.
    outputs = procedure.outputs();
    transaction.Commit();
  }
  if (outputs.empty() || outputs[0].is_null()) return "";
  const fb::Value& id = outputs[0];
  if (id.kind == fb::Value::Kind::kText) return id.bytes;
  return ScaledText(id.integer, id.scale, '.', TrailingZeros::kKeep);
}

std::optional<std::string> OrderIds::FindWritten(const std::string& prefix,
                                                 const std::string& number) {
  fb::Statement& query = connection_.Prepared(
      "SELECT PEDI_ID, PREF_PRE, PEDI_NUMERO FROM PEDIDOS"
      " WHERE TIDO_COD = 34 AND PREF_PRE = ? AND PEDI_NUMERO = ? ORDER BY PEDI_ID");
  query.ClearParams();
  query.SetParam(0, fb::Value::Text(prefix));
  query.SetParam(1, fb::Value::Text(number));
  fb::Transaction* transaction = connection_.InTransaction() ? &connection_.transaction() : nullptr;
  for (const fb::Row& row : connection_.Query(query, transaction)) {
    // The server pads the shorter text with blanks before comparing; an
    // order key is compared byte for byte.
    if (row[1].bytes != prefix || row[2].bytes != number) continue;
    if (row[0].is_null()) return std::string();
    return ScaledText(row[0].integer, row[0].scale, '.', TrailingZeros::kKeep);
  }
  return std::nullopt;
}

}  // namespace imp
