// Fuzz target: the order file reader and the mapping of its records.
//
// The input is the file itself; its first byte also picks the size of the
// reader's blocks. Every file is read twice, in blocks of that size and in
// the default ones: block boundaries must be invisible, so both passes must
// deliver the same records (positions, slots, mapped values) and end the
// same way. Only imp::Failure may leave the reader; positions must lie
// inside the file, slots within their 255 characters (of the declared
// encoding, which the first byte's top bits pick), a slot never holds a
// zero byte, and one read as UTF-8 is well formed.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "import/importacion.h"
#include "import/lector_plano.h"
#include "import/valores_registro.h"
#include "values/failure.h"
#include "values/text_encoding.h"

namespace {

using imp::CImportacion;
using imp::TCamposRegistro;
using imp::LinePosition;
using imp::TValoresRegistro;
using imp::kRecordValueNames;

// The layout of the order files, plus rows the mapping must ignore or
// resolve by column order: columns 0, 51, 52 and -1, an unknown name, a
// lower-case name, a row not imported and two rows for one value.
CImportacion Layout() {
  CImportacion d;
  int columna = 1;
  for (const auto& [dato, valor] : kRecordValueNames) {
    d.Add({std::string(dato), columna++, 10, "SI"});
  }
  d.Add({"PEDI_NOMTERC", 0, 60, "SI"});
  d.Add({"ARTI_COD", 52, 15, "SI"});
  d.Add({"ARTI_COD", -1, 15, "SI"});
  d.Add({"PEDE_CANT", 51, 15, "SI"});
  d.Add({"OTRO", 3, 15, "SI"});
  d.Add({"pref_pre", 4, 4, "SI"});
  d.Add({"VEND_COD", 5, 4, "NO"});
  d.Add({"PEDI_FECHA", 20, 10, "SI"});
  return d;
}

// FNV-1a over everything a record shows, so the two passes can be compared
// without keeping the records.
struct Fingerprint {
  std::uint64_t h = 1469598103934665603ull;
  void Agregue(std::string_view bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xFF) * 1099511628211ull;
  }
  void Agregue(std::int64_t n) { Agregue(std::to_string(n)); }
};

struct Pass {
  Fingerprint huella;
  std::string failure;
  bool abierto = false;
};

[[noreturn]] void Falle(const char* que) {
  std::fprintf(stderr, "fault: %s\n", que);
  std::abort();
}

Pass ReadAll(const std::string& ruta, std::size_t bloque, std::int64_t tamano,
             const CImportacion& diseno, imp::TextEncoding codificacion) {
  Pass p;
  TValoresRegistro valores;
  std::int64_t anterior = -1;
  imp::TLectorPlano lector(bloque);
  lector.set_text_encoding(codificacion);
  const bool utf8 = codificacion == imp::TextEncoding::kUtf8;
  try {
    p.abierto = lector.lea_registros(
        ruta,
        [&](const TCamposRegistro& campos, const LinePosition& pos) {
          if (pos.offset < 0 || pos.length <= 0 ||
              pos.offset + pos.length > tamano || pos.number <= anterior) {
            Falle("record position outside the file or out of order");
          }
          anterior = pos.number;
          p.huella.Agregue(pos.number);
          p.huella.Agregue(pos.offset);
          p.huella.Agregue(pos.length);
          for (int n = 1; n <= TCamposRegistro::kFieldCount; ++n) {
            const std::string_view campo = campos.Text(n);
            if (campo.size() > TCamposRegistro::kMaxBytes) Falle("slot longer than its buffer");
            if (campo.find('\0') != std::string_view::npos) Falle("a slot holds a zero byte");
            if (utf8 && imp::FirstInvalidUtf8(campo)) Falle("a UTF-8 slot is not well formed");
            const std::size_t caracteres =
                utf8 ? imp::BytesOfCharacters(campo, TCamposRegistro::kMaxCharacters, codificacion)
                     : std::min(campo.size(), TCamposRegistro::kMaxCharacters);
            if (caracteres != campo.size()) Falle("slot longer than 255 characters");
            p.huella.Agregue(campo);
          }
          imp::asigne_valores(campos, diseno, valores);
          p.huella.Agregue(valores.RecordText());
          p.huella.Agregue(valores.ARTI_COD);
          p.huella.Agregue(valores.PEDE_CANT);
          p.huella.Agregue(valores.PEDI_FECHA);
          p.huella.Agregue(valores.VEND_COD);
        },
        [] {});
  } catch (const imp::Failure& f) {
    p.failure = f.what();
    if (p.failure.empty()) Falle("a failure without text");
  }
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const CImportacion diseno = Layout();
  // The file lives in memory; the reader opens it by path like any file.
  static const int fd = memfd_create("pedidos", 0);
  static const std::string ruta = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0) std::abort();
  std::size_t escritos = 0;
  while (escritos < size) {
    const ssize_t n = pwrite(fd, data + escritos, size - escritos, static_cast<off_t>(escritos));
    if (n <= 0) std::abort();
    escritos += static_cast<std::size_t>(n);
  }

  const std::size_t bloque = size == 0 ? 1 : 1 + data[0] % 97;
  constexpr imp::TextEncoding kEncodings[] = {imp::TextEncoding::kNone, imp::TextEncoding::kWin1252,
                                              imp::TextEncoding::kIso8859_1,
                                              imp::TextEncoding::kUtf8};
  const imp::TextEncoding codificacion = kEncodings[size == 0 ? 0 : data[0] >> 6];
  const Pass chica = ReadAll(ruta, bloque, static_cast<std::int64_t>(size), diseno, codificacion);
  const Pass grande = ReadAll(ruta, imp::TLectorPlano::kDefaultBlockSize,
                              static_cast<std::int64_t>(size), diseno, codificacion);
  if (!chica.abierto && chica.failure.empty()) Falle("an in-memory file could not be opened");
  if (chica.huella.h != grande.huella.h || chica.failure != grande.failure ||
      chica.abierto != grande.abierto) {
    Falle("the records depend on the block size");
  }
  return 0;
}
