// Bad input through the whole import, on a fresh embedded database: every
// file of tests/data gives its documented result (the message, naming the
// line at fault; the orders written), and whatever was written is whole.
// tests/data/README.md describes each file.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/reliability/reliability_bench.h"
#include "tests/support/temp_folder.h"

namespace imp::testing {
namespace {

constexpr char kFinished[] = "Importación finalizada.";

// The two orders every bad file starts with: PV 100 (lines 1 and 2) and
// PV 101 (line 3). A fault on line 4 finds PV 100 written and PV 101 open.
const std::vector<std::string> kFirst = {"PV 100:2"};
const std::vector<std::string> kBoth = {"PV 100:2", "PV 101:1"};

// Writes the 10 MB line: the three good lines, then a new order whose
// customer name runs for ten megabytes.
std::string TenMegabyteLine(const ReliabilityBench& bench) {
  const std::string path = bench.db().server() + "/linea_10mb.csv";
  std::ifstream base(TestDataPath("referencia.csv"), std::ios::binary);
  std::ofstream out(path, std::ios::binary);
  out << base.rdbuf();
  out << "PV,102,1/17/2026,1/17/2026,1,1,222222222," << std::string(10 << 20, 'N')
      << ",01,0,0,0,ART0019,6,LT,2130,0\r\n";
  return path;
}

struct Case {
  const char* file;  // in tests/data
  std::function<std::string(const ReliabilityBench&)> generate;  // or made here
  const char* sql;      // run on the database first, from tests/data
  bool failure;
  std::string message;  // substring of the failure or of the run's messages
  std::vector<std::string> orders;  // "PREF NUMERO:lines", in write order
};

const Case kCases[] = {
    {"basura_binaria.bin", nullptr, nullptr, true,
     "Línea 1: Es necesario que el campo 'TERC_NIT' contenga algún valor: la línea que empieza "
     "el pedido no trae TERC_NIT.", {}},
    {"linea_10mb.csv", TenMegabyteLine, nullptr, true,
     "Línea 4: el campo 8 tiene más de 255 caracteres.", kFirst},
    {"sesenta_campos.csv", nullptr, nullptr, true,
     "Línea 4: el campo 52 excede el máximo de 51 campos por línea.", kFirst},
    {"campo_300.csv", nullptr, nullptr, true,
     "Línea 4: el campo 8 tiene más de 255 caracteres.", kFirst},
    {"fecha_invalida.csv", nullptr, nullptr, true,
     "Línea 4: '2/30/2026' no es una fecha válida.", kBoth},
    {"entero_invalido.csv", nullptr, nullptr, true,
     "Línea 4: '2.5' no es un valor entero válido para el campo 'VEND_COD'", kBoth},
    {"cantidad_invalida.csv", nullptr, nullptr, true,
     "Línea 4: 1x no es un valor BCD válido.", kFirst},
    {"cantidad_enorme.csv", nullptr, nullptr, true,
     "Línea 4: El valor 12345678901234567 no cabe en el campo 'PEDE_CANT'", kFirst},
    {"precio_invalido.csv", nullptr, nullptr, true,
     "Línea 4: 5.437.50 no es un valor BCD válido.", kFirst},
    {"menos_unicode.csv", nullptr, nullptr, true,
     "Línea 4: \xE2\x88\x92" "1 no es un valor BCD válido.", kFirst},
    {"separador_miles.csv", nullptr, nullptr, true,
     "Línea 4: 543,750.00 no es un valor BCD válido.", kFirst},
    {"comillas_desbalanceadas.csv", nullptr, nullptr, true,
     "Línea 4: 543750,0 no es un valor BCD válido.", kFirst},
    {"clave_larga.csv", nullptr, nullptr, true, "Línea 5: Es necesario que el campo 'PEDI_IVAINC' contenga algún valor: el prefijo "
     "'PVPVPVPVPVPVPVPVPVPV' no existe para el tipo de documento 34.", {"PV 100:2", "PV 101:1", "PV 102:1"}},
    {"ultima_incompleta.csv", nullptr, nullptr, false,
     "Pedido PV 102 no grabado: Línea 4: la última línea está incompleta (sin fin de línea y con "
     "menos campos que la anterior).", kBoth},
    {"solo_separadores.csv", nullptr, nullptr, false, kFinished, kBoth},
    {"ctrl_z.csv", nullptr, nullptr, false, kFinished, kBoth},
    {"fecha_9999.csv", nullptr, nullptr, false, "Pedido PV 102 no grabado: Línea 4: ", kBoth},
    {"utf16.csv", nullptr, nullptr, true,
     "Línea 1: el archivo está en UTF-16 (empieza con la marca FF FE); guárdelo como texto de un "
     "byte por carácter (Windows-1252) o UTF-8.", {}},
    {"vacio.csv", nullptr, nullptr, false, kFinished, {}},
    {"bom.csv", nullptr, nullptr, false, kFinished, kBoth},
    {"solo_cr.csv", nullptr, nullptr, false, kFinished, kBoth},
    {"finales_mezclados.csv", nullptr, nullptr, false, kFinished, kBoth},
    {"no_utf8.csv", nullptr, nullptr, false, kFinished, kBoth},
    {"referencia.csv", nullptr, "diseno_0_52.sql", false, kFinished, kBoth},
};

TEST(DamagedInput, EachFileGivesItsResult) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    ReliabilityBench bench;
    if (c.sql) bench.Prepare(ReadFile(TestDataPath(c.sql)));
    bench.LoadLayout();
    const std::string path = c.generate ? c.generate(bench) : TestDataPath(c.file);

