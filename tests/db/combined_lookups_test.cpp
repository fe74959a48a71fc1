// Lookups read ahead in one statement: whatever the keys, every lookup gives
// exactly what its own statement gives (values, the rows and column types of
// its set, message boxes, failures), in one statement when the combination
// can be used and one by one when it cannot.

#include "db/combined_lookups.h"

#include <gtest/gtest.h>

#include <firebird/Interface.h>

#include <functional>
#include <string>
#include <vector>

#include "db/tfdm.h"
#include "tests/db/lookup_fixture.h"
#include "tests/support/fresh_database.h"
#include "values/conversions.h"

namespace imp {
namespace {

using imp::testing::FreshDatabase;

struct RecordingDialogs : Dialogs {
  std::vector<std::string> shown;
  std::function<void()> while_shown;  // runs while a box is open
  void ShowMessage(const std::string& text) override { Show("mensaje: " + text); }
  void ShowError(const std::string& text) override { Show("error: " + text); }
  void Show(const std::string& text) {
    shown.push_back(text);
    if (while_shown) while_shown();
  }
};

const FieldDef kArtiCod{"ARTI_COD", FieldType::kText, 15, true};
const FieldDef kPedeDesc{"PEDE_DESC", FieldType::kText, 60, false};
const FieldDef kPedeUnidad{"PEDE_UNIDAD", FieldType::kText, 8, false};
const FieldDef kPedeIvaporc{"PEDE_IVAPORC", FieldType::kDecimal, 4, false};
const FieldDef kPedeConsumo{"PEDE_CONSUMO", FieldType::kDecimal, 2, false};

// Every row of a set, with each value's kind and scale.
std::string SetText(const QuerySet& set) {
  std::string text = set.name() + (set.active() ? "[" : "[cerrado");
  QuerySet& s = const_cast<QuerySet&>(set);
  if (set.active()) {
    for (s.First(); !s.Eof(); s.Next()) {
      text += "{";
      for (int i = 0; i < s.FieldCount(); ++i) {
        const fb::Value& v = s.Value(i);
        text += s.FieldName(i) + "=" + s.AsText(i) + "/" +
                std::to_string(static_cast<int>(v.kind)) + "/" + std::to_string(v.scale) + " ";
      }
      text += "}";
    }
    s.First();
  }
  return text + "]";
}

struct Linea {
  const char* codigo;
  const char* unidad;  // the record's unit ("" keeps the article's)
  const char* nit;
  const char* sucursal;
};

// A line's lookups as adding the line asks for them, and everything they
// give.
std::string Recorrido(Tfdm& fdm, RecordingDialogs& dialogs, const Linea& l) {
  const RegionalSettings rs;
  const Date hoy = *Date::FromYmd(2026, 1, 15);
  Field arti(kArtiCod), desc(kPedeDesc), unidad(kPedeUnidad), iva(kPedeIvaporc),
      consumo(kPedeConsumo);
  std::string r;
  dialogs.shown.clear();
  try {
    const bool valido = fdm.valide_articulo(l.codigo, arti, desc, unidad);
    r += std::string("valido=") + (valido ? "si" : "no") + " " + arti.AsText(rs) + "|" +
         desc.AsText(rs) + "|" + unidad.AsText(rs) + " " + SetText(fdm.CValarticulo) + "\n";
    if (valido) {
      fdm.imptos_articulo(arti.AsText(rs), iva, consumo);
      r += "iva=" + iva.AsText(rs) + " consumo=" + consumo.AsText(rs) + " " +
           SetText(fdm.CArticulo) + "\n";
      if (*l.unidad) unidad.SetText(l.unidad, rs, hoy);
      r += "factor=" + fdm.factor_unidad(arti.AsText(rs), unidad.AsText(rs)).ToText(rs) + " " +
           SetText(fdm.CFactor) + "\n";
      const std::string lista = fdm.PriceList(l.nit, l.sucursal);
      const auto [dto1, dto2] =
          fdm.PriceListDiscounts(arti.AsText(rs), lista.empty() ? 1 : TextToInteger(lista));
      r += "lista=" + lista + " dto1=" + dto1 + " dto2=" + dto2 + "\n";
    }
  } catch (const Failure& falla) {
    r += std::string("falla: ") + falla.what() + "\n";
  }
  for (const std::string& box : dialogs.shown) r += box + "\n";
  return r;
}

class CombinedLookupsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new FreshDatabase();
    db_->Exec(testing::kLookupFixture);
    db_->Exec(
        "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
        "VALUES ('FACTURACION', 'PEDIDOS', 'DIAS DE VALIDEZ', '15');");
  }
  static void TearDownTestSuite() { delete db_; }

