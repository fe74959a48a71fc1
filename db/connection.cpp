#include "db/connection.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace imp {
namespace {

bool IsTrue(const std::string& text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == "true";
}

}  // namespace

Connection::Connection() : params_(ConnectionParams::Defaults()) {}

Connection::~Connection() { Close(); }

void Connection::Open() {
  if (state_ == ConnectionState::kOpen) return;
  fb::AttachOptions options;
  options.database = params_.Get("Database");
  options.user = params_.Get("User_Name");
  options.password = params_.Get("Password");
  options.charset = params_.Get("ServerCharSet");
  const std::string dialect = params_.Get("SQLDialect");
  int value = 0;
  auto [end, ec] = std::from_chars(dialect.data(), dialect.data() + dialect.size(), value);
  options.sql_dialect = (ec == std::errc() && end == dialect.data() + dialect.size()) ? value : 3;
  options.connect_timeout = connect_timeout_;

  state_ = ConnectionState::kConnecting;
  try {
    attachment_ = fb::Attachment::Attach(options);
  } catch (...) {
    state_ = ConnectionState::kClosed;
    throw;
  }
  ++opens_;
  state_ = ConnectionState::kOpen;
}

void Connection::Close() {
  if (state_ == ConnectionState::kClosed) return;
  prepared_.clear();
  if (read_transaction_.active()) {
    try {
      read_transaction_.Commit();
    } catch (const Failure&) {
      // Nothing was changed in it; detaching below ends it anyway.
    }
  }
  read_transaction_ = fb::Transaction();
  write_transaction_ = fb::Transaction();  // rolls back an unfinished write
  executed_before_ += attachment_.executions();
  attachment_.Detach();
  state_ = ConnectionState::kClosed;
}

bool Connection::IsRemote() const {
  const std::string database = params_.Get("Database");
  if (database.rfind("\\\\", 0) == 0) return true;
  const std::size_t protocol = database.find("://");
  if (protocol != std::string::npos) return database.compare(0, protocol, "xnet") != 0;
  // "C:\path" is a drive, not a host.
  const std::size_t colon = database.find(':');
  return colon != std::string::npos && colon > 1 && database.find('/') != 0;
}

fb::Attachment& Connection::attachment() {
  Open();
  return attachment_;
}

fb::Transaction& Connection::ReadTransaction() {
  Open();
  if (!read_transaction_.active()) {
    fb::TransactionOptions options;
    options.read_only = true;
    read_transaction_ = fb::Transaction::Begin(attachment_, options);
  }
  return read_transaction_;
}

fb::Statement& Connection::Prepared(const std::string& sql) {
  auto it = prepared_.find(sql);
  if (it != prepared_.end() && it->second->prepared() && connected()) return *it->second;
  fb::Transaction& tra = ReadTransaction();
  auto statement = std::make_unique<fb::Statement>(fb::Statement::Prepare(attachment_, tra, sql));
  fb::Statement& ref = *statement;
  prepared_[sql] = std::move(statement);
  return ref;
}

std::vector<fb::Row> Connection::Query(fb::Statement& statement, fb::Transaction* transaction) {
  fb::Transaction& tra = transaction ? *transaction : ReadTransaction();
  fb::Cursor cursor = statement.Open(tra);
  return cursor.FetchAll();
}

fb::TransactionOptions Connection::WriteOptions() const {
  fb::TransactionOptions options;
  const std::string isolation = params_.Get("Interbase TransIsolation");
  if (isolation == "RepeatableRead" || isolation == "Snapshot")
    options.isolation = fb::TransactionOptions::Isolation::kSnapshot;
  options.wait = IsTrue(params_.Get("WaitOnLocks"));
  options.lock_timeout = lock_timeout_;
  return options;
}

void Connection::BeginTransaction() {
  if (InTransaction()) throw DatabaseFailure("A transaction is already active", "");
  fb::Attachment& att = attachment();
  write_transaction_ = fb::Transaction::Begin(att, WriteOptions());
}

bool Connection::InTransaction() const { return write_transaction_.active(); }

fb::Transaction& Connection::transaction() {
  if (!InTransaction()) throw DatabaseFailure("No active transaction", "");
  return write_transaction_;
}

void Connection::Commit() { transaction().Commit(); }

void Connection::Rollback() { transaction().Rollback(); }

fb::Transaction Connection::StartTransaction() {
  fb::Attachment& att = attachment();
  return fb::Transaction::Begin(att, WriteOptions());
}

uint64_t Connection::statements_executed() const {
  return executed_before_ + attachment_.executions();
}

}  // namespace imp
