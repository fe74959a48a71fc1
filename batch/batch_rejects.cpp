#include "batch/batch_rejects.h"

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

void BatchRejects::Reject(const LinePosition& position, const std::string& reason) {
  if (!source_) {
    source_.reset(std::fopen(order_file_.c_str(), "rb"));
    if (!source_) throw Failure("No se pudo leer el archivo de pedidos " + order_file_);
  }
  std::FILE* source = source_.get();
  std::string line(static_cast<size_t>(position.length), '\0');
  if (fseeko(source, static_cast<off_t>(position.offset), SEEK_SET) != 0 ||
      std::fread(line.data(), 1, line.size(), source) != line.size()) {
    throw Failure("No se pudo leer la línea " + std::to_string(position.number) +
                  " del archivo de pedidos " + order_file_);
  }
  to_write_ += line;
  to_write_ += LineEnd(source, position.offset, position.length);
  to_log_ += "línea " + std::to_string(position.number) + ": " + EscapedOneLine(reason) + "\n";
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

void BatchRejects::NoteRead(const std::vector<LinePosition>& records) {
  for (const LinePosition& p : records) last_read_ = std::max(last_read_, p.number);
}

std::string BatchRejects::PendingReason(int64_t number) const {
  for (const LineDropped& l : pending_) {
    if (l.position.number == number) return l.reason;
  }
  return "";
}

void BatchRejects::OnOrderWritten(const OrderWritten& order) {
  NoteRead(order.file_lines);
  if (pending_.empty()) return;
  // The order went in without these lines, and a written order is never
  // changed: its whole group goes, so that once the incomplete order is
  // voided, importing the group writes it complete.
  std::string missing;
  for (const LineDropped& l : pending_) {
    missing += (missing.empty() ? "" : ", ") + std::to_string(l.position.number);
  }
  const std::string incomplete = "pedido " + order.prefix + " " + order.number +
                                 " grabado incompleto, sin la línea " + missing;
  for (const LinePosition& p : order.file_lines) {
    const std::string own = PendingReason(p.number);
    Reject(p, own.empty() ? incomplete : own + "; " + incomplete);
  }
  pending_.clear();
  Flush();
}

void BatchRejects::OnOrderDropped(const OrderDropped& order) {
  NoteRead(order.file_lines);
  const std::string rejection =
      "pedido " + order.prefix + " " + order.number +
      (order.by_file ? " no grabado: " : " rechazado por la base de datos: ") + order.reason;
  for (const LinePosition& p : order.file_lines) {
    const std::string own = PendingReason(p.number);
    Reject(p, own.empty() ? rejection : own + "; " + rejection);
  }
  pending_.clear();
  Flush();
}

void BatchRejects::OnOrderSkipped(const OrderSkipped& order) {
  // Already in the database: not to be imported again, but read.
  NoteRead(order.file_lines);
  pending_.clear();
}

void BatchRejects::OnLineDropped(const LineDropped& line) {
  last_read_ = std::max(last_read_, line.position.number);
  pending_.push_back(line);
}

void BatchRejects::OnInterrupted(const std::string& failure,
                                   const std::vector<LinePosition>& records) {
  interrupted_ = true;
  NoteRead(records);
  const std::string cut = "pedido cortado por la falla: " + failure;
  for (const LinePosition& p : records) {
    const std::string own = PendingReason(p.number);
    Reject(p, own.empty() ? cut : own + "; " + cut);
  }
  pending_.clear();
  Flush();
}

void BatchRejects::OnStopped(const LinePosition&) { interrupted_ = true; }

void BatchRejects::CopyRestUnread() {
  const int64_t from = last_read_;
  const std::string reason =
      from > 0 ? "no leída, la importación se detuvo en la línea " + std::to_string(from)
               : std::string("no leída, la importación se detuvo antes de leer la primera línea");
  // The lines are found by the reader's own rules, so that numbers and
  // bytes are those the run would have seen.
  std::string failure;
  LinePosition last;  // the last record the reader delivered
  TLectorPlano reader;
  reader.set_text_encoding(encoding_);
  try {
    reader.lea_registros(order_file_,
                         [&](const TCamposRegistro&, const LinePosition& p) {
                           last = p;
                           if (p.number > from) Reject(p, reason);
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
  if (last.number > 0) {
    start = last.offset + last.length +
            static_cast<int64_t>(LineEnd(source_.get(), last.offset, last.length).size());
  }
  CopyBytesUnread(
      start, last.number + 1, reason,
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
  for (const LineDropped& l : pending_) Reject(l.position, l.reason);
  pending_.clear();
  Flush();
  if (interrupted_) CopyRestUnread();
}

}  // namespace imp
