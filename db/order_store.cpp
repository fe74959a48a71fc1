#include "db/order_store.h"

#include <set>
#include <utility>
#include <variant>

#include "db/block_writer.h"
#include "db/connection.h"
#include "db/field_binding.h"
#include "db/firebird.h"
#include "db/order_tables.h"
#include "db/tfdm.h"
#include "db/write_scope.h"
#include "values/decimal_sum.h"
#include "values/failure.h"

namespace imp {

namespace {

constexpr const char* kHeaderSet = "CFacturas";
constexpr const char* kLineSet = "CFactdetalle";
constexpr const char* kHeaderTable = "PEDIDOS";
constexpr const char* kLineTable = "PEDIDOS_DETALLE";

const char* const kChangedReadRow = "No se pueden guardar cambios en un pedido ya grabado";

[[noreturn]] void FailNoRecord(const char* set_name) {
  throw Failure(std::string(set_name) + ": No hay registro actual");
}

void CheckRequired(const OrderRecord& record) {
  if (const Field* missing = record.FirstMissingRequired()) {
    throw Failure(
        FormatText("Es necesario que el campo '%s' contenga algún valor", {missing->name()}));
  }
}

}  // namespace

OrderStore::OrderStore(Tfdm& fdm) : fdm_(fdm), tables_(fdm.Norvela), ids_(fdm.Norvela) {}

OrderStore::~OrderStore() = default;

// ---- reading

void OrderStore::Open() {
  if (active_) return;
  Read();
  active_ = true;
}

void OrderStore::Refresh() {
  CheckActive(kHeaderSet);
  PostPending();
  if (has_pending()) throw Failure("Deben aplicarse las actualizaciones antes de refrescar los datos");
  if (none_unwritten_) {
    // The write just made saw no row a re-read would find.
    none_unwritten_ = false;
    ClearRows();
    return;
  }
  Read();
}

void OrderStore::Close() {
  none_unwritten_ = false;
  ClearRows();
  active_ = false;
}

void OrderStore::ClearRows() {
  headers_.clear();
  current_header_ = current_line_ = 0;
  header_state_ = line_state_ = State::kBrowse;
}

void OrderStore::Read() {
  Connection& connection = fdm_.Norvela;
  fb::Statement& header_query = connection.Prepared("SELECT * FROM PEDIDOS WHERE PEDI_ID = ?");
  fb::Statement& line_query = connection.Prepared("SELECT * FROM PEDIDOS_DETALLE WHERE PEDI_ID = ?");
  const std::vector<int> header_columns =
      MapColumns(header_query.columns(), OrderRecord(kHeaderFields), kHeaderSet);
  const std::vector<int> line_columns =
      MapColumns(line_query.columns(), OrderRecord(kLineFields), kLineSet);

  // The key goes as the text "0"; the server compares it with the column.
  header_query.ClearParams();
  header_query.SetParam(0, fb::Value::Text("0"));
  std::vector<HeaderRow> headers;
  for (const fb::Row& row : connection.Query(header_query)) {
    HeaderRow& header = headers.emplace_back();
    header.from_database = true;
    LoadRecord(header.record, row, header_columns);
    line_query.ClearParams();
    line_query.SetParam(0, row[static_cast<std::size_t>(header_columns[kHeaderId])]);
    for (const fb::Row& line_row : connection.Query(line_query)) {
      LineRow& line = header.lines.emplace_back();
      line.from_database = true;
      LoadRecord(line.record, line_row, line_columns);
    }
  }
  headers_ = std::move(headers);
  current_header_ = 0;
  current_line_ = 0;
  header_state_ = line_state_ = State::kBrowse;
}

// ---- headers

void OrderStore::CheckActive(const char* set_name) const {
  if (!active_) {
    throw Failure(std::string(set_name) +
                  ": No es posible realizar ésta operación en un Dataset cerrado");
  }
}

OrderStore::HeaderRow& OrderStore::CurrentHeader(const char* set_name) {
  if (headers_.empty()) FailNoRecord(set_name);
  return headers_[current_header_];
}

const OrderStore::HeaderRow* OrderStore::CurrentHeaderOrNull() const {
  return headers_.empty() ? nullptr : &headers_[current_header_];
}

void OrderStore::BeginHeader() {
  CheckActive(kHeaderSet);
  PostPending();
  headers_.emplace_back();
  current_header_ = headers_.size() - 1;
  current_line_ = 0;
  header_state_ = State::kInsert;
}

void OrderStore::EditHeader() {
  CheckActive(kHeaderSet);
  if (header_state_ != State::kBrowse) return;
  if (headers_.empty()) return BeginHeader();
  HeaderRow& header = headers_[current_header_];
  if (header.from_database && !header.original) header.original = header.record;
  header_state_ = State::kEdit;
}

void OrderStore::PostHeader() {
  CheckActive(kHeaderSet);
  if (header_state_ == State::kBrowse) return;
  PostLine();
  HeaderRow& header = headers_[current_header_];
  CheckRequired(header.record);
  if (header_state_ == State::kInsert || !header.from_database) {
    header.pending_insert = true;
  } else {
    header.pending_change = true;
  }
  header_state_ = State::kBrowse;
  SyncLineIds(header);
}

Field& OrderStore::HeaderField(std::string_view name) {
  CheckActive(kHeaderSet);
  Field* field = CurrentHeader(kHeaderSet).record.Find(name);
  if (!field) FailNoField(kHeaderSet, name);
  return *field;
}

// ---- lines

void OrderStore::BeginLine() {
  CheckActive(kLineSet);
  PostLine();
  if (header_state_ == State::kInsert) {
    PostHeader();
  } else {
    EditHeader();
  }
  HeaderRow& header = headers_[current_header_];
  LineRow& line = header.lines.emplace_back();
  current_line_ = header.lines.size() - 1;
  line_state_ = State::kInsert;
  CopyIntegerField(header.record.at(kHeaderId), line.record.at(kLineId));
  CFactdetalleAfterInsert(line);
}

void OrderStore::CFactdetalleAfterInsert(LineRow& line) {
  // Wraps like the 32-bit counter it is instead of overflowing.
  contador_lineas_ = static_cast<int32_t>(static_cast<uint32_t>(contador_lineas_) + 1u);
  line.record.at(kLineItem).SetInteger(contador_lineas_);
  line.record.at(kLineCancelled).SetText("N", RegionalSettings(), Date());
  line.record.at(kLineTransmit).SetText("N", RegionalSettings(), Date());
}

void OrderStore::PostLine() {
  if (line_state_ != State::kInsert) return;
  LineRow& line = headers_[current_header_].lines[current_line_];
  CheckRequired(line.record);
  line.pending_insert = true;
  line_state_ = State::kBrowse;
}

void OrderStore::DiscardLine() {
  if (line_state_ != State::kInsert) return;
  std::vector<LineRow>& lines = headers_[current_header_].lines;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(current_line_));
  current_line_ = lines.empty() ? 0 : lines.size() - 1;
  line_state_ = State::kBrowse;
}

