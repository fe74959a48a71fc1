#include "app/batch_rejects.h"

#include <algorithm>
#include <utility>

#include "app/batch_summary.h"
#include "import/lector_plano.h"
#include "values/failure.h"

namespace imp {

BatchRejects::BatchRejects(std::string pedidos, const std::string& ruta)
    : pedidos_(std::move(pedidos)), ruta_(ruta), rechazos_(CreateOutputFile(ruta)),
      bitacora_(CreateOutputFile(ruta + ".log")) {}

std::string BatchRejects::FinDeLinea(std::FILE* archivo, int64_t desplazamiento, int64_t longitud) {
  if (fseeko(archivo, static_cast<off_t>(desplazamiento + longitud), SEEK_SET) != 0) return "";
  const int primero = std::fgetc(archivo);
  if (primero == '\n') return "\n";
  if (primero != '\r') return "";
  return std::fgetc(archivo) == '\n' ? "\r\n" : "\r";
}

void BatchRejects::Rechace(const LinePosition& posicion, const std::string& motivo) {
  if (!origen_) {
    origen_.reset(std::fopen(pedidos_.c_str(), "rb"));
    if (!origen_) throw Failure("No se pudo leer el archivo de pedidos " + pedidos_);
  }
  std::FILE* origen = origen_.get();
  std::string linea(static_cast<size_t>(posicion.length), '\0');
  if (fseeko(origen, static_cast<off_t>(posicion.offset), SEEK_SET) != 0 ||
      std::fread(linea.data(), 1, linea.size(), origen) != linea.size()) {
    throw Failure("No se pudo leer la línea " + std::to_string(posicion.number) +
                  " del archivo de pedidos " + pedidos_);
  }
  por_escribir_ += linea;
  por_escribir_ += FinDeLinea(origen, posicion.offset, posicion.length);
  por_registrar_ += "línea " + std::to_string(posicion.number) + ": " +
                    BatchSummary::EnUnaLinea(motivo) + "\n";
  ++lineas_;
}

void BatchRejects::Vacie() {
  const bool escrito =
      std::fwrite(por_escribir_.data(), 1, por_escribir_.size(), rechazos_.get()) ==
          por_escribir_.size() &&
      std::fwrite(por_registrar_.data(), 1, por_registrar_.size(), bitacora_.get()) ==
          por_registrar_.size() &&
      std::fflush(rechazos_.get()) == 0 && std::fflush(bitacora_.get()) == 0;
  por_escribir_.clear();
  por_registrar_.clear();
  if (!escrito) throw Failure("No se pudo escribir el archivo " + ruta_);
}

void BatchRejects::Vea(const std::vector<LinePosition>& registros) {
  for (const LinePosition& p : registros) ultima_leida_ = std::max(ultima_leida_, p.number);
}

std::string BatchRejects::MotivoPendiente(int64_t numero) const {
  for (const LineDropped& l : pendientes_) {
    if (l.position.number == numero) return l.reason;
  }
  return "";
}

void BatchRejects::OnOrderWritten(const OrderWritten& pedido) {
  Vea(pedido.file_lines);
  if (pendientes_.empty()) return;
  // The order went in without these lines, and a written order is never
  // changed: its whole group goes, so that once the incomplete order is
  // voided, importing the group writes it complete.
  std::string faltan;
  for (const LineDropped& l : pendientes_) {
    faltan += (faltan.empty() ? "" : ", ") + std::to_string(l.position.number);
  }
  const std::string incompleto = "pedido " + pedido.prefix + " " + pedido.number +
                                 " grabado incompleto, sin la línea " + faltan;
  for (const LinePosition& p : pedido.file_lines) {
    const std::string propio = MotivoPendiente(p.number);
    Rechace(p, propio.empty() ? incompleto : propio + "; " + incompleto);
  }
  pendientes_.clear();
  Vacie();
}

void BatchRejects::OnOrderDropped(const OrderDropped& pedido) {
  Vea(pedido.file_lines);
  const std::string rechazo =
      "pedido " + pedido.prefix + " " + pedido.number +
      (pedido.by_file ? " no grabado: " : " rechazado por la base de datos: ") +
      pedido.reason;
  for (const LinePosition& p : pedido.file_lines) {
    const std::string propio = MotivoPendiente(p.number);
    Rechace(p, propio.empty() ? rechazo : propio + "; " + rechazo);
  }
  pendientes_.clear();
  Vacie();
}

void BatchRejects::OnOrderSkipped(const OrderSkipped& pedido) {
  // Already in the database: not to be imported again, but read.
  Vea(pedido.file_lines);
  pendientes_.clear();
}

void BatchRejects::OnLineDropped(const LineDropped& linea) {
  ultima_leida_ = std::max(ultima_leida_, linea.position.number);
  pendientes_.push_back(linea);
}

void BatchRejects::OnInterrupted(const std::string& falla,
                                   const std::vector<LinePosition>& registros) {
  interrumpida_ = true;
  Vea(registros);
  const std::string corte = "pedido cortado por la falla: " + falla;
  for (const LinePosition& p : registros) {
    const std::string propio = MotivoPendiente(p.number);
    Rechace(p, propio.empty() ? corte : propio + "; " + corte);
  }
  pendientes_.clear();
  Vacie();
}

void BatchRejects::OnStopped(const LinePosition&) { interrumpida_ = true; }

void BatchRejects::CopieRestoSinLeer() {
  const int64_t desde = ultima_leida_;
  const std::string motivo =
      desde > 0 ? "no leída, la importación se detuvo en la línea " + std::to_string(desde)
                : std::string("no leída, la importación se detuvo antes de leer la primera línea");
  // The lines are found by the reader's own rules, so that numbers and
  // bytes are those the run would have seen.
  std::string falla;
  LinePosition ultima;  // the last record the reader delivered
  TLectorPlano lector;
  lector.set_require_utf8(require_utf8_);
  try {
    lector.lea_registros(
        pedidos_,
        [&](const TCamposRegistro&, const LinePosition& p) {
          ultima = p;
          if (p.number > desde) Rechace(p, motivo);
          // Memory holds at most a batch of lines.
          if (por_escribir_.size() >= (1u << 20)) Vacie();
        },
        {});
  } catch (const Failure& f) {
    falla = f.what();
  }
  Vacie();
  if (falla.empty()) return;
  // The reader stops where the file leaves its format; from there on the
  // lines go as they are, each under its own entry.
  if (!origen_) origen_.reset(std::fopen(pedidos_.c_str(), "rb"));
  if (!origen_) throw Failure("No se pudo leer el archivo de pedidos " + pedidos_);
  int64_t inicio = 0;
  if (ultima.number > 0) {
    inicio = ultima.offset + ultima.length +
             static_cast<int64_t>(
                 FinDeLinea(origen_.get(), ultima.offset, ultima.length).size());
  }
  CopieBytesSinLeer(inicio, ultima.number + 1, motivo,
                    motivo + " (desde aquí el archivo no se pudo leer: " +
                        BatchSummary::EnUnaLinea(falla) + ")");
}

void BatchRejects::CopieBytesSinLeer(int64_t desde, int64_t numero, const std::string& motivo,
                                     const std::string& primera) {
  std::FILE* origen = origen_.get();
  if (fseeko(origen, static_cast<off_t>(desde), SEEK_SET) != 0) {
    throw Failure("No se pudo leer el archivo de pedidos " + pedidos_);
  }
  bool en_linea = false;  // bytes of a line not yet ended were copied
  bool cr = false;        // the last byte was a CR: a line end, LF may follow
  bool es_primera = true;
  auto termine = [&](const char* fin) {
    por_escribir_ += fin;
    por_registrar_ += "línea " + std::to_string(numero) + ": " + (es_primera ? primera : motivo) + "\n";
    es_primera = false;
    ++numero;
    ++lineas_;
    en_linea = false;
  };
  char bloque[8192];
  size_t n;
  while ((n = std::fread(bloque, 1, sizeof bloque, origen)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      const char c = bloque[i];
      if (cr) {
        cr = false;
        if (c == '\n') {
          termine("\r\n");
          continue;
        }
        termine("\r");
      }
      if (c == '\r') {
        cr = true;
      } else if (c == '\n') {
        termine("\n");
      } else {
        por_escribir_ += c;
        en_linea = true;
      }
    }
    if (por_escribir_.size() >= (1u << 20)) {
      // A line without end may be long: its bytes go ahead of its entry.
      std::fwrite(por_escribir_.data(), 1, por_escribir_.size(), rechazos_.get());
      por_escribir_.clear();
    }
  }
  if (cr) termine("\r");
  if (en_linea) termine("");
  Vacie();
}

void BatchRejects::Termine() {
  // Lines discarded from an order the run never completed belong to it and
  // went with it; any left here had no order to go with.
  for (const LineDropped& l : pendientes_) Rechace(l.position, l.reason);
  pendientes_.clear();
  Vacie();
  if (interrumpida_) CopieRestoSinLeer();
}

}  // namespace imp
