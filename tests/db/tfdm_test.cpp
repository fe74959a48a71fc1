// The module's lookups on a real embedded database: the answers, the
// message boxes they ask for and when no statement runs at all.

#include "db/tfdm.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "db/order_records.h"
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


class TfdmTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new FreshDatabase();
    db_->Exec(testing::kLookupFixture);
  }
  static void TearDownTestSuite() { delete db_; }
  void SetUp() override {
    db_->Configure(fdm_.Norvela);
    fdm_.set_dialogs(&dialogs_);
  }

  // Runs `f` and returns how many statements it executed.
  template <typename F>
  uint64_t Statements(F&& f) {
    const uint64_t before = fdm_.statements_executed();
    f();
    return fdm_.statements_executed() - before;
  }

  static inline FreshDatabase* db_ = nullptr;
  Tfdm fdm_;
  RecordingDialogs dialogs_;
  RegionalSettings rs_;
  Date today_ = *Date::FromYmd(2026, 1, 15);
};

TEST_F(TfdmTest, ConfiguracionFirstRowWinsAndMissingShowsError) {
  EXPECT_EQ(fdm_.configuracion("FACTURACION", "PEDIDOS", "DOBLE"), "primero");
  EXPECT_EQ(fdm_.configuracion("FACTURACION", "DOCUMENTOS",
                               "REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"),
            "0");
  EXPECT_EQ(fdm_.configuracion("FACTURACION", "PEDIDOS", "NULO"), "");
  EXPECT_TRUE(dialogs_.errors.empty());
  EXPECT_TRUE(dialogs_.messages.empty());

  EXPECT_EQ(fdm_.configuracion("FACTURACION", "PEDIDOS", "DIAS DE VALIDEZ"), "");
  ASSERT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_EQ(dialogs_.errors[0], "No se encontró la configuración DIAS DE VALIDEZ");
  // Keys are bound, so a quote is just a character of the key.
  EXPECT_EQ(fdm_.configuracion("FACTURACION", "PEDIDOS", "D'OBLE"), "");
  EXPECT_EQ(dialogs_.errors.back(), "No se encontró la configuración D'OBLE");
}

TEST_F(TfdmTest, ConfiguracionWithoutDialogsIsSilent) {
  fdm_.set_dialogs(nullptr);
  EXPECT_EQ(fdm_.configuracion("NADA", "NADA", "NADA"), "");
}

struct ValideArticuloCase {
  const char* code;
  const char* desc_before;
  const char* unit_before;
  bool answer;
  const char* article_id_after;  // nullptr: untouched (null)
  const char* desc_after;
  const char* unit_after;
  const char* message;  // nullptr: none
};

TEST_F(TfdmTest, ValideArticuloAnswers) {
  const ValideArticuloCase cases[] = {
      {"A1", "", "", true, "A1", "ARROZ 500G", "KG", nullptr},
      {"A1", "MI DESCRIPCION", "", true, "A1", "MI DESCRIPCION", "KG", nullptr},
      {"A1", "", "CAJA", true, "A1", "ARROZ 500G", "CAJA", nullptr},
      // TIPO 2: found by barcode; the description already filled stays.
      {"7700001", "DEL ARCHIVO", "", true, "A1", "DEL ARCHIVO", "KG", nullptr},
      {"O'X", "", "", true, "O'X", "CON COMILLA", "UND", nullptr},
      {"NO'EXISTE", "", "", false, nullptr, "", "", "Código 'NO''EXISTE' no encontrado."},
      {"ZZZ", "", "", false, nullptr, "", "", "Código 'ZZZ' no encontrado."},
      {"CINCO", "", "", false, nullptr, "", "", nullptr},
      {"a1", "", "", false, nullptr, "", "", "Código 'a1' no encontrado."},
  };
  for (const ValideArticuloCase& c : cases) {
    SCOPED_TRACE(c.code);
    dialogs_.messages.clear();
    Field article_id(kArticleCode), desc(kLineDescription), unit(kLineUnit);
    if (*c.desc_before) desc.SetText(c.desc_before, rs_, today_);
    if (*c.unit_before) unit.SetText(c.unit_before, rs_, today_);
    EXPECT_EQ(fdm_.valide_articulo(c.code, article_id, desc, unit), c.answer);
    if (c.article_id_after) {
      EXPECT_EQ(article_id.AsText(rs_), c.article_id_after);
    } else {
      EXPECT_FALSE(article_id.assigned());
    }
    EXPECT_EQ(desc.AsText(rs_), c.desc_after);
    EXPECT_EQ(unit.AsText(rs_), c.unit_after);
    if (c.message) {
      ASSERT_EQ(dialogs_.messages.size(), 1u);
      EXPECT_EQ(dialogs_.messages[0], c.message);
    } else {
      EXPECT_TRUE(dialogs_.messages.empty());
    }
  }
  EXPECT_TRUE(dialogs_.errors.empty());
}