std::size_t OrderStore::line_count() const {
  const HeaderRow* header = CurrentHeaderOrNull();
  return header ? header->lines.size() : 0;
}

Field& OrderStore::LineField(std::string_view name) {
  CheckActive(kLineSet);
  if (headers_.empty() || headers_[current_header_].lines.empty()) FailNoRecord(kLineSet);
  HeaderRow& header = headers_[current_header_];
  // Only the line a field is read from has to follow the header's
  // identifier now; the others follow when the header is posted or written.
  // Walking them all here made an order's cost grow with its lines squared.
  LineRow& line = header.lines[current_line_];
  SyncLineId(header, line);
  Field* field = line.record.Find(name);
  if (!field) FailNoField(kLineSet, name);
  return *field;
}

void OrderStore::SyncLineIds(HeaderRow& header) {
  for (LineRow& line : header.lines) SyncLineId(header, line);
}

void OrderStore::SyncLineId(const HeaderRow& header, LineRow& line) {
  const Field& id = header.record.at(kHeaderId);
  Field& line_id = line.record.at(kLineId);
  if (line_id.assigned() == id.assigned() && line_id.value() == id.value()) return;
  if (line.from_database && !line.original) line.original = line.record;
  CopyIntegerField(id, line_id);
  if (line.from_database) line.pending_change = true;
}

