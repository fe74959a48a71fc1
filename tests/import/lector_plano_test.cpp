#include "import/lector_plano.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/failure_of.h"
#include "tests/support/temp_folder.h"
#include "values/failure.h"
#include "values/text_encoding.h"

namespace imp {
namespace {

using namespace std::string_literals;

// A file with the given bytes in a fresh folder, removed afterwards.
class TempOrderFile {
 public:
  explicit TempOrderFile(const std::string& bytes)
      : path_(folder_.Write("pedidos.csv", bytes)) {}
  const std::string& path() const { return path_; }

 private:
  testing::TempFolder folder_{"lector_plano"};
  std::string path_;
};

struct Record {
  std::vector<std::string> fields;  // all 51 slots
  LinePosition position;
};

std::vector<Record> Read(const std::string& bytes, std::size_t block) {
  TempOrderFile file(bytes);
  std::vector<Record> records;
  TLectorPlano reader(block);
  const bool opened = reader.lea_registros(
      file.path(),
      [&](const TCamposRegistro& fields, const LinePosition& position) {
        Record r{{}, position};
        for (int n = 1; n <= TCamposRegistro::kFieldCount; ++n) r.fields.emplace_back(fields.Text(n));
        records.push_back(std::move(r));
      },
      {});
  EXPECT_TRUE(opened);
  return records;
}

// Block sizes that put block boundaries inside every construct of the
// small files below, and the normal one.
constexpr std::size_t kBlocks[] = {1, 2, 3, 5, TLectorPlano::kDefaultBlockSize};

struct FieldsCase {
  const char* name;
  std::string bytes;
  std::vector<std::vector<std::string>> records;  // leading slots of each record
};

const FieldsCase kFieldsCases[] = {
    {"archivo vacio", "", {}},
    {"slots no se limpian", "a,b\r\nc\r\n", {{"a", "b"}, {"c", "b"}}},
    {"LF solo", "a\nb\n", {{"a"}, {"b"}}},
    {"blancos se conservan", " a , b \n", {{" a ", " b "}}},
    {"campos vacios", "a,,b,\n", {{"a", "", "b", ""}}},
    {"coma entre comillas", "\"x,y\",z\n", {{"x,y", "z"}}},
    {"comillas en medio del campo", "ab\"c,d\"e\n", {{"abc,de"}}},
    {"comillas dobles no agregan nada", "a\"\"b\n", {{"ab"}}},
    {"comillas sin texto no son registro", "\"\"\n", {}},
    {"fin de linea cierra comillas", "\"x\ny,z\n", {{"x"}, {"y", "z"}}},
    {"CR dentro de comillas termina", "\"x\r\ny,z\n", {{"x"}, {"y", "z"}}},
    {"bytes altos se conservan", "\xC3\xB1,\xF1\n", {{"\xC3\xB1", "\xF1"}}},
    {"BOM fuera del inicio se conserva", "a\n\xEF\xBB\xBF" "b\n", {{"a"}, {"\xEF\xBB\xBF" "b"}}},
    {"BOM incompleto se conserva", "\xEF\xBBx\n", {{"\xEF\xBBx"}}},
    // Sound behaviour where the bare byte rules lose or corrupt data.
    {"CR seguido de otro byte no lo pierde", "a\rb\n", {{"a"}, {"b"}}},
    {"solo CR", "ab\rcd\ref", {{"ab"}, {"cd"}, {"ef"}}},
    {"CR CR LF", "a\r\r\nb\n", {{"a"}, {"b"}}},
    {"comillas tras CR", "a\r\"\"\nb\n", {{"a"}, {"b"}}},
    {"coma tras CR", "a,x\r,\nb\n", {{"a", "x"}, {"b", ""}}},
    {"cero tras CR", "a\r\0\nb\n"s, {{"a"}, {"b"}}},
    // Lines whose every field is empty are no records, like empty lines.
    {"solo comas", "a,b\n,,,,\nc\n", {{"a", "b"}, {"c", ""}}},
    {"solo bytes cero", "a\n\0\0\0\nb\n"s, {{"a"}, {"b"}}},
    {"comillas y comas vacias", "a\n\"\",\"\",\nb\n", {{"a"}, {"b"}}},
    {"ultima linea solo comas", "a,b\n,,", {{"a", "b"}}},
    {"un blanco es texto", "a\n, ,\n", {{"a"}, {"", " ", ""}}},
    {"ultima linea sin fin", "a,b\nc", {{"a", "b"}, {"c", "b"}}},
    {"unica linea sin fin", "x", {{"x"}}},
    {"lineas vacias no son registros", "a\n\nb\r\n\r\n\n", {{"a"}, {"b"}}},
    {"solo lineas vacias", "\r\n\n\r", {}},
    {"BOM al inicio se omite", "\xEF\xBB\xBFPV,1\n", {{"PV", "1"}}},
    {"solo BOM", "\xEF\xBB\xBF", {}},
    {"BOM y linea vacia", "\xEF\xBB\xBF\r\nx\n", {{"x"}}},
};

TEST(LectorPlano, ByteRules) {
  for (const auto& test_case : kFieldsCases) {
    for (const std::size_t block : kBlocks) {
      SCOPED_TRACE(std::string(test_case.name) + ", bloque " + std::to_string(block));
      const auto records = Read(test_case.bytes, block);
      ASSERT_EQ(records.size(), test_case.records.size());
      for (std::size_t r = 0; r < records.size(); ++r) {
        const auto& expected = test_case.records[r];
        for (std::size_t n = 0; n < expected.size(); ++n) {
          EXPECT_EQ(records[r].fields[n], expected[n]) << "registro " << r << ", campo " << n + 1;
        }
      }
    }
  }
}

struct PositionCase {
  const char* name;
  std::string bytes;
  std::vector<LinePosition> positions;  // numero, desplazamiento, longitud
};

const PositionCase kPositionCases[] = {
    {"LF", "ab\ncde\n", {{1, 0, 2}, {2, 3, 3}}},
    {"CR LF", "ab\r\ncde\r\n", {{1, 0, 2}, {2, 4, 3}}},
    {"CR", "ab\rcde\r", {{1, 0, 2}, {2, 3, 3}}},
    {"lineas vacias cuentan", "a\n\r\n\rb\n", {{1, 0, 1}, {4, 5, 1}}},
    {"ultima sin fin", "a\r\nbc", {{1, 0, 1}, {2, 3, 2}}},
    {"BOM cuenta como bytes", "\xEF\xBB\xBF" "ab\ncd", {{1, 3, 2}, {2, 6, 2}}},
    {"comillas y comas cuentan", "\"a,b\",c\n", {{1, 0, 7}}},
};

TEST(LectorPlano, PositionOfEachLine) {
  for (const auto& test_case : kPositionCases) {
    for (const std::size_t block : kBlocks) {
      SCOPED_TRACE(std::string(test_case.name) + ", bloque " + std::to_string(block));
      const auto records = Read(test_case.bytes, block);
      ASSERT_EQ(records.size(), test_case.positions.size());
      for (std::size_t r = 0; r < records.size(); ++r) {
        EXPECT_EQ(records[r].position.number, test_case.positions[r].number) << r;
        EXPECT_EQ(records[r].position.offset, test_case.positions[r].offset) << r;
        EXPECT_EQ(records[r].position.length, test_case.positions[r].length) << r;
        // The position copies the line out of the file byte for byte.
        EXPECT_EQ(test_case.bytes.substr(test_case.positions[r].offset, test_case.positions[r].length)
                      .find_first_of("\r\n"),
                  std::string::npos);
      }
    }
  }
}

TEST(LectorPlano, FiftyOneFields) {
  std::string line;
  for (int n = 1; n <= 51; ++n) {
    if (n > 1) line += ',';
    line += std::to_string(n);
  }
  const auto records = Read(line + "\nx\n", 7);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].fields[50], "51");
  EXPECT_EQ(records[1].fields[0], "x");
  EXPECT_EQ(records[1].fields[50], "51");
}

