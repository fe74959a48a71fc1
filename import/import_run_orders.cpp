#include "import/import_run.h"

#include <optional>
#include <utility>

#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/run_messages.h"
#include "import/screen.h"
#include "values/control_text.h"
#include "values/conversions.h"
#include "values/extended.h"
#include "values/failure.h"

// One order's life in the run: its header begun from the record that opens
// it, its sums and identifier when it is complete, its write, and the ways
// it is dropped or skipped instead.

namespace imp {
namespace {

std::optional<Currency> OptionalValue(const Field& field) {
  if (field.is_null()) return std::nullopt;
  return field.AsCurrency();
}

}  // namespace

void ImportRun::inicie_pedido() {
  const TValoresRegistro& v = values_;
  store_.BeginHeader();
  auto field = [this](const char* name) -> Field& { return store_.HeaderField(name); };
  auto set = [&](const char* name, const std::string& text) {
    field(name).SetText(text, rs_, today_);
  };

  field("TIDO_COD").SetInteger(34);
  field("PEDI_ID").SetInteger(0);
  set("PREF_PRE", v.PREF_PRE);
  field("PEDI_FACTOR").SetCurrency(Currency::FromUnits(1));
  field("PEDI_TRM").SetCurrency(Currency::FromUnits(1));
  set("PEDI_ANULADO", "N");
  set("PEDI_TRANSMIT", "N");
  set("PEDI_IVAINC", fdm_.PrefixIncludesVat(v.PREF_PRE));
  set("PEDI_NUMERO", v.PEDI_NUMERO);
  if (!v.PEDI_FECHA.empty()) {
    set("PEDI_FECHA", v.PEDI_FECHA);
  } else {
    field("PEDI_FECHA").SetDate(screen_.FallbackDate());
  }
  set("PEDI_VALIDEZ", fdm_.configuracion("FACTURACION", "PEDIDOS", "DIAS DE VALIDEZ"));
  const Date date = field("PEDI_FECHA").AsDate();
  field("PEDI_VENCE").SetDate(date + field("PEDI_VALIDEZ").AsInteger());
  if (!v.PEDI_CREDITO.empty()) {
    const Date credit = TextToDate(v.PEDI_CREDITO, rs_, today_);
    field("PEDI_DIASCR").SetInteger(FloorToInteger(static_cast<long double>(credit - date)));
  } else {
    field("PEDI_DIASCR").SetInteger(1);
  }
  if (!v.PTVT_ID.empty()) set("PTVT_ID", v.PTVT_ID);
  // An order without point of sale has no warehouse: there is nothing to
  // look up.
  bodega_pedido_ = v.PTVT_ID.empty() ? std::string() : fdm_.PointOfSaleWarehouse(v.PTVT_ID);
  set("VEND_COD", v.VEND_COD);
  set("TERC_NIT", v.TERC_NIT);
  set("PEDI_NOMTERC", v.PEDI_NOMTERC);
  set("PEDI_SUCURSAL", v.PEDI_SUCURSAL.empty() ? std::string("01") : v.PEDI_SUCURSAL);
  if (!v.PEDI_RTFTEMONTO.empty()) set("PEDI_RTFTEMONTO", v.PEDI_RTFTEMONTO);
  if (!v.PEDI_RTIVAMONTO.empty()) set("PEDI_RTIVAMONTO", v.PEDI_RTIVAMONTO);
  if (!v.PEDI_RTICAMONTO.empty()) set("PEDI_RTICAMONTO", v.PEDI_RTICAMONTO);

  try {
    store_.PostHeader();
  } catch (const Failure& failure) {
    throw Failure(failure.what() + MissingFieldCause(failure.what()));
  }
  prefijo_actual_ = v.PREF_PRE;
  numero_actual_ = v.PEDI_NUMERO;
  primer_pedido_ = false;
}

std::string ImportRun::MissingFieldCause(const std::string& failure) {
  const TValoresRegistro& v = values_;
  auto missing = [&failure](const char* field) {
    return failure.find(std::string("'") + field + "'") != std::string::npos;
  };
  if (missing("PEDI_IVAINC") && !fdm_.PrefixExists(v.PREF_PRE)) {
    return ": el prefijo " + QuoteSqlText(v.PREF_PRE) + " no existe para el tipo de documento 34";
  }
  for (const char* field : {"PREF_PRE", "PEDI_NUMERO", "TERC_NIT", "VEND_COD", "PEDI_NOMTERC"}) {
    if (missing(field)) {
      return std::string(": la línea que empieza el pedido no trae ") + field;
    }
  }
  return "";
}

void ImportRun::SumLinesIntoHeader() {
  auto field = [this](const char* name) -> Field& { return store_.HeaderField(name); };
  store_.EditHeader();
  const std::string vat_sum = store_.SumIva();
  if (!vat_sum.empty()) field("PEDI_IVAMONTO").SetCurrency(TextToCurrency(vat_sum, rs_));
  const std::string total_sum = store_.SumTotal();
  if (!total_sum.empty()) {
    const Currency total = TextToCurrency(total_sum, rs_);
    const Currency discount = field("PEDI_DTOMONTO").AsCurrency();
    field("PEDI_TOTAL").SetCurrency(Currency::FromExtendedCount(
        ExtSub(total.extended_count(), discount.extended_count())));
  }
}

void ImportRun::complete_pedido(bool end_of_file) {
  auto field = [this](const char* name) -> Field& { return store_.HeaderField(name); };

  SumLinesIntoHeader();
  // The records of the order being completed: at a change of key the last
  // record already belongs to the next order.
  std::vector<LinePosition> file_lines = order_lines_;
  if (!end_of_file && !file_lines.empty()) file_lines.pop_back();

  if (end_of_file) {
    if (SkipIfExisting(file_lines, end_of_file)) return;
    if (field("PEDI_ID").AsInteger() == 0)
      field("PEDI_ID").SetText(store_.SCambieidpedido(), rs_, today_);
    store_.PostHeader();
  } else {
    store_.PostHeader();
    if (SkipIfExisting(file_lines, end_of_file)) {
      store_.Refresh();
      store_.set_contador_lineas(0);
      return;
    }
    if (field("PEDI_ID").AsInteger() == 0) {
      store_.EditHeader();
      field("PEDI_ID").SetText(store_.SCambieidpedido(), rs_, today_);
      store_.PostHeader();
    }
  }

  OrderWritten written{field("PREF_PRE").AsText(rs_),
                       field("PEDI_NUMERO").AsText(rs_),
                       field("PEDI_ID").AsText(rs_),
                       static_cast<int32_t>(store_.line_count()),
                       OptionalValue(field("PEDI_IVAMONTO")),
                       OptionalValue(field("PEDI_TOTAL")),
                       std::move(file_lines)};
  if (Grouping() && !group_open_ && !fdm_.Norvela.InTransaction()) {
    fdm_.Norvela.BeginTransaction();
    group_open_ = true;
  }
  if (store_.ApplyUpdates() > 0) {
    const std::optional<OrderWriteFailure>& failure = store_.last_failure();
    ForgetOrderLines(end_of_file);
    // A header the database refuses comes from the line that began the
    // order: the operator is told which.
    std::string reason = failure ? failure->text : std::string();
    if (failure && failure->item == 0 && !written.file_lines.empty()) {
      reason = "Línea " + std::to_string(written.file_lines.front().number) + ": " + reason;
    }
    DropOrder(OrderDropped{written.prefix, written.number, std::move(reason),
                           std::move(written.file_lines), written.order_id, written.lines,
                           written.vat, written.total});
    store_.CancelUpdates();
  } else {
    // Committed: whatever fails from here on, these lines are written and
    // must never be offered again as cut off.
    ForgetOrderLines(end_of_file);
    if (Grouping()) {
      // Written in the group's transaction: it counts once that commits.
      deferred_.push_back({{}, std::move(written)});
      if (!group_open_ || ++orders_in_group_ >= orders_per_transaction_) CommitGroup();
    } else {
      ++summary_.written_orders;
      summary_.written_lines += written.lines;
      if (observer_) observer_->OnOrderWritten(written);
    }
  }

  if (!end_of_file) {
    store_.Refresh();
    store_.set_contador_lineas(0);
  }
}

void ImportRun::DropCutOffLine(const LinePosition& position) {
  const bool begins_order = primer_pedido_ || values_.PREF_PRE != prefijo_actual_ ||
                            values_.PEDI_NUMERO != numero_actual_;
  if (begins_order) {
    // The line begins an order of its own: the one before it is whole.
    failing_line_ = 0;
    if (!primer_pedido_) complete_pedido(/*end_of_file=*/false);
    order_lines_.erase(order_lines_.begin(), order_lines_.end() - 1);
  } else {
    // The line belongs to the order being built: none of it is written.
    store_.CancelUpdates();
    store_.Refresh();
    store_.set_contador_lineas(0);
  }
  primer_pedido_ = true;  // nothing left to complete at the end of the file
  OrderDropped dropped{values_.PREF_PRE,
                       values_.PEDI_NUMERO,
                       FormatText(kCutOffLineText, {std::to_string(position.number)}),
                       order_lines_,
                       std::string(),
                       0,
                       std::nullopt,
                       std::nullopt};
  dropped.by_file = true;
  DropOrder(std::move(dropped));
  order_lines_.clear();
  failing_line_ = 0;
}

void ImportRun::ForgetOrderLines(bool end_of_file) {
  if (end_of_file || order_lines_.empty()) {
    order_lines_.clear();
  } else {
    order_lines_.erase(order_lines_.begin(), order_lines_.end() - 1);
  }
}

bool ImportRun::SkipIfExisting(std::vector<LinePosition>& file_lines, bool end_of_file) {
  if (!skip_existing_) return false;
  Field& prefix = store_.HeaderField("PREF_PRE");
  Field& number = store_.HeaderField("PEDI_NUMERO");
  std::optional<std::string> id = store_.FindWrittenOrder(prefix.AsText(rs_), number.AsText(rs_));
  if (!id) return false;
  OrderSkipped skipped{prefix.AsText(rs_),
                       number.AsText(rs_),
                       std::move(*id),
                       static_cast<int32_t>(store_.line_count()),
                       OptionalValue(store_.HeaderField("PEDI_IVAMONTO")),
                       OptionalValue(store_.HeaderField("PEDI_TOTAL")),
                       std::move(file_lines)};
  skipped.in_this_trial = store_.IsStandInId(skipped.order_id);
  store_.CancelUpdates();
  ForgetOrderLines(end_of_file);
  ++summary_.existing_orders;
  if (observer_) Notify([this, skipped] { observer_->OnOrderSkipped(skipped); });
  return true;
}

void ImportRun::DropOrder(OrderDropped dropped) {
  if (observer_) Notify([this, dropped] { observer_->OnOrderDropped(dropped); });
  summary_.dropped_orders.push_back(std::move(dropped));
}

}  // namespace imp
