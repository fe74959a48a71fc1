#include "import/import_run.h"

#include <optional>
#include <utility>

#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/agregue_linea.h"
#include "import/importacion.h"
#include "import/run_messages.h"
#include "import/screen.h"
#include "values/control_text.h"
#include "values/conversions.h"
#include "values/failure.h"

// The reading loop: the file's records read ahead a batch at a time, their
// lookups read together, then each record handled in turn.

namespace imp {
namespace {

// Raised by the record handler to leave the reader when a stop was asked
// for and the record just read begins a new order. Not a failure: nothing
// is wrong with the file or the database.
struct StopBeforeRecord {
  LinePosition position;
};

}  // namespace

void ImportRun::ReadOrderFile(const std::string& path) {
  // An order an earlier, failed run left in the store is not this run's:
  // it is dropped rather than merged into the first order of this file.
  store_.Close();
  store_.Open();
  reading_ = true;

  TLectorPlano reader;
  reader.set_text_encoding(rs_.text_encoding);
  bool opened = false;
  std::optional<LinePosition> stopped_at;
  // The records read ahead are handled before the run ends; a stop asked
  // for meanwhile takes effect at the first of them that begins an order.
  auto handle_read = [this, &stopped_at] {
    try {
      HandleRead();
    } catch (const StopBeforeRecord& stop) {
      stopped_at = stop.position;
    }
  };
  try {
    opened = reader.lea_registros(
        path,
        [this](const TCamposRegistro& fields, const LinePosition& position) {
          OnRecordRead(fields, position);
        },
        [this] { screen_.StepProgress(); });
  } catch (const Failure&) {
    // A line the reader refuses: the records read before it are handled
    // first, as they would have been had they not been read ahead. A stop
    // that comes first leaves the refused line unread, like those after it.
    handle_read();
    if (!stopped_at) throw;
    opened = true;
  } catch (const StopBeforeRecord& stop) {
    stopped_at = stop.position;
    opened = true;
  }
  if (!stopped_at) {
    handle_read();
  } else if (!read_ahead_.empty()) {
    const LinePosition reading_stopped = *stopped_at;
    stopped_at.reset();
    handle_read();
    if (!stopped_at) stopped_at = reading_stopped;
  }
  summary_.skipped_lines = reader.skipped_lines();
  if (stopped_at) {
    // The order read so far is whole: it is written like the last order of
    // a file, and the run ends there.
    if (!primer_pedido_) complete_pedido(/*end_of_file=*/true);
    CommitGroup();
    store_.Close();
    order_lines_.clear();
    summary_.outcome = ImportSummary::Outcome::kStopped;
    summary_.first_unread = *stopped_at;
    if (observer_) observer_->OnStopped(*stopped_at);
    screen_.ShowMessage(FormatText(kStoppedText, {std::to_string(stopped_at->number)}) +
                        DroppedOrderLines());
    return;
  }
  if (!opened) {
    store_.Close();
    summary_.outcome = ImportSummary::Outcome::kCannotOpen;
    screen_.ShowMessage(kCannotOpenText + CannotOpenCause(path));
    return;
  }

  if (!primer_pedido_) complete_pedido(/*end_of_file=*/true);
  CommitGroup();
  store_.Close();
  order_lines_.clear();
  summary_.outcome = ImportSummary::Outcome::kComplete;
  screen_.ShowMessage(kFinishedText + DroppedOrderLines());
}

void ImportRun::OnRecordRead(const TCamposRegistro& fields, const LinePosition& position) {
  // Without a company connected there is no layout to map the record with;
  // that is not the line's fault.
  if (!layout_.created()) {
    HandleRead();
    throw Failure("CImportacion: No es posible realizar ésta operación en un Dataset cerrado");
  }
  // A stop asked for takes effect at the first record of an order, so that
  // the order before it is read whole. The records read ahead, or else the
  // order being built, tell where the current order ends.
  if (stop_requested()) {
    TValoresRegistro next_values = reading_values_;
    asigne_valores(fields, layout_, next_values);
    const bool begins_order =
        read_ahead_.empty() ? primer_pedido_ || next_values.PREF_PRE != prefijo_actual_ ||
                                  next_values.PEDI_NUMERO != numero_actual_
                            : next_values.PREF_PRE != read_ahead_.back().values.PREF_PRE ||
                                  next_values.PEDI_NUMERO != read_ahead_.back().values.PEDI_NUMERO;
    if (begins_order) throw StopBeforeRecord{position};
    reading_values_ = std::move(next_values);
  } else {
    asigne_valores(fields, layout_, reading_values_);
  }
  if (!read_ahead_.empty() &&
      (reading_values_.PREF_PRE != read_ahead_.back().values.PREF_PRE ||
       reading_values_.PEDI_NUMERO != read_ahead_.back().values.PEDI_NUMERO ||
       read_ahead_.size() >= Tfdm::kLinesPerRead))
    HandleRead();
  read_ahead_.push_back(ReadAhead{reading_values_, position});
}

void ImportRun::HandleRead() {
  try {
    for (next_ = 0; next_ < read_ahead_.size(); ++next_) {
      values_ = std::move(read_ahead_[next_].values);
      HandleRecord(read_ahead_[next_].position);
    }
  } catch (...) {
    // The run ends here; what was read after the failing record is not
    // this run's to handle.
    read_ahead_.clear();
    throw;
  }
  read_ahead_.clear();
}

void ImportRun::PreloadLookups(bool with_header) {
  std::vector<Tfdm::LineLookups> lines;
  for (std::size_t i = next_; i < read_ahead_.size(); ++i) {
    // The current record's values have moved to values_.
    const TValoresRegistro& v = i == next_ ? values_ : read_ahead_[i].values;
    lines.push_back({v.ARTI_COD, v.PEDE_UNIDAD, v.TERC_NIT, v.PEDI_SUCURSAL});
  }
  const Tfdm::HeaderLookups header{values_.PREF_PRE, values_.PTVT_ID};
  fdm_.Preload(with_header ? &header : nullptr, lines);
}

void ImportRun::HandleRecord(const LinePosition& position) {
  ++summary_.records;
  failing_line_ = position.number;
  screen_.SetRecordText(values_.RecordText());
  order_lines_.push_back(position);
  if (position.cut_off) {
    DropCutOffLine(position);
    return;
  }

  // The first record of a run always begins an order, whatever key an
  // earlier run left behind: no line is priced against a header this run
  // did not begin.
  if (primer_pedido_ || values_.PREF_PRE != prefijo_actual_ ||
      values_.PEDI_NUMERO != numero_actual_) {
    if (!primer_pedido_) {
      // Writing the previous order is not this line's doing.
      failing_line_ = 0;
      complete_pedido(/*end_of_file=*/false);
      failing_line_ = position.number;
    }
    order_lines_.erase(order_lines_.begin(), order_lines_.end() - 1);
    if (stop_requested()) {
      // The order in hand when the stop was asked for is written; the
      // orders read after it are not begun, read ahead or not.
      --summary_.records;
      order_lines_.clear();
      primer_pedido_ = true;  // nothing left to complete
      failing_line_ = 0;
      throw StopBeforeRecord{position};
    }
    PreloadLookups(/*with_header=*/true);
    inicie_pedido();
  } else if (next_ == 0) {
    PreloadLookups(/*with_header=*/false);
  }

  if (values_.ARTI_COD.empty()) {
    failing_line_ = 0;
    return;
  }
  const LineContext ctx{fdm_, store_, bodega_pedido_, exponente_redondeo_, rs_, today_};
  if (!agregue_linea(ctx, values_)) {
    ++summary_.dropped_lines;
    if (observer_) {
      Notify([this, line = LineDropped{
                        position, FormatText("Artículo no válido: %s",
                                             {QuoteSqlText(values_.ARTI_COD.substr(0, 15))})}] {
        observer_->OnLineDropped(line);
      });
    }
  }
  failing_line_ = 0;
}

}  // namespace imp
