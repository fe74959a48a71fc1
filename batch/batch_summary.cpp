#include "batch/batch_summary.h"

#include "values/message_text.h"
#include "values/failure.h"

namespace imp {
namespace {

const char* EndText(ImportSummary::Outcome end) {
  using Outcome = ImportSummary::Outcome;
  switch (end) {
    case Outcome::kComplete: return "archivo leído completo";
    case Outcome::kNoLocation: return "sin archivo de pedidos";
    case Outcome::kNotFound: return "no se encontró el archivo de pedidos";
    case Outcome::kCannotOpen: return "no se pudo abrir el archivo de pedidos";
    case Outcome::kFailed: return "interrumpida por una falla";
    case Outcome::kStopped: return "detenida entre dos pedidos";
    case Outcome::kRunning: break;
  }
  return "no terminó";
}

}  // namespace

BatchSummary::BatchSummary()
    : dropped_orders_(std::tmpfile()),
      discarded_lines_(std::tmpfile()),
      existing_orders_(std::tmpfile()) {
  if (!dropped_orders_ || !discarded_lines_ || !existing_orders_) {
    throw Failure("No se pudo crear un archivo temporal para el resumen");
  }
}

void BatchSummary::OnOrderWritten(const OrderWritten& order) {
  ++orders_written_;
  lines_written_ += order.lines;
}

void BatchSummary::OnOrderDropped(const OrderDropped& order) {
  ++orders_dropped_;
  const std::string line = "  " + EscapedOneLine(order.prefix + " " + order.number) + ": " +
                           EscapedOneLine(order.reason) + "\n";
  std::fwrite(line.data(), 1, line.size(), dropped_orders_.get());
}

void BatchSummary::OnLineDropped(const LineDropped& line) {
  ++lines_discarded_;
  const std::string text =
      "  línea " + std::to_string(line.position.number) + ": " + EscapedOneLine(line.reason) + "\n";
  std::fwrite(text.data(), 1, text.size(), discarded_lines_.get());
}

void BatchSummary::OnOrderSkipped(const OrderSkipped& order) {
  ++orders_existing_;
  const std::string line =
      "  " + EscapedOneLine(order.prefix + " " + order.number) +
      (order.in_this_trial ? std::string(": ya grabado antes en esta simulación\n")
                           : ": ya grabado con el identificador " + order.order_id + "\n");
  std::fwrite(line.data(), 1, line.size(), existing_orders_.get());
}

void BatchSummary::Copy(std::FILE* from, std::FILE* to) {
  std::fflush(from);
  std::rewind(from);
  char block[8192];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, from)) > 0) std::fwrite(block, 1, n, to);
}

void BatchSummary::Print(std::FILE* out, const BatchRunInfo& run, ImportSummary::Outcome end,
                         int64_t records, double seconds) const {
  if (dry_run_) {
    std::fputs("SIMULACIÓN (--dry-run): lo que sigue se grabó en una transacción que se deshizo;\n"
               "la base de datos quedó como estaba.\n", out);
  }
  const std::string how = run.signal != 0 ? "interrumpida por la señal " + SignalName(run.signal)
                                          : std::string(EndText(end));
  std::fprintf(out, "Resumen de la importación: %s\n", how.c_str());
  std::fprintf(out, "Archivo: %s\n", EscapedOneLine(run.file).c_str());
  std::fprintf(out, "Compañía: %s (%s)\n", EscapedOneLine(run.company).c_str(),
               EscapedOneLine(run.database).c_str());
  std::fprintf(out, "Usuario: %s\n", EscapedOneLine(run.user).c_str());
  std::fprintf(out, "Inicio: %s\n", run.started.c_str());
  std::fprintf(out, "Fin: %s\n", run.ended.c_str());
  std::fprintf(out, "Pedidos grabados: %lld\n", static_cast<long long>(orders_written_));
  std::fprintf(out, "Pedidos descartados: %lld\n", static_cast<long long>(orders_dropped_));
  Copy(dropped_orders_.get(), out);
  if (skip_existing_ || orders_existing_ > 0) {
    std::fprintf(out, "Pedidos ya importados (omitidos): %lld\n",
                 static_cast<long long>(orders_existing_));
    Copy(existing_orders_.get(), out);
  }
  std::fprintf(out, "Líneas grabadas: %lld\n", static_cast<long long>(lines_written_));
  std::fprintf(out, "Líneas descartadas: %lld\n", static_cast<long long>(lines_discarded_));
  Copy(discarded_lines_.get(), out);
  std::fprintf(out, "Líneas leídas: %lld\n", static_cast<long long>(records));
  if (skipped_lines_ > 0) {
    std::fprintf(out, "Líneas vacías (omitidas): %lld\n", static_cast<long long>(skipped_lines_));
  }
  std::fprintf(out, "Tiempo transcurrido: %.3f s\n", seconds);
  const double per_second = seconds > 0 ? static_cast<double>(records) / seconds : 0.0;
  std::fprintf(out, "Líneas por segundo: %.0f\n", per_second);
  if (dry_run_) std::fputs("SIMULACIÓN: nada quedó grabado.\n", out);
  std::fflush(out);
}

}  // namespace imp