  void SetUp() override {
    for (Tfdm* fdm : {&solo_, &junto_}) {
      db_->Configure(fdm->Norvela);
      fdm->Norvela.Open();
    }
    solo_.set_dialogs(&dialogs_solo_);
    junto_.set_dialogs(&dialogs_junto_);
  }

  template <typename F>
  uint64_t Statements(Tfdm& fdm, F&& f) {
    const uint64_t before = fdm.statements_executed();
    f();
    return fdm.statements_executed() - before;
  }

  // What `leer` gives (reading ahead, then asking) equals `esperado`, in
  // one statement when `una` holds and more otherwise.
  template <typename F>
  void ExpectSameReading(const std::string& esperado, bool una, F&& leer) {
    std::string leido;
    const uint64_t sentencias = Statements(junto_, [&] { leido = leer(); });
    EXPECT_EQ(leido, esperado);
    if (una) {
      EXPECT_EQ(sentencias, 1u);
    } else {
      EXPECT_GT(sentencias, 1u);
    }
  }

  // A connection of its own, for changing data while the lookups run.
  fb::Attachment Otra() {
    fb::AttachOptions o;
    o.database = db_->path();
    o.user = "SYSDBA";
    o.password = "masterkey";
    return fb::Attachment::Attach(o);
  }
  void Ejecute(fb::Attachment& att, const std::string& sql) {
    fb::Transaction tra = fb::Transaction::Begin(att);
    fb::Statement::Prepare(att, tra, sql).Execute(tra);
    tra.Commit();
  }

  static inline FreshDatabase* db_ = nullptr;
  Tfdm solo_;   // every lookup runs its own statement
  Tfdm junto_;  // the lookups read ahead
  RecordingDialogs dialogs_solo_, dialogs_junto_;
};

struct LineCase {
  Linea linea;
  bool una_sentencia;  // the whole line is answered by the combined statement
};

const LineCase kLines[] = {
    {{"A1", "", "800", "01"}, true},
    // Found by barcode; the branch's list is null, so list 1.
    {{"7700001", "", "800", "02"}, true},
    {{"A1", "BULTO", "800", "01"}, true},
    {{"A1", "CAJA", "800", "01"}, true},      // a null factor
    {{"A1", "NOUNIDAD", "800", "01"}, true},  // no factor row
    {{"A2", "", "800", "01"}, true},          // no VAT rate row, no price row
    {{"O'X", "", "800", "01"}, true},         // a quote; null consumption tax
    {{"A1", "", "900", "01"}, true},          // a customer without branches
    {{"A1", "", "800'", "0'1"}, true},
    // The unit field keeps 8 characters: the factor is asked with a key the
    // combination did not read, so it runs its own statement.
    {{"A1", "UNIDADMUYLARGA", "800", "01"}, false},
    {{"NOEXISTE", "", "800", "01"}, true},  // a message box
    {{"CINCO", "", "800", "01"}, true},
    {{"SIN FILAS", "", "800", "01"}, true},  // failures of TIPO
    {{"LETRA", "", "800", "01"}, true},
};

