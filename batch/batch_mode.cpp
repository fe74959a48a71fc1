#include "batch/batch_mode.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_connect.h"
#include "batch/batch_dry_run.h"
#include "batch/batch_inputs.h"
#include "batch/batch_options.h"
#include "batch/batch_rejects.h"
#include "batch/batch_report.h"
#include "batch/batch_run_info.h"
#include "batch/batch_signals.h"
#include "batch/batch_summary.h"
#include "batch/batch_terminal.h"
#include "db/importer_presence.h"
#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/import_run.h"
#include "session/import_session.h"
#include "session/run_observers.h"
#include "session/settings_file.h"
#include "values/control_text.h"
#include "values/failure.h"
#include "values/message_text.h"

namespace imp {
namespace {

constexpr char kProgram[] = "importa-pedidos";

// Writes `text` and a line end with one call, so that a message of the
// signal watcher never lands inside one of the run's.
void WriteLine(std::FILE* f, const std::string& text) {
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), f);
  std::fflush(f);
}

int UsageError(const std::string& text) {
  WriteLine(stderr, std::string(kProgram) + ": " + text);
  WriteLine(stderr, std::string("Pruebe '") + kProgram + " --help'.");
  return kBatchUsage;
}

constexpr char kDryRunNotice[] =
    "Simulación (--dry-run): cada pedido se graba en una transacción que se deshace al final.";
constexpr char kDryRunEnd[] = "Simulación terminada: se deshizo todo; nada quedó grabado.";

const char* ReportEnd(ImportSummary::Outcome end) {
  using Outcome = ImportSummary::Outcome;
  switch (end) {
    case Outcome::kComplete: return "completa";
    case Outcome::kNoLocation: return "sin_archivo";
    case Outcome::kNotFound: return "no_encontrado";
    case Outcome::kCannotOpen: return "no_se_pudo_abrir";
    case Outcome::kFailed: return "falla";
    case Outcome::kStopped: return "detenida";
    case Outcome::kRunning: return "en_curso";
  }
  return "falla";
}

// How often the report is rewritten while the run goes on.
constexpr auto kReportRewriteInterval = std::chrono::milliseconds(1000);

// "\r\033[K" when standard error is a terminal: a message then replaces the
// progress line instead of following it.
std::string LineStart(bool terminal) { return terminal ? "\r\033[K" : ""; }

// After its wait the server reports a held row as a lock time-out or, for
// a row being updated, as an update conflict ("deadlock").
bool IsLockWait(const std::string& failure) {
  return failure.find("lock time-out") != std::string::npos ||
         failure.find("deadlock") != std::string::npos ||
         failure.find("lock conflict") != std::string::npos;
}

// One run of batch mode, step by step. Each step that may end the run
// returns its exit status; none: go on.
class BatchImport {
 public:
  BatchImport(const BatchOptions& options, const BatchEnvironment& environment);
  int Run();

 private:
  std::optional<int> PrepareOutputs();
  std::optional<int> RefuseUnstableFile();
  void WatchSignals();
  void OnFirstSignal(int signal_number);
  void OnSignalAgain(int signal_number);
  void OnTick();
  std::optional<int> ConnectSession();
  std::optional<int> GuardCompany();
  std::optional<int> PrepareRun();
  void ImportFile();
  void ShowEnd();
  int Status() const;
  int CloseRecords(int status);
  void WriteReport(const std::string& end, const std::string& failure, int status,
                   int64_t records);
  // Ends a run that imported nothing: the whole file is still to import.
  int NothingImported(int status, const std::string& failure, const char* end);

  const BatchOptions& options_;
  const BatchEnvironment& environment_;
  const bool terminal_;
  BatchTerminal screen_;
  BatchRunInfo run_info_;
  std::string settings_path_;
  std::optional<BatchRejects> rejects_;
  std::optional<BatchReport> report_;
  BatchSummary summary_;
  // The file's format where the command line states it; the regional
  // settings for the rest.
  const RegionalSettings rs_;
  Tfdm fdm_;
  ImportSession session_;
  std::atomic<ImportRun*> running_{nullptr};  // the run, once a signal may reach it
  bool closed_ = false;  // the closing records are written (under the lock)
  std::optional<BatchSignals> signals_;
  std::optional<BatchDryRun> dry_run_;
  std::string failure_;  // the run's failure text; empty: none
  double seconds_ = 0;
};

