#include "db/write_scope.h"

#include "db/connection.h"
#include "db/firebird.h"

namespace imp {

namespace {
constexpr const char* kTake = "SAVEPOINT IMPORTA_PEDIDO";
constexpr const char* kUndo = "ROLLBACK TO SAVEPOINT IMPORTA_PEDIDO";
constexpr const char* kRelease = "RELEASE SAVEPOINT IMPORTA_PEDIDO ONLY";
}  // namespace

WriteScope::WriteScope(Connection& connection, bool& retained)
    : connection_(connection), retained_(retained) {
  if (!connection_.InTransaction()) {
    retained_ = false;
    connection_.BeginTransaction();
    owned_ = true;
  } else {
    owned_ = retained_;
  }
}

WriteScope::~WriteScope() {
  if (savepoint_) {
    try {
      Run(kUndo);
    } catch (...) {
      // The connection is gone; so is the caller's transaction.
    }
  }
  if (!owned_) return;
  try {
    connection_.Rollback();
  } catch (...) {
    // The connection is gone; so is the transaction.
  }
  retained_ = false;
}

fb::Transaction& WriteScope::transaction() { return connection_.transaction(); }

void WriteScope::TakeSavepoint() {
  if (savepoint_) return;
  Run(kTake);
  savepoint_ = true;
}

void WriteScope::UndoToSavepoint() {
  Run(kUndo);
  Run(kTake);
}

void WriteScope::Finish(bool written) {
  if (savepoint_) {
    savepoint_ = false;
    Run(written ? kRelease : kUndo);
  }
  if (!owned_) return;
  if (written) {
    connection_.Commit();
    retained_ = connection_.InTransaction();
  } else {
    connection_.Rollback();
    retained_ = false;
  }
  owned_ = false;
}

void WriteScope::Run(const char* sql) {
  connection_.Prepared(sql).ExecuteUncounted(connection_.transaction());
}

}  // namespace imp
