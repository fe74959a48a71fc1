#include "db/firebird.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "db/fb_client.h"
#include "db/fb_owner.h"
#include "db/input_message.h"
#include "db/output_message.h"

namespace imp::fb {
namespace {

using Firebird::IStatus;
using Firebird::ThrowStatusWrapper;

// The server's number of a connection character set, for the texts bound as
// parameters; a set not known here is left to the connection (dynamic).
unsigned CharsetId(const std::string& name) {
  std::string upper;
  for (char c : name) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (upper.empty() || upper == "NONE") return 0;
  if (upper == "OCTETS") return 1;
  if (upper == "ASCII") return 2;
  if (upper == "UNICODE_FSS") return 3;
  if (upper == "UTF8") return 4;
  if (upper == "ISO8859_1") return 21;
  if (upper == "WIN1252") return 53;
  return 127;
}

}  // namespace

// ---- Shared state -----------------------------------------------------------

// Something made on an attachment that must end before it detaches.
struct Dependent {
  virtual ~Dependent() = default;
  virtual void Drop() noexcept = 0;
};

struct Attachment::Core {
  FbRef<Firebird::IAttachment> handle;
  int dialect = 3;
  unsigned charset_id = 0;  // of the texts bound as parameters
  uint64_t executions = 0;
  std::vector<Dependent*> cursors;
  std::vector<Dependent*> statements;
  std::vector<Dependent*> transactions;

  static void Forget(std::vector<Dependent*>& list, Dependent* d) {
    list.erase(std::remove(list.begin(), list.end(), d), list.end());
  }

  // Ends everything made on the attachment, then detaches. Never throws.
  void DetachAll() noexcept {
    for (auto* list : {&cursors, &statements, &transactions}) {
      while (!list->empty()) list->back()->Drop();  // Drop unregisters
    }
    EndQuietly(handle, [](Firebird::IAttachment* a, auto* s) { a->detach(s); });
  }

  Firebird::IAttachment* Live() const {
    if (!handle) RaiseClosed();
    return handle.get();
  }
};

struct Transaction::Impl final : Dependent {
  std::shared_ptr<Attachment::Core> core;
  FbRef<Firebird::ITransaction> handle;

  ~Impl() override { Drop(); }

  // Rolls back, ignoring failures.
  void Drop() noexcept override {
    if (!core) return;
    EndCursors();
    EndQuietly(handle, [](Firebird::ITransaction* t, auto* s) { t->rollback(s); });
    Attachment::Core::Forget(core->transactions, this);
    core.reset();
  }
  void EndCursors() noexcept;

  Firebird::ITransaction* Live() const {
    if (!handle) RaiseClosed();
    return handle.get();
  }
};

struct Statement::Impl final : Dependent {
  std::shared_ptr<Attachment::Core> core;
  FbRef<Firebird::IStatement> handle;
  FbRef<Firebird::IMessageMetadata> in_meta;
  FbRef<Firebird::IMessageMetadata> out_meta;
  std::string sql;
  unsigned type = 0;
  int input_count = 0;
  std::vector<Value> params;
  std::vector<Column> columns;
  std::vector<FieldOffsets> column_offsets;
  std::vector<Column> parameters;
  Row outputs;

  ~Impl() override { Drop(); }
  void Drop() noexcept override {
    if (!core) return;
    in_meta.reset();
    out_meta.reset();
    EndQuietly(handle, [](Firebird::IStatement* st, auto* s) { st->free(s); });
    Attachment::Core::Forget(core->statements, this);
    core.reset();
  }
  Firebird::IStatement* Live() const {
    if (!handle) RaiseClosed();
    return handle.get();
  }

  // The message of the bound values, blobs created in `tra`.
  InputMessage& BuildInput(Firebird::ITransaction* tra) {
    if (input_count > 0) input.Encode(params, core->Live(), tra, core->charset_id);
    return input;
  }
  InputMessage input;
};

struct Cursor::Impl final : Dependent {
  std::shared_ptr<Attachment::Core> core;
  std::shared_ptr<Transaction::Impl> transaction;
  std::shared_ptr<Statement::Impl> statement;
  FbRef<Firebird::IResultSet> handle;
  std::vector<unsigned char> buffer;
  Row row;

