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
const std::vector<std::string> kPrimero = {"PV 100:2"};
const std::vector<std::string> kAmbos = {"PV 100:2", "PV 101:1"};

// Writes the 10 MB line: the three good lines, then a new order whose
// customer name runs for ten megabytes.
std::string LineaDe10Mb(const ReliabilityBench& banco) {
  const std::string ruta = banco.db().server() + "/linea_10mb.csv";
  std::ifstream base(TestDataPath("referencia.csv"), std::ios::binary);
  std::ofstream out(ruta, std::ios::binary);
  out << base.rdbuf();
  out << "PV,102,1/17/2026,1/17/2026,1,1,222222222," << std::string(10 << 20, 'N')
      << ",01,0,0,0,ART0019,6,LT,2130,0\r\n";
  return ruta;
}

struct Case {
  const char* archivo;  // in tests/data
  std::function<std::string(const ReliabilityBench&)> genere;  // or made here
  const char* sql;      // run on the database first, from tests/data
  bool falla;
  std::string mensaje;  // substring of the failure or of the run's messages
  std::vector<std::string> pedidos;  // "PREF NUMERO:lines", in write order
};

const Case kCases[] = {
    {"basura_binaria.bin", nullptr, nullptr, true,
     "Línea 1: Es necesario que el campo 'TERC_NIT' contenga algún valor: la línea que empieza "
     "el pedido no trae TERC_NIT.", {}},
    {"linea_10mb.csv", LineaDe10Mb, nullptr, true,
     "Línea 4: el campo 8 tiene más de 255 caracteres.", kPrimero},
    {"sesenta_campos.csv", nullptr, nullptr, true,
     "Línea 4: el campo 52 excede el máximo de 51 campos por línea.", kPrimero},
    {"campo_300.csv", nullptr, nullptr, true,
     "Línea 4: el campo 8 tiene más de 255 caracteres.", kPrimero},
    {"fecha_invalida.csv", nullptr, nullptr, true,
     "Línea 4: '2/30/2026' no es una fecha válida.", kAmbos},
    {"entero_invalido.csv", nullptr, nullptr, true,
     "Línea 4: '2.5' no es un valor entero válido para el campo 'VEND_COD'", kAmbos},
    {"cantidad_invalida.csv", nullptr, nullptr, true,
     "Línea 4: 1x no es un valor BCD válido.", kPrimero},
    {"cantidad_enorme.csv", nullptr, nullptr, true,
     "Línea 4: El valor 12345678901234567 no cabe en el campo 'PEDE_CANT'", kPrimero},
    {"precio_invalido.csv", nullptr, nullptr, true,
     "Línea 4: 5.437.50 no es un valor BCD válido.", kPrimero},
    {"menos_unicode.csv", nullptr, nullptr, true,
     "Línea 4: \xE2\x88\x92" "1 no es un valor BCD válido.", kPrimero},
    {"separador_miles.csv", nullptr, nullptr, true,
     "Línea 4: 543,750.00 no es un valor BCD válido.", kPrimero},
    {"comillas_desbalanceadas.csv", nullptr, nullptr, true,
     "Línea 4: 543750,0 no es un valor BCD válido.", kPrimero},
    {"clave_larga.csv", nullptr, nullptr, true, "Línea 5: Es necesario que el campo 'PEDI_IVAINC' contenga algún valor: el prefijo "
     "'PVPVPVPVPVPVPVPVPVPV' no existe para el tipo de documento 34.", {"PV 100:2", "PV 101:1", "PV 102:1"}},
    {"ultima_incompleta.csv", nullptr, nullptr, false,
     "Pedido PV 102 no grabado: Línea 4: la última línea está incompleta (sin fin de línea y con "
     "menos campos que la anterior).", kAmbos},
    {"solo_separadores.csv", nullptr, nullptr, false, kFinished, kAmbos},
    {"ctrl_z.csv", nullptr, nullptr, false, kFinished, kAmbos},
    {"fecha_9999.csv", nullptr, nullptr, false, "Pedido PV 102 no grabado: Línea 4: ", kAmbos},
    {"utf16.csv", nullptr, nullptr, true,
     "Línea 1: el archivo está en UTF-16 (empieza con la marca FF FE); guárdelo como texto de un "
     "byte por carácter (Windows-1252) o UTF-8.", {}},
    {"vacio.csv", nullptr, nullptr, false, kFinished, {}},
    {"bom.csv", nullptr, nullptr, false, kFinished, kAmbos},
    {"solo_cr.csv", nullptr, nullptr, false, kFinished, kAmbos},
    {"finales_mezclados.csv", nullptr, nullptr, false, kFinished, kAmbos},
    {"no_utf8.csv", nullptr, nullptr, false, kFinished, kAmbos},
    {"referencia.csv", nullptr, "diseno_0_52.sql", false, kFinished, kAmbos},
};