TEST_F(CombinedLookupsTest, EachLineReadsAsItsOwnStatements) {
  for (const LineCase& c : kLines) {
    SCOPED_TRACE(std::string(c.linea.codigo) + " " + c.linea.unidad + " " + c.linea.nit);
    const std::string esperado = Recorrido(solo_, dialogs_solo_, c.linea);
    ExpectSameReading(esperado, c.una_sentencia, [&] {
      junto_.Preload(nullptr, {{c.linea.codigo, c.linea.unidad, c.linea.nit, c.linea.sucursal}});
      return Recorrido(junto_, dialogs_junto_, c.linea);
    });
  }
}

TEST_F(CombinedLookupsTest, SixteenLinesInOneStatementAndTheSeventeenthOnItsOwn) {
  std::vector<Linea> lineas;
  // The lines that neither fail nor show a box (a box drops what was read).
  for (const LineCase& c : kLines) {
    const std::string codigo = c.linea.codigo;
    if (c.una_sentencia && codigo != "SIN FILAS" && codigo != "LETRA" && codigo != "NOEXISTE")
      lineas.push_back(c.linea);
  }
  while (lineas.size() < Tfdm::kLinesPerRead + 1) lineas.push_back(lineas[lineas.size() % 5]);
  std::vector<Tfdm::LineLookups> consultas;
  for (const Linea& l : lineas) consultas.push_back({l.codigo, l.unidad, l.nit, l.sucursal});

  std::vector<std::string> esperados, leidos;
  for (const Linea& l : lineas) esperados.push_back(Recorrido(solo_, dialogs_solo_, l));
  // The lines the first reading covers cost it alone; the one after runs
  // its own statements (at most five).
  std::vector<uint64_t> sentencias;
  sentencias.push_back(Statements(junto_, [&] { junto_.Preload(nullptr, consultas); }));
  for (const Linea& l : lineas)
    sentencias.push_back(Statements(junto_, [&] { leidos.push_back(Recorrido(junto_, dialogs_junto_, l)); }));
  EXPECT_EQ(leidos, esperados);
  EXPECT_EQ(sentencias[0], 1u);
  for (size_t i = 1; i <= Tfdm::kLinesPerRead; ++i) EXPECT_EQ(sentencias[i], 0u) << i;
  EXPECT_GE(sentencias.back(), 4u);
}

struct OrderCase {
  const char* prefijo;
  const char* punto;
  bool una_sentencia;
};

TEST_F(CombinedLookupsTest, HeadersReadAsTheirOwnStatements) {
  const OrderCase casos[] = {
      {"FE", "", true},   {"X'Y", "5", true}, {"ZZ", "6", true},  // 6: no warehouse
      {"FE", "99", true},                                          // no point of sale
      // Not a number: the combined statement fails, and the warehouse's own
      // statement meets the failure where it belongs.
      {"FE", "abc", false},
  };
  auto recorrido = [](Tfdm& fdm, RecordingDialogs& dialogs, const OrderCase& c) {
    dialogs.shown.clear();
    std::string r;
    try {
      r += "ivainc=" + fdm.PrefixIncludesVat(c.prefijo) + " " + SetText(fdm.CBorrar);
      r += " validez=" + fdm.configuracion("FACTURACION", "PEDIDOS", "DIAS DE VALIDEZ") + " " +
           SetText(fdm.CConfiguracion);
      if (*c.punto) r += " bodega=" + fdm.PointOfSaleWarehouse(c.punto);
    } catch (const Failure& falla) {
      r += std::string(" falla: ") + falla.what();
    }
    for (const std::string& box : dialogs.shown) r += "\n" + box;
    return r;
  };
  for (const OrderCase& c : casos) {
    SCOPED_TRACE(std::string(c.prefijo) + " " + c.punto);
    const std::string esperado = recorrido(solo_, dialogs_solo_, c);
    const Tfdm::HeaderLookups pedido{c.prefijo, c.punto};
    ExpectSameReading(esperado, c.una_sentencia, [&] {
      junto_.Preload(&pedido, {});
      return recorrido(junto_, dialogs_junto_, c);
    });
  }
}

