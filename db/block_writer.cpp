#include "db/block_writer.h"

#include <algorithm>
#include <string>

#include "db/connection.h"
#include "db/field_binding.h"
#include "db/firebird.h"
#include "db/write_scope.h"
#include "values/failure.h"

namespace imp {

namespace {

// An order sent as few statements: the header's and its lines' INSERTs in
// EXECUTE BLOCKs whose parameters take each column's own type, so that the
// server converts every value exactly as the row's own INSERT would. The
// engine bounds a statement's text and message to 64 KiB; a block stops
// well before either (a row of ours needs at most a few hundred bytes of
// each per column, counted below), and an order that does not fit in one
// is sent in several.
constexpr std::size_t kBlockTextLimit = 48 * 1024;
constexpr std::size_t kBlockMessageLimit = 40 * 1024;
constexpr std::size_t kBlockRowLimit = 64;

// Bytes a parameter of this field may take in a message: a text counts four
// bytes a character (the widest character set), plus length and null flag.
std::size_t MessageBytes(const Field& field) {
  switch (field.def().type) {
    case FieldType::kText:
    case FieldType::kFixedText:
      return 4 * static_cast<std::size_t>(std::max(field.def().size, 1)) + 8;
    default:
      return 16;
  }
}

// The block for `rows`. The last block of an order also says, after its
// rows, whether PEDIDOS holds rows with PEDI_ID 0, which is all a re-read
// of the store after the write would find.
std::string BlockSql(const std::vector<BlockRow>& rows, bool last) {
  // Appended piece by piece: GCC 12 sees overlaps that are not there in
  // chains of string concatenations.
  std::string inputs, body;
  int n = 0;
  for (const BlockRow& row : rows) {
    std::string columns, values;
    for (std::size_t i : row.columns) {
      const Field& field = row.record->at(i);
      const std::string number = std::to_string(n++);
      if (!inputs.empty()) inputs.append(", ");
      inputs.append("P").append(number).append(" TYPE OF COLUMN ").append(row.table);
      inputs.append(".").append(field.name()).append(" = ?");
      if (!columns.empty()) {
        columns.append(", ");
        values.append(", ");
      }
      columns.append(field.name());
      values.append(":P").append(number);
    }
    body.append("INSERT INTO ").append(row.table).append(" (").append(columns);
    body.append(") VALUES (").append(values).append(");\n");
  }
  std::string sql = "EXECUTE BLOCK";
  if (!inputs.empty()) sql.append(" (").append(inputs).append(")");
  if (last) sql.append(" RETURNS (UNWRITTEN SMALLINT)");
  sql.append(" AS BEGIN\n").append(body);
  if (last) {
    sql.append(
        "UNWRITTEN = 0;\nIF (EXISTS(SELECT 1 FROM PEDIDOS WHERE PEDI_ID = '0')) THEN UNWRITTEN = 1;\n"
        "SUSPEND;\n");
  }
  return sql.append("END");
}

// Splits an order's rows into blocks that keep within the engine's limits.
std::vector<std::vector<BlockRow>> SplitIntoBlocks(const std::vector<BlockRow>& rows) {
  std::vector<std::vector<BlockRow>> blocks(1);
  std::size_t text = 0, message = 0;
  for (const BlockRow& row : rows) {
    std::size_t row_text = 64, row_message = 0;
    for (std::size_t i : row.columns) {
      const Field& field = row.record->at(i);
      row_text += 2 * std::char_traits<char>::length(field.name()) +
                  std::char_traits<char>::length(row.table) + 40;
      row_message += MessageBytes(field);
    }
    if (!blocks.back().empty() &&
        (text + row_text > kBlockTextLimit || message + row_message > kBlockMessageLimit ||
         blocks.back().size() >= kBlockRowLimit)) {
      blocks.emplace_back();
      text = message = 0;
    }
    blocks.back().push_back(row);
    text += row_text;
    message += row_message;
  }
  return blocks;
}

}  // namespace

// A column the database does not fill takes null when an INSERT leaves it
// out, so naming it with a null is the same row; a shape is prepared once.
std::vector<std::size_t> BlockColumns(const OrderRecord& record,
                                      const std::set<std::string>& filled_by_database) {
  std::vector<std::size_t> columns;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const Field& field = record.at(i);
    if (IsNestedSlot(field.def())) continue;
    if (field.assigned() || !filled_by_database.count(field.name())) columns.push_back(i);
  }
  return columns;
}

BlockWriter::Result BlockWriter::Write(WriteScope& scope, const std::vector<BlockRow>& rows) {
  const std::vector<std::vector<BlockRow>> blocks = SplitIntoBlocks(rows);
  // One statement leaves all or nothing by itself; several must be undone
  // together when one of them is refused.
  if (blocks.size() > 1) scope.TakeSavepoint();
  auto refused = [&](Outcome outcome) {
    if (blocks.size() > 1) scope.UndoToSavepoint();
    return Result{outcome, false};
  };
  bool unwritten = false;
  try {
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      const bool last = b + 1 == blocks.size();
      fb::Statement* block = nullptr;
      try {
        block = &connection_.Prepared(BlockSql(blocks[b], last));
      } catch (const DatabaseFailure& failure) {
        if (failure.ends_the_run()) throw;
        return refused(Outcome::kNotPrepared);
      }
      block->ClearParams();
      int position = 0;
      for (const BlockRow& row : blocks[b])
        position = BindRecord(*block, position, *row.record, row.columns, encoding_);
      if (!last) {
        block->ExecuteUncounted(scope.transaction());
        continue;
      }
      const std::vector<fb::Row> answer = connection_.Query(*block, &scope.transaction());
      unwritten = answer.empty() || answer[0].empty() || answer[0][0].is_null() ||
                  answer[0][0].integer != 0;
    }
  } catch (const DatabaseFailure& failure) {
    if (failure.ends_the_run()) throw;
    // Refused: the rows one by one tell which and why, in the words the
    // row's own INSERT gets.
    return refused(Outcome::kRefused);
  } catch (const Failure&) {
    return refused(Outcome::kRefused);
  }
  return Result{Outcome::kWritten, unwritten};
}

}  // namespace imp
