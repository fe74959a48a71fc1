#include "app/batch_summary.h"

#include "values/control_text.h"
#include "values/failure.h"

namespace imp {
namespace {

const char* TextoFin(ImportSummary::Outcome fin) {
  using Fin = ImportSummary::Outcome;
  switch (fin) {
    case Fin::kComplete: return "archivo leído completo";
    case Fin::kNoLocation: return "sin archivo de pedidos";
    case Fin::kNotFound: return "no se encontró el archivo de pedidos";
    case Fin::kCannotOpen: return "no se pudo abrir el archivo de pedidos";
    case Fin::kFailed: return "interrumpida por una falla";
    case Fin::kStopped: return "detenida entre dos pedidos";
    case Fin::kRunning: break;
  }
  return "no terminó";
}

}  // namespace

BatchSummary::BatchSummary()
    : detalle_pedidos_(std::tmpfile()), detalle_lineas_(std::tmpfile()),
      detalle_existentes_(std::tmpfile()) {
  if (!detalle_pedidos_ || !detalle_lineas_ || !detalle_existentes_) {
    throw Failure("No se pudo crear un archivo temporal para el resumen");
  }
}

std::string BatchSummary::EnUnaLinea(const std::string& texto) {
  return EscapeControls(OneLine(texto));
}

void BatchSummary::OnOrderWritten(const OrderWritten& pedido) {
  ++pedidos_grabados_;
  lineas_grabadas_ += pedido.lines;
}

void BatchSummary::OnOrderDropped(const OrderDropped& pedido) {
  ++pedidos_descartados_;
  const std::string linea = "  " + EnUnaLinea(pedido.prefix + " " + pedido.number) + ": " +
                            EnUnaLinea(pedido.reason) + "\n";
  std::fwrite(linea.data(), 1, linea.size(), detalle_pedidos_.get());
}

void BatchSummary::OnLineDropped(const LineDropped& linea) {
  ++lineas_descartadas_;
  const std::string texto = "  línea " + std::to_string(linea.position.number) + ": " +
                            EnUnaLinea(linea.reason) + "\n";
  std::fwrite(texto.data(), 1, texto.size(), detalle_lineas_.get());
}

void BatchSummary::OnOrderSkipped(const OrderSkipped& pedido) {
  ++pedidos_existentes_;
  const std::string linea = "  " + EnUnaLinea(pedido.prefix + " " + pedido.number) +
                            ": ya grabado con el identificador " + pedido.order_id + "\n";
  std::fwrite(linea.data(), 1, linea.size(), detalle_existentes_.get());
}

void BatchSummary::Copie(std::FILE* desde, std::FILE* hacia) {
  std::fflush(desde);
  std::rewind(desde);
  char bloque[8192];
  size_t n;
  while ((n = std::fread(bloque, 1, sizeof bloque, desde)) > 0) std::fwrite(bloque, 1, n, hacia);
}

void BatchSummary::Imprima(std::FILE* out, const BatchRunInfo& corrida,
                           ImportSummary::Outcome fin, int64_t registros, double segundos) const {
  if (simulacion_) {
    std::fputs("SIMULACIÓN (--dry-run): lo que sigue se grabó en una transacción que se deshizo;\n"
               "la base de datos quedó como estaba.\n", out);
  }
  const std::string como = corrida.signal != 0
                               ? "interrumpida por la señal " + SignalName(corrida.signal)
                               : std::string(TextoFin(fin));
  std::fprintf(out, "Resumen de la importación: %s\n", como.c_str());
  std::fprintf(out, "Archivo: %s\n", EnUnaLinea(corrida.file).c_str());
  std::fprintf(out, "Compañía: %s (%s)\n", EnUnaLinea(corrida.company).c_str(),
               EnUnaLinea(corrida.database).c_str());
  std::fprintf(out, "Usuario: %s\n", EnUnaLinea(corrida.user).c_str());
  std::fprintf(out, "Inicio: %s\n", corrida.started.c_str());
  std::fprintf(out, "Fin: %s\n", corrida.ended.c_str());
  std::fprintf(out, "Pedidos grabados: %lld\n", static_cast<long long>(pedidos_grabados_));
  std::fprintf(out, "Pedidos descartados: %lld\n", static_cast<long long>(pedidos_descartados_));
  Copie(detalle_pedidos_.get(), out);
  if (omitir_existentes_ || pedidos_existentes_ > 0) {
    std::fprintf(out, "Pedidos ya importados (omitidos): %lld\n",
                 static_cast<long long>(pedidos_existentes_));
    Copie(detalle_existentes_.get(), out);
  }
  std::fprintf(out, "Líneas grabadas: %lld\n", static_cast<long long>(lineas_grabadas_));
  std::fprintf(out, "Líneas descartadas: %lld\n", static_cast<long long>(lineas_descartadas_));
  Copie(detalle_lineas_.get(), out);
  std::fprintf(out, "Líneas leídas: %lld\n", static_cast<long long>(registros));
  if (lineas_omitidas_ > 0) {
    std::fprintf(out, "Líneas vacías (omitidas): %lld\n", static_cast<long long>(lineas_omitidas_));
  }
  std::fprintf(out, "Tiempo transcurrido: %.3f s\n", segundos);
  const double por_segundo = segundos > 0 ? static_cast<double>(registros) / segundos : 0.0;
  std::fprintf(out, "Líneas por segundo: %.0f\n", por_segundo);
  if (simulacion_) std::fputs("SIMULACIÓN: nada quedó grabado.\n", out);
  std::fflush(out);
}

}  // namespace imp
