#include "app/batch_report.h"

#include <unistd.h>

#include <optional>

#include "app/output_file.h"

#include "values/failure.h"
#include "values/regional_settings.h"

namespace imp {
namespace {

// Windows-1252 bytes 0x80-0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252Alto[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the valid UTF-8 sequence at the start of `t` (strict: no
// overlong forms, no surrogates, nothing above U+10FFFF), or 0.
size_t Utf8En(std::string_view t) {
  const auto c = static_cast<unsigned char>(t[0]);
  size_t n;
  unsigned min;
  unsigned cp;
  if (c >= 0xC2 && c <= 0xDF) { n = 1; min = 0x80; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { n = 2; min = 0x800; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { n = 3; min = 0x10000; cp = c & 0x07; }
  else return 0;
  if (t.size() - 1 < n) return 0;  // cut short
  for (size_t k = 1; k <= n; ++k) {
    const auto d = static_cast<unsigned char>(t[k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n + 1;
}

void Escape(std::string& out, unsigned cp) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int s = 12; s >= 0; s -= 4) out += kHex[(cp >> s) & 0xF];
}

std::string Dinero(const std::optional<Currency>& valor) {
  return valor ? valor->ToText(RegionalSettings()) : std::string("null");
}

std::string Identificador(const std::string& id, bool nulo) {
  return nulo || id.empty() ? std::string("null") : id;
}

std::string Pedido(const std::string& prefijo, const std::string& numero, const std::string& id,
                   int32_t lineas, const std::optional<Currency>& iva,
                   const std::optional<Currency>& total, const char* estado) {
  return "{\"prefijo\": " + BatchReport::JsonText(prefijo) +
         ", \"numero\": " + BatchReport::JsonText(numero) + ", \"identificador\": " + id +
         ", \"lineas\": " + std::to_string(lineas) + ", \"iva\": " + Dinero(iva) +
         ", \"total\": " + Dinero(total) + ", \"estado\": \"" + estado + "\"";
}

std::FILE* Temporal() {
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
      if (const size_t n = Utf8En(bytes.substr(i)); n > 0) {
        out.append(bytes.substr(i, n));
        i += n;
      } else {
        Escape(out, c < 0xA0 ? kCp1252Alto[c - 0x80] : c);
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

BatchReport::BatchReport() : pedidos_(Temporal()), lineas_(Temporal()), cortadas_(Temporal()) {}

void BatchReport::Agregue(Archivo& archivo, bool& primero, const std::string& json) {
  ++eventos_;
  if (!primero) std::fputs(",\n    ", archivo.get());
  primero = false;
  std::fwrite(json.data(), 1, json.size(), archivo.get());
}

void BatchReport::OnOrderWritten(const OrderWritten& p) {
  lineas_asentadas_ += static_cast<int64_t>(p.file_lines.size());
  ++grabados_;
  lineas_grabadas_ += p.lines;
  if (p.vat) iva_ += p.vat->count();
  if (p.total) total_ += p.total->count();
  Agregue(pedidos_, primer_pedido_,
          Pedido(p.prefix, p.number, Identificador(p.order_id, simulacion_ids_), p.lines, p.vat,
                 p.total, "grabado") + "}");
}

void BatchReport::OnOrderDropped(const OrderDropped& p) {
  lineas_asentadas_ += static_cast<int64_t>(p.file_lines.size());
  ++descartados_;
  Agregue(pedidos_, primer_pedido_,
          Pedido(p.prefix, p.number, Identificador(p.order_id, simulacion_ids_), p.lines, p.vat,
                 p.total, "descartado") + ", \"motivo\": " + JsonText(p.reason) + "}");
}

void BatchReport::OnOrderSkipped(const OrderSkipped& p) {
  lineas_asentadas_ += static_cast<int64_t>(p.file_lines.size());
  ++existentes_;
  Agregue(pedidos_, primer_pedido_,
          Pedido(p.prefix, p.number, Identificador(p.order_id, false), p.lines, p.vat, p.total,
                 "existente") + "}");
}

void BatchReport::OnLineDropped(const LineDropped& l) {
  ++lineas_descartadas_;
  Agregue(lineas_, primera_linea_,
          "{\"linea\": " + std::to_string(l.position.number) + ", \"motivo\": " + JsonText(l.reason) + "}");
}

void BatchReport::OnInterrupted(const std::string&, const std::vector<LinePosition>& registros) {
  ++eventos_;
  for (const LinePosition& p : registros) {
    Agregue(cortadas_, primera_cortada_, std::to_string(p.number));
  }
}

namespace {

std::string TextoONulo(const std::string& texto) {
  return texto.empty() ? std::string("null") : BatchReport::JsonText(texto);
}

// Everything `desde` holds, from its start, appended to `hacia`; `desde`
// stays positioned at its end for the appends that follow.
void Copie(std::FILE* desde, std::FILE* hacia) {
  std::fflush(desde);
  const int fd = fileno(desde);
  char bloque[8192];
  off_t en = 0;
  ssize_t n;
  while ((n = pread(fd, bloque, sizeof bloque, en)) > 0) {
    std::fwrite(bloque, 1, static_cast<size_t>(n), hacia);
    en += n;
  }
}

}  // namespace

void BatchReport::Escriba(const std::string& ruta, const Cierre& c) {
  const int64_t eventos = eventos_;
  ReplaceOutputFile(ruta, [&](std::FILE* out) {
    const BatchRunInfo& r = c.corrida;
    const std::string cabeza =
        "{\n  \"simulacion\": " + std::string(c.simulacion ? "true" : "false") +
        ",\n  \"archivo\": " + JsonText(r.file) + ",\n  \"compania\": " + TextoONulo(r.company) +
        ",\n  \"base_de_datos\": " + TextoONulo(r.database) +
        ",\n  \"usuario\": " + TextoONulo(r.user) + ",\n  \"inicio\": " + TextoONulo(r.started) +
        ",\n  \"termino\": " + TextoONulo(r.ended) + ",\n  \"fin\": " + JsonText(c.fin) +
        ",\n  \"senal\": " + (r.signal ? JsonText(SignalName(r.signal)) : std::string("null")) +
        ",\n  \"falla\": " + TextoONulo(c.falla) + ",\n  \"estado_salida\": " +
        (c.estado_salida < 0 ? std::string("null") : std::to_string(c.estado_salida)) +
        ",\n  \"totales\": {\"pedidos_grabados\": " + std::to_string(grabados_) +
        ", \"pedidos_descartados\": " + std::to_string(descartados_) +
        ", \"pedidos_existentes\": " + std::to_string(existentes_) +
        ", \"lineas_grabadas\": " + std::to_string(lineas_grabadas_) +
        ", \"lineas_descartadas\": " + std::to_string(lineas_descartadas_) +
        ", \"lineas_leidas\": " +
        std::to_string(c.lineas_leidas < 0 ? lineas_asentadas_ : c.lineas_leidas) +
        ", \"iva\": " + Currency::FromCount(iva_).ToText(RegionalSettings()) +
        ", \"total\": " + Currency::FromCount(total_).ToText(RegionalSettings()) +
        "},\n  \"pedidos\": [\n    ";
    std::fputs(cabeza.c_str(), out);
    Copie(pedidos_.get(), out);
    std::fputs("\n  ],\n  \"lineas_descartadas\": [\n    ", out);
    Copie(lineas_.get(), out);
    std::fputs("\n  ],\n  \"lineas_cortadas\": [", out);
    Copie(cortadas_.get(), out);
    std::fputs("]\n}\n", out);
  });
  escritos_ = eventos;
}

}  // namespace imp
