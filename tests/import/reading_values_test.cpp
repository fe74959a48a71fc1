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

std::vector<std::string> TextosTrasCadaRegistro(const std::string& bytes) {
  const testing::TempFolder folder("reading_values");
  const std::string ruta = folder.Write("pedidos.csv", bytes);

  CImportacion importacion;
  importacion.Add({"ARTI_COD", 4, 20, "SI"});
  importacion.Add({"PEDE_CANT", 5, 10, "SI"});
  importacion.Add({"PREF_PRE", 1, 4, "SI"});
  importacion.Add({"PEDI_NUMERO", 2, 10, "SI"});
  importacion.Add({"PEDI_NOMTERC", 3, 60, "SI"});
  TValoresRegistro valores;
  std::vector<std::string> textos;
  TLectorPlano lector(3);
  EXPECT_TRUE(lector.lea_registros(
      ruta,
      [&](const TCamposRegistro& campos, const LinePosition&) {
        asigne_valores(campos, importacion, valores);
        textos.push_back(valores.RecordText() + " | " + valores.ARTI_COD + " x " +
                         valores.PEDE_CANT);
      },
      {}));
  return textos;
}

TEST(ReadingAndValues, RecordsOfAFile) {
  const struct {
    const char* nombre;
    std::string bytes;
    std::vector<std::string> textos;
  } casos[] = {
      {"lineas cortas conservan los campos altos",
       "PV,100,ACME,A1,5\r\nPV,100,,A2\r\n,,,A3,",
       {"PV100 - ACME | A1 x 5", "PV100 - ACME | A2 x 5", "PV100 - ACME | A3 x 5"}},
      {"comillas y BOM",
       "\xEF\xBB\xBF\"PV\",101,\"ACME, S.A.\",A1,2\n\npv,101,,\"A,2\"\n",
       {"PV101 - ACME, S.A. | A1 x 2", "pv101 - ACME, S.A. | A,2 x 2"}},
      // A line of separators only brings nothing: no record, like an empty line.
      {"linea solo de separadores", "\n,\n", {}},
  };
  for (const auto& caso : casos) {
    EXPECT_EQ(TextosTrasCadaRegistro(caso.bytes), caso.textos) << caso.nombre;
  }
}

}  // namespace
}  // namespace imp
