// The reader and the mapping together, as the import run uses them: what a
// record's values are after each line of a file.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "import/importacion.h"
#include "import/lector_plano.h"
#include "import/valores_registro.h"
#include "tests/support/temp_folder.h"

namespace imp {
namespace {

std::vector<std::string> TextsAfterEachRecord(const std::string& bytes) {
  const testing::TempFolder folder("reading_values");
  const std::string path = folder.Write("pedidos.csv", bytes);

  CImportacion import_layout;
  import_layout.Add({"ARTI_COD", 4, 20, "SI"});
  import_layout.Add({"PEDE_CANT", 5, 10, "SI"});
  import_layout.Add({"PREF_PRE", 1, 4, "SI"});
  import_layout.Add({"PEDI_NUMERO", 2, 10, "SI"});
  import_layout.Add({"PEDI_NOMTERC", 3, 60, "SI"});
  TValoresRegistro values;
  std::vector<std::string> texts;
  TLectorPlano reader(3);
  EXPECT_TRUE(reader.lea_registros(
      path,
      [&](const TCamposRegistro& fields, const LinePosition&) {
        asigne_valores(fields, import_layout, values);
        texts.push_back(values.RecordText() + " | " + values.ARTI_COD + " x " +
                         values.PEDE_CANT);
      },
      {}));
  return texts;
}

TEST(ReadingAndValues, RecordsOfAFile) {
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> texts;
  } cases[] = {
      {"lineas cortas conservan los campos altos",
       "PV,100,ACME,A1,5\r\nPV,100,,A2\r\n,,,A3,",
       {"PV100 - ACME | A1 x 5", "PV100 - ACME | A2 x 5", "PV100 - ACME | A3 x 5"}},
      {"comillas y BOM",
       "\xEF\xBB\xBF\"PV\",101,\"ACME, S.A.\",A1,2\n\npv,101,,\"A,2\"\n",
       {"PV101 - ACME, S.A. | A1 x 2", "pv101 - ACME, S.A. | A,2 x 2"}},
      // A line of separators only brings nothing: no record, like an empty line.
      {"linea solo de separadores", "\n,\n", {}},
  };
  for (const auto& test_case : cases) {
    EXPECT_EQ(TextsAfterEachRecord(test_case.bytes), test_case.texts) << test_case.name;
  }
}

}  // namespace
}  // namespace imp