TEST(LectorPlano, EachRunStartsWithEmptySlots) {
  TempOrderFile long_file("a,b,c\n");
  TempOrderFile short_file("x\n");
  TLectorPlano reader;
  std::string second;
  ASSERT_TRUE(reader.lea_registros(long_file.path(), {}, {}));
  ASSERT_TRUE(reader.lea_registros(
      short_file.path(), [&](const TCamposRegistro& c, const LinePosition&) { second = c.Text(2); },
      {}));
  EXPECT_EQ(second, "");
}

struct LimitCase {
  const char* name;
  std::string bytes;
  std::size_t records_before;  // delivered before the failure
  std::string message;
  TextEncoding encoding = TextEncoding::kNone;  // the file's declared encoding
};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

std::string Fields(int n) {
  std::string line = "c";
  for (int i = 2; i <= n; ++i) line += ",c";
  return line;
}

const LimitCase kLimitCases[] = {
    {"campo de 256 bytes", "a\nb,c," + Repeat('x', 256) + "\n", 1,
     "Línea 2: el campo 3 tiene más de 255 caracteres."},
    {"campo largo en la ultima linea sin fin", "a\n\n" + Repeat('x', 300), 1,
     "Línea 3: el campo 1 tiene más de 255 caracteres."},
    {"coma entre comillas cuenta", "\"" + Repeat('x', 255) + ",\"\n", 0,
     "Línea 1: el campo 1 tiene más de 255 caracteres."},
    {"bytes tras un cero cuentan", Repeat('x', 10) + "\0"s + Repeat('y', 250) + "\n", 0,
     "Línea 1: el campo 1 tiene más de 255 caracteres."},
    {"52 campos", "a\r\n" + Fields(52) + "\r\n", 1,
     "Línea 2: el campo 52 excede el máximo de 51 campos por línea."},
    {"coma final tras 51 campos", Fields(51) + ",\n", 0,
     "Línea 1: el campo 52 excede el máximo de 51 campos por línea."},
    {"byte que no es UTF-8 entre comillas", "ok,\xC3\xB1\na,\"b\xD1\"\n", 1,
     "Línea 2: el texto no es UTF-8 válido: byte 0xD1 en la posición 5 de la línea "
     "(desplazamiento 10 del archivo).",
     TextEncoding::kUtf8},
    {"secuencia partida por una coma", "\xC3,\xB1\n", 0,
     "Línea 1: el texto no es UTF-8 válido: byte 0xC3 en la posición 1 de la línea "
     "(desplazamiento 0 del archivo).",
     TextEncoding::kUtf8},
    {"forma sobrelarga tras la marca de orden", "\xEF\xBB\xBFx\xC0\x80\n", 0,
     "Línea 1: el texto no es UTF-8 válido: byte 0xC0 en la posición 2 de la línea "
     "(desplazamiento 4 del archivo).",
     TextEncoding::kUtf8},
    {"ultima linea sin fin", "a\n\xE2\x82", 1,
     "Línea 2: el texto no es UTF-8 válido: byte 0xE2 en la posición 1 de la línea "
     "(desplazamiento 2 del archivo).",
     TextEncoding::kUtf8},
};

