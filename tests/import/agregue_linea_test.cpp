// Line pricing against a real company database: each case is one run over a
// one-line file, the line read back from PEDIDOS_DETALLE.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "import/agregue_linea.h"
#include "tests/import/import_test_bench.h"

namespace imp::testing {
namespace {

struct LineCase {
  const char* name;
  const char* prefix;
  int32_t exponent;
  const char* nit;
  const char* branch;
  const char *article, *quantity, *unit, *price, *discount;
  std::map<std::string, std::string> expected;  // PEDIDOS_DETALLE columns as text
};

// The worked line: TRAB × 3 at 1000, 10 % off, list 2 (rates 5 and 2), tax
// 50 per unit, VAT 19. The database keeps two decimals of the amounts.
const std::map<std::string, std::string> kWorked = {
    {"PEDE_ITEM", "1"},      {"ARTI_COD", "TRAB"},      {"PEDE_CODBAR", "TRAB"},
    {"PEDE_DESC", "LINEA TRABAJADA"},                   {"PEDE_UNIDAD", "UND"},
    {"PEDE_CANT", "3"},      {"PEDE_PRUNIT", "1000"},   {"PEDE_DTOPORC", "10"},
    {"PEDE_FACTOR", "1"},    {"PEDE_IVAPORC", "19"},    {"LIPR_COD", "2"},
    {"PEDE_DTO1", "5"},      {"PEDE_DTO2", "2"},        {"PEDE_DTO3", ""},
    {"BODE_COD", "01"},      {"PEDE_ANULADO", "N"},     {"PEDE_TRANSMIT", "N"},
    {"PEDE_CONSUMO", "150"}, {"PEDE_DTOMONTO", "100"},  {"PEDE_DTOM3", "0"},
    {"PEDE_OBS", ""},        {"PEDE_REFERENCIA", ""},
};

std::map<std::string, std::string> Worked(std::map<std::string, std::string> changes) {
  std::map<std::string, std::string> m = kWorked;
  for (auto& [k, v] : changes) m[k] = v;
  return m;
}

const LineCase kCases[] = {
    {"e0_iva_excluido", "FE", 0, "800100200", "01", "TRAB", "3", "", "1000", "10",
     Worked({{"PEDE_DTOM1", "135"}, {"PEDE_DTOM2", "51"}, {"PEDE_IVAMONTO", "449.16"},
                {"PEDE_TOTAL", "3113.16"}})},
    {"e0_iva_incluido", "PV", 0, "800100200", "01", "TRAB", "3", "", "1000", "10",
     Worked({{"PEDE_DTOM1", "135"}, {"PEDE_DTOM2", "51"}, {"PEDE_IVAMONTO", "377.45"},
                {"PEDE_TOTAL", "2514"}})},
    {"e1_iva_excluido", "FE", 1, "800100200", "01", "TRAB", "3", "", "1000", "10",
     Worked({{"PEDE_DTOM1", "140"}, {"PEDE_DTOM2", "50"}, {"PEDE_IVAMONTO", "448.4"},
                {"PEDE_TOTAL", "3108.4"}})},
    {"e2_iva_excluido", "FE", 2, "800100200", "01", "TRAB", "3", "", "1000", "10",
     Worked({{"PEDE_DTOM1", "100"}, {"PEDE_DTOM2", "100"}, {"PEDE_IVAMONTO", "446.5"},
                {"PEDE_TOTAL", "3096.5"}})},
    // Only an upper-case N excludes the VAT.
    {"bandera_n_minuscula", "n", 0, "800100200", "01", "TRAB", "3", "", "1000", "10",
     {{"PEDE_IVAMONTO", "377.45"}, {"PEDE_TOTAL", "2514"}}},
    {"bandera_otra_letra", "X", 0, "800100200", "01", "TRAB", "3", "", "1000", "10",
     {{"PEDE_IVAMONTO", "377.45"}, {"PEDE_TOTAL", "2514"}}},
    {"bandera_en_blanco", "B", 0, "800100200", "01", "TRAB", "3", "", "1000", "10",
     {{"PEDE_IVAMONTO", "377.45"}, {"PEDE_TOTAL", "2514"}}},
    {"sin_cantidad", "FE", 0, "800100200", "01", "TRAB", "", "", "1000", "10",
     {{"PEDE_CANT", ""}, {"PEDE_CONSUMO", "0"}, {"PEDE_DTOMONTO", "100"}, {"PEDE_DTOM1", "0"},
      {"PEDE_DTOM2", "0"}, {"PEDE_DTOM3", "0"}, {"PEDE_IVAMONTO", "0"}, {"PEDE_TOTAL", "0"}}},
    {"precio_cero_con_consumo", "FE", 0, "800100200", "01", "TRAB", "2", "", "0", "",
     {{"PEDE_DTOPORC", "0"}, {"PEDE_CONSUMO", "100"}, {"PEDE_DTOMONTO", "0"},
      {"PEDE_IVAMONTO", "-19"}, {"PEDE_TOTAL", "81"}}},
    // No branch row for this customer: list 1, whose TRAB row has only dto2.
    {"sin_sucursal_lista_1", "FE", 0, "79555111", "01", "TRAB", "3", "", "1000", "10",
     {{"LIPR_COD", "1"}, {"PEDE_DTO1", ""}, {"PEDE_DTO2", "3"}, {"PEDE_DTOM1", "0"},
      {"PEDE_DTOM2", "81"}, {"PEDE_IVAMONTO", "469.11"}, {"PEDE_TOTAL", "3238.11"}}},
    // List 3 has no TRAB row.
    {"sin_precio_en_lista", "FE", 0, "830045678", "01", "TRAB", "3", "", "1000", "10",
     {{"LIPR_COD", "3"}, {"PEDE_DTO1", ""}, {"PEDE_DTO2", ""}, {"PEDE_DTOM1", "0"},
      {"PEDE_DTOM2", "0"}, {"PEDE_IVAMONTO", "484.5"}, {"PEDE_TOTAL", "3334.5"}}},
    {"codigo_de_20", "FE", 0, "79555111", "01", "ABCDEFGHIJKLMNOPQRST", "1", "", "100", "",
     {{"PEDE_CODBAR", "ABCDEFGHIJKLMNO"}, {"ARTI_COD", "ABCDEFGHIJKLMNO"},
      {"PEDE_IVAPORC", "0"}, {"PEDE_IVAMONTO", "0"}, {"PEDE_TOTAL", "100"}}},
    {"unidad_de_la_validacion", "FE", 0, "800100200", "01", "TRAB", "3", "", "1000", "10",
     {{"PEDE_UNIDAD", "UND"}, {"PEDE_FACTOR", "1"}, {"PEDE_CONSUMO", "150"}}},
    {"unidad_del_registro", "FE", 0, "800100200", "01", "TRAB", "3", "CAJA", "1000", "10",
     {{"PEDE_UNIDAD", "CAJA"}, {"PEDE_FACTOR", "12"}, {"PEDE_CONSUMO", "1800"},
      {"PEDE_IVAMONTO", "135.66"}, {"PEDE_TOTAL", "4449.66"}}},
};

TEST(AgregueLinea, CasesAgainstTheDatabase) {
  ImportTestBench bench;
  int32_t exponent = 0;
  int n = 0;
  for (const LineCase& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.exponent != exponent) {
      bench.Configure("REDONDEO AL MULTIPLO DE DIEZ EN TOTALES", std::to_string(c.exponent));
      exponent = c.exponent;
    }
    const std::string number = std::string("L").append(std::to_string(++n));
    bench.Run(Line({c.prefix, number, "1/15/2024", "", "1", "1", c.nit, "CLIENTE", c.branch,
                       "", "", "", c.article, c.quantity, c.unit, c.price, c.discount}));
    const auto lines = bench.Lines(c.prefix, number);
    ASSERT_EQ(lines.size(), 1u);
    for (const auto& [column, value] : c.expected) {
      EXPECT_EQ(lines[0].at(column), value) << column;
    }
  }
}

// A header whose flag has no value prices with VAT included. The database
// never gives such a header (the flag is required), so the line is priced
// on a header edited by hand and then written with a flag.
TEST(AgregueLinea, EmptyFlagIncludesVat) {
  ImportTestBench bench;
  OrderStore& store = bench.store;
  const RegionalSettings rs;
  const Date today = *Date::FromYmd(2024, 1, 15);
  store.Open();
  store.BeginHeader();
  auto header = [&](const char* field, const char* value) {
    store.HeaderField(field).SetText(value, rs, today);
  };
  header("PEDI_ID", "0");
  header("TIDO_COD", "34");
  header("PREF_PRE", "PV");
  header("PEDI_NUMERO", "V1");
  header("PEDI_FECHA", "1/15/2024");
  header("TERC_NIT", "800100200");
  header("VEND_COD", "1");
  header("PEDI_IVAINC", "N");
  store.PostHeader();
  store.EditHeader();
  store.HeaderField("PEDI_IVAINC").SetNull();

  TValoresRegistro v;
  v.TERC_NIT = "800100200";
  v.PEDI_SUCURSAL = "01";
  v.ARTI_COD = "TRAB";
  v.PEDE_CANT = "3";
  v.PEDE_PRUNIT = "1000";
  v.PEDE_DTOPORC = "10";
  const std::string warehouse = "01";
  ASSERT_TRUE(agregue_linea({bench.fdm, store, warehouse, 0, rs, today}, v));

  header("PEDI_IVAINC", "S");
  header("PEDI_ID", store.SCambieidpedido().c_str());
  store.PostHeader();
  ASSERT_EQ(store.ApplyUpdates(), 0);
  const auto lines = bench.Lines("PV", "V1");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("PEDE_IVAMONTO"), "377.45");
  EXPECT_EQ(lines[0].at("PEDE_TOTAL"), "2514");
}

}  // namespace
}  // namespace imp::testing
