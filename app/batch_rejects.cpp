#include "app/batch_rejects.h"

#include <algorithm>
#include <utility>

#include "app/batch_summary.h"
#include "import/lector_plano.h"
#include "values/failure.h"

namespace imp {
namespace {

std::FILE* Cree(const std::string& ruta) {
  std::FILE* f = std::fopen(ruta.c_str(), "wb");
  if (!f) throw Failure("No se pudo escribir el archivo " + ruta);
  return f;
}

}  // namespace

BatchRejects::BatchRejects(std::string pedidos, const std::string& ruta)
    : pedidos_(std::move(pedidos)), ruta_(ruta), rechazos_(Cree(ruta)), bitacora_(Cree(ruta + ".log")) {}

std::string BatchRejects::FinDeLinea(std::FILE* archivo, int64_t desplazamiento, int64_t longitud) {
  if (fseeko(archivo, static_cast<off_t>(desplazamiento + longitud), SEEK_SET) != 0) return "";
  const int primero = std::fgetc(archivo);
  if (primero == '\n') return "\n";
  if (primero != '\r') return "";
  return std::fgetc(archivo) == '\n' ? "\r\n" : "\r";
}

void BatchRejects::Rechace(const TPosicionLinea& posicion, const std::string& motivo) {
  if (!origen_) {
    origen_.reset(std::fopen(pedidos_.c_str(), "rb"));
    if (!origen_) throw Failure("No se pudo leer el archivo de pedidos " + pedidos_);
  }
  std::FILE* origen = origen_.get();
  std::string linea(static_cast<size_t>(posicion.longitud), '\0');
  if (fseeko(origen, static_cast<off_t>(posicion.desplazamiento), SEEK_SET) != 0 ||
      std::fread(linea.data(), 1, linea.size(), origen) != linea.size()) {
    throw Failure("No se pudo leer la línea " + std::to_string(posicion.numero) +
                  " del archivo de pedidos " + pedidos_);
  }
  const std::string fin = FinDeLinea(origen, posicion.desplazamiento, posicion.longitud);
  linea += fin;
  const std::string registro = "línea " + std::to_string(posicion.numero) + ": " +
                               BatchSummary::EnUnaLinea(motivo) + "\n";
  if (std::fwrite(linea.data(), 1, linea.size(), rechazos_.get()) != linea.size() ||
      std::fwrite(registro.data(), 1, registro.size(), bitacora_.get()) != registro.size()) {
    throw Failure("No se pudo escribir el archivo " + ruta_);
  }
  ++lineas_;
  fin_ultima_ = posicion.desplazamiento + posicion.longitud + static_cast<int64_t>(fin.size());
  numero_ultima_ = posicion.numero;
}

std::string BatchRejects::MotivoPendiente(int64_t numero) const {
  for (const LineaDescartada& l : pendientes_) {
    if (l.posicion.numero == numero) return l.motivo;
  }
  return "";
}

void BatchRejects::AlGrabarPedido(const PedidoGrabado& pedido) {
  if (pendientes_.empty()) return;
  // The order went in without these lines, and a written order is never
  // changed: its whole group goes, so that once the incomplete order is
  // voided, importing the group writes it complete.
  std::string faltan;
  for (const LineaDescartada& l : pendientes_) {
    faltan += (faltan.empty() ? "" : ", ") + std::to_string(l.posicion.numero);
  }
  const std::string incompleto = "pedido " + pedido.prefijo + " " + pedido.numero +
                                 " grabado incompleto, sin la línea " + faltan;
  for (const TPosicionLinea& p : pedido.registros) {
    const std::string propio = MotivoPendiente(p.numero);
    Rechace(p, propio.empty() ? incompleto : propio + "; " + incompleto);
  }
  pendientes_.clear();
}

void BatchRejects::AlDescartarPedido(const PedidoDescartado& pedido) {
  const std::string rechazo =
      "pedido " + pedido.prefijo + " " + pedido.numero + " rechazado por la base de datos: " +
      pedido.motivo;
  for (const TPosicionLinea& p : pedido.registros) {
    const std::string propio = MotivoPendiente(p.numero);
    Rechace(p, propio.empty() ? rechazo : propio + "; " + rechazo);
  }
  pendientes_.clear();
}

void BatchRejects::AlDescartarLinea(const LineaDescartada& linea) { pendientes_.push_back(linea); }

void BatchRejects::AlInterrumpirse(const std::string& falla,
                                   const std::vector<TPosicionLinea>& registros) {
  interrumpida_ = true;
  const std::string corte = "pedido cortado por la falla: " + falla;
  for (const TPosicionLinea& p : registros) {
    const std::string propio = MotivoPendiente(p.numero);
    Rechace(p, propio.empty() ? corte : propio + "; " + corte);
  }
  pendientes_.clear();
}

void BatchRejects::CopieRestoSinLeer() {
  // The lines are found by the reader's own rules, so that numbers and
  // bytes are those the run would have seen.
  const int64_t desde = numero_ultima_;
  std::string falla;
  TLectorPlano lector;
  try {
    lector.lea_registros(
        pedidos_,
        [&](const TCamposRegistro&, const TPosicionLinea& p) {
          if (p.numero > desde) Rechace(p, "no leída: la importación se detuvo antes de esta línea");
        },
        {});
  } catch (const Failure& f) {
    falla = f.what();
  }
  if (falla.empty()) return;
  // The reader stops where the file leaves its format; from there on the
  // bytes go as they are, under one entry.
  if (!origen_) origen_.reset(std::fopen(pedidos_.c_str(), "rb"));
  if (!origen_ || fseeko(origen_.get(), static_cast<off_t>(fin_ultima_), SEEK_SET) != 0) {
    throw Failure("No se pudo leer el archivo de pedidos " + pedidos_);
  }
  char bloque[8192];
  size_t n;
  bool alguno = false;
  while ((n = std::fread(bloque, 1, sizeof bloque, origen_.get())) > 0) {
    alguno = true;
    if (std::fwrite(bloque, 1, n, rechazos_.get()) != n) {
      throw Failure("No se pudo escribir el archivo " + ruta_);
    }
  }
  if (!alguno) return;
  const std::string registro = "línea " + std::to_string(numero_ultima_ + 1) +
                               " y siguientes: no leídas: " + BatchSummary::EnUnaLinea(falla) + "\n";
  std::fwrite(registro.data(), 1, registro.size(), bitacora_.get());
}

void BatchRejects::Termine() {
  // Lines discarded from an order the run never completed belong to it and
  // went with it; any left here had no order to go with.
  for (const LineaDescartada& l : pendientes_) Rechace(l.posicion, l.motivo);
  pendientes_.clear();
  if (interrumpida_) CopieRestoSinLeer();
  if (std::fflush(rechazos_.get()) != 0 || std::fflush(bitacora_.get()) != 0) {
    throw Failure("No se pudo escribir el archivo " + ruta_);
  }
}

}  // namespace imp