TEST(LectorPlano, FieldOrLineOutOfBoundsFails) {
  for (const auto& test_case : kLimitCases) {
    for (const std::size_t block : kBlocks) {
      SCOPED_TRACE(std::string(test_case.name) + ", bloque " + std::to_string(block));
      TempOrderFile file(test_case.bytes);
      TLectorPlano reader(block);
      reader.set_text_encoding(test_case.encoding);
      std::size_t records = 0;
      try {
        reader.lea_registros(
            file.path(), [&](const TCamposRegistro&, const LinePosition&) { ++records; },
            {});
        ADD_FAILURE() << "no fallo";
      } catch (const Failure& f) {
        EXPECT_EQ(std::string(f.what()), test_case.message);
      }
      EXPECT_EQ(records, test_case.records_before);
      // The failure released the file.
      const int fd = ::open(file.path().c_str(), O_RDONLY);
      EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
      ::close(fd);
    }
  }
}

TEST(LectorPlano, FieldsAtTheLimitAreRead) {
  const std::string x255 = Repeat('x', 255);
  const auto records = Read("\"" + x255 + "\"," + x255 + "\n", 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].fields[0], x255);
  EXPECT_EQ(records[0].fields[1], x255);
}

// Bytes no text holds and encodings the file declares against the one it is
// read in: the file is read as it is, or refused at the line that shows it,
// never read with a value changed. Each case runs under every declared
// encoding it names.
struct DeclaredCase {
  const char* name;
  std::string bytes;
  std::vector<TextEncoding> encodings;
  std::vector<std::vector<std::string>> records;  // leading slots, before any failure
  std::string failure;                              // empty: the whole file is read
};

