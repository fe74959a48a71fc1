#include "db/firebird.h"

#include <firebird/Interface.h>
#include <iberror.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>

#include "db/fb_owner.h"
#include "values/text_encoding.h"

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

namespace fb {
namespace {

constexpr int kCharsetUnicodeFss = 3;
constexpr int kCharsetUtf8 = 4;

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

using Firebird::FbException;
using Firebird::IStatus;
using Firebird::ThrowStatusWrapper;

Firebird::IMaster* Master() {
  static Firebird::IMaster* master = Firebird::fb_get_master_interface();
  return master;
}

// Days between 17 November 1858 (the client's day 0) and 1 January 1970.
constexpr int64_t kClientDayOf1970 = 40587;

std::string FormatStatus(const IStatus* status) {
  char buffer[4096];
  unsigned length =
      Master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, const_cast<IStatus*>(status));
  std::string text(buffer, std::min<size_t>(length, sizeof buffer));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

[[noreturn]] void RaiseClosed() { throw DatabaseFailure("Connection closed", ""); }

// Runs a client call with a throwing status and turns the client's
// exception into the system's failure, `what` describing the step.
template <typename F>
auto Call(const char* what, F&& f) -> decltype(f(std::declval<ThrowStatusWrapper&>())) {
  FbDisposable<IStatus> owned(Master()->getStatus());
  ThrowStatusWrapper status(owned.get());
  try {
    return f(status);
  } catch (const FbException& e) {
    const IStatus* st = e.getStatus();
    const intptr_t* errors = st->getErrors();
    intptr_t code = (errors && errors[0] == isc_arg_gds) ? errors[1] : 0;
    // The transliteration code comes second, under a generic first one
    // ("arithmetic exception, numeric overflow, or string truncation").
    bool transliteration = false;
    for (const intptr_t* p = errors; p && *p != isc_arg_end;) {
      const intptr_t type = *p++;
      if (type == isc_arg_gds && *p == isc_transliteration_failed) transliteration = true;
      p += type == isc_arg_cstring ? 2 : 1;
    }
    throw DatabaseFailure(what, FormatStatus(st), code, transliteration);
  }
}

// Runs a client call whose failure is only reported: true when it worked.
template <typename F>
bool Quietly(F&& f) {
  FbDisposable<IStatus> owned(Master()->getStatus());
  Firebird::CheckStatusWrapper status(owned.get());
  f(status);
  return !(status.getState() & IStatus::STATE_ERRORS);
}

// Ends `owned` with `end` (a rollback, close, free or detach), which
// releases the interface when it works; when it fails, failures being
// ignored here, the reference is released instead.
template <typename T, typename F>
void EndQuietly(FbRef<T>& owned, F&& end) noexcept {
  if (!owned) return;
  if (Quietly([&](Firebird::CheckStatusWrapper& s) { end(owned.get(), &s); })) {
    owned.forget();
  } else {
    owned.reset();
  }
}

}  // namespace

// ---- Value ----------------------------------------------------------------

Value Value::Integer(int64_t v, int scale) {
  Value r;
  r.kind = Kind::kInteger;
  r.integer = v;
  r.scale = scale;
  return r;
}
Value Value::Double(double v) {
  Value r;
  r.kind = Kind::kDouble;
  r.real = v;
  return r;
}
Value Value::Text(std::string_view v) {
  Value r;
  r.kind = Kind::kText;
  r.bytes.assign(v);
  return r;
}
Value Value::OfDate(Date d) {
  Value r;
  r.kind = Kind::kDate;
  r.date = d;
  return r;
}
Value Value::Blob(std::string_view v) {
  Value r;
  r.kind = Kind::kBlob;
  r.bytes.assign(v);
  return r;
}

bool SameValue(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Value::Kind::kNull: return true;
    case Value::Kind::kInteger: return a.integer == b.integer && a.scale == b.scale;
    case Value::Kind::kBoolean: return a.integer == b.integer;
    case Value::Kind::kDouble: return a.real == b.real;
    case Value::Kind::kText:
    case Value::Kind::kBlob: return a.bytes == b.bytes;
    case Value::Kind::kDate: return a.date == b.date;
  }
  return false;
}

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

  // The input message of the bound values (each with its own type; the
  // server converts). Blobs are created in `tra`. The message layout is
  // kept from one execution to the next while the values keep their types
  // and every text fits its field, so a statement run for every line does
  // not describe a new message to the server each time.
  struct Input {
    FbRef<Firebird::IMessageMetadata> meta;
    std::vector<unsigned char> buffer;
  };
  struct Shape {
    unsigned type = 0;
    unsigned length = 0;
    int scale = 0;
  };
  Input input;
  std::vector<Shape> shapes;
  Input& BuildInput(Firebird::ITransaction* tra);
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

