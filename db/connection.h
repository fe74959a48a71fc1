#pragma once
// The program's single database connection (`Norvela`): the parameter list,
// the open/closed state, the transactions and the statements prepared on it.
//
// Transactions on the connection:
//  - the read transaction: one long read-only, read-committed transaction
//    begun on first use, in which the lookups and query-backed sets run
//    (read committed, so they see what others commit meanwhile);
//  - the write transaction: begun by BeginTransaction for writing an order
//    (isolation, lock waiting and commit retaining from the parameter list);
//  - short transactions: owned by the caller (StartTransaction), e.g. for
//    drawing a new order identifier and committing it at once.
// Closing rolls back the write transaction and anything still active, frees
// every prepared statement and detaches. Prepared statements belong to one
// open of the connection: after a reconnect they are prepared again.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "db/connection_params.h"
#include "db/firebird.h"

namespace imp {

enum class ConnectionState { kClosed, kConnecting, kOpen };

class Connection {
 public:
  // Starts closed with ConnectionParams::Defaults().
  Connection();
  ~Connection();  // closes
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ConnectionParams& params() { return params_; }
  const ConnectionParams& params() const { return params_; }
  void SetParam(std::string_view name, std::string_view value) { params_.Set(name, value); }
  // Limits on waiting, in seconds (0: none of ours): for the server to
  // answer when opening, and for a row another transaction holds (write
  // transactions that wait on locks).
  void set_connect_timeout(int seconds) { connect_timeout_ = seconds; }
  void set_lock_timeout(int seconds) { lock_timeout_ = seconds; }
  std::string GetParam(std::string_view name) const { return params_.Get(name); }

  // Opens with the current parameters: Database, User_Name, Password,
  // ServerCharSet (the connection character set, empty for NONE),
  // SQLDialect; Interbase TransIsolation and WaitOnLocks shape the write
  // transactions. The other entries are kept without effect. Opening an
  // open connection does nothing. A failure raises
  // DatabaseFailure and leaves the connection closed.
  void Open();
  // Closes (see above). Closing a closed connection does nothing.
  void Close();
  bool connected() const { return state_ == ConnectionState::kOpen; }
  // How many times the connection has been opened: what was prepared for
  // one open is not valid for the next.
  uint64_t opens() const { return opens_; }
  ConnectionState state() const { return state_; }
  // True when the Database parameter names a server to reach over the
  // network ("host:/path", "host/port:/path", "inet://host/path",
  // "\\host\path"); false for a local path the embedded engine opens.
  bool IsRemote() const;

  // The attachment, opening the connection first when it is closed.
  fb::Attachment& attachment();

  // The long read-only transaction of lookups and sets, begun when needed
  // (opening the connection first when it is closed).
  fb::Transaction& ReadTransaction();

  // The statement for `sql`, prepared once per open of the connection
  // (opening it first when closed). The reference stays valid until Close.
  fb::Statement& Prepared(const std::string& sql);

  // Runs a row-returning prepared statement with its bound parameters in
  // `transaction` (the read transaction when null) and fetches every row.
  // Counts as one executed statement.
  std::vector<fb::Row> Query(fb::Statement& statement, fb::Transaction* transaction = nullptr);

  // The write transaction. BeginTransaction begins it (opening the
  // connection when closed); beginning while one is active fails.
  void BeginTransaction();
  bool InTransaction() const;
  // The active write transaction; fails when there is none.
  fb::Transaction& transaction();
  // Commits or rolls back the write transaction; either ends it (commits
  // are never retaining). Fail when none is active.
  void Commit();
  void Rollback();

  // A new transaction owned by the caller, with the connection's isolation
  // and lock waiting; it must end before the connection closes, or Close
  // rolls it back.
  fb::Transaction StartTransaction();

  // Statements executed on this connection since it was created, across
  // reconnects (cursor opens and executes).
  uint64_t statements_executed() const;

 private:
  fb::TransactionOptions WriteOptions() const;

  ConnectionParams params_;
  int connect_timeout_ = 0;
  int lock_timeout_ = 0;
  ConnectionState state_ = ConnectionState::kClosed;
  fb::Attachment attachment_;
  fb::Transaction read_transaction_;
  fb::Transaction write_transaction_;
  std::map<std::string, std::unique_ptr<fb::Statement>> prepared_;
  uint64_t executed_before_ = 0;  // executions of earlier attachments
  uint64_t opens_ = 0;
};

}  // namespace imp