std::string ZeroFailure(int line, int field, int position, int offset) {
  return "Línea " + std::to_string(line) + ": el campo " + std::to_string(field) +
         " contiene un byte cero en la posición " + std::to_string(position) +
         " (desplazamiento " + std::to_string(offset) +
         " del archivo): un archivo de texto no los trae, y el valor no se puede importar tal "
         "como está.";
}

std::string Utf8BomFailure(const char* encoding) {
  return std::string("Línea 1: el archivo empieza con la marca de UTF-8 (EF BB BF), pero se está "
                     "leyendo como ") +
         encoding +
         ": sus letras con tilde se grabarían mal. Impórtelo como UTF-8 (--codificacion UTF8; "
         "en la ventana, Codificacion=UTF8 en el almacén de configuración).";
}

std::string Repeated(const std::string& text, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += text;
  return out;
}

const std::vector<TextEncoding> kEvery = {TextEncoding::kNone, TextEncoding::kWin1252,
                                          TextEncoding::kIso8859_1, TextEncoding::kUtf8};
const std::vector<TextEncoding> kSingleByte = {TextEncoding::kNone, TextEncoding::kWin1252,
                                               TextEncoding::kIso8859_1};
const std::string kUtf16Advice =
    "; guárdelo como texto de un byte por carácter (Windows-1252) o UTF-8";

