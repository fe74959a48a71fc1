#include "tests/support/order_insert_wait.h"

namespace imp::testing {

bool WaitForHeldOrderInsert(fb::Attachment& observer, const std::function<bool()>& pause,
                            std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  fb::Statement waiting;
  while (std::chrono::steady_clock::now() < end) {
    // Monitoring tables are a snapshot per transaction: a new one each time.
    fb::Transaction look = fb::Transaction::Begin(observer);
    if (!waiting.prepared()) {
      waiting = fb::Statement::Prepare(
          observer, look,
          "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
          "MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
          "(MON$SQL_TEXT STARTING WITH 'INSERT INTO PEDIDOS ' OR"
          " MON$SQL_TEXT STARTING WITH 'EXECUTE BLOCK (P0 TYPE OF COLUMN PEDIDOS.')");
    }
    const auto rows = waiting.Open(look).FetchAll();
    look.Commit();
    if (!rows.empty() && rows[0].at(0).integer > 0) return true;
    if (!pause()) return false;
  }
  return false;
}

}  // namespace imp::testing
