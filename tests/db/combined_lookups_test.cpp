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

#include "db/order_records.h"
#include "db/tfdm.h"
#include "tests/db/lookup_fixture.h"
#include "tests/support/fresh_database.h"
#include "tests/support/recording_dialogs.h"
#include "values/conversions.h"

namespace imp {
namespace {

using imp::testing::FreshDatabase;
using imp::testing::RecordingDialogs;

const FieldDef& kArticleCode = LineColumn("ARTI_COD");
const FieldDef& kLineDescription = LineColumn("PEDE_DESC");
const FieldDef& kLineUnit = LineColumn("PEDE_UNIDAD");
const FieldDef& kLineVatPercent = LineColumn("PEDE_IVAPORC");
const FieldDef& kLineConsumption = LineColumn("PEDE_CONSUMO");

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

struct LineKeys {
  const char* code;
  const char* unit;  // the record's unit ("" keeps the article's)
  const char* nit;
  const char* branch;
};

// A line's lookups as adding the line asks for them, and everything they
// give.
std::string Walk(Tfdm& fdm, RecordingDialogs& dialogs, const LineKeys& l) {
  const RegionalSettings rs;
  const Date today = *Date::FromYmd(2026, 1, 15);
  Field article_id(kArticleCode), desc(kLineDescription), unit(kLineUnit), vat(kLineVatPercent),
      consumption(kLineConsumption);
  std::string r;
  dialogs.events.clear();
  try {
    const bool valid = fdm.valide_articulo(l.code, article_id, desc, unit);
    r += std::string("valido=") + (valid ? "si" : "no") + " " + article_id.AsText(rs) + "|" +
         desc.AsText(rs) + "|" + unit.AsText(rs) + " " + SetText(fdm.CValarticulo) + "\n";
    if (valid) {
      fdm.imptos_articulo(article_id.AsText(rs), vat, consumption);
      r += "iva=" + vat.AsText(rs) + " consumo=" + consumption.AsText(rs) + " " +
           SetText(fdm.CArticulo) + "\n";
      if (*l.unit) unit.SetText(l.unit, rs, today);
      r += "factor=" + fdm.factor_unidad(article_id.AsText(rs), unit.AsText(rs)).ToText(rs) + " " +
           SetText(fdm.CFactor) + "\n";
      const std::string list = fdm.PriceList(l.nit, l.branch);
      const auto [discount1, discount2] =
          fdm.PriceListDiscounts(article_id.AsText(rs), list.empty() ? 1 : TextToInteger(list));
      r += "lista=" + list + " dto1=" + discount1 + " dto2=" + discount2 + "\n";
    }
  } catch (const Failure& failure) {
    r += std::string("falla: ") + failure.what() + "\n";
  }
  for (const std::string& box : dialogs.events) r += box + "\n";
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
    for (Tfdm* fdm : {&alone_, &combined_}) {
      db_->Configure(fdm->Norvela);
      fdm->Norvela.Open();
    }
    alone_.set_dialogs(&alone_dialogs_);
    combined_.set_dialogs(&combined_dialogs_);
  }

  template <typename F>
  uint64_t Statements(Tfdm& fdm, F&& f) {
    const uint64_t before = fdm.statements_executed();
    f();
    return fdm.statements_executed() - before;
  }

  // What `read` gives (reading ahead, then asking) equals `expected`, in
  // one statement when `one` holds and more otherwise.
  template <typename F>
  void ExpectSameReading(const std::string& expected, bool one, F&& read) {
    std::string read_text;
    const uint64_t statements = Statements(combined_, [&] { read_text = read(); });
    EXPECT_EQ(read_text, expected);
    if (one) {
      EXPECT_EQ(statements, 1u);
    } else {
      EXPECT_GT(statements, 1u);
    }
  }

  // A connection of its own, for changing data while the lookups run.
  fb::Attachment OtherAttachment() {
    fb::AttachOptions o;
    o.database = db_->path();
    o.user = "SYSDBA";
    o.password = "masterkey";
    return fb::Attachment::Attach(o);
  }
  void Execute(fb::Attachment& att, const std::string& sql) {
    fb::Transaction tra = fb::Transaction::Begin(att);
    fb::Statement::Prepare(att, tra, sql).Execute(tra);
    tra.Commit();
  }

  static inline FreshDatabase* db_ = nullptr;
  Tfdm alone_;   // every lookup runs its own statement
  Tfdm combined_;  // the lookups read ahead
  RecordingDialogs alone_dialogs_, combined_dialogs_;
};

struct LineCase {
  LineKeys line;
  bool one_statement;  // the whole line is answered by the combined statement
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
    SCOPED_TRACE(std::string(c.line.code) + " " + c.line.unit + " " + c.line.nit);
    const std::string expected = Walk(alone_, alone_dialogs_, c.line);
    ExpectSameReading(expected, c.one_statement, [&] {
      combined_.Preload(nullptr, {{c.line.code, c.line.unit, c.line.nit, c.line.branch}});
      return Walk(combined_, combined_dialogs_, c.line);
    });
  }
}

