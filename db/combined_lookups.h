#pragma once
// Several lookups asked at the same moment, run as one statement: an
// EXECUTE BLOCK that runs each lookup's own statement in turn and returns,
// for each, the keys it ran with and its first row. A lookup's keys come
// from the block's inputs or from what an earlier lookup found, so a chain
// of lookups (an article, then that article's taxes) costs one round trip
// to the server instead of one per lookup.
//
// An answer stands in for a lookup's statement only when that statement is
// asked with the same keys, and reads exactly as the statement's own first
// row would: the block declares every output with the type the server
// gives the lookup's own column, and once prepared it is checked that the
// columns come back with those very types. A combination the block cannot
// express (a blob column, an unknown character set, a missing column, a
// statement the server refuses) is not used: the lookups then run one by
// one, as they would without it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/firebird.h"

namespace imp {

class Connection;

// One lookup of a combination.
struct CombinedLookup {
  // The lookup's own statement, one "?" per key.
  std::string sql;
  // One expression per "?", in the block's language. Placeholders:
  //   {inN}     the block's input N;
  //   {L.NAME}  column NAME (any case) of lookup L's first row (earlier
  //             lookups only; null when it found no row or did not run);
  //   {kN}      this lookup's key N (in `condition`).
  std::vector<std::string> keys;
  // When not empty, the lookup runs only where this condition holds.
  std::string condition;
};

// The first row (or none) of a lookup's statement run with `keys`. The
// statement's text belongs to the combination that gave the answer, which
// must outlive it.
struct LookupAnswer {
  std::string_view sql;
  std::vector<fb::Value> keys;  // as a caller binds them
  std::shared_ptr<const std::vector<fb::Column>> columns;
  std::vector<fb::Row> rows;  // empty, or the first row
};

class CombinedLookups {
 public:
  // `inputs[N]` names the key typed like block input N as {lookup, key}:
  // the input takes the type the server gives that key of that lookup.
  struct InputType {
    int lookup;
    int key;
  };
  CombinedLookups(std::vector<CombinedLookup> lookups, std::vector<InputType> inputs);

  // Runs the combination with the inputs bound as a caller would bind them
  // to the lookups' own statements, in the connection's read transaction.
  // Gives nothing (and runs nothing) while the connection is closed or when
  // the combination cannot be used on it; a failure of the block gives
  // nothing either, so that the lookups, run one by one, meet it where it
  // belongs.
  std::vector<LookupAnswer> Run(Connection& connection, const std::vector<fb::Value>& inputs);

 private:
  bool Prepare(Connection& connection);

  std::vector<CombinedLookup> lookups_;
  std::vector<InputType> inputs_;
  // Per open of the connection: whether the block was built and its parts.
  uint64_t prepared_for_ = 0;
  bool usable_ = false;
  std::string block_sql_;
  // Each lookup's own columns, shared with its answers.
  std::vector<std::shared_ptr<const std::vector<fb::Column>>> columns_;
  // Per key of each lookup: the block input it is, or -1 when it is computed.
  std::vector<std::vector<int>> direct_input_;
};

// The type of a column in the block's declarations ("VARCHAR(15) CHARACTER
// SET NONE", "NUMERIC(18,4)", ...), or nothing for a type the block does
// not declare.
std::optional<std::string> DeclaredType(const fb::Column& column);

}  // namespace imp
