#include "app/batch_rejects.h"

#include <algorithm>
#include <utility>

#include "import/lector_plano.h"
#include "values/failure.h"
#include "values/message_text.h"

namespace imp {

BatchRejects::BatchRejects(std::string order_file, const std::string& path)
    : order_file_(std::move(order_file)),
      path_(path),
      rejects_(CreateOutputFile(path)),
      log_(CreateOutputFile(path + ".log")) {}

std::string BatchRejects::LineEnd(std::FILE* file, int64_t offset, int64_t length) {
  if (fseeko(file, static_cast<off_t>(offset + length), SEEK_SET) != 0) return "";
  const int first = std::fgetc(file);
  if (first == '\n') return "\n";
  if (first != '\r') return "";
  return std::fgetc(file) == '\n' ? "\r\n" : "\r";
}

void BatchRejects::Reject(const TPosicionLinea& position, const std::string& reason) {
  if (!source_) {
    source_.reset(std::fopen(order_file_.c_str(), "rb"));
    if (!source_) throw Failure("No se pudo leer el archivo de pedidos " + order_file_);
  }
  std::FILE* source = source_.get();
  std::string line(static_cast<size_t>(position.longitud), '\0');
  if (fseeko(source, static_cast<off_t>(position.desplazamiento), SEEK_SET) != 0 ||
      std::fread(line.data(), 1, line.size(), source) != line.size()) {
    throw Failure("No se pudo leer la línea " + std::to_string(position.numero) +
                  " del archivo de pedidos " + order_file_);
  }
  to_write_ += line;
  to_write_ += LineEnd(source, position.desplazamiento, position.longitud);
  to_log_ += "línea " + std::to_string(position.numero) + ": " + EscapedOneLine(reason) + "\n";
  ++lines_;
}

void BatchRejects::Flush() {
  const bool written =
      std::fwrite(to_write_.data(), 1, to_write_.size(), rejects_.get()) == to_write_.size() &&
      std::fwrite(to_log_.data(), 1, to_log_.size(), log_.get()) == to_log_.size() &&
      std::fflush(rejects_.get()) == 0 && std::fflush(log_.get()) == 0;
  to_write_.clear();
  to_log_.clear();
  if (!written) throw Failure("No se pudo escribir el archivo " + path_);
}

void BatchRejects::NoteRead(const std::vector<TPosicionLinea>& records) {
  for (const TPosicionLinea& p : records) last_read_ = std::max(last_read_, p.numero);
}

std::string BatchRejects::PendingReason(int64_t number) const {
  for (const LineaDescartada& l : pending_) {
    if (l.posicion.numero == number) return l.motivo;
  }
  return "";
}

void BatchRejects::AlGrabarPedido(const PedidoGrabado& order) {
  NoteRead(order.registros);
  if (pending_.empty()) return;
  // The order went in without these lines, and a written order is never
  // changed: its whole group goes, so that once the incomplete order is
  // voided, importing the group writes it complete.
  std::string missing;
  for (const LineaDescartada& l : pending_) {
    missing += (missing.empty() ? "" : ", ") + std::to_string(l.posicion.numero);
  }
  const std::string incomplete = "pedido " + order.prefijo + " " + order.numero +
                                 " grabado incompleto, sin la línea " + missing;
  for (const TPosicionLinea& p : order.registros) {
    const std::string own = PendingReason(p.numero);
    Reject(p, own.empty() ? incomplete : own + "; " + incomplete);
  }
  pending_.clear();
  Flush();
}

void BatchRejects::AlDescartarPedido(const PedidoDescartado& order) {
  NoteRead(order.registros);
  const std::string rejection =
      "pedido " + order.prefijo + " " + order.numero +
      (order.por_el_archivo ? " no grabado: " : " rechazado por la base de datos: ") + order.motivo;
  for (const TPosicionLinea& p : order.registros) {
    const std::string own = PendingReason(p.numero);
    Reject(p, own.empty() ? rejection : own + "; " + rejection);
  }
  pending_.clear();
  Flush();
}

void BatchRejects::AlOmitirPedido(const PedidoExistente& order) {
  // Already in the database: not to be imported again, but read.
  NoteRead(order.registros);
  pending_.clear();
}

void BatchRejects::AlDescartarLinea(const LineaDescartada& line) {
  last_read_ = std::max(last_read_, line.posicion.numero);
  pending_.push_back(line);
}

void BatchRejects::AlInterrumpirse(const std::string& failure,
                                   const std::vector<TPosicionLinea>& records) {
  interrupted_ = true;
  NoteRead(records);
  const std::string cut = "pedido cortado por la falla: " + failure;
  for (const TPosicionLinea& p : records) {
    const std::string own = PendingReason(p.numero);
    Reject(p, own.empty() ? cut : own + "; " + cut);
  }
  pending_.clear();
  Flush();
}

void BatchRejects::AlDetenerse(const TPosicionLinea&) { interrupted_ = true; }

void BatchRejects::CopyRestUnread() {
  const int64_t from = last_read_;
  const std::string reason =
      from > 0 ? "no leída, la importación se detuvo en la línea " + std::to_string(from)
               : std::string("no leída, la importación se detuvo antes de leer la primera línea");
  // The lines are found by the reader's own rules, so that numbers and
  // bytes are those the run would have seen.
  std::string failure;
  TPosicionLinea last;  // the last record the reader delivered
  TLectorPlano reader;
  reader.set_require_utf8(require_utf8_);
  try {
    reader.lea_registros(order_file_,
                         [&](const TCamposRegistro&, const TPosicionLinea& p) {
                           last = p;
                           if (p.numero > from) Reject(p, reason);
                           // Memory holds at most a batch of lines.
                           if (to_write_.size() >= (1u << 20)) Flush();
                         },
                         {});
  } catch (const Failure& f) {
    failure = f.what();
  }
  Flush();
  if (failure.empty()) return;
  // The reader stops where the file leaves its format; from there on the
  // lines go as they are, each under its own entry.
  if (!source_) source_.reset(std::fopen(order_file_.c_str(), "rb"));
  if (!source_) throw Failure("No se pudo leer el archivo de pedidos " + order_file_);
  int64_t start = 0;
  if (last.numero > 0) {
    start = last.desplazamiento + last.longitud +
            static_cast<int64_t>(LineEnd(source_.get(), last.desplazamiento, last.longitud).size());
  }
  CopyBytesUnread(
      start, last.numero + 1, reason,
      reason + " (desde aquí el archivo no se pudo leer: " + EscapedOneLine(failure) + ")");
}

void BatchRejects::CopyBytesUnread(int64_t from, int64_t number, const std::string& reason,
                                   const std::string& first_entry) {
  std::FILE* source = source_.get();
  if (fseeko(source, static_cast<off_t>(from), SEEK_SET) != 0) {
    throw Failure("No se pudo leer el archivo de pedidos " + order_file_);
  }
  bool in_line = false;   // bytes of a line not yet ended were copied
  bool cr = false;        // the last byte was a CR: a line end, LF may follow
  bool is_first = true;
  auto end_line = [&](const char* line_end) {
    to_write_ += line_end;
    to_log_ += "línea " + std::to_string(number) + ": " + (is_first ? first_entry : reason) + "\n";
    is_first = false;
    ++number;
    ++lines_;
    in_line = false;
  };
  char block[8192];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, source)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      const char c = block[i];
      if (cr) {
        cr = false;
        if (c == '\n') {
          end_line("\r\n");
          continue;
        }
        end_line("\r");
      }
      if (c == '\r') {
        cr = true;
      } else if (c == '\n') {
        end_line("\n");
      } else {
        to_write_ += c;
        in_line = true;
      }
    }
    if (to_write_.size() >= (1u << 20)) {
      // A line without end may be long: its bytes go ahead of its entry.
      std::fwrite(to_write_.data(), 1, to_write_.size(), rejects_.get());
      to_write_.clear();
    }
  }
  if (cr) end_line("\r");
  if (in_line) end_line("");
  Flush();
}

void BatchRejects::Finish() {
  // Lines discarded from an order the run never completed belong to it and
  // went with it; any left here had no order to go with.
  for (const LineaDescartada& l : pending_) Reject(l.posicion, l.motivo);
  pending_.clear();
  Flush();
  if (interrupted_) CopyRestUnread();
}

}  // namespace imp
