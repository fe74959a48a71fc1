#pragma once
// The order store: the one order the import is building, held in memory
// until it is written to the company database as one all-or-nothing batch.
//
// It plays the window's header set `CFacturas` (rows of PEDIDOS) with the
// line set `CFactdetalle` (rows of PEDIDOS_DETALLE) nested in it: every
// header row carries its own lines. Operations work on the current header
// (the one begun last, or the first one read) and its current line.
//
// States. A header is browsed, being assembled (BeginHeader) or being edited
// (EditHeader, BeginLine); a line is browsed or being assembled (BeginLine).
// Posting turns a record into a pending change; ApplyUpdates sends the
// pending changes, CancelUpdates drops them. Failures are imp::Failure
// carrying the operator's text; the store itself shows nothing.
//
// A line's PEDI_ID always follows its header's: it is copied when the line
// is begun, and again into every line of the header whenever the header is
// posted, a line field is asked for, or the order is written.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/order_ids.h"
#include "db/order_records.h"
#include "db/order_tables.h"
#include "values/field.h"

namespace imp {

class Tfdm;
class Connection;
class WriteScope;

// What a failed write left behind: the refused row's failure text and the
// key of the order it belonged to, so the caller can report the dropped
// order after the store has been emptied.
struct OrderWriteFailure {
  std::string text;       // the database's failure text, or the store's
  std::string table;      // "PEDIDOS" or "PEDIDOS_DETALLE"
  std::string prefix;     // the header's PREF_PRE
  std::string number;     // the header's PEDI_NUMERO
  std::string order_id;   // the header's PEDI_ID as decimal text, "" when null
  int32_t item = 0;       // the refused line's PEDE_ITEM; 0 for the header row
};

class OrderStore {
 public:
  enum class State { kBrowse, kInsert, kEdit };

  // Works on `fdm.Norvela`; `fdm` must outlive the store.
  explicit OrderStore(Tfdm& fdm);
  ~OrderStore();
  OrderStore(const OrderStore&) = delete;
  OrderStore& operator=(const OrderStore&) = delete;

  // ---- the header set, CFacturas

  // Reads the headers with PEDI_ID 0 and their lines (an empty store in a
  // database without unwritten orders). Opening an open store does nothing.
  // Fails with "CFacturas: Campo '<name>' no encontrado" (lines:
  // "CFactdetalle: ...") when a table lacks a listed field's column, or with
  // the database failure; the store then stays closed.
  void Open();
  bool active() const { return active_; }
  // Reads the store again as Open does. Any record being assembled or edited
  // is posted first; then, with changes pending, fails with "Deben aplicarse
  // las actualizaciones antes de refrescar los datos".
  void Refresh();
  // Drops every row, pending changes included. Never touches the database.
  void Close();

  // Adds a header with no values and makes it current, after posting any
  // line or header being assembled or edited.
  void BeginHeader();
  // Makes the current header editable; begins a blank header when the store
  // holds none; nothing when it is already being assembled or edited.
  void EditHeader();
  // Checks the required fields (the line being assembled is posted first),
  // then the header becomes, or updates, a pending insertion. Refused with
  // "Es necesario que el campo '<name>' contenga algún valor", naming the
  // first empty required field; the header then keeps its state. Posting a
  // browsed header does nothing.
  void PostHeader();
  State header_state() const { return header_state_; }
  // Number of header rows held (read or begun).
  std::size_t header_count() const { return headers_.size(); }
  // A field of the current header by name (ASCII case ignored). Fails with
  // "CFacturas: Campo '<name>' no encontrado" or, without a current header,
  // "CFacturas: No hay registro actual".
  Field& HeaderField(std::string_view name);

  // ---- the line set, CFactdetalle

  // Posts a line being assembled; posts the header when it is being
  // assembled, otherwise puts it into edit mode (beginning a blank header
  // when there is none); then adds a line to the current header that takes
  // its PEDI_ID and is numbered by CFactdetalleAfterInsert.
  void BeginLine();
  // Checks the line's required fields (refused as PostHeader is); the line
  // becomes a pending insertion counted by both sums. Nothing for a browsed
  // line.
  void PostLine();
  // Drops the line being assembled with all its values; contador_lineas
  // keeps its value. Nothing when no line is being assembled.
  void DiscardLine();
  State line_state() const { return line_state_; }
  // Lines of the current header, the one being assembled included.
  std::size_t line_count() const;
  // A field of the current line (the one begun or posted last). Fails with
  // "CFactdetalle: Campo '<name>' no encontrado" or, without a current
  // line, "CFactdetalle: No hay registro actual".
  Field& LineField(std::string_view name);

  // Sums over the posted lines of the current header, as plain decimal text
  // in the regional format of the module (minus sign, digits, separator
  // before a fraction). Each line counts with its value as its column will
  // store it (two decimals, the rest rounded half away from zero, as the
  // server does), so the header's sums equal the sums of the written lines;
  // the sum itself is exact. Empty when no posted line has a value in the
  // summed field.
  std::string SumIva() const;    // sum(pede_ivamonto)
  std::string SumTotal() const;  // sum(pede_total)

  // The number given to the line begun last; the import sets it to 0 at the
  // start of a run and after each completed order.
  int32_t contador_lineas() const { return contador_lineas_; }
  void set_contador_lineas(int32_t value) { contador_lineas_ = value; }

