#include "import/import_run.h"

#include <filesystem>
#include <system_error>

#include "db/dialogs.h"
#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/run_messages.h"
#include "import/screen.h"
#include "values/control_text.h"
#include "values/conversions.h"
#include "values/failure.h"

namespace imp {

ImportRun::ImportRun(Tfdm& fdm, OrderStore& store, const CImportacion& layout,
                     const RegionalSettings& rs, ImportScreen& screen, Dialogs& dialogs)
    : fdm_(fdm), store_(store), layout_(layout), rs_(rs), screen_(screen), dialogs_(dialogs) {}

void ImportRun::SpeedButton3Click() {
  summary_ = ImportSummary{};
  order_lines_.clear();
  read_ahead_.clear();
  reading_values_ = TValoresRegistro{};
  reading_ = false;
  failing_line_ = 0;
  // The lookups' boxes go where this run's messages go, and texts the
  // module makes (sums, rates) are read back with the run's settings.
  fdm_.set_dialogs(&dialogs_);
  fdm_.set_regional_settings(rs_);
  today_ = Date::Today();

  try {
    screen_.ShowStatus(kImportingText);
    exponente_redondeo_ = TextToInteger(
        fdm_.configuracion("FACTURACION", "DOCUMENTOS", "REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"));

    screen_.ShowRecordBox();
    primer_pedido_ = true;
    store_.set_contador_lineas(0);
    bodega_pedido_.clear();
    values_ = TValoresRegistro{};

    const std::string path = screen_.FileLocation();
    std::error_code error;
    if (path.empty()) {
      summary_.outcome = ImportSummary::Outcome::kNoLocation;
      screen_.ShowMessage(kNoLocationText);
    } else if (!std::filesystem::exists(path, error) ||
               std::filesystem::is_directory(path, error)) {
      // A folder is not a file to import, whatever the reader would make of it.
      summary_.outcome = ImportSummary::Outcome::kNotFound;
      screen_.ShowMessage(kNotFoundText);
    } else {
      ReadOrderFile(path);
    }
  } catch (const Failure& run_failure) {
    // The group's orders are whole: they are committed before the run ends,
    // unless the failure took the connection with it.
    std::string text = run_failure.what();
    try {
      CommitGroup();
    } catch (const Failure& commit_failure) {
      text = EndWithPeriod(text) + "\n" + commit_failure.what();
    }
    summary_.outcome = ImportSummary::Outcome::kFailed;
    summary_.failure = text;
    summary_.interrupted_lines = order_lines_;
    if (observer_) observer_->OnInterrupted(summary_.failure, order_lines_);
    if (!reading_) throw;
    // The operator has to find the line to mend in the file; the reader
    // names the line in its own failures.
    const std::string line =
        failing_line_ > 0 ? "Línea " + std::to_string(failing_line_) + ": " : std::string();
    // Orders written before the failure stay written: the operator must
    // know before feeding the same file again.
    throw Failure(line + EndWithPeriod(text) + "\n" +
                  FormatText(dry_run_ ? kWrittenInDryRunText : kAlreadyWrittenText,
                             {std::to_string(summary_.written_orders)}) +
                  DroppedOrderLines());
  }

  screen_.HideStatus();
  screen_.CloseWindow();
}

std::string ImportRun::DroppedOrderLines() const {
  std::string lines;
  for (const OrderDropped& d : summary_.dropped_orders) {
    lines += '\n';
    lines += FormatText(kOrderNotWrittenText, {d.prefix, d.number, OneLine(d.reason)});
  }
  return lines;
}

}  // namespace imp