const DeclaredCase kDeclaredCases[] = {
    // Zero bytes at the start, middle and end of text, number and date fields.
    {"cero al inicio del nombre", "PV,1,\0ACME\n"s, kEvery, {}, ZeroFailure(1, 3, 1, 5)},
    {"cero en medio del nombre", "PV,1,ACME\0 LTDA\n"s, kEvery, {}, ZeroFailure(1, 3, 5, 9)},
    {"cero al final del numero", "a\nPV,12\0\n"s, kEvery, {{"a"}}, ZeroFailure(2, 2, 3, 7)},
    {"cero en medio de la fecha", "PV,1,1/1\0" "5/2024\n"s, kEvery, {}, ZeroFailure(1, 3, 4, 8)},
    {"cero entre comillas", "\"a\0,b\",c\n"s, kEvery, {}, ZeroFailure(1, 1, 2, 2)},
    {"cada campo empieza con cero", "x\n\0PV,\0" "1,\0" "9\n"s, kEvery, {{"x"}},
     ZeroFailure(2, 1, 1, 2)},
    {"campo de solo ceros junto a texto", "\0\0,x\n"s, kEvery, {}, ZeroFailure(1, 1, 1, 0)},
    {"ultima linea sin fin con cero", "a\nb\0"s, kEvery, {{"a"}}, ZeroFailure(2, 1, 2, 3)},
    {"lineas de solo ceros, comas y comillas", "a\n\0,\"\0\",\0\nb\n\0\0\0\0"s, kEvery,
     {{"a"}, {"b", ""}}, ""},
    // Byte-order marks and UTF-16.
    {"marca UTF-8 leida como UTF-8 o bytes", "\xEF\xBB\xBFPE\xC3\x91" "A,1\n",
     {TextEncoding::kUtf8, TextEncoding::kNone}, {{"PE\xC3\x91" "A", "1"}}, ""},
    {"marca UTF-8 leida como Windows-1252", "\xEF\xBB\xBFPE\xC3\x91" "A,1\n",
     {TextEncoding::kWin1252}, {}, Utf8BomFailure("WIN1252")},
    {"marca UTF-8 leida como Latin-1", "\xEF\xBB\xBFx\n", {TextEncoding::kIso8859_1}, {},
     Utf8BomFailure("ISO8859_1")},
    {"UTF-16LE con marca", "\xFF\xFEP\0V\0\r\0\n\0"s, kEvery, {},
     "Línea 1: el archivo está en UTF-16 (empieza con la marca FF FE)" + kUtf16Advice},
    {"UTF-16BE con marca", "\xFE\xFF\0P\0V\0\r\0\n"s, kEvery, {},
     "Línea 1: el archivo está en UTF-16 (empieza con la marca FE FF)" + kUtf16Advice},
    {"UTF-16LE sin marca", "P\0V\0,\0" "1\0\xD1\0\r\0\n\0"s, kEvery, {},
     "Línea 1: el archivo parece estar en UTF-16 sin marca de orden de bytes (un byte cero "
     "tras cada carácter)" + kUtf16Advice},
    {"UTF-16BE sin marca", "\0P\0V\0,\0" "1\0\n"s, kEvery, {},
     "Línea 1: el archivo parece estar en UTF-16 sin marca de orden de bytes (un byte cero "
     "antes de cada carácter)" + kUtf16Advice},
    // Lengths are characters: in UTF-8 a code point of up to four bytes.
    {"128 enies en UTF-8", "x," + Repeated("\xC3\x91", 128) + "\n", {TextEncoding::kUtf8},
     {{"x", Repeated("\xC3\x91", 128)}}, ""},
    {"255 caracteres de cuatro bytes", Repeated("\xF0\x9F\x98\x80", 255) + "\n",
     {TextEncoding::kUtf8}, {{Repeated("\xF0\x9F\x98\x80", 255)}}, ""},
    {"256 enies en UTF-8", "a\n" + Repeated("\xC3\x91", 256) + "\n", {TextEncoding::kUtf8},
     {{"a"}}, "Línea 2: el campo 1 tiene más de 255 caracteres."},
    {"256 caracteres de cuatro bytes", Repeated("\xF0\x9F\x98\x80", 256) + "\n",
     {TextEncoding::kUtf8}, {}, "Línea 1: el campo 1 tiene más de 255 caracteres."},
    {"255 enies de un byte", "x," + Repeated("\xD1", 255) + "\n", kSingleByte,
     {{"x", Repeated("\xD1", 255)}}, ""},
    {"128 enies de dos bytes leidas byte a byte", Repeated("\xC3\x91", 128) + "\n", kSingleByte,
     {}, "Línea 1: el campo 1 tiene más de 255 caracteres."},
};

TEST(LectorPlano, DeclaredEncodingAndBytesNoTextHolds) {
  for (const auto& test_case : kDeclaredCases) {
    for (const TextEncoding encoding : test_case.encodings) {
      for (const std::size_t block : kBlocks) {
        SCOPED_TRACE(std::string(test_case.name) + ", " + EncodingName(encoding) + ", bloque " +
                     std::to_string(block));
        TempOrderFile file(test_case.bytes);
        TLectorPlano reader(block);
        reader.set_text_encoding(encoding);
        std::vector<std::vector<std::string>> records;
        std::string failure;
        try {
          EXPECT_TRUE(reader.lea_registros(
              file.path(),
              [&](const TCamposRegistro& c, const LinePosition&) {
                std::vector<std::string> fields;
                for (int n = 1; n <= TCamposRegistro::kFieldCount; ++n) fields.emplace_back(c.Text(n));
                records.push_back(std::move(fields));
              },
              {}));
        } catch (const Failure& f) {
          failure = f.what();
        }
        EXPECT_EQ(failure, test_case.failure);
        ASSERT_EQ(records.size(), test_case.records.size());
        for (std::size_t r = 0; r < records.size(); ++r) {
          for (std::size_t n = 0; n < test_case.records[r].size(); ++n) {
            EXPECT_EQ(records[r][n], test_case.records[r][n]) << "registro " << r << ", campo " << n + 1;
          }
          // No slot of a record ever holds a zero byte.
          for (const std::string& field : records[r]) {
            EXPECT_EQ(field.find('\0'), std::string::npos) << "registro " << r;
          }
        }
      }
    }
  }
}

