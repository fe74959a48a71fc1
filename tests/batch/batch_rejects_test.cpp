// The rejects file and its log, fed with a run's events over real order
// files: which lines go, byte for byte with their own line ends, in file
// order, and the reason logged for each.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "batch/batch_rejects.h"
#include "import/lector_plano.h"
#include "tests/support/temp_folder.h"

namespace imp {
namespace {

using testing::ReadFile;
using testing::TempFolder;


// The records of `path` by line number, as the reader delivers them.
std::map<int64_t, LinePosition> LinePositions(const std::string& path) {
  std::map<int64_t, LinePosition> lines;
  TLectorPlano reader;
  try {
    reader.lea_registros(
        path, [&](const TCamposRegistro&, const LinePosition& p) { lines[p.number] = p; }, {});
  } catch (const std::exception&) {
    // A file that leaves the format: the lines before are enough.
  }
  return lines;
}

using LinesByNumber = std::map<int64_t, LinePosition>;

TEST(BatchRejects, LinesNotImportedExactlyAsTheyWereInTheFile) {
  const std::string long_field(300, 'x');
  struct Case {
    const char* name;
    std::string orders;
    std::function<void(BatchRejects&, LinesByNumber&)> run;
    std::string rejects;
    std::string log;
  };
  const Case cases[] = {
      {"cada causa, con CR LF, LF, CR solo y una última línea sin fin",
       "FE,1,A\r\nFE,2,B\n,,C\r,,X\r\nFE,3,D\n,,E\r\nFE,4,F\r\n\r\nFE,5,G",
       [](BatchRejects& r, LinesByNumber& l) {
         r.OnOrderWritten({"FE", "1", "1", 1, {}, {}, {l[1]}});
         r.OnLineDropped({l[4], "Artículo no válido: 'X'"});
         r.OnOrderWritten({"FE", "2", "2", 2, {}, {}, {l[2], l[3], l[4]}});
         r.OnOrderDropped({"FE", "3", "violación\nde CK_1", {l[5], l[6]}, "3", 2, {}, {}});
         r.OnInterrupted("'13/45/2026' no es una fecha válida", {l[7]});
       },
       "FE,2,B\n,,C\r,,X\r\nFE,3,D\n,,E\r\nFE,4,F\r\nFE,5,G",
       "línea 2: pedido FE 2 grabado incompleto, sin la línea 4\n"
       "línea 3: pedido FE 2 grabado incompleto, sin la línea 4\n"
       "línea 4: Artículo no válido: 'X'; pedido FE 2 grabado incompleto, sin la línea 4\n"
       "línea 5: pedido FE 3 rechazado por la base de datos: violación de CK_1\n"
       "línea 6: pedido FE 3 rechazado por la base de datos: violación de CK_1\n"
       "línea 7: pedido cortado por la falla: '13/45/2026' no es una fecha válida\n"
       "línea 9: no leída, la importación se detuvo en la línea 7\n"},
      {"un pedido rechazado con una línea descartada: cada línea una vez",
       "FE,1,A\r\n,,X\r\nFE,2,B\r\n",
       [](BatchRejects& r, LinesByNumber& l) {
         r.OnLineDropped({l[2], "Artículo no válido: 'X'"});
         r.OnOrderDropped({"FE", "1", "no", {l[1], l[2]}, "1", 1, {}, {}});
         r.OnOrderWritten({"FE", "2", "2", 1, {}, {}, {l[3]}});
       },
       "FE,1,A\r\n,,X\r\n",
       "línea 1: pedido FE 1 rechazado por la base de datos: no\n"
       "línea 2: Artículo no válido: 'X'; pedido FE 1 rechazado por la base de datos: no\n"},
      {"una falla antes de leer: todo el archivo",
       "FE,1,A\r\n\r\nFE,2,B\n",
       [](BatchRejects& r, LinesByNumber&) { r.OnInterrupted("sin redondeo", {}); },
       "FE,1,A\r\nFE,2,B\n",
       "línea 1: no leída, la importación se detuvo antes de leer la primera línea\n"
       "línea 3: no leída, la importación se detuvo antes de leer la primera línea\n"},
      {"el resto deja el formato: desde ahí, los bytes tal cual",
       "FE,1,A\r\nFE,2,B\r\nFE,3," + long_field + "\r\nFE,4,C\r\n",
       [](BatchRejects& r, LinesByNumber& l) { r.OnInterrupted("falla", {l[1]}); },
       "FE,1,A\r\nFE,2,B\r\nFE,3," + long_field + "\r\nFE,4,C\r\n",
       "línea 1: pedido cortado por la falla: falla\n"
       "línea 2: no leída, la importación se detuvo en la línea 1\n"
       "línea 3: no leída, la importación se detuvo en la línea 1 (desde aquí el archivo no se "
       "pudo leer: Línea 3: el campo 3 tiene más de 255 caracteres.)\n"
       "línea 4: no leída, la importación se detuvo en la línea 1\n"},
      {"detenida entre dos pedidos: desde la primera línea no leída",
       "FE,1,A\r\n,,B\r\nFE,2,C\r\n,,D\r\n",
       [](BatchRejects& r, LinesByNumber& l) {
         r.OnOrderWritten({"FE", "1", "1", 2, {}, {}, {l[1], l[2]}});
         r.OnStopped(l[3]);
       },
       "FE,2,C\r\n,,D\r\n",
       "línea 3: no leída, la importación se detuvo en la línea 2\n"
       "línea 4: no leída, la importación se detuvo en la línea 2\n"},
      {"basura tras el formato: una entrada por línea, CR solo y sin fin al final",
       "FE,1,A\n" + long_field + ",x\r" + "\x01\x02\r\n\n" + "fin",
       [](BatchRejects& r, LinesByNumber& l) { r.OnInterrupted("falla", {l[1]}); },
       "FE,1,A\n" + long_field + ",x\r" + "\x01\x02\r\n\n" + "fin",
       "línea 1: pedido cortado por la falla: falla\n"
       "línea 2: no leída, la importación se detuvo en la línea 1 (desde aquí el archivo no se "
       "pudo leer: Línea 2: el campo 1 tiene más de 255 caracteres.)\n"
       "línea 3: no leída, la importación se detuvo en la línea 1\n"
       "línea 4: no leída, la importación se detuvo en la línea 1\n"
       "línea 5: no leída, la importación se detuvo en la línea 1\n"},
      {"todo importado: archivos vacíos", "FE,1,A\r\n",
       [](BatchRejects& r, LinesByNumber& l) { r.OnOrderWritten({"FE", "1", "1", 1, {}, {}, {l[1]}}); },
       "", ""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const TempFolder folder("rechazos");
    const std::string orders = folder / "pedidos.csv";
    std::ofstream(orders, std::ios::binary) << test_case.orders;
    LinesByNumber lines = LinePositions(orders);
    {
      BatchRejects rejects(orders, folder / "rechazos.csv");
      test_case.run(rejects, lines);
      rejects.Finish();
    }
    EXPECT_EQ(ReadFile(folder / "rechazos.csv"), test_case.rejects);
    const std::string log = ReadFile(folder / "rechazos.csv.log");
    // The k-th line of the log speaks of the k-th line of the rejects.
    size_t copied = 0;
    for (size_t i = 0; i < test_case.rejects.size(); ++i) {
      const char c = test_case.rejects[i];
      if (c == '\n' || (c == '\r' && (i + 1 == test_case.rejects.size() || test_case.rejects[i + 1] != '\n')) ||
          i + 1 == test_case.rejects.size()) {
        ++copied;
      }
    }
    EXPECT_EQ(static_cast<size_t>(std::count(log.begin(), log.end(), '\n')), copied);
    // A log given without its last line end names the start of its last line.
    if (!test_case.log.empty() && test_case.log.back() != '\n') {
      EXPECT_EQ(log.rfind(test_case.log, 0), 0u) << log;
      EXPECT_EQ(log.find('\n', test_case.log.size()), log.size() - 1) << log;
    } else {
      EXPECT_EQ(log, test_case.log);
    }
  }
}

TEST(BatchRejects, LineEndAsInTheFile) {
  struct Case {
    std::string bytes;  // a line "ab" and what follows it
    std::string line_end;
  };
  const Case cases[] = {
      {"ab\r\ncd", "\r\n"}, {"ab\ncd", "\n"}, {"ab\rcd", "\r"}, {"ab\r\r\n", "\r"},
      {"ab\n\r", "\n"},     {"ab", ""},       {"ab\r", "\r"},
  };
  for (const Case& test_case : cases) {
    std::FILE* f = std::tmpfile();
    std::fwrite(test_case.bytes.data(), 1, test_case.bytes.size(), f);
    EXPECT_EQ(BatchRejects::LineEnd(f, 0, 2), test_case.line_end) << test_case.bytes;
    std::fclose(f);
  }
}

// A file that cannot be written stops batch mode before anything is imported.
TEST(BatchRejects, FileThatCannotBeWritten) {
  try {
    BatchRejects rejects("p.csv", "/no-existe/r.csv");
    ADD_FAILURE() << "accepted";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "No se pudo escribir el archivo /no-existe/r.csv");
  }
}

}  // namespace
}  // namespace imp
