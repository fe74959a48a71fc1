#pragma once
// The EXECUTE BLOCK writer: one order's rows sent as one statement (or, for
// an order too large for one, a few), which over a network saves a round
// trip a row. A refused block leaves nothing of the order behind, so that
// the caller can try the rows one by one and learn which one failed and why.

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "db/order_records.h"
#include "values/text_encoding.h"

namespace imp {

class Connection;
class WriteScope;

// One row of an order as a block sends it: its table, its record and the
// columns the block names.
struct BlockRow {
  const char* table;
  const OrderRecord* record;
  std::vector<std::size_t> columns;
};

// The columns a block names for `record`: every field but the nested-lines
// slot and those the database fills by itself (`filled_by_database`: a
// default, a computation) when the field received no value. Naming the same
// columns for every row keeps a file's blocks to a few shapes.
std::vector<std::size_t> BlockColumns(const OrderRecord& record,
                                      const std::set<std::string>& filled_by_database);

// Sends an order's rows (the header first, then its lines) as blocks on
// `connection` in the scope's transaction.
class BlockWriter {
 public:
  enum class Outcome {
    kWritten,      // every row is in the transaction
    kRefused,      // a block failed; nothing of the order is left
    kNotPrepared,  // the engine takes no such block; nothing was sent
  };
  struct Result {
    Outcome outcome = Outcome::kRefused;
    // With kWritten: whether PEDIDOS held rows with PEDI_ID 0 after the
    // order's rows, which is all a re-read of the store would find.
    bool unwritten = false;
  };

  BlockWriter(Connection& connection, TextEncoding encoding)
      : connection_(connection), encoding_(encoding) {}

  // A failure that ends the run (the connection lost) is raised; any other
  // refusal is the result.
  Result Write(WriteScope& scope, const std::vector<BlockRow>& rows);

 private:
  Connection& connection_;
  TextEncoding encoding_;
};

}  // namespace imp