TEST_F(TfdmTest, ValideArticuloEmptyCodeRunsNoStatement) {
  fdm_.Norvela.Open();
  Field article_id(kArticleCode), desc(kLineDescription), unit(kLineUnit);
  EXPECT_EQ(Statements([&] { EXPECT_FALSE(fdm_.valide_articulo("", article_id, desc, unit)); }), 0u);
  EXPECT_FALSE(article_id.assigned() || desc.assigned() || unit.assigned());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(Statements([&] { fdm_.valide_articulo("A1", article_id, desc, unit); }), 1u);
}

TEST_F(TfdmTest, ValideArticuloKindThatIsNoNumberFails) {
  const std::pair<const char*, const char*> cases[] = {
      {"SIN FILAS", "'' no es un valor entero válido"},
      {"LETRA", "'X' no es un valor entero válido"},
  };
  for (const auto& [code, text] : cases) {
    Field article_id(kArticleCode), desc(kLineDescription), unit(kLineUnit);
    try {
      fdm_.valide_articulo(code, article_id, desc, unit);
      ADD_FAILURE() << code;
    } catch (const Failure& e) {
      EXPECT_STREQ(e.what(), text);
    }
    EXPECT_FALSE(article_id.assigned());
  }
}

struct TaxCase {
  const char* article;
  int64_t vat_count;
  int64_t consumption_count;
};

TEST_F(TfdmTest, ImptosArticulo) {
  const TaxCase cases[] = {
      {"A1", 190000, 1205000},
      {"A2", 0, 0},    // no VAT rate row
      {"O'X", 190000, 0},  // null consumption
      {"", 0, 0},
      {"NADA", 0, 0},
  };
  for (const TaxCase& c : cases) {
    SCOPED_TRACE(c.article);
    Field vat(kLineVatPercent), consumption(kLineConsumption);
    vat.SetText("16", rs_, today_);
    consumption.SetText("7", rs_, today_);
    fdm_.imptos_articulo(c.article, vat, consumption);
    EXPECT_EQ(vat.AsCurrency(), Currency::FromCount(c.vat_count));
    EXPECT_EQ(consumption.AsCurrency(), Currency::FromCount(c.consumption_count));
    EXPECT_FALSE(vat.is_null());
  }
  EXPECT_TRUE(dialogs_.messages.empty() && dialogs_.errors.empty());
}

struct FactorCase {
  const char* article;
  const char* unit;
  int64_t count;
  uint64_t statements;
};

TEST_F(TfdmTest, FactorUnidad) {
  fdm_.Norvela.Open();
  const FactorCase cases[] = {
      {"A1", "", 10000, 0},
      {"", "KG", 10000, 0},
      {"A1", "BULTO", 125000, 1},
      {"A1", "CAJA", 0, 1},   // a null factor is 0, not 1
      {"A1", "KG", 10000, 1},  // the article's own unit: no row
      {"A1", "PACA", 10000, 1},
  };
  for (const FactorCase& c : cases) {
    SCOPED_TRACE(std::string(c.article) + "/" + c.unit);
    Currency factor;
    EXPECT_EQ(Statements([&] { factor = fdm_.factor_unidad(c.article, c.unit); }), c.statements);
    EXPECT_EQ(factor, Currency::FromCount(c.count));
  }
}

TEST_F(TfdmTest, ScratchLookups) {
  const std::pair<const char*, const char*> prefixes[] = {
      {"PV", ""}, {"FE", "N"}, {"FV", ""}, {"X'Y", "S"}, {"", ""}};
  for (const auto& [prefix, expected] : prefixes)
    EXPECT_EQ(fdm_.PrefixIncludesVat(prefix), expected) << prefix;

  const std::pair<const char*, const char*> points[] = {
      {"5", "07"}, {" 5", "07"}, {"6", ""}, {"99", ""}, {"", ""}};
  for (const auto& [id, expected] : points) EXPECT_EQ(fdm_.PointOfSaleWarehouse(id), expected) << id;

  const std::tuple<const char*, const char*, const char*> lists[] = {
      {"800", "01", "3"}, {"800", "02", ""}, {"800", "", ""}, {"900", "01", ""}};
  for (const auto& [nit, branch, expected] : lists)
    EXPECT_EQ(fdm_.PriceList(nit, branch), expected) << nit << "/" << branch;

  using Pair = std::pair<std::string, std::string>;
  EXPECT_EQ(fdm_.PriceListDiscounts("A1", 3), (Pair{"", "3"}));
  EXPECT_EQ(fdm_.PriceListDiscounts("A1", 1), (Pair{"12.5", "0"}));
  EXPECT_EQ(fdm_.PriceListDiscounts("A1", 2), (Pair{"", ""}));
  RegionalSettings comma;
  comma.decimal_separator = ',';
  fdm_.set_regional_settings(comma);
  EXPECT_EQ(fdm_.PriceListDiscounts("A1", 1), (Pair{"12,5", "0"}));
  EXPECT_EQ(TextToCurrency(fdm_.PriceListDiscounts("A1", 1).first, comma),
            Currency::FromCount(125000));
}