std::string OrderStore::SumOf(std::size_t field_index) const {
  const HeaderRow* header = CurrentHeaderOrNull();
  if (!header) return "";
  DecimalSum sum;
  for (std::size_t i = 0; i < header->lines.size(); ++i) {
    // The line being assembled is not counted until it is posted.
    if (line_state_ == State::kInsert && i == current_line_) continue;
    const Field& field = header->lines[i].record.at(field_index);
    if (const BcdValue* bcd = std::get_if<BcdValue>(&field.value()); bcd && !bcd->is_null()) {
      // As the column stores it, so that the header's sums equal the
      // sums of the written lines.
      sum.AddAsStored(*bcd, field.def().size);
    }
  }
  return sum.empty() ? "" : sum.ToText(fdm_.regional_settings().decimal_separator);
}

std::string OrderStore::SumIva() const { return SumOf(kLineVat); }

std::string OrderStore::SumTotal() const { return SumOf(kLineTotal); }

// ---- pending changes and the write

bool OrderStore::has_pending() const {
  for (const HeaderRow& header : headers_) {
    if (header.pending_insert || header.pending_change) return true;
    for (const LineRow& line : header.lines) {
      if (line.pending_insert || line.pending_change) return true;
    }
  }
  return false;
}

void OrderStore::PostPending() {
  PostLine();
  PostHeader();
}

int OrderStore::ApplyUpdates() {
  CheckActive(kHeaderSet);
  PostPending();
  last_failure_.reset();
  none_unwritten_ = false;
  if (!has_pending()) return 0;

  WriteScope scope(fdm_.Norvela, retained_write_);
  std::optional<bool> unwritten;
  if (HeaderRow* order = OnlyNewOrder(); order && UsesBlocks()) {
    SyncLineIds(*order);
    unwritten = WriteInBlocks(scope, *order);
  }
  if (!unwritten) {
    if (!scope.owned()) scope.TakeSavepoint();
    for (HeaderRow& header : headers_) {
      SyncLineIds(header);
      if (!WriteRows(header)) {
        scope.Finish(false);
        return 1;
      }
    }
  }
  scope.Finish(true);
  MarkWritten();
  // What the write's own statement saw is what a re-read would find now,
  // unless another connection has added such a row meanwhile; a refresh
  // that trusts it is one that ran a moment earlier.
  none_unwritten_ = unwritten.has_value() && !*unwritten;
  return 0;
}

bool OrderStore::WriteRows(HeaderRow& header) {
  const TextEncoding encoding = fdm_.regional_settings().text_encoding;
  if (header.pending_insert) {
    try {
      tables_.InsertRow(kHeaderTable, header.record, encoding);
    } catch (const RowRefused& refused) {
      RecordFailure(header, kHeaderTable, nullptr, refused.what());
      return false;
    }
  }
  for (const LineRow& line : header.lines) {
    if (!line.pending_insert) continue;
    try {
      tables_.InsertRow(kLineTable, line.record, encoding);
    } catch (const RowRefused& refused) {
      RecordFailure(header, kLineTable, &line, refused.what());
      return false;
    }
  }
  // Rows read from the database are never rewritten: the store only adds
  // orders, and a change to one already written is refused, not lost.
  if (header.pending_change) {
    RecordFailure(header, kHeaderTable, nullptr, kChangedReadRow);
    return false;
  }
  for (const LineRow& line : header.lines) {
    if (!line.pending_change) continue;
    RecordFailure(header, kLineTable, &line, kChangedReadRow);
    return false;
  }
  return true;
}

