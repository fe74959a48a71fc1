#include "import/valores_registro.h"

#include <climits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "import/campos_registro.h"
#include "import/importacion.h"
#include "import/lector_plano.h"
#include "tests/support/temp_folder.h"

namespace imp {
namespace {

ImportLayoutRow Fila(std::string dato, std::int32_t columna, std::string importar = "SI") {
  return {std::move(dato), columna, 0, std::move(importar)};
}

TCamposRegistro Campos(const std::vector<std::string>& textos) {
  TCamposRegistro campos;
  for (std::size_t i = 0; i < textos.size(); ++i) campos.Set(static_cast<long long>(i + 1), textos[i]);
  return campos;
}

// The layout every company starts with (schema/20_config.sql, layout 23).
const std::pair<const char*, std::int32_t> kCompanyLayout[] = {
    {"PREF_PRE", 1},         {"PEDI_NUMERO", 2},      {"PEDI_FECHA", 3},  {"PEDI_CREDITO", 4},
    {"VEND_COD", 5},         {"PTVT_ID", 6},          {"TERC_NIT", 7},    {"PEDI_NOMTERC", 8},
    {"PEDI_SUCURSAL", 9},    {"PEDI_RTFTEMONTO", 10}, {"PEDI_RTIVAMONTO", 11},
    {"PEDI_RTICAMONTO", 12}, {"ARTI_COD", 13},        {"PEDE_CANT", 14},  {"PEDE_UNIDAD", 15},
    {"PEDE_PRUNIT", 16},     {"PEDE_DTOPORC", 17},
};

CImportacion CompanyLayout() {
  CImportacion importacion;
  for (const auto& [dato, columna] : kCompanyLayout) importacion.Add(Fila(dato, columna));
  return importacion;
}

// The values after each line of an order file with the company's layout,
// the file read by the real reader. Every field of the first line differs
// from every other, so a name that fills the wrong value, or none, shows.
TEST(ValoresRegistro, EachFieldOfAFileLineLandsWhereTheImportReadsIt) {
  const testing::TempFolder folder("valores_registro");
  const std::string path = folder.Write(
      "pedidos.csv",
      "PV,100,1/15/2026,2/14/2026,2,1,800100200,\"ACME, S.A.\",01,110,120,130,ART0004,3,KG,"
      "15300,5\r\n"
      ",,,,,,,,,,,,ART0012,1,CAJA,538800,\r\n");
  const CImportacion importacion = CompanyLayout();
  std::vector<TValoresRegistro> after;
  TLectorPlano lector;
  ASSERT_TRUE(lector.lea_registros(
      path,
      [&](const TCamposRegistro& campos, const LinePosition&) {
        TValoresRegistro values = after.empty() ? TValoresRegistro() : after.back();
        asigne_valores(campos, importacion, values);
        after.push_back(values);
      },
      {}));
  ASSERT_EQ(after.size(), 2u);
  const struct {
    const char* name;
    std::string TValoresRegistro::*value;
    const char* first;   // after line 1
    const char* second;  // after line 2: the order's values stay
  } expected[] = {
      {"PREF_PRE", &TValoresRegistro::PREF_PRE, "PV", "PV"},
      {"PEDI_NUMERO", &TValoresRegistro::PEDI_NUMERO, "100", "100"},
      {"PEDI_FECHA", &TValoresRegistro::PEDI_FECHA, "1/15/2026", "1/15/2026"},
      {"PEDI_CREDITO", &TValoresRegistro::PEDI_CREDITO, "2/14/2026", "2/14/2026"},
      {"VEND_COD", &TValoresRegistro::VEND_COD, "2", "2"},
      {"PTVT_ID", &TValoresRegistro::PTVT_ID, "1", "1"},
      {"TERC_NIT", &TValoresRegistro::TERC_NIT, "800100200", "800100200"},
      {"PEDI_NOMTERC", &TValoresRegistro::PEDI_NOMTERC, "ACME, S.A.", "ACME, S.A."},
      {"PEDI_SUCURSAL", &TValoresRegistro::PEDI_SUCURSAL, "01", "01"},
      {"PEDI_RTFTEMONTO", &TValoresRegistro::PEDI_RTFTEMONTO, "110", "110"},
      {"PEDI_RTIVAMONTO", &TValoresRegistro::PEDI_RTIVAMONTO, "120", "120"},
      {"PEDI_RTICAMONTO", &TValoresRegistro::PEDI_RTICAMONTO, "130", "130"},
      {"ARTI_COD", &TValoresRegistro::ARTI_COD, "ART0004", "ART0012"},
      {"PEDE_CANT", &TValoresRegistro::PEDE_CANT, "3", "1"},
      {"PEDE_UNIDAD", &TValoresRegistro::PEDE_UNIDAD, "KG", "CAJA"},
      {"PEDE_PRUNIT", &TValoresRegistro::PEDE_PRUNIT, "15300", "538800"},
      {"PEDE_DTOPORC", &TValoresRegistro::PEDE_DTOPORC, "5", "5"},  // an empty field keeps it
  };
  for (const auto& e : expected) {
    EXPECT_EQ(after[0].*e.value, e.first) << e.name;
    EXPECT_EQ(after[1].*e.value, e.second) << e.name;
  }
  EXPECT_EQ(after[1].RecordText(), "PV100 - ACME, S.A.");
}

// Only the exact names of the values are known: no other case, no blanks,
// no other column of the order tables, no name of another layout.
TEST(ValoresRegistro, OnlyTheExactNamesAreKnown) {
  for (const auto& [dato, columna] : kCompanyLayout) {
    EXPECT_NE(TValoresRegistro::ValueNamed(dato), nullptr) << dato;
  }
  for (const char* unknown : {"pref_pre", "Pref_Pre", "PREF_PRE ", " PREF_PRE", "PREF_PR", "",
                              "PEDI_IVAINC", "PEDI_TOTAL", "BODE_COD"}) {
    EXPECT_EQ(TValoresRegistro::ValueNamed(unknown), nullptr) << unknown;
  }
  EXPECT_EQ(TValoresRegistro::ValueNamed(std::string_view("PREF_PRE\0", 9)), nullptr);
}

TEST(ValoresRegistro, EntriesThatDoNotCount) {
  const ImportLayoutRow ignoradas[] = {
      Fila("PREF_PRE", 1, "si"),  Fila("PREF_PRE", 1, "Si"),  Fila("PREF_PRE", 1, "S"),
      Fila("PREF_PRE", 1, ""),    Fila("PREF_PRE", 1, "SI "), Fila("PREF_PRE", 1, "NO"),
      Fila("PREF_PRE ", 1),       Fila(" PREF_PRE", 1),       Fila("pref_pre", 1),
      Fila("PREF", 1),            Fila("", 1),                Fila("PREF_PRE", 0),
      Fila("PREF_PRE", -1),       Fila("PREF_PRE", 52),       Fila("PREF_PRE", INT_MAX),
      Fila("PREF_PRE", INT_MIN),
  };
  std::vector<std::string> textos(TCamposRegistro::kFieldCount, "texto");
  const TCamposRegistro campos = Campos(textos);
  for (const auto& fila : ignoradas) {
    CImportacion importacion;
    importacion.Add(fila);
    TValoresRegistro values;
    asigne_valores(campos, importacion, values);
    EXPECT_EQ(values.PREF_PRE, "") << "'" << fila.DATO << "' " << fila.COLUMNA << " '"
                                    << fila.IMPORTAR << "'";
    EXPECT_EQ(importacion.size(), 1u);  // kept as a row all the same
  }
}

TEST(ValoresRegistro, ColumnsAtTheEnds) {
  CImportacion importacion;
  importacion.Add(Fila("PREF_PRE", 1));
  importacion.Add(Fila("ARTI_COD", 51));
  std::vector<std::string> textos(TCamposRegistro::kFieldCount);
  textos.front() = "primero";
  textos.back() = "ultimo";
  TValoresRegistro values;
  asigne_valores(Campos(textos), importacion, values);
  EXPECT_EQ(values.PREF_PRE, "primero");
  EXPECT_EQ(values.ARTI_COD, "ultimo");
}

TEST(Importacion, RowsInColumnOrder) {
  CImportacion importacion;
  importacion.Add(Fila("C", 3));
  importacion.Add(Fila("A", 1));
  importacion.Add(Fila("B1", 2));
  importacion.Add(Fila("B2", 2));
  importacion.Add(Fila("Z", 0));
  importacion.Add(Fila("B3", 2));
  std::vector<std::string> orden;
  for (const auto& fila : importacion) orden.push_back(fila.DATO);
  EXPECT_EQ(orden, (std::vector<std::string>{"Z", "A", "B1", "B2", "B3", "C"}));
  importacion.Clear();
  EXPECT_TRUE(importacion.empty());
  EXPECT_TRUE(importacion.mappings().empty());
}

// Rows added 3, 1, 2 for one value: the walk goes 1, 2, 3, so the value ends
// with the highest column whose field is not empty, whatever the order the
// rows were added in.
TEST(ValoresRegistro, SeveralEntriesForOneValue) {
  const struct {
    std::vector<std::string> textos;
    std::string esperado;
  } casos[] = {
      {{"c1", "c2", "c3"}, "c3"},
      {{"c1", "c2", ""}, "c2"},
      {{"c1", "", ""}, "c1"},
      {{"", "", ""}, ""},
      {{"", "c2", " "}, " "},
  };
  CImportacion importacion;
  importacion.Add(Fila("PEDE_CANT", 3));
  importacion.Add(Fila("PEDE_CANT", 1));
  importacion.Add(Fila("PEDE_CANT", 2));
  for (const auto& caso : casos) {
    TValoresRegistro values;
    asigne_valores(Campos(caso.textos), importacion, values);
    EXPECT_EQ(values.PEDE_CANT, caso.esperado);
  }
}

TEST(ValoresRegistro, EntriesOfOneColumnInTheOrderAdded) {
  CImportacion importacion;
  importacion.Add(Fila("PREF_PRE", 2));
  importacion.Add(Fila("PREF_PRE", 1));
  importacion.Add(Fila("PREF_PRE", 2, "no"));
  importacion.Add(Fila("PEDI_NOMTERC", 2));  // one field feeds two values
  TValoresRegistro values;
  asigne_valores(Campos({"uno", "dos"}), importacion, values);
  EXPECT_EQ(values.PREF_PRE, "dos");
  EXPECT_EQ(values.PEDI_NOMTERC, "dos");
}

TEST(ValoresRegistro, ValuesCarryFromOneRecordToTheNext) {
  CImportacion importacion;
  importacion.Add(Fila("PREF_PRE", 1));
  importacion.Add(Fila("PEDI_NUMERO", 2));
  importacion.Add(Fila("PEDI_NOMTERC", 3));
  importacion.Add(Fila("ARTI_COD", 4));
  const struct {
    std::vector<std::string> textos;
    std::vector<std::string> values;  // prefix, number, name, article after the record
  } registros[] = {
      {{"PV", "100", "ACME", "A1"}, {"PV", "100", "ACME", "A1"}},
      {{"", "", "", "A2"}, {"PV", "100", "ACME", "A2"}},   // empty fields keep the values
      {{"", "", "", ""}, {"PV", "100", "ACME", "A2"}},
      {{"", "101", "  ", ""}, {"PV", "101", "  ", "A2"}},  // blanks replace
      {{"pv"}, {"pv", "101", "  ", "A2"}},
  };
  TValoresRegistro values;
  for (const auto& registro : registros) {
    asigne_valores(Campos(registro.textos), importacion, values);
    EXPECT_EQ((std::vector<std::string>{values.PREF_PRE, values.PEDI_NUMERO,
                                        values.PEDI_NOMTERC, values.ARTI_COD}),
              registro.values);
  }
}

// A later text that differs from the value in a single byte, at any
// position and for any length, replaces it; an equal one leaves it equal.
TEST(ValoresRegistro, OneDifferentByteReplacesTheValue) {
  CImportacion importacion;
  importacion.Add(Fila("TERC_NIT", 1));
  for (std::size_t largo = 1; largo <= 40; ++largo) {
    for (std::size_t i = 0; i < largo; ++i) {
      std::string primero(largo, 'a');
      for (std::size_t k = 0; k < largo; ++k) primero[k] = static_cast<char>('a' + k % 26);
      std::string segundo = primero;
      segundo[i] = 'Z';
      TValoresRegistro values;
      asigne_valores(Campos({primero}), importacion, values);
      asigne_valores(Campos({segundo}), importacion, values);
      ASSERT_EQ(values.TERC_NIT, segundo) << largo << " " << i;
      asigne_valores(Campos({segundo + "x"}), importacion, values);
      ASSERT_EQ(values.TERC_NIT, segundo + "x");
      asigne_valores(Campos({primero}), importacion, values);
      ASSERT_EQ(values.TERC_NIT, primero);
    }
  }
}

TEST(ValoresRegistro, EmptyLayoutChangesNothing) {
  const CImportacion importacion;
  TValoresRegistro values;
  asigne_valores(Campos(std::vector<std::string>(TCamposRegistro::kFieldCount, "x")), importacion,
                 values);
  for (const auto& [nombre, valor] : kRecordValueNames) EXPECT_EQ(values.*valor, "") << nombre;
}

TEST(ValoresRegistro, RecordText) {
  const struct {
    const char* prefix;
    const char* number;
    const char* nombre;
    const char* texto;
  } casos[] = {
      {"PV", "123", "ACME", "PV123 - ACME"},
      {"", "", "", " - "},
      {"PV", "", "", "PV - "},
      {"", "123", "ACME, S.A.", "123 - ACME, S.A."},
      {" PV ", " 1 ", " X ", " PV  1  -  X "},
  };
  for (const auto& caso : casos) {
    TValoresRegistro values;
    values.PREF_PRE = caso.prefix;
    values.PEDI_NUMERO = caso.number;
    values.PEDI_NOMTERC = caso.nombre;
    values.ARTI_COD = "no aparece";
    EXPECT_EQ(values.RecordText(), caso.texto);
  }
}

}  // namespace
}  // namespace imp