// Which records come marked as a cut-off last line, and how many lines were
// no record.
TEST(LectorPlano, IncompleteLastLineAndSkippedLines) {
  const struct {
    const char* name;
    std::string bytes;
    std::vector<bool> incomplete;  // per record
    std::int64_t skipped;
  } cases[] = {
      {"sin fin y con menos campos", "a,b\nc", {false, true}, 0},
      {"sin fin con los mismos campos", "a,b\nc,d", {false, false}, 0},
      {"sin fin con mas campos", "a,b\nc,d,e", {false, false}, 0},
      {"unica linea sin fin", "x", {false}, 0},
      {"con fin y menos campos", "a,b\nc\n", {false, false}, 0},
      {"cuenta el registro anterior, no la linea vacia", "a,b\n,,,\nc", {false, true}, 1},
      {"el precio aun no escrito",
       "PV,2,1,,12,7,9,ACME,01,0,0,0,A100,1,UND,500,0\nPV,3,1,,12,7,9,ACME,01,A100,1,,",
       {false, true}, 0},
      {"omitidas de toda clase", "a\n\n,,\n\"\"\n\0\nb\n"s, {false, false}, 4},
      {"Ctrl-Z al final no es registro", "a,b\n\x1a", {false}, 1},
      {"Ctrl-Z con algo mas si lo es", "a,b\n\x1a" "x", {false, true}, 0},
  };
  for (const auto& test_case : cases) {
    for (const std::size_t block : kBlocks) {
      SCOPED_TRACE(std::string(test_case.name) + ", bloque " + std::to_string(block));
      TempOrderFile file(test_case.bytes);
      TLectorPlano reader(block);
      std::vector<bool> incomplete;
      ASSERT_TRUE(reader.lea_registros(
          file.path(),
          [&](const TCamposRegistro&, const LinePosition& p) { incomplete.push_back(p.cut_off); },
          {}));
      EXPECT_EQ(incomplete, test_case.incomplete);
      EXPECT_EQ(reader.skipped_lines(), test_case.skipped);
    }
  }
}

// `bytes` bytes of whole lines of 15 bytes each.
std::string WholeLines(std::size_t bytes) {
  std::string text;
  while (text.size() + 15 <= bytes) text += "PV,1,ABCDEFGHI\n";
  return text;
}

// A writer that changes the file while it is read, from the progress hook:
// the read fails naming the file, and the line being built is never
// delivered.
TEST(LectorPlano, FileThatChangesWhileRead) {
  const std::string lines = WholeLines(15 * 40);  // 40 whole lines
  const struct {
    const char* name;
    void (*writer)(const std::string& path);
  } cases[] = {
      {"se agrega al final",
       [](const std::string& path) { std::ofstream(path, std::ios::app | std::ios::binary) << "PV,2\n"; }},
      {"se trunca", [](const std::string& path) { std::filesystem::resize_file(path, 100); }},
      {"se reescribe con el mismo tamano",
       [](const std::string& path) {
         std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(0);
         f << "XX";
       }},
  };
  for (const auto& test_case : cases) {
    for (const std::size_t block : {std::size_t{16}, TLectorPlano::kDefaultBlockSize}) {
      SCOPED_TRACE(std::string(test_case.name) + ", bloque " + std::to_string(block));
      TempOrderFile file(lines);
      // An old modification time, so that any write moves it.
      const struct timespec before[2] = {{1000000, 0}, {1000000, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, file.path().c_str(), before, 0), 0);
      TLectorPlano reader(block);
      std::size_t records = 0;
      bool written = false;
      const auto failure = testing::FailureOf([&] {
        reader.lea_registros(
            file.path(), [&](const TCamposRegistro&, const LinePosition&) { ++records; },
            [&] {
              if (!written) test_case.writer(file.path());
              written = true;
            });
      });
      EXPECT_EQ(failure, "El archivo " + file.path() + " cambió mientras se importaba.");
      // Small blocks see the change at the next block; a block holding the
      // whole file delivered the version read, then fails at the end.
      if (block == 16) {
        EXPECT_LT(records, 40u);
      }
    }
  }
}