TEST(DamagedInput, EachFileGivesItsResult) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.archivo);
    ReliabilityBench banco;
    if (c.sql) banco.Prepare(ReadFile(TestDataPath(c.sql)));
    banco.LoadLayout();
    const std::string ruta = c.genere ? c.genere(banco) : TestDataPath(c.archivo);

    const RunOutcome d = banco.Import(ruta);

    EXPECT_EQ(d.failed, c.falla) << d.text;
    EXPECT_NE(d.text.find(c.mensaje), std::string::npos) << d.text;
    // A failure leaves the window open; a complete run closes it.
    EXPECT_EQ(banco.screen.closed, !c.falla);
    EXPECT_EQ(banco.WrittenOrders(), c.pedidos);
    EXPECT_EQ(banco.Inconsistencies(), std::vector<std::string>{});
  }
}

// Line ends, a byte-order mark and layout rows outside the line change
// nothing: the orders are those of the plain CR LF file, column for column.
TEST(DamagedInput, SameRowsAsTheCleanFile) {
  const char* const consultas[] = {
      "SELECT * FROM PEDIDOS ORDER BY PEDI_ID",
      "SELECT * FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM",
  };
  auto filas = [&](const char* archivo, const char* sql) {
    ReliabilityBench banco;
    if (sql) banco.Prepare(ReadFile(TestDataPath(sql)));
    banco.LoadLayout();
    const RunOutcome d = banco.Import(TestDataPath(archivo));
    EXPECT_FALSE(d.failed) << d.text;
    std::vector<std::vector<TextRow>> todas;
    for (const char* consulta : consultas) todas.push_back(banco.Read(consulta));
    return todas;
  };
  const auto referencia = filas("referencia.csv", nullptr);
  ASSERT_EQ(referencia[0].size(), 2u);
  ASSERT_EQ(referencia[1].size(), 3u);
  const struct {
    const char* archivo;
    const char* sql;
  } variantes[] = {
      {"bom.csv", nullptr},
      {"solo_cr.csv", nullptr},
      {"finales_mezclados.csv", nullptr},
      {"referencia.csv", "diseno_0_52.sql"},
  };
  for (const auto& v : variantes) {
    SCOPED_TRACE(v.archivo);
    EXPECT_EQ(filas(v.archivo, v.sql), referencia);
  }
}

// Bytes that are not UTF-8 reach the database unchanged.
TEST(DamagedInput, BytesThatAreNotUtf8ArriveIntact) {
  ReliabilityBench banco;
  banco.LoadLayout();
  ASSERT_FALSE(banco.Import(TestDataPath("no_utf8.csv")).failed);
  const auto pedidos = banco.Read("SELECT PEDI_NOMTERC FROM PEDIDOS WHERE PEDI_NUMERO = '100'");
  ASSERT_EQ(pedidos.size(), 1u);
  EXPECT_EQ(pedidos[0].at("PEDI_NOMTERC"), "JOS\xC9 PE\xD1" "A \xFF\xFE\x80");
}

}  // namespace
}  // namespace imp::testing
