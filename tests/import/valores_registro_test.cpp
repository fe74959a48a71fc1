#include "import/valores_registro.h"

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "import/campos_registro.h"
#include "import/importacion.h"

namespace imp {
namespace {

using Valor = TValoresRegistro::Value;

ImportLayoutRow Fila(std::string dato, std::int32_t columna, std::string importar = "SI") {
  return {std::move(dato), columna, 0, std::move(importar)};
}

TCamposRegistro Campos(const std::vector<std::string>& textos) {
  TCamposRegistro campos;
  for (std::size_t i = 0; i < textos.size(); ++i) campos.Set(static_cast<long long>(i + 1), textos[i]);
  return campos;
}

// Every name, each with the member it must fill: a typo in the name table
// would send a file column to the wrong value.
const std::pair<const char*, Valor> kNombres[] = {
    {"PREF_PRE", &TValoresRegistro::PREF_PRE},
    {"PEDI_NUMERO", &TValoresRegistro::PEDI_NUMERO},
    {"PEDI_FECHA", &TValoresRegistro::PEDI_FECHA},
    {"PEDI_CREDITO", &TValoresRegistro::PEDI_CREDITO},
    {"VEND_COD", &TValoresRegistro::VEND_COD},
    {"PTVT_ID", &TValoresRegistro::PTVT_ID},
    {"TERC_NIT", &TValoresRegistro::TERC_NIT},
    {"PEDI_NOMTERC", &TValoresRegistro::PEDI_NOMTERC},
    {"PEDI_SUCURSAL", &TValoresRegistro::PEDI_SUCURSAL},
    {"PEDI_RTFTEMONTO", &TValoresRegistro::PEDI_RTFTEMONTO},
    {"PEDI_RTIVAMONTO", &TValoresRegistro::PEDI_RTIVAMONTO},
    {"PEDI_RTICAMONTO", &TValoresRegistro::PEDI_RTICAMONTO},
    {"ARTI_COD", &TValoresRegistro::ARTI_COD},
    {"PEDE_CANT", &TValoresRegistro::PEDE_CANT},
    {"PEDE_UNIDAD", &TValoresRegistro::PEDE_UNIDAD},
    {"PEDE_PRUNIT", &TValoresRegistro::PEDE_PRUNIT},
    {"PEDE_DTOPORC", &TValoresRegistro::PEDE_DTOPORC},
};

TEST(ValoresRegistro, CadaNombreLlenaSuValor) {
  for (const auto& [nombre, valor] : kNombres) {
    CImportacion importacion;
    importacion.Add(Fila(nombre, 2));
    TValoresRegistro valores;
    asigne_valores(Campos({"uno", "dos"}), importacion, valores);
    for (const auto& [otro, miembro] : kNombres) {
      EXPECT_EQ(valores.*miembro, miembro == valor ? "dos" : "") << nombre << " -> " << otro;
    }
  }
}

TEST(ValoresRegistro, EntradasQueNoCuentan) {
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
    TValoresRegistro valores;
    asigne_valores(campos, importacion, valores);
    EXPECT_EQ(valores.PREF_PRE, "") << "'" << fila.DATO << "' " << fila.COLUMNA << " '"
                                    << fila.IMPORTAR << "'";
    EXPECT_EQ(importacion.size(), 1u);  // kept as a row all the same
  }
}

TEST(ValoresRegistro, ColumnasEnLosExtremos) {
  CImportacion importacion;
  importacion.Add(Fila("PREF_PRE", 1));
  importacion.Add(Fila("ARTI_COD", 51));
  std::vector<std::string> textos(TCamposRegistro::kFieldCount);
  textos.front() = "primero";
  textos.back() = "ultimo";
  TValoresRegistro valores;
  asigne_valores(Campos(textos), importacion, valores);
  EXPECT_EQ(valores.PREF_PRE, "primero");
  EXPECT_EQ(valores.ARTI_COD, "ultimo");
}

TEST(Importacion, FilasEnOrdenDeColumna) {
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
TEST(ValoresRegistro, VariasEntradasParaUnValor) {
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
    TValoresRegistro valores;
    asigne_valores(Campos(caso.textos), importacion, valores);
    EXPECT_EQ(valores.PEDE_CANT, caso.esperado);
  }
}

TEST(ValoresRegistro, EntradasDeLaMismaColumnaEnOrdenDeAlta) {
  CImportacion importacion;
  importacion.Add(Fila("PREF_PRE", 2));
  importacion.Add(Fila("PREF_PRE", 1));
  importacion.Add(Fila("PREF_PRE", 2, "no"));
  importacion.Add(Fila("PEDI_NOMTERC", 2));  // one field feeds two values
  TValoresRegistro valores;
  asigne_valores(Campos({"uno", "dos"}), importacion, valores);
  EXPECT_EQ(valores.PREF_PRE, "dos");
  EXPECT_EQ(valores.PEDI_NOMTERC, "dos");
}

TEST(ValoresRegistro, LosValoresPasanDeUnRegistroAlSiguiente) {
  CImportacion importacion;
  importacion.Add(Fila("PREF_PRE", 1));
  importacion.Add(Fila("PEDI_NUMERO", 2));
  importacion.Add(Fila("PEDI_NOMTERC", 3));
  importacion.Add(Fila("ARTI_COD", 4));
  const struct {
    std::vector<std::string> textos;
    std::vector<std::string> valores;  // prefix, number, name, article after the record
  } registros[] = {
      {{"PV", "100", "ACME", "A1"}, {"PV", "100", "ACME", "A1"}},
      {{"", "", "", "A2"}, {"PV", "100", "ACME", "A2"}},   // empty fields keep the values
      {{"", "", "", ""}, {"PV", "100", "ACME", "A2"}},
      {{"", "101", "  ", ""}, {"PV", "101", "  ", "A2"}},  // blanks replace
      {{"pv"}, {"pv", "101", "  ", "A2"}},
  };
  TValoresRegistro valores;
  for (const auto& registro : registros) {
    asigne_valores(Campos(registro.textos), importacion, valores);
    EXPECT_EQ((std::vector<std::string>{valores.PREF_PRE, valores.PEDI_NUMERO,
                                        valores.PEDI_NOMTERC, valores.ARTI_COD}),
              registro.valores);
  }
}

// A later text that differs from the value in a single byte, at any
// position and for any length, replaces it; an equal one leaves it equal.
TEST(ValoresRegistro, UnByteDistintoReemplazaElValor) {
  CImportacion importacion;
  importacion.Add(Fila("TERC_NIT", 1));
  for (std::size_t largo = 1; largo <= 40; ++largo) {
    for (std::size_t i = 0; i < largo; ++i) {
      std::string primero(largo, 'a');
      for (std::size_t k = 0; k < largo; ++k) primero[k] = static_cast<char>('a' + k % 26);
      std::string segundo = primero;
      segundo[i] = 'Z';
      TValoresRegistro valores;
      asigne_valores(Campos({primero}), importacion, valores);
      asigne_valores(Campos({segundo}), importacion, valores);
      ASSERT_EQ(valores.TERC_NIT, segundo) << largo << " " << i;
      asigne_valores(Campos({segundo + "x"}), importacion, valores);
      ASSERT_EQ(valores.TERC_NIT, segundo + "x");
      asigne_valores(Campos({primero}), importacion, valores);
      ASSERT_EQ(valores.TERC_NIT, primero);
    }
  }
}

TEST(ValoresRegistro, LayoutVacioNoCambiaNada) {
  const CImportacion importacion;
  TValoresRegistro valores;
  asigne_valores(Campos({"PV", "1"}), importacion, valores);
  for (const auto& [nombre, valor] : kNombres) EXPECT_EQ(valores.*valor, "") << nombre;
}

TEST(ValoresRegistro, TextoDelRegistro) {
  const struct {
    const char* prefijo;
    const char* numero;
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
    TValoresRegistro valores;
    valores.PREF_PRE = caso.prefijo;
    valores.PEDI_NUMERO = caso.numero;
    valores.PEDI_NOMTERC = caso.nombre;
    valores.ARTI_COD = "no aparece";
    EXPECT_EQ(valores.RecordText(), caso.texto);
  }
}

}  // namespace
}  // namespace imp
