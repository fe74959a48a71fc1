#pragma once
// The write transaction policy of the order store: the only place that
// decides how a batch's transaction begins and ends.

namespace imp {

class Connection;
namespace fb {
class Transaction;
}

// A batch runs inside a transaction that is already active on the connection
// and leaves it open; otherwise it begins one and ends it: commit when every
// row was written, rollback otherwise (also when the batch is left by an
// exception). A write transaction of ours that a retaining commit kept alive
// is still ours to end. Inside the caller's transaction the batch is still
// all or nothing: a savepoint taken before its first row is rolled back to
// when a row fails, so a refused order leaves none of its rows behind. A
// batch sent as one statement needs none (a statement that fails leaves
// nothing); one sent in several takes it in any transaction, so that the
// statements already run can be undone before the rows are tried one by one.
class WriteScope {
 public:
  // `retained` is the owner's memory, across batches, of whether the
  // connection's transaction is one of ours that a retaining commit kept.
  WriteScope(Connection& connection, bool& retained);
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;
  // Undoes whatever Finish did not settle.
  ~WriteScope();

  fb::Transaction& transaction();
  // True when this scope began the transaction (or inherited a retained one).
  bool owned() const { return owned_; }

  // Makes what follows undoable by UndoToSavepoint and by a failed Finish.
  void TakeSavepoint();
  // Undoes everything since TakeSavepoint; the savepoint stays.
  void UndoToSavepoint();
  // Keeps (`written`) or undoes the batch, and ends a transaction of ours.
  void Finish(bool written);

 private:
  void Run(const char* sql);

  Connection& connection_;
  bool& retained_;
  bool owned_ = false;
  bool savepoint_ = false;
};

}  // namespace imp
