#pragma once
// A thin RAII layer over the Firebird client's object API. Only db/*.cpp see
// the client's own headers; everything above works with these types.
//
// Ownership: an Attachment owns the database attachment. Transactions,
// statements and cursors made on it share its life: detaching (explicitly or
// by destruction) rolls back the transactions still active, closes the
// cursors and frees the statements, and any later use of those objects fails
// with DatabaseFailure ("dbExpress Error: Connection closed"). Every object
// is move-only; destroying one releases what it holds and never throws.
//
// Failures reported by the client become DatabaseFailure whose text is
// "dbExpress Error: <what the client was doing>" followed, when the server
// sent a status, by "\nSQL Server Error: <the formatted status vector>".

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/database_failure.h"
#include "db/fb_value.h"

namespace imp {
namespace fb {

class Attachment;
class Transaction;
class Statement;
class Cursor;

// Description of one output column.
struct Column {
  std::string name;   // the field name or alias, as the server reports it
  int sql_type = 0;   // the client's SQL_* type without the null flag
  int scale = 0;      // numeric scale (<= 0)
  int length = 0;     // bytes of the buffer (texts: the declared length in bytes)
  int sub_type = 0;   // blob subtype, or the numeric/decimal mark of integers
  int charset = 0;    // character set id of texts (0 NONE, 1 OCTETS, 4 UTF8, ...)
};

// Isolation and access of a transaction. Read committed sees what other
// transactions committed before each statement; `wait` makes a lock
// conflict wait for the other transaction instead of failing at once.
struct TransactionOptions {
  enum class Isolation { kReadCommitted, kSnapshot };
  Isolation isolation = Isolation::kReadCommitted;
  bool read_only = false;
  bool wait = true;
  int lock_timeout = 0;  // seconds a waiting transaction waits; 0: no limit
};

// Where and as whom to attach.
struct AttachOptions {
  // A local path opens the file in-process (embedded engine);
  // "host:/path" goes to a server over TCP.
  std::string database;
  std::string user;
  std::string password;
  int sql_dialect = 3;
  int connect_timeout = 0;  // seconds to wait for the server; 0: the client's own
  // The connection's character set (the client's lc_ctype): texts sent are
  // taken to be in it and the server turns them into each column's own
  // character set; texts read come in it. Empty: NONE, bytes as they are.
  // Whatever it is, the database string travels as UTF-8, the file
  // system's own encoding.
  std::string charset{};
};

class Attachment {
 public:
  Attachment();  // not attached
  ~Attachment();  // detaches (see the ownership rules above)
  Attachment(Attachment&&) noexcept;
  Attachment& operator=(Attachment&&) noexcept;

  // Attaches to an existing database. Fails with DatabaseFailure
  // ("Unable to connect" and the server's reason).
  static Attachment Attach(const AttachOptions& options);

  bool attached() const;
  int sql_dialect() const;
  // Ends every transaction (rollback), cursor and statement made on this
  // attachment, then detaches. Detaching a detached attachment does nothing.
  void Detach();

  // Number of statement executions (cursor opens and executes) made on
  // this attachment so far.
  uint64_t executions() const;

  struct Core;

 private:
  friend class Transaction;
  friend class Statement;
  std::shared_ptr<Core> core_;
};

class Transaction {
 public:
  Transaction();  // no transaction
  // Rolls back when still active; never throws.
  ~Transaction();
  Transaction(Transaction&&) noexcept;
  Transaction& operator=(Transaction&&) noexcept;

  static Transaction Begin(Attachment& attachment, const TransactionOptions& options = {});

  bool active() const;
  // Ends the transaction keeping its changes. With `retaining` the
  // transaction stays active with a fresh view (the changes are committed).
  void Commit(bool retaining = false);
  void Rollback();

  struct Impl;

 private:
  friend class Statement;
  friend class Cursor;
  std::shared_ptr<Impl> impl_;
};

class Statement {
 public:
  Statement();  // not prepared
  ~Statement();
  Statement(Statement&&) noexcept;
  Statement& operator=(Statement&&) noexcept;

  // Prepares `sql` (positional "?" parameters) in `transaction`; the
  // statement may then run in any transaction of the same attachment.
  static Statement Prepare(Attachment& attachment, Transaction& transaction,
                           const std::string& sql);

  bool prepared() const;
  const std::string& sql() const;
  // True for SELECT and selectable procedures (run with Open); false for
  // everything run with Execute (DML, EXECUTE PROCEDURE, DDL).
  bool returns_rows() const;

  // Input parameters, 0-based. Values are sent with their own type and the
  // server converts them to the parameter's type, so a text bound to an
  // integer parameter that is not a number fails as a conversion error.
  // Unset parameters are null. Values stay bound until changed or cleared.
  int input_count() const;
  void SetParam(int index, Value value);
  void ClearParams();

  // Output columns (the cursor's columns, or a procedure's outputs).
  const std::vector<Column>& columns() const;
  // The server's description of the input parameters, in order (names are
  // empty).
  const std::vector<Column>& parameters() const;

  // Runs a row-returning statement and opens a cursor on its rows.
  Cursor Open(Transaction& transaction);
  // Runs any other statement; returns the number of rows it inserted,
  // updated or deleted. An EXECUTE PROCEDURE's outputs become `outputs()`.
  uint64_t Execute(Transaction& transaction);
  // Runs it as Execute does without asking how many rows it touched (over
  // TCP that question is a round trip of its own): for statements whose
  // success already says it, such as an INSERT ... VALUES into a table.
  void ExecuteUncounted(Transaction& transaction);
  // The output row of the last Execute (empty when there are no outputs).
  const Row& outputs() const;

  struct Impl;

 private:
  friend class Cursor;
  uint64_t Run(Transaction& transaction, bool count_rows);
  std::shared_ptr<Impl> impl_;
};

class Cursor {
 public:
  Cursor();  // closed
  ~Cursor();
  Cursor(Cursor&&) noexcept;
  Cursor& operator=(Cursor&&) noexcept;

  // Moves to the next row; false when there is none (the cursor is then
  // closed). Blobs are read whole.
  bool Fetch();
  const Row& row() const;
  const std::vector<Column>& columns() const;
  bool open() const;
  void Close();

  // Fetches every remaining row.
  std::vector<Row> FetchAll();

  struct Impl;

 private:
  friend class Statement;
  std::shared_ptr<Impl> impl_;
};

}  // namespace fb
}  // namespace imp