  // A new order identifier from procedure CAMBIE_ID_PEDIDO (output ID),
  // drawn outside any order's write so that no later rollback gives it back:
  // in the connection's read-only transaction, or, for a procedure that
  // writes to a table, in a short transaction of its own committed at once.
  // Decimal text, "" when the procedure returned no value. Database failures
  // are raised.
  std::string SCambieidpedido() { return ids_.Next(); }
  // From now on SCambieidpedido gives `first`, first - 1, ... without running
  // the procedure, so the generator does not move: for a trial run whose
  // writes are all rolled back. `first` should lie below every identifier in
  // PEDIDOS so that a stand-in never meets a real order.
  void UseStandInIds(int32_t first) { ids_.UseStandIns(first); }

  // The identifier (decimal text) of an order of document type 34 with this
  // prefix and number already in PEDIDOS (keys compared byte for byte; the
  // lowest identifier when there are several), or nothing. Runs in the
  // write transaction when one is active, so that it sees the orders written
  // in it, otherwise in the read transaction.
  std::optional<std::string> FindWrittenOrder(const std::string& prefix, const std::string& number) {
    return ids_.FindWritten(prefix, number);
  }
  // True iff `id` is a stand-in this store gave out (see UseStandInIds):
  // the order was written earlier in the same trial run.
  bool IsStandInId(const std::string& id) const { return ids_.IsStandIn(id); }

  // ---- pending changes and the write

  // True while any posted change has not been written or dropped.
  bool has_pending() const;
  // Writes the pending changes as one batch: each pending header row, then
  // its pending lines, one INSERT each, in a transaction begun here unless
  // one is active on the connection. The first row that fails ends the
  // batch, is kept in last_failure() and the result is 1 (the transaction
  // begun here rolled back, the rows still pending); otherwise the result is
  // 0, the transaction begun here committed and nothing is pending. Records
  // being assembled or edited are posted first (a refused post raises). A
  // failure outside the rows (beginning or committing the transaction) is
  // raised with the changes still pending.
  int ApplyUpdates();
  // Drops every pending change and any record being assembled or edited,
  // returning the store to what it held when last read or written.
  // last_failure() stays readable.
  void CancelUpdates();
  // How ApplyUpdates sends an order's rows: one INSERT each (kRows), or the
  // header and its lines as one EXECUTE BLOCK (kBlocks; several for an
  // order too large for one statement), or, by default (kAuto), blocks over
  // a network and rows in the embedded engine, each what is faster there.
  // The rows written, their order, and a refused order's failure (table,
  // PEDE_ITEM, the database's text) are the same either way: a refused
  // block leaves nothing and its rows are then tried one by one. Blocks are
  // used for a batch of one new order into tables (not views).
  enum class WriteMode { kAuto, kRows, kBlocks };
  void set_write_mode(WriteMode mode) { write_mode_ = mode; }

  // The failure of the last ApplyUpdates that returned 1; cleared when an
  // ApplyUpdates starts.
  const std::optional<OrderWriteFailure>& last_failure() const { return last_failure_; }

 private:
  struct LineRow {
    OrderRecord record{kLineFields};
    bool from_database = false;  // read by Open/Refresh or written
    bool pending_insert = false;
    bool pending_change = false;  // a read row changed since it was read
    std::optional<OrderRecord> original;  // a read row as it was read
  };
  struct HeaderRow {
    OrderRecord record{kHeaderFields};
    std::vector<LineRow> lines;
    bool from_database = false;
    bool pending_insert = false;
    bool pending_change = false;
    std::optional<OrderRecord> original;
  };

  void CheckActive(const char* set_name) const;
  HeaderRow& CurrentHeader(const char* set_name);
  const HeaderRow* CurrentHeaderOrNull() const;
  void PostPending();  // posts a line, then a header, being assembled or edited
  void CFactdetalleAfterInsert(LineRow& line);
  // The lines' PEDI_ID follows the header's (a changed read row becomes a
  // pending change).
  void SyncLineIds(HeaderRow& header);
  void SyncLineId(const HeaderRow& header, LineRow& line);
  std::string SumOf(std::size_t field_index) const;
  void Read();
  void ClearRows();  // no rows, nothing current, nothing being edited
  // Writes a header's pending rows one INSERT each; false when one failed
  // (recorded in last_failure_).
  bool WriteRows(HeaderRow& header);
  // The one header with pending changes when it is a new order and nothing
  // else is pending; otherwise null.
  HeaderRow* OnlyNewOrder();
  // True when this write goes as blocks (write_mode_, the transport).
  bool UsesBlocks();
  // Writes the order as blocks. Nothing when a block was refused (nothing of
  // the order is left in the transaction); otherwise whether PEDIDOS held
  // rows with PEDI_ID 0 after the order's rows.
  std::optional<bool> WriteInBlocks(WriteScope& scope, const HeaderRow& header);
  void RecordFailure(const HeaderRow& header, const char* table, const LineRow* line,
                     std::string text);
  void MarkWritten();

  Tfdm& fdm_;
  OrderTables tables_;
  OrderIds ids_;
  bool active_ = false;
  std::vector<HeaderRow> headers_;
  std::size_t current_header_ = 0;  // valid when headers_ is not empty
  std::size_t current_line_ = 0;    // valid when the current header has lines
  State header_state_ = State::kBrowse;
  State line_state_ = State::kBrowse;
  int32_t contador_lineas_ = 0;
  std::optional<OrderWriteFailure> last_failure_;
  bool retained_write_ = false;  // our write transaction survived a retaining commit
  WriteMode write_mode_ = WriteMode::kAuto;
  // The open of the connection whose engine refused to prepare a block (0:
  // none; the first open is 1).
  uint64_t blocks_refused_for_open_ = 0;
  bool none_unwritten_ = false;  // the last write saw no row with PEDI_ID 0
};

}  // namespace imp