namespace {

// Reads a whole blob.
std::string ReadBlob(Firebird::IAttachment* att, Firebird::ITransaction* tra, ISC_QUAD id) {
  return Call("Unable to read blob", [&](ThrowStatusWrapper& s) {
    FbRef<Firebird::IBlob> blob(att->openBlob(&s, tra, &id, 0, nullptr));
    std::string bytes;
    char chunk[32768];
    for (;;) {
      unsigned got = 0;
      int rc = blob->getSegment(&s, sizeof chunk, chunk, &got);
      if (rc == IStatus::RESULT_NO_DATA) break;
      bytes.append(chunk, got);
    }
    blob->close(&s);
    blob.forget();
    return bytes;
  });
}

ISC_QUAD WriteBlob(Firebird::IAttachment* att, Firebird::ITransaction* tra, const std::string& bytes) {
  return Call("Unable to write blob", [&](ThrowStatusWrapper& s) {
    ISC_QUAD id{};
    FbRef<Firebird::IBlob> blob(att->createBlob(&s, tra, &id, 0, nullptr));
    size_t done = 0;
    while (done < bytes.size()) {
      unsigned n = static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 32767));
      blob->putSegment(&s, n, bytes.data() + done);
      done += n;
    }
    blob->close(&s);
    blob.forget();
    return id;
  });
}

