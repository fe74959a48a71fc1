#pragma once
// Waiting, from another attachment, for an importer's order insert to be
// held in the server by a row that attachment keeps locked.

#include <chrono>
#include <functional>

#include "db/firebird.h"

namespace imp::testing {

// Returns true once an insert into PEDIDOS of another attachment (over TCP,
// the EXECUTE BLOCK that holds it) is seen running in the server, looking
// through `observer`'s monitoring tables. Between looks it calls `pause`,
// which must wait a little and say whether the importer still runs; false
// when it no longer does, or after `limit` (which only keeps a broken
// importer from hanging a test: it measures nothing).
bool WaitForHeldOrderInsert(fb::Attachment& observer, const std::function<bool()>& pause,
                            std::chrono::milliseconds limit);

}  // namespace imp::testing