BatchImport::BatchImport(const BatchOptions& options, const BatchEnvironment& environment)
    : options_(options),
      environment_(environment),
      terminal_(isatty(STDERR_FILENO) == 1),
      screen_(stderr, terminal_, options.order_file, options.date.value_or(Date::Today())),
      rs_(options.file_format.ApplyTo(environment.regional_settings)),
      session_(fdm_, rs_, screen_, screen_) {
  run_info_.file = options.order_file;
  run_info_.started = IsoTime(std::chrono::system_clock::now());
  fdm_.set_dialogs(&screen_);
  fdm_.set_regional_settings(rs_);
  summary_.set_dry_run(options.dry_run);
  summary_.set_skip_existing(options.skip_existing);
}

int BatchImport::Run() {
  if (const auto refused = PrepareOutputs()) return *refused;
  WatchSignals();
  if (const auto ended = ConnectSession()) return *ended;
  if (const auto ended = GuardCompany()) return *ended;
  if (const auto ended = PrepareRun()) return *ended;
  ImportFile();
  // The closing records are written under the lock, so that no rewrite of
  // the report in progress comes after them.
  const std::lock_guard<std::mutex> held(session_.observers().mutex());
  run_info_.ended = IsoTime(std::chrono::system_clock::now());
  ShowEnd();
  return CloseRecords(Status());
}

// The outputs are made first: a file that cannot be written, or one that
// would overwrite an input, is the caller's to fix before anything is
// imported.
std::optional<int> BatchImport::PrepareOutputs() {
  settings_path_ = SettingsPath(options_, environment_.install_directory, screen_);
  try {
    CheckOutputFiles(options_, settings_path_);
  } catch (const BatchUsageError& error) {
    return UsageError(error.what());
  }
  if (const auto refused = RefuseUnstableFile()) return refused;
  try {
    if (!options_.rejects.empty()) rejects_.emplace(options_.order_file, options_.rejects);
    if (!options_.report.empty()) {
      report_.emplace();
      report_->set_dry_run(options_.dry_run);
      report_->Write(options_.report, {options_.dry_run, run_info_, "en_curso", "", -1, 0});
    }
  } catch (const Failure& failure) {
    WriteLine(stderr, WithFinalPeriod(failure.what()));
    return kBatchUsage;
  }
  session_.AddObserver(&summary_);
  if (rejects_) session_.AddObserver(&*rejects_);
  if (report_) session_.AddObserver(&*report_);
  return std::nullopt;
}

// A file still being written by the other application is left for the
// next run.
std::optional<int> BatchImport::RefuseUnstableFile() {
  if (!options_.stable_seconds) return std::nullopt;
  const std::optional<int64_t> age = SecondsSinceModified(options_.order_file);
  if (!age || *age >= *options_.stable_seconds) return std::nullopt;
  WriteLine(stderr, "El archivo " + EscapeControls(options_.order_file) + " se modificó hace " +
                        std::to_string(*age) + " s, menos de los " +
                        std::to_string(*options_.stable_seconds) +
                        " s de --estable: puede estar escribiéndose todavía. No se importó.");
  return kBatchUsage;
}

// The signals: the first asks the run (once there is one) to stop between
// orders; a second ends the process at once, with the records as they
// stand after the last event (the database rolls back an order it was
// writing, never keeps half of one); meanwhile the report is rewritten
// whenever the run settled something since its last rewrite.
void BatchImport::WatchSignals() {
  signals_.emplace([this](int signal_number) { OnFirstSignal(signal_number); },
                   [this](int signal_number) { OnSignalAgain(signal_number); },
                   [this] { OnTick(); }, kReportRewriteInterval);
}

void BatchImport::OnFirstSignal(int signal_number) {
  const std::lock_guard<std::mutex> held(session_.observers().mutex());
  run_info_.signal = signal_number;
  if (ImportRun* run = running_.load()) run->RequestStop();
  WriteLine(stderr,
            LineStart(terminal_) + "Señal " + SignalName(signal_number) +
                " recibida: la importación se detiene al terminar el pedido en curso (otra señal "
                "la termina de inmediato).");
}