    const RunOutcome d = bench.Import(path);

    EXPECT_EQ(d.failed, c.failure) << d.text;
    EXPECT_NE(d.text.find(c.message), std::string::npos) << d.text;
    // A failure leaves the window open; a complete run closes it.
    EXPECT_EQ(bench.screen.closed, !c.failure);
    EXPECT_EQ(bench.WrittenOrders(), c.orders);
    EXPECT_EQ(bench.Inconsistencies(), std::vector<std::string>{});
  }
}

// Line ends, a byte-order mark and layout rows outside the line change
// nothing: the orders are those of the plain CR LF file, column for column.
TEST(DamagedInput, SameRowsAsTheCleanFile) {
  const char* const lookups[] = {
      "SELECT * FROM PEDIDOS ORDER BY PEDI_ID",
      "SELECT * FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM",
  };
  auto rows = [&](const char* file, const char* sql) {
    ReliabilityBench bench;
    if (sql) bench.Prepare(ReadFile(TestDataPath(sql)));
    bench.LoadLayout();
    const RunOutcome d = bench.Import(TestDataPath(file));
    EXPECT_FALSE(d.failed) << d.text;
    std::vector<std::vector<TextRow>> all;
    for (const char* lookup : lookups) all.push_back(bench.Read(lookup));
    return all;
  };
  const auto reference = rows("referencia.csv", nullptr);
  ASSERT_EQ(reference[0].size(), 2u);
  ASSERT_EQ(reference[1].size(), 3u);
  const struct {
    const char* file;
    const char* sql;
  } variants[] = {
      {"bom.csv", nullptr},
      {"solo_cr.csv", nullptr},
      {"finales_mezclados.csv", nullptr},
      {"referencia.csv", "diseno_0_52.sql"},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.file);
    EXPECT_EQ(rows(v.file, v.sql), reference);
  }
}

// Bytes that are not UTF-8 reach the database unchanged.
TEST(DamagedInput, BytesThatAreNotUtf8ArriveIntact) {
  ReliabilityBench bench;
  bench.LoadLayout();
  ASSERT_FALSE(bench.Import(TestDataPath("no_utf8.csv")).failed);
  const auto orders = bench.Read("SELECT PEDI_NOMTERC FROM PEDIDOS WHERE PEDI_NUMERO = '100'");
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].at("PEDI_NOMTERC"), "JOS\xC9 PE\xD1" "A \xFF\xFE\x80");
}

}  // namespace
}  // namespace imp::testing