TEST_F(CombinedLookupsTest, WhatChangesWhileABoxIsOpenIsSeenAfterIt) {
  // The operator, shown that a code does not exist, changes a discount
  // before closing the box: the lines after it see the change.
  fb::Attachment otra = Otra();
  dialogs_junto_.while_shown = [&] {
    Ejecute(otra, "UPDATE PRECIOS_ARTICULO SET PRAR_DTO2 = 8 WHERE ARTI_COD = 'A1' AND LIPR_COD = 3");
  };
  const Linea desconocida{"NOEXISTE", "", "800", "01"}, a1{"A1", "", "800", "01"};
  junto_.Preload(nullptr, {{desconocida.codigo, "", "800", "01"}, {a1.codigo, "", "800", "01"}});
  EXPECT_EQ(Recorrido(junto_, dialogs_junto_, desconocida),
            Recorrido(solo_, dialogs_solo_, desconocida));
  const std::string leido = Recorrido(junto_, dialogs_junto_, a1);
  Ejecute(otra, "UPDATE PRECIOS_ARTICULO SET PRAR_DTO2 = 3 WHERE ARTI_COD = 'A1' AND LIPR_COD = 3");
  EXPECT_NE(leido.find("dto2=8\n"), std::string::npos) << leido;
}

TEST_F(CombinedLookupsTest, AnswersDoNotOutliveTheConnection) {
  fb::Attachment otra = Otra();
  const Linea a1{"A1", "", "800", "01"};
  junto_.Preload(nullptr, {{a1.codigo, "", "800", "01"}});
  Ejecute(otra, "UPDATE ARTICULO SET ARTI_CONSUMO = 77 WHERE ARTI_COD = 'A1'");
  junto_.Norvela.Close();
  junto_.Norvela.Open();
  const std::string leido = Recorrido(junto_, dialogs_junto_, a1);
  const std::string esperado = Recorrido(solo_, dialogs_solo_, a1);
  Ejecute(otra, "UPDATE ARTICULO SET ARTI_CONSUMO = 120.5 WHERE ARTI_COD = 'A1'");
  EXPECT_EQ(leido, esperado);
  EXPECT_NE(leido.find("consumo=77.0000 "), std::string::npos) << leido;
  // Prepared again for the new open, the combination is in use again.
  EXPECT_EQ(Statements(junto_, [&] { junto_.Preload(nullptr, {{a1.codigo, "", "800", "01"}}); }), 1u);
  EXPECT_EQ(Statements(junto_, [&] { Recorrido(junto_, dialogs_junto_, a1); }), 0u);
}

TEST_F(CombinedLookupsTest, NothingIsReadWhileTheConnectionIsClosed) {
  junto_.Norvela.Close();
  EXPECT_EQ(Statements(junto_, [&] { junto_.Preload(nullptr, {{"A1", "", "800", "01"}}); }), 0u);
  EXPECT_FALSE(junto_.Norvela.connected());
}