void BatchImport::OnSignalAgain(int signal_number) {
  std::unique_lock<std::mutex> held(session_.observers().mutex());
  if (closed_) return;  // the run has ended already: nothing to cut short
  const std::string text =
      "Segunda señal (" + SignalName(signal_number) +
      "): la importación terminó de inmediato. El pedido que se estaba grabando quedó "
      "grabado entero o no quedó; vuelva a importar el archivo completo con --skip-existing.";
  WriteLine(stderr, LineStart(terminal_) + text);
  if (report_) {
    try {
      run_info_.ended = IsoTime(std::chrono::system_clock::now());
      WriteReport("interrumpida", text, 128 + signal_number, -1);
    } catch (...) {
      // Ending at once was asked for: nothing more to try.
    }
  }
  std::_Exit(128 + signal_number);
}

void BatchImport::OnTick() {
  if (!report_) return;
  const std::lock_guard<std::mutex> held(session_.observers().mutex());
  if (closed_ || !report_->changed()) return;
  try {
    WriteReport("en_curso", "", -1, -1);
  } catch (const Failure&) {
    // Tried again at the next tick; the end of the run reports it.
  }
}

// Settings and connection: any trouble here is the caller's to fix before
// running again, and nothing has been imported.
std::optional<int> BatchImport::ConnectSession() {
  SettingsFile settings;
  try {
    settings = ReadBatchSettings(settings_path_);
  } catch (const Failure& failure) {
    return NothingImported(kBatchUsage, failure.what(), "sin_conexion");
  }
  const CompanyConnection company{settings.server, settings.user, settings.password,
                                  settings.company};
  {
    const std::lock_guard<std::mutex> held(session_.observers().mutex());
    run_info_.company = settings.company;
    run_info_.database = WithoutPassword(company.Database(), settings.password);
    run_info_.user = settings.user;
  }
  if (rejects_) rejects_->set_text_encoding(rs_.text_encoding);
  try {
    ConnectCompany(session_, company, options_);
  } catch (const Failure& failure) {
    return NothingImported(kBatchUsage, failure.what(), "sin_conexion");
  }
  return std::nullopt;
}

// With --skip-existing the check whether an order is written and its
// write are two statements: a second importer between them could write the
// same order. Every run that writes says so on its attachment, and a run
// that skips existing orders does not start beside another. A dry run makes
// the same checks, so that it predicts the real run, but commits nothing and
// so does not announce itself.
std::optional<int> BatchImport::GuardCompany() {
  Connection& norvela = session_.connection();
  try {
    if (!options_.dry_run) AnnounceImporter(norvela);
    if (!options_.skip_existing) return std::nullopt;
    const std::vector<std::string> others = OtherImporters(norvela);
    if (!others.empty()) {
      std::string who;
      for (const std::string& o : others) who += (who.empty() ? "" : ", ") + o;
      return NothingImported(
          kBatchUsage,
          "Otra importación está grabando en la compañía " + run_info_.company + " (" + who +
              "): con --skip-existing no se importa a la vez, para no grabar "
              "un pedido dos veces. Vuelva a intentarlo cuando termine",
          "otra_importacion");
    }
    if (!HasOrderKeyIndex(norvela)) {
      WriteLine(stderr,
                "Aviso: PEDIDOS no tiene un índice que empiece por PREF_PRE y PEDI_NUMERO; con "
                "--skip-existing, buscar cada pedido recorre toda la tabla. Créelo, por ejemplo: "
                "CREATE INDEX IX_PEDIDOS_PREFIJO_NUMERO ON PEDIDOS (PREF_PRE, PEDI_NUMERO);");
    }
  } catch (const Failure& failure) {
    return NothingImported(kBatchFailure, failure.what(), "falla");
  }
  return std::nullopt;
}

// The company's layout, the run's options and, for a dry run, the
// transaction everything is written in.
std::optional<int> BatchImport::PrepareRun() {
  try {
    session_.LoadLayout();
  } catch (const Failure& failure) {
    return NothingImported(kBatchFailure, failure.what(), "falla");
  }
  // How orders are sent is chosen per transport; IMPORTA_ESCRITURA=filas or
  // bloques fixes it, for measuring one against the other.
  if (const char* write_mode = std::getenv("IMPORTA_ESCRITURA")) {
    OrderStore& store = session_.store();
    if (std::string_view(write_mode) == "filas") store.set_write_mode(OrderStore::WriteMode::kRows);
    if (std::string_view(write_mode) == "bloques")
      store.set_write_mode(OrderStore::WriteMode::kBlocks);
  }
  ImportRun& run = session_.run();
  run.set_skip_existing(options_.skip_existing);
  run.set_orders_per_transaction(options_.orders_per_transaction);
  run.set_dry_run(options_.dry_run);
  screen_.set_file_size(FileSize(options_.order_file));
  // From here a signal reaches the run; one that came before stops it
  // before its first record.
  running_.store(&run);
  if (signals_->received() != 0) run.RequestStop();
  if (!options_.dry_run) return std::nullopt;
  try {
    dry_run_.emplace(session_.connection(), session_.store());
  } catch (const Failure& failure) {
    return NothingImported(kBatchFailure, failure.what(), "falla");
  }
  WriteLine(stderr, kDryRunNotice);
  return std::nullopt;
}