TEST_F(CombinedLookupsTest, SixteenLinesInOneStatementAndTheSeventeenthOnItsOwn) {
  std::vector<LineKeys> lines;
  // The lines that neither fail nor show a box (a box drops what was read).
  for (const LineCase& c : kLines) {
    const std::string code = c.line.code;
    if (c.one_statement && code != "SIN FILAS" && code != "LETRA" && code != "NOEXISTE")
      lines.push_back(c.line);
  }
  while (lines.size() < Tfdm::kLinesPerRead + 1) lines.push_back(lines[lines.size() % 5]);
  std::vector<Tfdm::LineLookups> lookups;
  for (const LineKeys& l : lines) lookups.push_back({l.code, l.unit, l.nit, l.branch});

  std::vector<std::string> expected_all, read_texts;
  for (const LineKeys& l : lines) expected_all.push_back(Walk(alone_, alone_dialogs_, l));
  // The lines the first reading covers cost it alone; the one after runs
  // its own statements (at most five).
  std::vector<uint64_t> statements;
  statements.push_back(Statements(combined_, [&] { combined_.Preload(nullptr, lookups); }));
  for (const LineKeys& l : lines)
    statements.push_back(Statements(combined_, [&] { read_texts.push_back(Walk(combined_, combined_dialogs_, l)); }));
  EXPECT_EQ(read_texts, expected_all);
  EXPECT_EQ(statements[0], 1u);
  for (size_t i = 1; i <= Tfdm::kLinesPerRead; ++i) EXPECT_EQ(statements[i], 0u) << i;
  EXPECT_GE(statements.back(), 4u);
}

struct OrderCase {
  const char* prefix;
  const char* point;
  bool one_statement;
};

TEST_F(CombinedLookupsTest, HeadersReadAsTheirOwnStatements) {
  const OrderCase cases[] = {
      {"FE", "", true},   {"X'Y", "5", true}, {"ZZ", "6", true},  // 6: no warehouse
      {"FE", "99", true},                                          // no point of sale
      // Not a number: the combined statement fails, and the warehouse's own
      // statement meets the failure where it belongs.
      {"FE", "abc", false},
  };
  auto walk = [](Tfdm& fdm, RecordingDialogs& dialogs, const OrderCase& c) {
    dialogs.events.clear();
    std::string r;
    try {
      r += "ivainc=" + fdm.PrefixIncludesVat(c.prefix) + " " + SetText(fdm.CBorrar);
      r += " validez=" + fdm.configuracion("FACTURACION", "PEDIDOS", "DIAS DE VALIDEZ") + " " +
           SetText(fdm.CConfiguracion);
      if (*c.point) r += " bodega=" + fdm.PointOfSaleWarehouse(c.point);
    } catch (const Failure& failure) {
      r += std::string(" falla: ") + failure.what();
    }
    for (const std::string& box : dialogs.events) r += "\n" + box;
    return r;
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(std::string(c.prefix) + " " + c.point);
    const std::string expected = walk(alone_, alone_dialogs_, c);
    const Tfdm::HeaderLookups order{c.prefix, c.point};
    ExpectSameReading(expected, c.one_statement, [&] {
      combined_.Preload(&order, {});
      return walk(combined_, combined_dialogs_, c);
    });
  }
}

TEST_F(CombinedLookupsTest, WhatChangesWhileABoxIsOpenIsSeenAfterIt) {
  // The operator, shown that a code does not exist, changes a discount
  // before closing the box: the lines after it see the change.
  fb::Attachment other = OtherAttachment();
  combined_dialogs_.while_shown = [&] {
    Execute(other, "UPDATE PRECIOS_ARTICULO SET PRAR_DTO2 = 8 WHERE ARTI_COD = 'A1' AND LIPR_COD = 3");
  };
  const LineKeys unknown{"NOEXISTE", "", "800", "01"}, a1{"A1", "", "800", "01"};
  combined_.Preload(nullptr, {{unknown.code, "", "800", "01"}, {a1.code, "", "800", "01"}});
  EXPECT_EQ(Walk(combined_, combined_dialogs_, unknown),
            Walk(alone_, alone_dialogs_, unknown));
  const std::string read_text = Walk(combined_, combined_dialogs_, a1);
  Execute(other, "UPDATE PRECIOS_ARTICULO SET PRAR_DTO2 = 3 WHERE ARTI_COD = 'A1' AND LIPR_COD = 3");
  EXPECT_NE(read_text.find("dto2=8\n"), std::string::npos) << read_text;
}