// A company whose validation procedure gives other column types: the
// combination declares them as they are, or is left aside when it cannot.
TEST(CombinedLookupsSchema, OtherColumnTypesReadTheSame) {
  struct Variante {
    const char* nombre;
    const char* descripcion;  // type of DESCRIPCION
    const char* tipo;         // type of TIPO
    bool combinada;
  };
  const Variante variantes[] = {
      {"WIN1252", "VARCHAR(60) CHARACTER SET WIN1252", "CHAR(1) CHARACTER SET NONE", true},
      {"UTF8 e INTEGER", "VARCHAR(40) CHARACTER SET UTF8", "INTEGER", true},
      {"BLOB", "BLOB SUB_TYPE TEXT CHARACTER SET NONE", "CHAR(1) CHARACTER SET NONE", false},
  };
  FreshDatabase db;
  db.Exec(testing::kLookupFixture);
  for (const Variante& v : variantes) {
    SCOPED_TRACE(v.nombre);
    db.Exec(std::string("SET TERM ^ ;\n") +
            "ALTER PROCEDURE VALIDE_ARTICULO (CODIGO VARCHAR(255) CHARACTER SET NONE)\n"
            "RETURNS (TIPO " + v.tipo + ", DESCRIPCION " + v.descripcion +
            ", UNIDAD VARCHAR(8) CHARACTER SET NONE, ID VARCHAR(15) CHARACTER SET NONE,"
            " LOTE CHAR(1) CHARACTER SET NONE)\n"
            "AS BEGIN\n"
            "  TIPO = 0;\n"
            "  SELECT FIRST 1 1, ARTI_DESC, ARTI_UNIDAD, ARTI_COD, ARTI_LOTE FROM ARTICULO\n"
            "   WHERE ARTI_COD = :CODIGO INTO :TIPO, :DESCRIPCION, :UNIDAD, :ID, :LOTE;\n"
            "  SUSPEND;\n"
            "END^\nSET TERM ; ^\n");
    Tfdm solo, junto;
    RecordingDialogs ds, dj;
    for (Tfdm* fdm : {&solo, &junto}) {
      db.Configure(fdm->Norvela);
      fdm->Norvela.Open();
    }
    solo.set_dialogs(&ds);
    junto.set_dialogs(&dj);
    for (const Linea& l : {Linea{"A1", "BULTO", "800", "01"}, Linea{"ZZ", "", "800", "01"}}) {
      const std::string esperado = Recorrido(solo, ds, l);
      const uint64_t antes = junto.statements_executed();
      junto.Preload(nullptr, {{l.codigo, l.unidad, l.nit, l.sucursal}});
      EXPECT_EQ(Recorrido(junto, dj, l), esperado);
      const uint64_t sentencias = junto.statements_executed() - antes;
      if (v.combinada) {
        EXPECT_EQ(sentencias, 1u) << l.codigo;
      } else {
        EXPECT_EQ(sentencias, std::string(l.codigo) == "A1" ? 5u : 1u) << l.codigo;
      }
    }
  }
}

TEST(CombinedLookupsTypes, DeclaredTypes) {
  struct Case {
    fb::Column columna;
    const char* tipo;  // nullptr: not declared
  };
  const Case casos[] = {
      {{"", SQL_VARYING, 0, 15, 0, 0}, "VARCHAR(15) CHARACTER SET NONE"},
      {{"", SQL_TEXT, 0, 1, 0, 0}, "CHAR(1) CHARACTER SET NONE"},
      {{"", SQL_VARYING, 0, 160, 0, 4}, "VARCHAR(40) CHARACTER SET UTF8"},
      {{"", SQL_VARYING, 0, 60, 0, 53}, "VARCHAR(60) CHARACTER SET WIN1252"},
      {{"", SQL_VARYING, 0, 10, 0, 4}, nullptr},  // not whole characters
      {{"", SQL_VARYING, 0, 10, 0, 99}, nullptr},  // an unknown character set
      {{"", SQL_SHORT, 0, 2, 0, 0}, "SMALLINT"},
      {{"", SQL_LONG, 0, 4, 0, 0}, "INTEGER"},
      {{"", SQL_INT64, 0, 8, 0, 0}, "BIGINT"},
      {{"", SQL_INT64, -4, 8, 1, 0}, "NUMERIC(18,4)"},
      {{"", SQL_LONG, -2, 4, 2, 0}, "DECIMAL(9,2)"},
      {{"", SQL_SHORT, -1, 2, 1, 0}, "NUMERIC(4,1)"},
      {{"", SQL_DOUBLE, 0, 8, 0, 0}, "DOUBLE PRECISION"},
      {{"", SQL_TYPE_DATE, 0, 4, 0, 0}, "DATE"},
      {{"", SQL_TIMESTAMP, 0, 8, 0, 0}, "TIMESTAMP"},
      {{"", SQL_BLOB, 0, 8, 1, 0}, nullptr},
  };
  for (const Case& c : casos) {
    const std::optional<std::string> tipo = DeclaredType(c.columna);
    if (c.tipo) {
      EXPECT_EQ(tipo.value_or("(nada)"), c.tipo);
    } else {
      EXPECT_FALSE(tipo.has_value()) << *tipo;
    }
  }
}

}  // namespace
}  // namespace imp