TEST(LectorPlano, HandlerFailureReleasesTheFile) {
  TempOrderFile file("a\nb\nc\n");
  TLectorPlano reader;
  int calls = 0;
  EXPECT_THROW(reader.lea_registros(
                   file.path(),
                   [&](const TCamposRegistro&, const LinePosition&) {
                     if (++calls == 2) throw Failure("falla");
                   },
                   {}),
               Failure);
  EXPECT_EQ(calls, 2);  // nothing after the failing record
  const int fd = ::open(file.path().c_str(), O_RDONLY);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
  calls = 0;
  EXPECT_TRUE(reader.lea_registros(
      file.path(), [&](const TCamposRegistro&, const LinePosition&) { ++calls; }, {}));
  EXPECT_EQ(calls, 3);
}

TEST(LectorPlano, FileThatCannotBeOpened) {
  TempOrderFile file("a\n");
  TLectorPlano reader;
  bool called = false;
  const auto handler = [&](const TCamposRegistro&, const LinePosition&) { called = true; };
  const auto hook = [&] { called = true; };

  for (const int lock : {LOCK_EX, LOCK_SH}) {
    const int fd = ::open(file.path().c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, lock | LOCK_NB), 0);
    EXPECT_FALSE(reader.lea_registros(file.path(), handler, hook)) << lock;
    ::close(fd);
  }
  EXPECT_FALSE(reader.lea_registros(file.path() + ".no", handler, hook));
  EXPECT_FALSE(reader.lea_registros(
      std::filesystem::path(file.path()).parent_path().string(), handler, hook));
  EXPECT_FALSE(called);
  // Once the other reader let go, the file opens.
  EXPECT_TRUE(reader.lea_registros(file.path(), handler, hook));
}

// Progress hook calls, interleaved with records: 'R' per record, 'P' per step.
std::string Events(const std::string& bytes, std::size_t block) {
  TempOrderFile file(bytes);
  std::string events;
  TLectorPlano reader(block);
  EXPECT_TRUE(reader.lea_registros(
      file.path(), [&](const TCamposRegistro&, const LinePosition&) { events += 'R'; },
      [&] { events += 'P'; }));
  return events;
}

std::string LinesFile(std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += "PV,1,\"A, B\",7\r\n";
  bytes.resize(size);
  return bytes;
}

TEST(LectorPlano, NumberOfProgressSteps) {
  const struct {
    std::size_t size;
    std::size_t steps;
  } cases[] = {{0, 0}, {1, 1}, {150, 150}, {199, 199}, {200, 100}, {1000, 100}, {1099, 109}};
  for (const auto& test_case : cases) {
    for (const std::size_t block : {std::size_t{1}, std::size_t{7}, TLectorPlano::kDefaultBlockSize}) {
      SCOPED_TRACE(std::to_string(test_case.size) + " bytes, bloque " + std::to_string(block));
      const std::string events = Events(LinesFile(test_case.size), block);
      EXPECT_EQ(static_cast<std::size_t>(std::count(events.begin(), events.end(), 'P')),
                test_case.steps);
    }
  }
}

TEST(LectorPlano, ProgressAfterTheByteThatCompletesTheStep) {
  const struct {
    std::string bytes;
    std::string events;
  } cases[] = {
      {"ab\ncd\n", "PPRPPPRP"},
      {"a\r\nb", "PRPPPR"},  // last line delivered at the end, after its step
      {"\xEF\xBB\xBF" "a\n", "PPPPRP"},
  };
  for (const auto& test_case : cases) {
    for (const std::size_t block : {std::size_t{1}, std::size_t{4}, std::size_t{64}}) {
      EXPECT_EQ(Events(test_case.bytes, block), test_case.events) << test_case.bytes << ", " << block;
    }
  }
}

}  // namespace
}  // namespace imp
