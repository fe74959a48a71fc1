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
  int column = 1;
  for (const auto& [field_name, value] : kRecordValueNames) {
    d.Add({std::string(field_name), column++, 10, "SI"});
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
  void Add(std::string_view bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xFF) * 1099511628211ull;
  }
  void Add(std::int64_t n) { Add(std::to_string(n)); }
};

struct Pass {
  Fingerprint fingerprint;
  std::string failure;
  bool opened = false;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fault: %s\n", what);
  std::abort();
}

Pass ReadAll(const std::string& path, std::size_t block, std::int64_t file_size,
             const CImportacion& layout, imp::TextEncoding encoding) {
  Pass p;
  TValoresRegistro values;
  std::int64_t previous = -1;
  imp::TLectorPlano reader(block);
  reader.set_text_encoding(encoding);
  const bool utf8 = encoding == imp::TextEncoding::kUtf8;
  try {
    p.opened = reader.lea_registros(
        path,
        [&](const TCamposRegistro& fields, const LinePosition& pos) {
          if (pos.offset < 0 || pos.length <= 0 ||
              pos.offset + pos.length > file_size || pos.number <= previous) {
            Fail("record position outside the file or out of order");
          }
          previous = pos.number;
          p.fingerprint.Add(pos.number);
          p.fingerprint.Add(pos.offset);
          p.fingerprint.Add(pos.length);
          for (int n = 1; n <= TCamposRegistro::kFieldCount; ++n) {
            const std::string_view field = fields.Text(n);
            if (field.size() > TCamposRegistro::kMaxBytes) Fail("slot longer than its buffer");
            if (field.find('\0') != std::string_view::npos) Fail("a slot holds a zero byte");
            if (utf8 && imp::FirstInvalidUtf8(field)) Fail("a UTF-8 slot is not well formed");
            const std::size_t characters =
                utf8 ? imp::BytesOfCharacters(field, TCamposRegistro::kMaxCharacters, encoding)
                     : std::min(field.size(), TCamposRegistro::kMaxCharacters);
            if (characters != field.size()) Fail("slot longer than 255 characters");
            p.fingerprint.Add(field);
          }
          imp::asigne_valores(fields, layout, values);
          p.fingerprint.Add(values.RecordText());
          p.fingerprint.Add(values.ARTI_COD);
          p.fingerprint.Add(values.PEDE_CANT);
          p.fingerprint.Add(values.PEDI_FECHA);
          p.fingerprint.Add(values.VEND_COD);
        },
        [] {});
  } catch (const imp::Failure& f) {
    p.failure = f.what();
    if (p.failure.empty()) Fail("a failure without text");
  }
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const CImportacion layout = Layout();
  // The file lives in memory; the reader opens it by path like any file.
  static const int fd = memfd_create("pedidos", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0) std::abort();
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = pwrite(fd, data + written, size - written, static_cast<off_t>(written));
    if (n <= 0) std::abort();
    written += static_cast<std::size_t>(n);
  }

  const std::size_t block = size == 0 ? 1 : 1 + data[0] % 97;
  constexpr imp::TextEncoding kEncodings[] = {imp::TextEncoding::kNone, imp::TextEncoding::kWin1252,
                                              imp::TextEncoding::kIso8859_1,
                                              imp::TextEncoding::kUtf8};
  const imp::TextEncoding encoding = kEncodings[size == 0 ? 0 : data[0] >> 6];
  const Pass small = ReadAll(path, block, static_cast<std::int64_t>(size), layout, encoding);
  const Pass large = ReadAll(path, imp::TLectorPlano::kDefaultBlockSize,
                             static_cast<std::int64_t>(size), layout, encoding);
  if (!small.opened && small.failure.empty()) Fail("an in-memory file could not be opened");
  if (small.fingerprint.h != large.fingerprint.h || small.failure != large.failure ||
      small.opened != large.opened) {
    Fail("the records depend on the block size");
  }
  return 0;
}
