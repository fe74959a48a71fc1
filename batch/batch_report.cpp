#include "batch/batch_report.h"

#include <unistd.h>

#include <optional>

#include "batch/output_file.h"

#include "values/failure.h"
#include "values/regional_settings.h"
#include "values/text_encoding.h"

namespace imp {
namespace {

void Escape(std::string& out, unsigned cp) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int s = 12; s >= 0; s -= 4) out += kHex[(cp >> s) & 0xF];
}

std::string Money(const std::optional<Currency>& value) {
  return value ? value->ToText(RegionalSettings()) : std::string("null");
}

std::string IdOrNull(const std::string& id, bool null) {
  return null || id.empty() ? std::string("null") : id;
}

std::string OrderObject(const std::string& prefix, const std::string& number, const std::string& id,
                        int32_t lines, const std::optional<Currency>& vat,
                        const std::optional<Currency>& total, const char* status) {
  return "{\"prefijo\": " + BatchReport::JsonText(prefix) +
         ", \"numero\": " + BatchReport::JsonText(number) + ", \"identificador\": " + id +
         ", \"lineas\": " + std::to_string(lines) + ", \"iva\": " + Money(vat) +
         ", \"total\": " + Money(total) + ", \"estado\": \"" + status + "\"";
}

std::FILE* TemporaryFile() {
  std::FILE* f = std::tmpfile();
  if (!f) throw Failure("No se pudo crear un archivo temporal para el informe");
  return f;
}

}  // namespace

std::string BatchReport::JsonText(std::string_view bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      if (const size_t n = Utf8SequenceLength(bytes, i); n > 0) {
        out.append(bytes.substr(i, n));
        i += n;
      } else {
        Escape(out, Windows1252CodePoint(c));
        ++i;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      Escape(out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

BatchReport::BatchReport()
    : orders_(TemporaryFile()), lines_(TemporaryFile()), cut_lines_(TemporaryFile()) {}

void BatchReport::Append(File& file, bool& first, const std::string& json) {
  ++events_;
  if (!first) std::fputs(",\n    ", file.get());
  first = false;
  std::fwrite(json.data(), 1, json.size(), file.get());
}

void BatchReport::OnOrderWritten(const OrderWritten& p) {
  settled_lines_ += static_cast<int64_t>(p.file_lines.size());
  ++written_;
  lines_written_ += p.lines;
  if (p.vat) vat_ += p.vat->count();
  if (p.total) total_ += p.total->count();
  Append(orders_, first_order_,
         OrderObject(p.prefix, p.number, IdOrNull(p.order_id, stand_in_ids_), p.lines, p.vat,
                     p.total, "grabado") +
             "}");
}

void BatchReport::OnOrderDropped(const OrderDropped& p) {
  settled_lines_ += static_cast<int64_t>(p.file_lines.size());
  ++dropped_;
  Append(orders_, first_order_,
         OrderObject(p.prefix, p.number, IdOrNull(p.order_id, stand_in_ids_), p.lines, p.vat,
                     p.total, "descartado") +
             ", \"motivo\": " + JsonText(p.reason) + "}");
}

void BatchReport::OnOrderSkipped(const OrderSkipped& p) {
  settled_lines_ += static_cast<int64_t>(p.file_lines.size());
  ++existing_;
  Append(orders_, first_order_,
         OrderObject(p.prefix, p.number, IdOrNull(p.order_id, p.in_this_trial), p.lines, p.vat,
                     p.total, "existente") +
             "}");
}

void BatchReport::OnLineDropped(const LineDropped& l) {
  ++lines_discarded_;
  Append(lines_, first_line_,
         "{\"linea\": " + std::to_string(l.position.number) +
             ", \"motivo\": " + JsonText(l.reason) + "}");
}

void BatchReport::OnInterrupted(const std::string&, const std::vector<LinePosition>& records) {
  ++events_;
  for (const LinePosition& p : records) {
    Append(cut_lines_, first_cut_line_, std::to_string(p.number));
  }
}

namespace {

std::string TextOrNull(const std::string& text) {
  return text.empty() ? std::string("null") : BatchReport::JsonText(text);
}

// Everything `from` holds, from its start, appended to `to`; `from`
// stays positioned at its end for the appends that follow.
void CopyAll(std::FILE* from, std::FILE* to) {
  std::fflush(from);
  const int fd = fileno(from);
  char block[8192];
  off_t at = 0;
  ssize_t n;
  while ((n = pread(fd, block, sizeof block, at)) > 0) {
    std::fwrite(block, 1, static_cast<size_t>(n), to);
    at += n;
  }
}

}  // namespace

void BatchReport::Write(const std::string& path, const Closing& c) {
  const int64_t events = events_;
  ReplaceOutputFile(path, [&](std::FILE* out) {
    const BatchRunInfo& r = c.run;
    const std::string head =
        "{\n  \"simulacion\": " + std::string(c.dry_run ? "true" : "false") +
        ",\n  \"archivo\": " + JsonText(r.file) + ",\n  \"compania\": " + TextOrNull(r.company) +
        ",\n  \"base_de_datos\": " + TextOrNull(r.database) +
        ",\n  \"usuario\": " + TextOrNull(r.user) + ",\n  \"inicio\": " + TextOrNull(r.started) +
        ",\n  \"termino\": " + TextOrNull(r.ended) + ",\n  \"fin\": " + JsonText(c.end) +
        ",\n  \"senal\": " + (r.signal ? JsonText(SignalName(r.signal)) : std::string("null")) +
        ",\n  \"falla\": " + TextOrNull(c.failure) + ",\n  \"estado_salida\": " +
        (c.exit_status < 0 ? std::string("null") : std::to_string(c.exit_status)) +
        ",\n  \"totales\": {\"pedidos_grabados\": " + std::to_string(written_) +
        ", \"pedidos_descartados\": " + std::to_string(dropped_) +
        ", \"pedidos_existentes\": " + std::to_string(existing_) +
        ", \"lineas_grabadas\": " + std::to_string(lines_written_) +
        ", \"lineas_descartadas\": " + std::to_string(lines_discarded_) +
        ", \"lineas_leidas\": " + std::to_string(c.lines_read < 0 ? settled_lines_ : c.lines_read) +
        ", \"iva\": " + Currency::FromCount(vat_).ToText(RegionalSettings()) +
        ", \"total\": " + Currency::FromCount(total_).ToText(RegionalSettings()) +
        "},\n  \"pedidos\": [\n    ";
    std::fputs(head.c_str(), out);
    CopyAll(orders_.get(), out);
    std::fputs("\n  ],\n  \"lineas_descartadas\": [\n    ", out);
    CopyAll(lines_.get(), out);
    std::fputs("\n  ],\n  \"lineas_cortadas\": [", out);
    CopyAll(cut_lines_.get(), out);
    std::fputs("]\n}\n", out);
  });
  written_events_ = events;
}

}  // namespace imp
