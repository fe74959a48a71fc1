#include "db/database_failure.h"

#include <firebird/Interface.h>
#include <iberror.h>

namespace imp {

DatabaseFailure::DatabaseFailure(const std::string& client_text,
                                 const std::string& server_message, intptr_t gds_code,
                                 bool cannot_transliterate)
    : Failure("dbExpress Error: " + client_text +
              (server_message.empty() ? std::string() : "\nSQL Server Error: " + server_message)),
      client_text_(client_text),
      server_message_(server_message),
      gds_code_(gds_code),
      cannot_transliterate_(cannot_transliterate) {}

bool DatabaseFailure::ends_the_run() const {
  switch (gds_code_) {
    case isc_io_error: case isc_io_create_err: case isc_io_open_err: case isc_io_close_err:
    case isc_io_read_err: case isc_io_write_err: case isc_io_access_err:
    case isc_network_error: case isc_net_read_err: case isc_net_write_err:
    case isc_net_connect_err: case isc_net_connect_listen_err: case isc_lost_db_connection:
    case isc_conn_lost: case isc_bad_db_handle:
    case isc_shutdown: case isc_shutinprog: case isc_att_shutdown:
    case isc_read_only_database: case isc_read_only_trans:
    case isc_lock_timeout: case isc_lock_conflict: case isc_deadlock:
    case isc_no_priv: case isc_login:
    case isc_db_corrupt: case isc_bug_check: case isc_sys_request: case isc_virmemexh:
    case isc_unavailable: case isc_cancelled:
      return true;
    default:
      return false;
  }
}

}  // namespace imp