TEST_F(CombinedLookupsTest, AnswersDoNotOutliveTheConnection) {
  fb::Attachment other = OtherAttachment();
  const LineKeys a1{"A1", "", "800", "01"};
  combined_.Preload(nullptr, {{a1.code, "", "800", "01"}});
  Execute(other, "UPDATE ARTICULO SET ARTI_CONSUMO = 77 WHERE ARTI_COD = 'A1'");
  combined_.Norvela.Close();
  combined_.Norvela.Open();
  const std::string read_text = Walk(combined_, combined_dialogs_, a1);
  const std::string expected = Walk(alone_, alone_dialogs_, a1);
  Execute(other, "UPDATE ARTICULO SET ARTI_CONSUMO = 120.5 WHERE ARTI_COD = 'A1'");
  EXPECT_EQ(read_text, expected);
  EXPECT_NE(read_text.find("consumo=77.0000 "), std::string::npos) << read_text;
  // Prepared again for the new open, the combination is in use again.
  EXPECT_EQ(Statements(combined_, [&] { combined_.Preload(nullptr, {{a1.code, "", "800", "01"}}); }), 1u);
  EXPECT_EQ(Statements(combined_, [&] { Walk(combined_, combined_dialogs_, a1); }), 0u);
}

TEST_F(CombinedLookupsTest, NothingIsReadWhileTheConnectionIsClosed) {
  combined_.Norvela.Close();
  EXPECT_EQ(Statements(combined_, [&] { combined_.Preload(nullptr, {{"A1", "", "800", "01"}}); }), 0u);
  EXPECT_FALSE(combined_.Norvela.connected());
}

// A company whose validation procedure gives other column types: the
// combination declares them as they are, or is left aside when it cannot.
TEST(CombinedLookupsSchema, OtherColumnTypesReadTheSame) {
  struct Variant {
    const char* name;
    const char* description;  // type of DESCRIPCION
    const char* kind;         // type of TIPO
    bool is_combined;
  };
  const Variant variants[] = {
      {"WIN1252", "VARCHAR(60) CHARACTER SET WIN1252", "CHAR(1) CHARACTER SET NONE", true},
      {"UTF8 e INTEGER", "VARCHAR(40) CHARACTER SET UTF8", "INTEGER", true},
      {"BLOB", "BLOB SUB_TYPE TEXT CHARACTER SET NONE", "CHAR(1) CHARACTER SET NONE", false},
  };
  FreshDatabase db;
  db.Exec(testing::kLookupFixture);
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    db.Exec(std::string("SET TERM ^ ;\n") +
            "ALTER PROCEDURE VALIDE_ARTICULO (CODIGO VARCHAR(255) CHARACTER SET NONE)\n"
            "RETURNS (TIPO " + v.kind + ", DESCRIPCION " + v.description +
            ", UNIDAD VARCHAR(8) CHARACTER SET NONE, ID VARCHAR(15) CHARACTER SET NONE,"
            " LOTE CHAR(1) CHARACTER SET NONE)\n"
            "AS BEGIN\n"
            "  TIPO = 0;\n"
            "  SELECT FIRST 1 1, ARTI_DESC, ARTI_UNIDAD, ARTI_COD, ARTI_LOTE FROM ARTICULO\n"
            "   WHERE ARTI_COD = :CODIGO INTO :TIPO, :DESCRIPCION, :UNIDAD, :ID, :LOTE;\n"
            "  SUSPEND;\n"
            "END^\nSET TERM ; ^\n");
    Tfdm alone, combined;
    RecordingDialogs ds, dj;
    for (Tfdm* fdm : {&alone, &combined}) {
      db.Configure(fdm->Norvela);
      fdm->Norvela.Open();
    }
    alone.set_dialogs(&ds);
    combined.set_dialogs(&dj);
    for (const LineKeys& l : {LineKeys{"A1", "BULTO", "800", "01"}, LineKeys{"ZZ", "", "800", "01"}}) {
      const std::string expected = Walk(alone, ds, l);
      const uint64_t statements_before = combined.statements_executed();
      combined.Preload(nullptr, {{l.code, l.unit, l.nit, l.branch}});
      EXPECT_EQ(Walk(combined, dj, l), expected);
      const uint64_t statements = combined.statements_executed() - statements_before;
      if (v.is_combined) {
        EXPECT_EQ(statements, 1u) << l.code;
      } else {
        EXPECT_EQ(statements, std::string(l.code) == "A1" ? 5u : 1u) << l.code;
      }
    }
  }
}

TEST(CombinedLookupsTypes, DeclaredTypes) {
  struct Case {
    fb::Column column;
    const char* kind;  // nullptr: not declared
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const std::optional<std::string> kind = DeclaredType(c.column);
    if (c.kind) {
      EXPECT_EQ(kind.value_or("(nada)"), c.kind);
    } else {
      EXPECT_FALSE(kind.has_value()) << *kind;
    }
  }
}

}  // namespace
}  // namespace imp
