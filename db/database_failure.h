#pragma once
// The one failure the db layer raises. Its text is "dbExpress Error: <what
// the client was doing>" followed, when the server sent a status, by
// "\nSQL Server Error: <the formatted status vector>".

#include <cstdint>
#include <string>

#include "values/failure.h"

namespace imp {

// A failure reported by the database client or server.
class DatabaseFailure : public Failure {
 public:
  // `client_text` is the client's description; `server_message` the
  // server's formatted status (empty when the server sent none);
  // `gds_code` the first error code of the status vector (0 when none).
  DatabaseFailure(const std::string& client_text, const std::string& server_message,
                  intptr_t gds_code = 0, bool cannot_transliterate = false);

  const std::string& client_text() const { return client_text_; }
  const std::string& server_message() const { return server_message_; }
  intptr_t gds_code() const { return gds_code_; }

  // True when the failure is the database's or its connection's state, not
  // the statement's data: an I/O error (disk full), a lost connection, a
  // database shut down or read only, a lock that could not be had, no
  // privilege, an engine fault. Every later statement would fail the same
  // way, so such a failure ends a run instead of refusing one order.
  bool ends_the_run() const;

  // True when a text could not be converted between the connection's
  // character set and a column's (or a parameter's): the value cannot be
  // stored there, and no stored value can equal it.
  bool cannot_transliterate() const { return cannot_transliterate_; }

 private:
  std::string client_text_;
  std::string server_message_;
  intptr_t gds_code_;
  bool cannot_transliterate_;
};

}  // namespace imp