OrderStore::HeaderRow* OrderStore::OnlyNewOrder() {
  HeaderRow* order = nullptr;
  for (HeaderRow& header : headers_) {
    bool pending = header.pending_insert || header.pending_change;
    for (const LineRow& line : header.lines) {
      if (line.pending_change) return nullptr;
      pending = pending || line.pending_insert;
    }
    if (!pending) continue;
    if (order || !header.pending_insert || header.pending_change) return nullptr;
    order = &header;
  }
  return order;
}

bool OrderStore::UsesBlocks() {
  Connection& connection = fdm_.Norvela;
  if (blocks_refused_for_open_ == connection.opens()) return false;
  switch (write_mode_) {
    case WriteMode::kRows:
      return false;
    case WriteMode::kBlocks:
      break;
    case WriteMode::kAuto:
      // Embedded, a statement costs no round trip and the engine runs the
      // rows' own INSERTs faster than a block's; over a network every
      // statement saved is a wait saved.
      if (!connection.IsRemote()) return false;
      break;
  }
  // A view writes what its triggers make of a row, and its count is asked.
  return tables_.IsBaseTable(kHeaderTable) && tables_.IsBaseTable(kLineTable);
}

std::optional<bool> OrderStore::WriteInBlocks(WriteScope& scope, const HeaderRow& header) {
  const std::set<std::string>& header_filled = tables_.FilledByDatabase(kHeaderTable);
  const std::set<std::string>& line_filled = tables_.FilledByDatabase(kLineTable);
  std::vector<BlockRow> rows;
  rows.push_back({kHeaderTable, &header.record, BlockColumns(header.record, header_filled)});
  for (const LineRow& line : header.lines) {
    if (line.pending_insert)
      rows.push_back({kLineTable, &line.record, BlockColumns(line.record, line_filled)});
  }
  Connection& connection = fdm_.Norvela;
  BlockWriter writer(connection, fdm_.regional_settings().text_encoding);
  const BlockWriter::Result result = writer.Write(scope, rows);
  if (result.outcome == BlockWriter::Outcome::kNotPrepared) {
    // An engine that takes no such block: rows one by one from now on.
    blocks_refused_for_open_ = connection.opens();
  }
  if (result.outcome == BlockWriter::Outcome::kWritten) return result.unwritten;
  return std::nullopt;
}

void OrderStore::RecordFailure(const HeaderRow& header, const char* table, const LineRow* line,
                               std::string text) {
  OrderWriteFailure failure;
  failure.text = std::move(text);
  failure.table = table;
  const RegionalSettings plain;
  failure.prefix = header.record.at(kHeaderPrefix).AsText(plain);
  failure.number = header.record.at(kHeaderNumber).AsText(plain);
  const Field& id = header.record.at(kHeaderId);
  failure.order_id = id.is_null() ? "" : std::to_string(id.AsInteger());
  failure.item = line ? line->record.at(kLineItem).AsInteger() : 0;
  last_failure_ = std::move(failure);
}

void OrderStore::MarkWritten() {
  for (HeaderRow& header : headers_) {
    header.from_database = true;
    header.pending_insert = header.pending_change = false;
    header.original.reset();
    for (LineRow& line : header.lines) {
      line.from_database = true;
      line.pending_insert = line.pending_change = false;
      line.original.reset();
    }
  }
}

void OrderStore::CancelUpdates() {
  CheckActive(kHeaderSet);
  header_state_ = line_state_ = State::kBrowse;  // what was being assembled goes too
  std::vector<HeaderRow> kept;
  for (HeaderRow& header : headers_) {
    if (!header.from_database) continue;  // begun since the last read or write
    if (header.original) header.record = std::move(*header.original);
    header.original.reset();
    header.pending_change = false;
    std::vector<LineRow> lines;
    for (LineRow& line : header.lines) {
      if (!line.from_database) continue;
      if (line.original) line.record = std::move(*line.original);
      line.original.reset();
      line.pending_change = false;
      lines.push_back(std::move(line));
    }
    header.lines = std::move(lines);
    kept.push_back(std::move(header));
  }
  headers_ = std::move(kept);
  current_header_ = 0;
  current_line_ = 0;
}

}  // namespace imp
