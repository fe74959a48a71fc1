#pragma once
// Test bench of the import run: a fresh company database from schema/ with
// the demo data and a few articles of known figures, the database module,
// the order store, the layout of columns 1-17, and a recorder standing in
// for the window and the message boxes. Results are read back from PEDIDOS
// and PEDIDOS_DETALLE over a connection of their own.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/dialogs.h"
#include "db/order_store.h"
#include "db/query_set.h"
#include "db/tfdm.h"
#include "import/import_run.h"
#include "import/importacion.h"
#include "import/screen.h"
#include "import/valores_registro.h"
#include "tests/support/fresh_database.h"
#include "tests/support/recording_screen.h"
#include "tests/support/rows_as_text.h"
#include "values/date.h"

namespace imp::testing {

// Articles with round figures, next to the demo ones:
//   TRAB  unit UND (CAJA = 12), VAT 19, consumption tax 50; list 1 rates
//         null/3, list 2 rates 5/2, no list 3 row
//   ABCDEFGHIJKLMNO  a 15-character code, VAT 0, no prices
// and prefixes beyond PV (VAT included) and FE (excluded): pv ("S"),
// n ("n"), X ("S"), B (blank).
inline constexpr char kTestData[] = R"(
INSERT INTO ARTICULO (ARTI_COD, ARTI_DESC, ARTI_UNIDAD, TAIV_COD, ARTI_CONSUMO)
  VALUES ('TRAB', 'LINEA TRABAJADA', 'UND', '19', 50);
INSERT INTO ARTICULO_UNIDADES (ARTI_COD, ARUN_UNIDAD, ARUN_FACTOR) VALUES ('TRAB', 'CAJA', 12);
INSERT INTO PRECIOS_ARTICULO (ARTI_COD, LIPR_COD, PRAR_PRECIO, PRAR_DTO1, PRAR_DTO2)
  VALUES ('TRAB', 1, 1000, NULL, 3);
INSERT INTO PRECIOS_ARTICULO (ARTI_COD, LIPR_COD, PRAR_PRECIO, PRAR_DTO1, PRAR_DTO2)
  VALUES ('TRAB', 2, 1000, 5, 2);
INSERT INTO ARTICULO (ARTI_COD, ARTI_DESC, ARTI_UNIDAD, TAIV_COD, ARTI_CONSUMO)
  VALUES ('ABCDEFGHIJKLMNO', 'CODIGO LARGO', 'UND', '00', 0);
INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_NOMBRE, PREF_IVAINC) VALUES (34, 'pv', 'MINUSCULAS', 'S');
INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_NOMBRE, PREF_IVAINC) VALUES (34, 'n', 'N MINUSCULA', 'n');
INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_NOMBRE, PREF_IVAINC) VALUES (34, 'X', 'OTRA LETRA', 'S');
INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_NOMBRE, PREF_IVAINC) VALUES (34, 'B', 'EN BLANCO', ' ');
)";

class ImportTestBench {
 public:
  ImportTestBench() : db(/*demo=*/true) {
    db.Exec(kTestData);
    db.Configure(fdm.Norvela);
    // Every value in field order, one field each.
    int column = 1;
    for (const auto& [name, value] : kRecordValueNames) {
      layout.Add({std::string(name), column++, 10, "SI"});
    }
  }

  // Writes `contents` to a file beside the database and returns its path.
  std::string File(const std::string& contents, const std::string& name = "pedidos.csv") {
    const std::string path = db.server() + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  // One run over `contents`.
  void Run(const std::string& contents) {
    screen.location = File(contents);
    run.SpeedButton3Click();
  }

  // The failure text of a run over `contents`; "" when it did not fail.
  std::string FailureOfRun(const std::string& contents) {
    try {
      Run(contents);
    } catch (const Failure& f) {
      return f.what();
    }
    return {};
  }

  // Every row of `sql`, each column by name as text (null reads "").
  std::vector<TextRow> Read(const std::string& sql) const {
    return RowsAsText([&](Connection& c) { db.Configure(c); }, rs, sql);
  }

  // Headers in the order they were written, with dates as yyyy-mm-dd.
  std::vector<TextRow> Orders() const {
    return Read(
        "SELECT p.*, CAST(p.PEDI_FECHA AS VARCHAR(10)) AS FECHA, "
        "CAST(p.PEDI_VENCE AS VARCHAR(10)) AS VENCE FROM PEDIDOS p ORDER BY p.PEDI_ID");
  }
  // Lines of the written order with that prefix and number, by PEDE_ITEM.
  std::vector<TextRow> Lines(const std::string& prefix, const std::string& number) const {
    return Read(
        "SELECT d.* FROM PEDIDOS_DETALLE d JOIN PEDIDOS p ON p.PEDI_ID = d.PEDI_ID "
        "WHERE p.PREF_PRE = '" + prefix + "' AND p.PEDI_NUMERO = '" + number +
        "' ORDER BY d.PEDE_ITEM");
  }
  // Identifiers drawn so far.
  std::string IdentifiersDrawn() const {
    return Read("SELECT GEN_ID(GEN_PEDIDOS, 0) AS N FROM RDB$DATABASE").at(0).at("N");
  }
  // Changes a configuration value between runs. The embedded engine lets
  // only one process hold the file, so the module lets go of it first.
  void Configure(const std::string& property, const std::string& value) {
    fdm.Norvela.Close();
    db.Exec("UPDATE CONFIGURACION SET CONF_VALOR = '" + value + "' WHERE CONF_PROPIEDAD = '" +
            property + "';");
  }

  FreshDatabase db;
  RegionalSettings rs;
  Tfdm fdm;
  OrderStore store{fdm};
  CImportacion layout;
  RecordingScreen screen;
  ImportRun run{fdm, store, layout, rs, screen, screen};
};

// A line of the order file: the 17 columns of the layout, comma separated,
// ended by CR LF.
inline std::string Line(std::initializer_list<std::string> fields) {
  std::string line;
  bool first_field = true;
  for (const std::string& c : fields) {
    if (!first_field) line += ',';
    line += c;
    first_field = false;
  }
  return line + "\r\n";
}

}  // namespace imp::testing