TEST_F(TfdmTest, PointOfSaleTextIsNeverPartOfTheStatement) {
  for (const char* text : {"5 or 1=1", "abc", "5; delete from punto_venta"}) {
    SCOPED_TRACE(text);
    try {
      fdm_.PointOfSaleWarehouse(text);
      ADD_FAILURE();
    } catch (const DatabaseFailure& e) {
      EXPECT_NE(std::string(e.what()).find("conversion error from string"), std::string::npos)
          << e.what();
    }
  }
  EXPECT_EQ(fdm_.PointOfSaleWarehouse("5"), "07");
}

TEST_F(TfdmTest, LookupsReconnectAfterClose) {
  EXPECT_EQ(fdm_.PrefixIncludesVat("FE"), "N");
  fdm_.Norvela.Close();
  EXPECT_EQ(fdm_.Norvela.state(), ConnectionState::kClosed);
  EXPECT_EQ(fdm_.PrefixIncludesVat("FE"), "N");
  EXPECT_TRUE(fdm_.Norvela.connected());
}

TEST(TfdmMissingDatabase, LookupFailsWithTheClientsTextAndStaysClosed) {
  Tfdm fdm;
  const std::string path = "/tmp/importa-no-such/datos/01/norvela.fdb";
  fdm.Norvela.SetParam("Database", path);
  try {
    fdm.configuracion("FACTURACION", "PEDIDOS", "DIAS DE VALIDEZ");
    FAIL();
  } catch (const DatabaseFailure& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("dbExpress Error: Unable to connect\nSQL Server Error: ", 0), 0u) << text;
    EXPECT_NE(text.find(path), std::string::npos);
  }
  EXPECT_EQ(fdm.Norvela.state(), ConnectionState::kClosed);
}

// Splits a line of the order file: commas separate, double quotes protect.
std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    else if (c == ',' && !quoted) fields.emplace_back();
    else if (c != '\r') fields.back() += c;
  }
  return fields;
}

TEST(TfdmDemo, ExampleFileArticlesAllValidate) {
  FreshDatabase db(/*demo=*/true, "01");
  Tfdm fdm;
  RecordingDialogs dialogs;
  fdm.set_dialogs(&dialogs);
  db.Configure(fdm.Norvela);

  QuerySet layout(fdm.Norvela, fdm.regional_settings(), "CImporinv");
  layout.SetCommandText(
      "select * from importacion_inventario where IMIN_TIPO = 23 order by imin_columna");
  layout.Open();
  int column = 0;
  for (layout.First(); !layout.Eof(); layout.Next())
    if (layout.AsText("IMIN_DATO") == "ARTI_COD") column = layout.AsInteger("IMIN_COLUMNA");
  ASSERT_GT(column, 0);

  std::ifstream file(imp::testing::SourcePath("schema/examples/pedidos.csv"));
  ASSERT_TRUE(file.is_open());
  RegionalSettings rs;
  int validated = 0;
  for (std::string line; std::getline(file, line);) {
    std::vector<std::string> fields = SplitLine(line);
    if (static_cast<int>(fields.size()) < column || fields[column - 1].empty()) continue;
    const std::string& code = fields[column - 1];
    Field article_id(kArticleCode), desc(kLineDescription), unit(kLineUnit);
    EXPECT_TRUE(fdm.valide_articulo(code, article_id, desc, unit)) << code;
    EXPECT_FALSE(article_id.AsText(rs).empty()) << code;
    Field vat(kLineVatPercent), consumption(kLineConsumption);
    fdm.imptos_articulo(article_id.AsText(rs), vat, consumption);
    ++validated;
  }
  EXPECT_GE(validated, 10);
  EXPECT_EQ(dialogs.messages, std::vector<std::string>());
  EXPECT_EQ(fdm.configuracion("FACTURACION", "PEDIDOS", "DIAS DE VALIDEZ"), "30");
  EXPECT_EQ(fdm.PrefixIncludesVat("FE"), "N");
  EXPECT_EQ(fdm.PointOfSaleWarehouse("2"), "02");
  EXPECT_EQ(dialogs.errors.size(), 0u);
  // The demo's "BULTO" factor is 12.5 wherever it is registered.
  QuerySet bulk(fdm.Norvela, fdm.regional_settings(), "CBorrar");
  bulk.SetCommandText("select first 1 arti_cod from articulo_unidades where arun_unidad = 'BULTO'");
  bulk.Open();
  ASSERT_FALSE(bulk.IsEmpty());
  EXPECT_EQ(fdm.factor_unidad(bulk.AsText(0), "BULTO"), Currency::FromCount(125000));
}

}  // namespace
}  // namespace imp
