#include "app/batch_mode.h"

#include <unistd.h>

#include <QLocale>
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

#include "app/batch_connect.h"
#include "app/batch_dry_run.h"
#include "app/batch_inputs.h"
#include "app/batch_observers.h"
#include "app/batch_options.h"
#include "app/batch_rejects.h"
#include "app/batch_report.h"
#include "app/batch_run_info.h"
#include "app/batch_signals.h"
#include "app/batch_summary.h"
#include "app/batch_terminal.h"
#include "app/company_connection.h"
#include "app/locale_regional_settings.h"
#include "app/settings_file.h"
#include "db/connection.h"
#include "db/importer_presence.h"
#include "db/order_store.h"
#include "db/query_set.h"
#include "db/tfdm.h"
#include "import/load_import_layout.h"
#include "import/import_run.h"
#include "import/importacion.h"
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

int RunBatchImport(const BatchOptions& options) {
  const bool terminal = isatty(STDERR_FILENO) == 1;
  BatchTerminal screen(stderr, terminal, options.order_file, options.date.value_or(Date::Today()));

  BatchRunInfo run_info;
  run_info.file = options.order_file;
  run_info.started = IsoTime(std::chrono::system_clock::now());

  // The outputs are made first: a file that cannot be written, or one that
  // would overwrite an input, is the caller's to fix before anything is
  // imported.
  const std::string settings_path = SettingsPath(options, screen);
  try {
    CheckOutputFiles(options, settings_path);
  } catch (const BatchUsageError& error) {
    return UsageError(error.what());
  }
  if (options.stable_seconds) {
    // A file still being written by the other application is left for the
    // next run.
    if (const std::optional<int64_t> age = SecondsSinceModified(options.order_file);
        age && *age < *options.stable_seconds) {
      WriteLine(stderr, "El archivo " + EscapeControls(options.order_file) + " se modificó hace " +
                            std::to_string(*age) + " s, menos de los " +
                            std::to_string(*options.stable_seconds) +
                            " s de --estable: puede estar escribiéndose todavía. No se importó.");
      return kBatchUsage;
    }
  }
  std::optional<BatchRejects> rejects;
  std::optional<BatchReport> report;
  try {
    if (!options.rejects.empty()) rejects.emplace(options.order_file, options.rejects);
    if (!options.report.empty()) {
      report.emplace();
      report->set_dry_run(options.dry_run);
      report->Write(options.report, {options.dry_run, run_info, "en_curso", "", -1, 0});
    }
  } catch (const Failure& failure) {
    WriteLine(stderr, WithFinalPeriod(failure.what()));
    return kBatchUsage;
  }

  BatchSummary summary;
  summary.set_dry_run(options.dry_run);
  summary.set_skip_existing(options.skip_existing);
  BatchObservers observers;
  observers.Add(&summary);
  if (rejects) observers.Add(&*rejects);
  if (report) observers.Add(&*report);

  // The signals: the first asks the run (once there is one) to stop between
  // orders; a second ends the process at once, with the records as they
  // stand after the last event (the database rolls back an order it was
  // writing, never keeps half of one); meanwhile the report is rewritten
  // whenever the run settled something since its last rewrite.
  std::atomic<ImportRun*> running{nullptr};
  bool closed = false;  // the closing records are written (under the lock)
  auto report_in_progress = [&](const std::string& end, const std::string& failure, int status) {
    BatchReport::Closing closing{options.dry_run, run_info, end, failure, status, -1};
    report->Write(options.report, closing);
  };
  BatchSignals signal_watcher(
      [&](int signal_number) {
        const std::lock_guard<std::mutex> held(observers.mutex());
        run_info.signal = signal_number;
        if (ImportRun* run = running.load()) run->RequestStop();
        WriteLine(
            stderr,
            std::string(terminal ? "\r\033[K" : "") + "Señal " + SignalName(signal_number) +
                " recibida: la importación se detiene al terminar el pedido en curso (otra señal "
                "la termina de inmediato).");
      },
      [&](int signal_number) {
        std::unique_lock<std::mutex> held(observers.mutex());
        if (closed) return;  // the run has ended already: nothing to cut short
        const std::string text =
            "Segunda señal (" + SignalName(signal_number) +
            "): la importación terminó de inmediato. El pedido que se estaba grabando quedó "
            "grabado entero o no quedó; vuelva a importar el archivo completo con --skip-existing.";
        WriteLine(stderr, std::string(terminal ? "\r\033[K" : "") + text);
        if (report) {
          try {
            run_info.ended = IsoTime(std::chrono::system_clock::now());
            report_in_progress("interrumpida", text, 128 + signal_number);
          } catch (...) {
            // Ending at once was asked for: nothing more to try.
          }
        }
        std::_Exit(128 + signal_number);
      },
      [&] {
        if (!report) return;
        const std::lock_guard<std::mutex> held(observers.mutex());
        if (closed || !report->changed()) return;
        try {
          report_in_progress("en_curso", "", -1);
        } catch (const Failure&) {
          // Tried again at the next tick; the end of the run reports it.
        }
      },
      kReportRewriteInterval);

  // Ends a run that imported nothing: the whole file is still to import.
  auto nothing_imported = [&](int status, const std::string& failure, const char* end) {
    WriteLine(stderr, EscapeControls(WithFinalPeriod(failure)));
    const std::lock_guard<std::mutex> held(observers.mutex());
    closed = true;
    try {
      if (rejects) {
        rejects->OnInterrupted(failure, {});
        rejects->Finish();
      }
      if (report) {
        run_info.ended = IsoTime(std::chrono::system_clock::now());
        report->Write(options.report, {options.dry_run, run_info, end, failure, status, 0});
      }
    } catch (const Failure& f) {
      WriteLine(stderr, WithFinalPeriod(f.what()));
    }
    return status;
  };

  // Settings and connection: any trouble here is the caller's to fix
  // before running again, and nothing has been imported.
  SettingsFile settings;
  try {
    settings = ReadBatchSettings(settings_path);
  } catch (const Failure& failure) {
    return nothing_imported(kBatchUsage, failure.what(), "sin_conexion");
  }
  const CompanyConnection company{settings.server, settings.user, settings.password,
                                  settings.company};
  const std::string database = company.Database();
  {
    const std::lock_guard<std::mutex> held(observers.mutex());
    run_info.company = settings.company;
    run_info.database = WithoutPassword(database, settings.password);
    run_info.user = settings.user;
  }

  // The file's format where the command line states it; the regional
  // settings for the rest.
  const RegionalSettings rs =
      options.file_format.ApplyTo(RegionalSettingsFromLocale(QLocale::system()));
  Tfdm fdm;
  fdm.set_dialogs(&screen);
  fdm.set_regional_settings(rs);
  if (rejects) rejects->set_text_encoding(rs.text_encoding);

  screen.ShowStatus(company.ConnectingCaption());
  try {
    ConnectCompany(fdm.Norvela, company, rs.text_encoding, options);
  } catch (const Failure& failure) {
    return nothing_imported(kBatchUsage, failure.what(), "sin_conexion");
  }

  // With --skip-existing the check whether an order is written and its
  // write are two statements: a second importer between them could write
  // the same order. Every run that writes says so on its attachment, and a
  // run that skips existing orders does not start beside another.
  // A dry run checks what the real run would, and refuses what it would
  // refuse; it writes nothing, so it does not announce itself.
  {
    try {
      if (!options.dry_run) AnnounceImporter(fdm.Norvela);
      if (options.skip_existing) {
        const std::vector<std::string> others = OtherImporters(fdm.Norvela);
        if (!others.empty()) {
          std::string who;
          for (const std::string& o : others) who += (who.empty() ? "" : ", ") + o;
          return nothing_imported(
              kBatchUsage,
              "Otra importación está grabando en la compañía " + settings.company + " (" + who +
                  "): con --skip-existing no se importa a la vez, para no grabar "
                  "un pedido dos veces. Vuelva a intentarlo cuando termine",
              "otra_importacion");
        }
        if (!HasOrderKeyIndex(fdm.Norvela)) {
          WriteLine(
              stderr,
              "Aviso: PEDIDOS no tiene un índice que empiece por PREF_PRE y PEDI_NUMERO; con "
              "--skip-existing, buscar cada pedido recorre toda la tabla. Créelo, por ejemplo: "
              "CREATE INDEX IX_PEDIDOS_PREFIJO_NUMERO ON PEDIDOS (PREF_PRE, PEDI_NUMERO);");
        }
      }
    } catch (const Failure& failure) {
      return nothing_imported(kBatchFailure, failure.what(), "falla");
    }
  }

  CImportacion layout;
  QuerySet CImporinv = LayoutSourceSet(fdm.Norvela, rs);
  try {
    LoadImportLayout(CImporinv, layout);
  } catch (const Failure& failure) {
    return nothing_imported(kBatchFailure, failure.what(), "falla");
  }

  OrderStore store(fdm);
  // How orders are sent is chosen per transport; IMPORTA_ESCRITURA=filas or
  // bloques fixes it, for measuring one against the other.
  if (const char* write_mode = std::getenv("IMPORTA_ESCRITURA")) {
    if (std::string_view(write_mode) == "filas") store.set_write_mode(OrderStore::WriteMode::kRows);
    if (std::string_view(write_mode) == "bloques")
      store.set_write_mode(OrderStore::WriteMode::kBlocks);
  }
  ImportRun run(fdm, store, layout, rs, screen, screen);
  run.set_observer(&observers);
  run.set_skip_existing(options.skip_existing);
  run.set_orders_per_transaction(options.orders_per_transaction);
  run.set_dry_run(options.dry_run);
  screen.set_file_size(FileSize(options.order_file));
  // From here a signal reaches the run; one that came before stops it
  // before its first record.
  struct Published {
    std::atomic<ImportRun*>& running;
    ~Published() { running.store(nullptr); }
  } published{running};
  running.store(&run);
  if (signal_watcher.received() != 0) run.RequestStop();

  std::optional<BatchDryRun> dry_run;
  if (options.dry_run) {
    try {
      dry_run.emplace(fdm.Norvela, store);
    } catch (const Failure& failure) {
      return nothing_imported(kBatchFailure, failure.what(), "falla");
    }
    WriteLine(stderr, kDryRunNotice);
  }

  const auto start = std::chrono::steady_clock::now();
  std::string failure;
  try {
    run.SpeedButton3Click();
  } catch (const Failure& f) {
    failure = f.what();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  dry_run.reset();  // everything the dry run wrote is rolled back here

  // The closing records are written under the lock, so that no rewrite of
  // the report in progress comes after them.
  const std::lock_guard<std::mutex> held(observers.mutex());
  run_info.ended = IsoTime(std::chrono::system_clock::now());
  const int signal_number = run_info.signal;
  const ImportSummary::Outcome end = run.summary().outcome;
  screen.FinishProgress(end == ImportSummary::Outcome::kComplete);
  if (!failure.empty() || end == ImportSummary::Outcome::kFailed) {
    WriteLine(stderr, EscapeControls(WithFinalPeriod(failure)));
    // After its wait the server reports a held row as a lock time-out or,
    // for a row being updated, as an update conflict ("deadlock").
    if (options.lock_wait && (failure.find("lock time-out") != std::string::npos ||
                              failure.find("deadlock") != std::string::npos ||
                              failure.find("lock conflict") != std::string::npos)) {
      WriteLine(stderr, "Se esperó más de " + std::to_string(*options.lock_wait) +
                            " s (--espera-bloqueo) por filas que otra transacción tiene "
                            "bloqueadas; el pedido en curso no se grabó.");
    }
  }
  if (options.dry_run) WriteLine(stderr, kDryRunEnd);
  summary.set_skipped_lines(run.summary().skipped_lines);
  summary.Print(stdout, run_info, end, run.summary().records, seconds);

  int status = kBatchAllWritten;
  if (signal_number != 0) {
    status = 128 + signal_number;
  } else if (end != ImportSummary::Outcome::kComplete) {
    status = kBatchFailure;
  } else if (summary.anything_not_imported()) {
    status = kBatchIncomplete;
  }

  // A run whose outputs could not be completed has not told the caller
  // what it was asked to.
  try {
    if (rejects) rejects->Finish();
    if (report) {
      report->Write(options.report, {options.dry_run, run_info,
                                     signal_number != 0 ? "interrumpida" : ReportEnd(end),
                                     run.summary().failure, status, run.summary().records});
    }
  } catch (const Failure& f) {
    WriteLine(stderr, WithFinalPeriod(f.what()));
    if (status == kBatchAllWritten) status = kBatchIncomplete;
  }
  closed = true;
  return status;
}

}  // namespace

int RunBatch(int argc, char** argv) {
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
    return RunBatchImport(options);
  } catch (const std::exception& failure) {
    // Whatever the import did not foresee still ends the run with its text.
    WriteLine(stderr, WithFinalPeriod(failure.what()));
    return kBatchFailure;
  }
}

}  // namespace imp