void BatchImport::ImportFile() {
  const auto start = std::chrono::steady_clock::now();
  try {
    session_.Run();
  } catch (const Failure& f) {
    failure_ = f.what();
  }
  seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  dry_run_.reset();  // everything the dry run wrote is rolled back here
}

// The run's end on the terminal: the progress line, the failure and the
// summary.
void BatchImport::ShowEnd() {
  const ImportSummary& done = session_.run().summary();
  screen_.FinishProgress(done.outcome == ImportSummary::Outcome::kComplete);
  if (!failure_.empty() || done.outcome == ImportSummary::Outcome::kFailed) {
    WriteLine(stderr, EscapeControls(WithFinalPeriod(failure_)));
    if (options_.lock_wait && IsLockWait(failure_)) {
      WriteLine(stderr, "Se esperó más de " + std::to_string(*options_.lock_wait) +
                            " s (--espera-bloqueo) por filas que otra transacción tiene "
                            "bloqueadas; el pedido en curso no se grabó.");
    }
  }
  if (options_.dry_run) WriteLine(stderr, kDryRunEnd);
}

int BatchImport::Status() const {
  const ImportSummary::Outcome end = session_.run().summary().outcome;
  if (run_info_.signal != 0) return 128 + run_info_.signal;
  if (end != ImportSummary::Outcome::kComplete) return kBatchFailure;
  if (summary_.anything_not_imported()) return kBatchIncomplete;
  return kBatchAllWritten;
}

// The summary, the rejects and the report. A run whose outputs could not be
// completed has not told the caller what it was asked to.
int BatchImport::CloseRecords(int status) {
  const ImportSummary& done = session_.run().summary();
  summary_.set_skipped_lines(done.skipped_lines);
  summary_.Print(stdout, run_info_, done.outcome, done.records, seconds_);
  try {
    if (rejects_) rejects_->Finish();
    if (report_) {
      WriteReport(run_info_.signal != 0 ? "interrumpida" : ReportEnd(done.outcome), done.failure,
                  status, done.records);
    }
  } catch (const Failure& f) {
    WriteLine(stderr, WithFinalPeriod(f.what()));
    if (status == kBatchAllWritten) status = kBatchIncomplete;
  }
  closed_ = true;
  return status;
}

void BatchImport::WriteReport(const std::string& end, const std::string& failure, int status,
                              int64_t records) {
  report_->Write(options_.report, {options_.dry_run, run_info_, end, failure, status, records});
}

int BatchImport::NothingImported(int status, const std::string& failure, const char* end) {
  WriteLine(stderr, EscapeControls(WithFinalPeriod(failure)));
  const std::lock_guard<std::mutex> held(session_.observers().mutex());
  closed_ = true;
  try {
    if (rejects_) {
      rejects_->OnInterrupted(failure, {});
      rejects_->Finish();
    }
    if (report_) {
      run_info_.ended = IsoTime(std::chrono::system_clock::now());
      WriteReport(end, failure, status, 0);
    }
  } catch (const Failure& f) {
    WriteLine(stderr, WithFinalPeriod(f.what()));
  }
  return status;
}

}  // namespace

int RunBatch(int argc, char** argv, const BatchEnvironment& environment) {
  // Before anything starts a thread: every thread then leaves the signals
  // to the watcher.
  BatchSignals::Block();
  BatchOptions options;
  try {
    options = ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const BatchUsageError& error) {
    return UsageError(error.what());
  }
  if (options.help) {
    std::fputs(BatchUsage().c_str(), stdout);
    std::fflush(stdout);
    return kBatchAllWritten;
  }
  try {
    return BatchImport(options, environment).Run();
  } catch (const std::exception& failure) {
    // Whatever the import did not foresee still ends the run with its text.
    WriteLine(stderr, WithFinalPeriod(failure.what()));
    return kBatchFailure;
  }
}

}  // namespace imp