std::string TimeText(ISC_TIME t) {
  unsigned seconds = t / 10000;
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

std::vector<Column> DescribeColumns(Firebird::IMessageMetadata* meta) {
  std::vector<Column> columns;
  if (!meta) return columns;
  Call("Unable to describe columns", [&](ThrowStatusWrapper& s) {
    unsigned count = meta->getCount(&s);
    for (unsigned i = 0; i < count; ++i) {
      Column c;
      c.name = meta->getAlias(&s, i);
      if (c.name.empty()) c.name = meta->getField(&s, i);
      c.sql_type = static_cast<int>(meta->getType(&s, i) & ~1u);
      c.scale = meta->getScale(&s, i);
      c.length = static_cast<int>(meta->getLength(&s, i));
      c.sub_type = meta->getSubType(&s, i);
      c.charset = static_cast<int>(meta->getCharSet(&s, i));
      columns.push_back(std::move(c));
    }
  });
  return columns;
}

// A CHAR(n) buffer holds n characters at the most bytes a character of its
// set can take; what follows the n-th character is padding.
std::string_view FixedText(std::string_view bytes, int charset) {
  std::size_t per_character = 1;
  if (charset == kCharsetUnicodeFss) per_character = 3;
  if (charset == kCharsetUtf8) per_character = 4;
  if (per_character == 1) return bytes;
  const std::size_t characters = bytes.size() / per_character;
  return bytes.substr(0, BytesOfCharacters(bytes, characters, TextEncoding::kUtf8));
}

// Decodes one message buffer laid out by `meta` into values.
Row DecodeRow(Firebird::IMessageMetadata* meta, const std::vector<Column>& columns,
              const unsigned char* buffer, Firebird::IAttachment* att, Firebird::ITransaction* tra) {
  Row row(columns.size());
  std::vector<std::pair<unsigned, unsigned>> offsets(columns.size());
  Call("Unable to read row", [&](ThrowStatusWrapper& s) {
    for (unsigned i = 0; i < columns.size(); ++i)
      offsets[i] = {meta->getOffset(&s, i), meta->getNullOffset(&s, i)};
  });
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    const unsigned char* p = buffer + offsets[i].first;
    int16_t null_flag;
    std::memcpy(&null_flag, buffer + offsets[i].second, sizeof null_flag);
    Value& v = row[i];
    if (null_flag != 0 || c.sql_type == SQL_NULL) continue;
    switch (c.sql_type) {
      case SQL_TEXT:
        v = Value::Text(FixedText(std::string_view(reinterpret_cast<const char*>(p), c.length),
                                  c.charset));
        break;
      case SQL_VARYING: {
        uint16_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Text(std::string_view(reinterpret_cast<const char*>(p + 2), n));
        break;
      }
      case SQL_SHORT: {
        int16_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_LONG: {
        int32_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_INT64: {
        int64_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_FLOAT: {
        float f;
        std::memcpy(&f, p, sizeof f);
        v = Value::Double(f);
        break;
      }
      case SQL_DOUBLE:
      case SQL_D_FLOAT: {
        double d;
        std::memcpy(&d, p, sizeof d);
        v = Value::Double(d);
        break;
      }
      case SQL_TYPE_DATE: {
        ISC_DATE d;
        std::memcpy(&d, p, sizeof d);
        v = Value::OfDate(Date::FromDays(d - kClientDayOf1970));
        break;
      }
      case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts;
        std::memcpy(&ts, p, sizeof ts);
        v = Value::OfDate(Date::FromDays(ts.timestamp_date - kClientDayOf1970));
        break;
      }
      case SQL_TYPE_TIME: {
        ISC_TIME t;
        std::memcpy(&t, p, sizeof t);
        v = Value::Text(TimeText(t));
        break;
      }
      case SQL_BOOLEAN:
        v.kind = Value::Kind::kBoolean;
        v.integer = *p ? 1 : 0;
        break;
      case SQL_BLOB: {
        ISC_QUAD id;
        std::memcpy(&id, p, sizeof id);
        v = Value::Blob(ReadBlob(att, tra, id));
        break;
      }
      default:
        throw DatabaseFailure("Unsupported column type " + std::to_string(c.sql_type) +
                                  " of " + c.name,
                              "");
    }
  }
  return row;
}

}  // namespace

Statement::Impl::Input& Statement::Impl::BuildInput(Firebird::ITransaction* tra) {
  Input& in = input;
  if (input_count == 0) return in;
  Firebird::IAttachment* att = core->Live();
  Call("Unable to bind parameters", [&](ThrowStatusWrapper& s) {
    // The shape each value needs; a text field keeps the room it was given
    // (at least 64 bytes, doubling as longer texts come).
    std::vector<Shape> wanted(static_cast<size_t>(input_count));
    bool same = in.meta && shapes.size() == wanted.size();
    for (int i = 0; i < input_count; ++i) {
      Value& v = params[i];
      // A VARCHAR message field holds at most 32765 bytes; longer texts
      // travel as blobs, which the server converts back to text.
      if (v.kind == Value::Kind::kText && v.bytes.size() > 32765) v.kind = Value::Kind::kBlob;
      Shape& w = wanted[static_cast<size_t>(i)];
      w.type = SQL_VARYING, w.length = 1;
      switch (v.kind) {
        case Value::Kind::kNull: break;
        case Value::Kind::kInteger: w.type = SQL_INT64, w.length = 8, w.scale = v.scale; break;
        case Value::Kind::kDouble: w.type = SQL_DOUBLE, w.length = 8; break;
        case Value::Kind::kText: w.length = static_cast<unsigned>(std::max<size_t>(v.bytes.size(), 1)); break;
        case Value::Kind::kDate: w.type = SQL_TYPE_DATE, w.length = 4; break;
        case Value::Kind::kBlob: w.type = SQL_BLOB, w.length = 8; break;
        case Value::Kind::kBoolean: w.type = SQL_BOOLEAN, w.length = 1; break;
      }
      if (same) {
        const Shape& have = shapes[static_cast<size_t>(i)];
        same = have.type == w.type && have.scale == w.scale &&
               (w.type == SQL_VARYING ? w.length <= have.length : have.length == w.length);
      }
    }
    if (!same) {
      for (size_t i = 0; i < wanted.size(); ++i) {
        Shape& w = wanted[i];
        if (w.type != SQL_VARYING) continue;
        unsigned room = 64;
        if (i < shapes.size() && shapes[i].type == SQL_VARYING) room = std::max(room, 2 * shapes[i].length);
        w.length = std::min(32765u, std::max(w.length, room));
      }
      FbRef<Firebird::IMetadataBuilder> builder(Master()->getMetadataBuilder(&s, input_count));
      for (int i = 0; i < input_count; ++i) {
        const Shape& w = wanted[static_cast<size_t>(i)];
        builder->setType(&s, i, w.type | 1);
        builder->setLength(&s, i, w.length);
        builder->setScale(&s, i, w.scale);
        // Texts are in the connection's character set.
        if (w.type == SQL_VARYING) builder->setCharSet(&s, i, core->charset_id);
        if (w.type == SQL_BLOB) builder->setSubType(&s, i, 0);
      }
      in.meta.reset(builder->getMetadata(&s));
      shapes = std::move(wanted);
      in.buffer.assign(in.meta->getMessageLength(&s), 0);
    }
    for (int i = 0; i < input_count; ++i) {
      const Value& v = params[i];
      unsigned char* p = in.buffer.data() + in.meta->getOffset(&s, i);
      int16_t null_flag = v.is_null() ? -1 : 0;
      std::memcpy(in.buffer.data() + in.meta->getNullOffset(&s, i), &null_flag, sizeof null_flag);
      switch (v.kind) {
        case Value::Kind::kNull: break;
        case Value::Kind::kInteger: std::memcpy(p, &v.integer, 8); break;
        case Value::Kind::kDouble: std::memcpy(p, &v.real, 8); break;
        case Value::Kind::kText: {
          uint16_t n = static_cast<uint16_t>(v.bytes.size());
          std::memcpy(p, &n, 2);
          std::memcpy(p + 2, v.bytes.data(), n);
          break;
        }
        case Value::Kind::kDate: {
          ISC_DATE d = static_cast<ISC_DATE>(v.date.days() + kClientDayOf1970);
          std::memcpy(p, &d, sizeof d);
          break;
        }
        case Value::Kind::kBlob: {
          ISC_QUAD id = WriteBlob(att, tra, v.bytes);
          std::memcpy(p, &id, sizeof id);
          break;
        }
        case Value::Kind::kBoolean: *p = v.integer ? 1 : 0; break;
      }
    }
  });
  return in;
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
  Impl::Input& in = impl_->BuildInput(tra);
  auto cursor = std::make_shared<Cursor::Impl>();
  cursor->handle = Call("Unable to execute statement", [&](ThrowStatusWrapper& s) {
    return FbRef<Firebird::IResultSet>(st->openCursor(
        &s, tra, in.meta.get(), in.buffer.empty() ? nullptr : in.buffer.data(),
        impl_->out_meta.get(), 0));
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
  Impl::Input& in = impl_->BuildInput(tra);
  std::vector<unsigned char> out;
  bool has_outputs = !impl_->columns.empty();
  uint64_t affected = Call("Unable to execute statement", [&](ThrowStatusWrapper& s) {
    if (has_outputs) out.assign(impl_->out_meta->getMessageLength(&s), 0);
    st->execute(&s, tra, in.meta.get(), in.buffer.empty() ? nullptr : in.buffer.data(),
                has_outputs ? impl_->out_meta.get() : nullptr, has_outputs ? out.data() : nullptr);
    return count_rows ? st->getAffectedRecords(&s) : uint64_t{0};
  });
  ++impl_->core->executions;
  impl_->outputs.clear();
  if (has_outputs)
    impl_->outputs = DecodeRow(impl_->out_meta.get(), impl_->columns, out.data(), impl_->core->Live(), tra);
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
  c.row = DecodeRow(c.statement->out_meta.get(), c.statement->columns, c.buffer.data(), c.core->Live(),
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

}  // namespace fb
}  // namespace imp