  ~Impl() override { Drop(); }
  void Drop() noexcept override {
    if (!core) return;
    EndQuietly(handle, [](Firebird::IResultSet* r, auto* s) { r->close(s); });
    Attachment::Core::Forget(core->cursors, this);
    core.reset();
  }
};

void Transaction::Impl::EndCursors() noexcept {
  std::vector<Dependent*> mine;
  for (Dependent* d : core->cursors)
    if (static_cast<Cursor::Impl*>(d)->transaction.get() == this) mine.push_back(d);
  for (Dependent* d : mine) d->Drop();
}

// ---- Attachment ---------------------------------------------------------------

Attachment::Attachment() = default;
Attachment::~Attachment() { Detach(); }
Attachment::Attachment(Attachment&&) noexcept = default;
Attachment& Attachment::operator=(Attachment&& other) noexcept {
  if (this != &other) {
    Detach();
    core_ = std::move(other.core_);
  }
  return *this;
}

Attachment Attachment::Attach(const AttachOptions& options) {
  auto core = std::make_shared<Core>();
  core->dialect = options.sql_dialect;
  core->charset_id = CharsetId(options.charset);
  core->handle = Call("Unable to connect", [&](ThrowStatusWrapper& s) {
    FbDisposable<Firebird::IXpbBuilder> dpb(
        Master()->getUtilInterface()->getXpbBuilder(&s, Firebird::IXpbBuilder::DPB, nullptr, 0));
    dpb->insertString(&s, isc_dpb_user_name, options.user.c_str());
    dpb->insertString(&s, isc_dpb_password, options.password.c_str());
    dpb->insertInt(&s, isc_dpb_sql_dialect, options.sql_dialect);
    // The database string is a file name of this system's, UTF-8 on
    // Linux, whatever the connection's character set: "…/compañía/…"
    // must reach the file system as it is.
    dpb->insertTag(&s, isc_dpb_utf8_filename);
    if (!options.charset.empty()) dpb->insertString(&s, isc_dpb_lc_ctype, options.charset.c_str());
    if (options.connect_timeout > 0) {
      dpb->insertInt(&s, isc_dpb_connect_timeout, options.connect_timeout);
    }
    FbRef<Firebird::IProvider> provider(Master()->getDispatcher());
    return FbRef<Firebird::IAttachment>(provider->attachDatabase(
        &s, options.database.c_str(), dpb->getBufferLength(&s), dpb->getBuffer(&s)));
  });
  Attachment a;
  a.core_ = std::move(core);
  return a;
}

bool Attachment::attached() const { return core_ && core_->handle; }
int Attachment::sql_dialect() const { return core_ ? core_->dialect : 3; }
uint64_t Attachment::executions() const { return core_ ? core_->executions : 0; }

void Attachment::Detach() {
  if (core_) {
    core_->DetachAll();
    core_.reset();
  }
}

// ---- Transaction --------------------------------------------------------------

Transaction::Transaction() = default;
Transaction::~Transaction() = default;  // Impl rolls back
Transaction::Transaction(Transaction&&) noexcept = default;
Transaction& Transaction::operator=(Transaction&&) noexcept = default;

Transaction Transaction::Begin(Attachment& attachment, const TransactionOptions& options) {
  if (!attachment.core_) RaiseClosed();
  Firebird::IAttachment* att = attachment.core_->Live();
  std::vector<unsigned char> tpb{isc_tpb_version3};
  tpb.push_back(options.read_only ? isc_tpb_read : isc_tpb_write);
  if (options.isolation == TransactionOptions::Isolation::kReadCommitted) {
    tpb.push_back(isc_tpb_read_committed);
    tpb.push_back(isc_tpb_rec_version);
  } else {
    tpb.push_back(isc_tpb_concurrency);
  }
  tpb.push_back(options.wait ? isc_tpb_wait : isc_tpb_nowait);
  if (options.wait && options.lock_timeout > 0) {
    // Tag, length, then the seconds as a little-endian integer.
    tpb.push_back(isc_tpb_lock_timeout);
    tpb.push_back(4);
    for (int shift = 0; shift < 32; shift += 8) {
      tpb.push_back(static_cast<unsigned char>((static_cast<uint32_t>(options.lock_timeout) >> shift) & 0xFF));
    }
  }
  auto impl = std::make_shared<Impl>();
  impl->handle = Call("Unable to start transaction", [&](ThrowStatusWrapper& s) {
    return FbRef<Firebird::ITransaction>(
        att->startTransaction(&s, static_cast<unsigned>(tpb.size()), tpb.data()));
  });
  impl->core = attachment.core_;
  impl->core->transactions.push_back(impl.get());
  Transaction t;
  t.impl_ = std::move(impl);
  return t;
}

bool Transaction::active() const { return impl_ && impl_->handle; }

void Transaction::Commit(bool retaining) {
  if (!active()) RaiseClosed();
  if (retaining) {
    impl_->EndCursors();
    Call("Unable to commit", [&](ThrowStatusWrapper& s) { impl_->handle->commitRetaining(&s); });
    return;
  }
  impl_->EndCursors();
  Call("Unable to commit", [&](ThrowStatusWrapper& s) { impl_->handle->commit(&s); });
  impl_->handle.forget();
  impl_->Drop();
}

void Transaction::Rollback() {
  if (!active()) RaiseClosed();
  impl_->EndCursors();
  Call("Unable to roll back", [&](ThrowStatusWrapper& s) { impl_->handle->rollback(&s); });
  impl_->handle.forget();
  impl_->Drop();
}

// ---- Statement ----------------------------------------------------------------

Statement::Statement() = default;
Statement::~Statement() = default;
Statement::Statement(Statement&&) noexcept = default;
Statement& Statement::operator=(Statement&&) noexcept = default;

Statement Statement::Prepare(Attachment& attachment, Transaction& transaction, const std::string& sql) {
  if (!attachment.core_ || !transaction.impl_) RaiseClosed();
  Firebird::IAttachment* att = attachment.core_->Live();
  Firebird::ITransaction* tra = transaction.impl_->Live();
  auto impl = std::make_shared<Impl>();
  impl->sql = sql;
  impl->core = attachment.core_;
  impl->core->statements.push_back(impl.get());
  Call("Unable to prepare statement", [&](ThrowStatusWrapper& s) {
    impl->handle.reset(att->prepare(&s, tra, static_cast<unsigned>(sql.size()), sql.data(),
                                    static_cast<unsigned>(attachment.core_->dialect),
                                    Firebird::IStatement::PREPARE_PREFETCH_METADATA));
    impl->type = impl->handle->getType(&s);
    impl->in_meta.reset(impl->handle->getInputMetadata(&s));
    impl->out_meta.reset(impl->handle->getOutputMetadata(&s));
    impl->input_count = static_cast<int>(impl->in_meta->getCount(&s));
  });
  impl->columns = DescribeColumns(impl->out_meta.get());
  impl->column_offsets = OffsetsOf(impl->out_meta.get());
  impl->parameters = DescribeColumns(impl->in_meta.get());
  impl->params.assign(impl->input_count, Value());
  Statement st;
  st.impl_ = std::move(impl);
  return st;
}

bool Statement::prepared() const { return impl_ && impl_->handle; }

const std::string& Statement::sql() const {
  static const std::string none;
  return impl_ ? impl_->sql : none;
}

bool Statement::returns_rows() const {
  return impl_ && (impl_->type == isc_info_sql_stmt_select ||
                   impl_->type == isc_info_sql_stmt_select_for_upd);
}

int Statement::input_count() const { return impl_ ? impl_->input_count : 0; }

void Statement::SetParam(int index, Value value) {
  if (!impl_ || index < 0 || index >= impl_->input_count)
    throw DatabaseFailure("Parameter index out of range: " + std::to_string(index), "");
  impl_->params[index] = std::move(value);
}

void Statement::ClearParams() {
  if (impl_) impl_->params.assign(impl_->input_count, Value());
}

const std::vector<Column>& Statement::columns() const {
  static const std::vector<Column> none;
  return impl_ ? impl_->columns : none;
}

const std::vector<Column>& Statement::parameters() const {
  static const std::vector<Column> none;
  return impl_ ? impl_->parameters : none;
}

Cursor Statement::Open(Transaction& transaction) {
  if (!impl_ || !transaction.impl_) RaiseClosed();
  Firebird::IStatement* st = impl_->Live();
  Firebird::ITransaction* tra = transaction.impl_->Live();
  if (!returns_rows()) throw DatabaseFailure("Statement returns no rows", "");
  InputMessage& in = impl_->BuildInput(tra);
  auto cursor = std::make_shared<Cursor::Impl>();
  cursor->handle = Call("Unable to execute statement", [&](ThrowStatusWrapper& s) {
    return FbRef<Firebird::IResultSet>(
        st->openCursor(&s, tra, in.metadata(), in.data(), impl_->out_meta.get(), 0));
  });
  ++impl_->core->executions;
  cursor->core = impl_->core;
  cursor->core->cursors.push_back(cursor.get());
  cursor->transaction = transaction.impl_;
  cursor->statement = impl_;
  cursor->buffer.assign(Call("Unable to execute statement", [&](ThrowStatusWrapper& s) {
                          return impl_->out_meta->getMessageLength(&s);
                        }),
                        0);
  Cursor c;
  c.impl_ = std::move(cursor);
  return c;
}

uint64_t Statement::Execute(Transaction& transaction) { return Run(transaction, true); }

void Statement::ExecuteUncounted(Transaction& transaction) { Run(transaction, false); }

uint64_t Statement::Run(Transaction& transaction, bool count_rows) {
  if (!impl_ || !transaction.impl_) RaiseClosed();
  Firebird::IStatement* st = impl_->Live();
  Firebird::ITransaction* tra = transaction.impl_->Live();
  if (returns_rows()) throw DatabaseFailure("Statement returns rows", "");
  InputMessage& in = impl_->BuildInput(tra);
  std::vector<unsigned char> out;
  bool has_outputs = !impl_->columns.empty();
  uint64_t affected = Call("Unable to execute statement", [&](ThrowStatusWrapper& s) {
    if (has_outputs) out.assign(impl_->out_meta->getMessageLength(&s), 0);
    st->execute(&s, tra, in.metadata(), in.data(), has_outputs ? impl_->out_meta.get() : nullptr, has_outputs ? out.data() : nullptr);
    return count_rows ? st->getAffectedRecords(&s) : uint64_t{0};
  });
  ++impl_->core->executions;
  impl_->outputs.clear();
  if (has_outputs)
    impl_->outputs = DecodeRow(impl_->columns, impl_->column_offsets, out.data(), impl_->core->Live(), tra);
  return affected;
}

const Row& Statement::outputs() const {
  static const Row none;
  return impl_ ? impl_->outputs : none;
}

// ---- Cursor -------------------------------------------------------------------

Cursor::Cursor() = default;
Cursor::~Cursor() = default;
Cursor::Cursor(Cursor&&) noexcept = default;
Cursor& Cursor::operator=(Cursor&&) noexcept = default;

bool Cursor::open() const { return impl_ && impl_->handle; }

void Cursor::Close() {
  if (impl_) impl_->Drop();
}

bool Cursor::Fetch() {
  if (!open()) return false;
  Cursor::Impl& c = *impl_;
  int rc = Call("Unable to fetch", [&](ThrowStatusWrapper& s) {
    return c.handle->fetchNext(&s, c.buffer.data());
  });
  if (rc != IStatus::RESULT_OK) {
    c.row.clear();
    c.Drop();
    return false;
  }
  c.row = DecodeRow(c.statement->columns, c.statement->column_offsets, c.buffer.data(), c.core->Live(),
                    c.transaction->Live());
  return true;
}

const Row& Cursor::row() const {
  static const Row none;
  return impl_ ? impl_->row : none;
}

const std::vector<Column>& Cursor::columns() const {
  static const std::vector<Column> none;
  return impl_ && impl_->statement ? impl_->statement->columns : none;
}

std::vector<Row> Cursor::FetchAll() {
  std::vector<Row> rows;
  while (Fetch()) rows.push_back(row());
  return rows;
}

}  // namespace imp::fb
