// The order store against a fresh embedded company database: numbering,
// sums, the header/line link, required fields, and what a write leaves in
// the tables (read back through an attachment of its own).

#include "db/order_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db/firebird.h"
#include "db/tfdm.h"
#include "tests/support/fresh_database.h"
#include "values/failure.h"

namespace imp {
namespace {

// A fresh company database with helpers that reach it through an attachment
// of their own, apart from the connection under test.
class CompanyDatabase {
 public:
  const std::string& path() const { return fresh_.path(); }
  void Configure(Connection& connection) const { fresh_.Configure(connection); }

  fb::Attachment Attach() const { return fb::Attachment::Attach({path(), "SYSDBA", "masterkey", 3}); }

  // Runs statements (DDL included) in one committed transaction.
  void Run(const std::vector<std::string>& statements) const {
    fb::Attachment attachment = Attach();
    for (const std::string& sql : statements) {
      fb::Transaction transaction = fb::Transaction::Begin(attachment);
      fb::Statement statement = fb::Statement::Prepare(attachment, transaction, sql);
      statement.Execute(transaction);
      transaction.Commit();
    }
  }

  std::vector<fb::Row> Select(const std::string& sql) const {
    fb::Attachment attachment = Attach();
    fb::Transaction transaction = fb::Transaction::Begin(attachment);
    fb::Statement statement = fb::Statement::Prepare(attachment, transaction, sql);
    fb::Cursor cursor = statement.Open(transaction);
    return cursor.FetchAll();
  }

 private:
  testing::FreshDatabase fresh_;
};

// Every behaviour holds whether an order's rows go one INSERT each or as
// blocks of them.
class OrderStoreTest : public ::testing::TestWithParam<OrderStore::WriteMode> {
 protected:
  OrderStoreTest() {
    db_.Configure(fdm_.Norvela);
    store_.set_write_mode(GetParam());
  }

  // Begins and posts a header as the import does, key (prefix, number).
  void BeginOrder(const std::string& prefix, const std::string& number) {
    store_.BeginHeader();
    SetHeader("TIDO_COD", "34");
    SetHeader("PEDI_ID", "0");
    SetHeader("PREF_PRE", prefix);
    SetHeader("PEDI_IVAINC", "S");
    SetHeader("PEDI_NUMERO", number);
    SetHeader("PEDI_FECHA", "1/15/24");
    SetHeader("VEND_COD", "1");
    SetHeader("TERC_NIT", "800100200");
    store_.PostHeader();
  }

  // Begins a line and sets its article, VAT amount and total (empty: none).
  void AddLine(const std::string& vat, const std::string& total, bool post = true) {
    store_.BeginLine();
    SetLine("ARTI_COD", "A1");
    SetLine("PEDE_IVAMONTO", vat);
    SetLine("PEDE_TOTAL", total);
    if (post) {
      store_.PostLine();
    } else {
      store_.DiscardLine();
    }
  }

  // The completion of an order at a change of key; returns the batch result.
  int Complete() {
    store_.EditHeader();
    const std::string vat = store_.SumIva();
    if (!vat.empty()) store_.HeaderField("PEDI_IVAMONTO").SetText(vat, rs_, today_);
    const std::string total = store_.SumTotal();
    if (!total.empty()) store_.HeaderField("PEDI_TOTAL").SetText(total, rs_, today_);
    store_.PostHeader();
    if (store_.HeaderField("PEDI_ID").AsInteger() == 0) {
      store_.EditHeader();
      store_.HeaderField("PEDI_ID").SetText(store_.SCambieidpedido(), rs_, today_);
      store_.PostHeader();
    }
    const int failed = store_.ApplyUpdates();
    if (failed > 0) store_.CancelUpdates();
    store_.Refresh();
    store_.set_contador_lineas(0);
    return failed;
  }

  void SetHeader(const char* name, const std::string& text) {
    store_.HeaderField(name).SetText(text, rs_, today_);
  }
  void SetLine(const char* name, const std::string& text) {
    store_.LineField(name).SetText(text, rs_, today_);
  }

  std::vector<fb::Row> Select(const std::string& sql) { return db_.Select(sql); }

  static std::string Failed(const std::function<void()>& action) {
    try {
      action();
    } catch (const Failure& failure) {
      return failure.what();
    }
    return "";
  }

  CompanyDatabase db_;
  Tfdm fdm_;
  OrderStore store_{fdm_};
  RegionalSettings rs_;
  Date today_ = *Date::FromYmd(2024, 1, 15);
};

std::string Text(const fb::Value& v) {
  if (v.kind == fb::Value::Kind::kNull) return "<null>";
  if (v.kind == fb::Value::Kind::kInteger) {
    std::string digits = std::to_string(v.integer < 0 ? -v.integer : v.integer);
    const std::size_t decimals = static_cast<std::size_t>(-v.scale);
    if (digits.size() <= decimals) digits.insert(0, decimals - digits.size() + 1, '0');
    // Built by appending: an insert into the middle here draws GCC 12's
    // false -Wrestrict at -O3.
    std::string text;
    if (v.integer < 0) text += '-';
    text.append(digits, 0, digits.size() - decimals);
    if (decimals > 0) {
      text += '.';
      text.append(digits, digits.size() - decimals, decimals);
    }
    return text;
  }
  return v.bytes;
}

// ---- line numbering

TEST_P(OrderStoreTest, LinesAreNumberedAcrossDiscardsAndRestartPerOrder) {
  struct Case {
    const char* steps;  // P: a posted line, D: a discarded line
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"PPP", {"1", "2", "3"}},
      {"PDPP", {"1", "3", "4"}},
      {"DDP", {"3"}},
  };
  store_.Open();
  std::vector<std::string> ids;
  int n = 0;
  for (const Case& c : cases) {
    BeginOrder("PV", std::to_string(100 + n++));
    for (const char* s = c.steps; *s; ++s) AddLine("1", "10", *s == 'P');
    ASSERT_EQ(Complete(), 0) << c.steps;
    ASSERT_EQ(store_.contador_lineas(), 0);
  }
  const auto headers = Select("SELECT PEDI_ID, PEDI_NUMERO FROM PEDIDOS ORDER BY PEDI_NUMERO");
  ASSERT_EQ(headers.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto lines = Select("SELECT PEDE_ITEM, PEDE_ANULADO, PEDE_TRANSMIT FROM PEDIDOS_DETALLE"
                              " WHERE PEDI_ID = " + Text(headers[i][0]) + " ORDER BY PEDE_ITEM");
    std::vector<std::string> items;
    for (const fb::Row& line : lines) {
      items.push_back(Text(line[0]));
      EXPECT_EQ(Text(line[1]), "N");
      EXPECT_EQ(Text(line[2]), "N");
    }
    EXPECT_EQ(items, cases[i].items) << cases[i].steps;
  }
}

// ---- sums

TEST_P(OrderStoreTest, SumsAreExactTextsOverPostedLines) {
  struct Case {
    char separator;
    std::vector<std::string> values;  // "" leaves the line without a value
    const char* sum;
  };
  const Case cases[] = {
      {'.', {}, ""},
      {'.', {"", ""}, ""},
      {'.', {"10.5", "20.25"}, "30.75"},
      {'.', {"-1.5", "1.5"}, "0"},
      {'.', {"0.0001", "2", ""}, "2"},
      {'.', {"-3.25", "1"}, "-2.25"},
      {'.', {"0.123456", "0.000004"}, "0.12"},
      // Each line as its two-decimal column stores it, half away from zero.
      {'.', {"0.005", "0.005"}, "0.02"},
      {'.', {"-0.005", "-0.0049"}, "-0.01"},
      {'.', {"377.4454", "377.4454", "0.0050"}, "754.91"},
      // A sum smaller in magnitude than its last decimal's place value.
      {'.', {"0.01", "-0.02"}, "-0.01"},
      {'.', {"-0.5", "0.45", "0.04"}, "-0.01"},
      {'.', {"99.995"}, "100"},
      {',', {"1,68", "3,24"}, "4,92"},
  };
  store_.Open();
  for (const Case& c : cases) {
    RegionalSettings rs;
    rs.decimal_separator = c.separator;
    fdm_.set_regional_settings(rs);
    rs_ = rs;
    BeginOrder("PV", "1");
    for (const std::string& v : c.values) AddLine(v, v);
    EXPECT_EQ(store_.SumIva(), c.sum);
    EXPECT_EQ(store_.SumTotal(), c.sum);
    // A line being assembled does not count until it is posted.
    store_.BeginLine();
    store_.LineField("PEDE_TOTAL").SetText(std::string("7") + c.separator + "5", rs_, today_);
    EXPECT_EQ(store_.SumTotal(), c.sum);
    store_.CancelUpdates();
  }
}

// ---- required fields and the link between header and lines

TEST_P(OrderStoreTest, PostNamesTheFirstEmptyRequiredField) {
  struct Case {
    std::vector<const char*> set;  // header fields given a value
    const char* missing;
  };
  const Case cases[] = {
      {{}, "PEDI_ID"},
      {{"PEDI_ID", "VEND_COD", "TIDO_COD"}, "TERC_NIT"},
      {{"PEDI_ID", "TERC_NIT", "VEND_COD", "TIDO_COD", "PREF_PRE", "PEDI_NUMERO", "PEDI_FECHA"},
       "PEDI_IVAINC"},
  };
  store_.Open();
  for (const Case& c : cases) {
    store_.BeginHeader();
    for (const char* name : c.set) {
      SetHeader(name, std::string(name) == "PEDI_FECHA" ? "1/1/24" : "1");
    }
    EXPECT_EQ(Failed([&] { store_.PostHeader(); }),
              std::string("Es necesario que el campo '") + c.missing + "' contenga algún valor");
    EXPECT_EQ(store_.header_state(), OrderStore::State::kInsert);
    store_.CancelUpdates();
  }
  // A line without its article is refused the same way and stays assembled.
  BeginOrder("PV", "1");
  store_.BeginLine();
  EXPECT_EQ(Failed([&] { store_.PostLine(); }),
            "Es necesario que el campo 'ARTI_COD' contenga algún valor");
  EXPECT_EQ(store_.line_state(), OrderStore::State::kInsert);
}

TEST_P(OrderStoreTest, LinesFollowTheirHeadersIdentifier) {
  store_.Open();
  BeginOrder("PV", "1");
  AddLine("1", "1");
  AddLine("1", "1");
  EXPECT_EQ(store_.LineField("PEDI_ID").AsInteger(), 0);
  store_.EditHeader();
  SetHeader("PEDI_ID", "777");
  store_.PostHeader();
  EXPECT_EQ(store_.LineField("PEDI_ID").AsInteger(), 777);
  ASSERT_EQ(store_.ApplyUpdates(), 0);
  const auto ids = Select("SELECT PEDI_ID FROM PEDIDOS_DETALLE ORDER BY PEDE_ITEM");
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(Text(ids[0][0]), "777");
  EXPECT_EQ(Text(ids[1][0]), "777");
}

// ---- what a write leaves in the tables

TEST_P(OrderStoreTest, OrderIsWrittenWithItsSumsAndDrawnIdentifier) {
  db_.Run({"ALTER SEQUENCE GEN_PEDIDOS RESTART WITH 12344"});
  store_.Open();
  BeginOrder("PV", "100");
  SetHeader("PEDI_NOMTERC", std::string(60, 'x') + "0123456789");
  AddLine("1.68", "10.5");
  AddLine("3.24", "20.25");
  ASSERT_EQ(Complete(), 0);
  EXPECT_FALSE(store_.has_pending());
  EXPECT_EQ(store_.header_count(), 0u);

  const auto header =
      Select("SELECT PEDI_ID, PEDI_TOTAL, PEDI_IVAMONTO, PEDI_NOMTERC FROM PEDIDOS");
  ASSERT_EQ(header.size(), 1u);
  EXPECT_EQ(Text(header[0][0]), "12345");
  EXPECT_EQ(Text(header[0][1]), "30.75");
  EXPECT_EQ(Text(header[0][2]), "4.92");
  EXPECT_EQ(Text(header[0][3]), std::string(60, 'x'));
  const auto lines = Select("SELECT PEDI_ID FROM PEDIDOS_DETALLE");
  ASSERT_EQ(lines.size(), 2u);
  for (const fb::Row& line : lines) EXPECT_EQ(Text(line[0]), "12345");
}

TEST_P(OrderStoreTest, OrderWithoutLinesIsWrittenAloneWithoutSums) {
  store_.Open();
  BeginOrder("PV", "100");
  AddLine("1", "1", false);
  AddLine("2", "2", false);
  EXPECT_EQ(store_.SumIva(), "");
  EXPECT_EQ(store_.SumTotal(), "");
  ASSERT_EQ(Complete(), 0);
  const auto header = Select("SELECT PEDI_IVAMONTO, PEDI_TOTAL FROM PEDIDOS");
  ASSERT_EQ(header.size(), 1u);
  EXPECT_TRUE(header[0][0].is_null());
  EXPECT_TRUE(header[0][1].is_null());
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS_DETALLE").empty());
}

TEST_P(OrderStoreTest, MissingIdentifierRefusesThePost) {
  db_.Run({"ALTER PROCEDURE CAMBIE_ID_PEDIDO RETURNS (ID INTEGER) AS BEGIN ID = NULL; END"});
  store_.Open();
  BeginOrder("PV", "100");
  EXPECT_EQ(store_.SCambieidpedido(), "");
  store_.EditHeader();
  SetHeader("PEDI_ID", store_.SCambieidpedido());
  EXPECT_EQ(Failed([&] { store_.PostHeader(); }),
            "Es necesario que el campo 'PEDI_ID' contenga algún valor");
  EXPECT_EQ(store_.header_state(), OrderStore::State::kEdit);
}

TEST_P(OrderStoreTest, RefusedLineDropsTheWholeOrderAndIsReported) {
  db_.Run({"ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_PRUEBA CHECK (ARTI_COD <> 'MALO')"});
  store_.Open();
  BeginOrder("PV", "100");
  AddLine("1", "10");
  store_.BeginLine();
  SetLine("ARTI_COD", "MALO");
  store_.PostLine();
  AddLine("1", "10");
  ASSERT_EQ(Complete(), 1);
  ASSERT_TRUE(store_.last_failure().has_value());
  const OrderWriteFailure& failure = *store_.last_failure();
  EXPECT_NE(failure.text.find("CK_PRUEBA"), std::string::npos) << failure.text;
  EXPECT_EQ(failure.table, "PEDIDOS_DETALLE");
  EXPECT_EQ(failure.prefix, "PV");
  EXPECT_EQ(failure.number, "100");
  EXPECT_EQ(failure.item, 2);
  EXPECT_FALSE(failure.order_id.empty());
  EXPECT_FALSE(store_.has_pending());
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS").empty());
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS_DETALLE").empty());

  BeginOrder("PV", "101");
  AddLine("1", "10");
  ASSERT_EQ(Complete(), 0);
  EXPECT_FALSE(store_.last_failure().has_value());
  const auto written = Select("SELECT PEDI_ID, PEDI_NUMERO FROM PEDIDOS");
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(Text(written[0][1]), "101");
  EXPECT_NE(Text(written[0][0]), failure.order_id);
  EXPECT_EQ(Select("SELECT * FROM PEDIDOS_DETALLE").size(), 1u);
}

TEST_P(OrderStoreTest, LostConnectionEndsTheWriteInsteadOfDroppingTheOrder) {
  store_.Open();
  BeginOrder("PV", "100");
  AddLine("1", "10");
  store_.EditHeader();
  SetHeader("PEDI_ID", store_.SCambieidpedido());
  store_.PostHeader();
  // Another session cuts every other attachment, the store's among them.
  db_.Run({"DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION"});
  const std::string failure = Failed([&] { store_.ApplyUpdates(); });
  EXPECT_NE(failure.find("connection shutdown"), std::string::npos) << failure;
  EXPECT_FALSE(store_.last_failure().has_value());
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS").empty());
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS_DETALLE").empty());
}

TEST_P(OrderStoreTest, UnsetFieldsTakeTheColumnDefault) {
  db_.Run({"ALTER TABLE PEDIDOS ALTER COLUMN PEDI_USUARIO SET DEFAULT 'IMPORTA'"});
  store_.Open();
  BeginOrder("PV", "1");
  store_.EditHeader();
  SetHeader("PEDI_ID", "5");
  SetHeader("PEDI_COTIZACI", "");  // set, though empty: written as null
  ASSERT_EQ(store_.ApplyUpdates(), 0);
  const auto row = Select("SELECT PEDI_USUARIO, PEDI_COTIZACI FROM PEDIDOS");
  ASSERT_EQ(row.size(), 1u);
  EXPECT_EQ(Text(row[0][0]), "IMPORTA");
  EXPECT_TRUE(row[0][1].is_null());
}

TEST_P(OrderStoreTest, DecimalsKeepTheirDigitsUntilTheDatabaseScalesThem) {
  struct Case {
    const char* field;
    const char* set;
    const char* read_back;  // the store's text before the write
    const char* stored;
  };
  const Case cases[] = {
      {"PEDE_IVAMONTO", "377.4463", "377.4463", "377.45"},
      {"PEDE_IVAMONTO", "0.125", "0.125", "0.13"},
      {"PEDE_IVAMONTO", "-0.125", "-0.125", "-0.13"},
      {"PEDE_CANT", "3", "3", "3.0000"},
      {"PEDE_PRUNIT", "1000.5", "1000.5", "1000.50"},
  };
  store_.Open();
  BeginOrder("PV", "1");
  store_.EditHeader();
  SetHeader("PEDI_ID", "9");
  store_.PostHeader();
  for (const Case& c : cases) {
    store_.BeginLine();
    SetLine("ARTI_COD", "A1");
    SetLine(c.field, c.set);
    EXPECT_EQ(store_.LineField(c.field).AsText(rs_), c.read_back);
    store_.PostLine();
  }
  ASSERT_EQ(store_.ApplyUpdates(), 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto row = Select(std::string("SELECT ") + cases[i].field +
                            " FROM PEDIDOS_DETALLE WHERE PEDE_ITEM = " + std::to_string(i + 1));
    ASSERT_EQ(row.size(), 1u);
    EXPECT_EQ(Text(row[0][0]), cases[i].stored) << cases[i].field << " " << cases[i].set;
  }
}

TEST_P(OrderStoreTest, EveryKindOfColumnIsWrittenAsSet) {
  struct Case {
    const char* field;
    const char* set;
    const char* stored;  // the column cast to text by the server
  };
  const Case cases[] = {
      {"PEDI_FECHA", "2/29/24", "2024-02-29"},
      {"PEDI_VENCE", "12/31/73", "2073-12-31"},
      {"PEDI_DIASCR", "-45", "-45"},
      {"PEDI_FACTOR", "1", "1.000000000000000"},
      {"PEDI_OBS", "entregar en la mañana", "entregar en la mañana"},
      {"PEDI_ANULADO", "N", "N"},
      {"PEDI_DTOPOR", "12.3456", "12.3456"},
      {"PEDI_TRM", "4000", "4000.00"},
      {"PTVT_ID", "$1F", "31"},
  };
  store_.Open();
  BeginOrder("PV", "1");
  store_.EditHeader();
  SetHeader("PEDI_ID", "3");
  for (const Case& c : cases) SetHeader(c.field, c.set);
  ASSERT_EQ(store_.ApplyUpdates(), 0);
  for (const Case& c : cases) {
    const auto row =
        Select(std::string("SELECT CAST(") + c.field + " AS VARCHAR(100)) FROM PEDIDOS");
    ASSERT_EQ(row.size(), 1u);
    EXPECT_EQ(Text(row[0][0]), c.stored) << c.field;
  }
}

TEST_P(OrderStoreTest, TransactionIsEndedOnlyByWhoeverBeganIt) {
  struct Case {
    const char* commit_retain;
    bool caller_transaction;
    bool visible_after_apply;  // to another attachment
    // Left open after the apply: 1 yes, 0 no, -1 either (a retaining
    // commit may keep it; what matters is that each order was committed).
    int in_transaction_after_apply;
  };
  const Case cases[] = {
      {"False", false, true, 0},
      {"True", false, true, -1},
      {"False", true, false, 1},
  };
  int id = 1;
  for (const Case& c : cases) {
    CompanyDatabase db;
    Tfdm fdm;
    db.Configure(fdm.Norvela);
    fdm.Norvela.SetParam("CommitRetain", c.commit_retain);
    OrderStore store(fdm);
    store.set_write_mode(GetParam());
    store.Open();
    if (c.caller_transaction) fdm.Norvela.BeginTransaction();
    for (int order = 0; order < 2; ++order) {
      store.BeginHeader();
      for (const char* name : {"TERC_NIT", "VEND_COD", "TIDO_COD", "PREF_PRE", "PEDI_NUMERO"}) {
        store.HeaderField(name).SetText("1", rs_, today_);
      }
      store.HeaderField("PEDI_ID").SetInteger(id++);
      store.HeaderField("PEDI_FECHA").SetDate(today_);
      store.HeaderField("PEDI_IVAINC").SetText("S", rs_, today_);
      ASSERT_EQ(store.ApplyUpdates(), 0);
      EXPECT_EQ(db.Select("SELECT * FROM PEDIDOS").size(),
                c.visible_after_apply ? static_cast<std::size_t>(order + 1) : 0u)
          << c.commit_retain << c.caller_transaction;
      if (c.in_transaction_after_apply >= 0) {
        EXPECT_EQ(fdm.Norvela.InTransaction(), c.in_transaction_after_apply == 1);
      }
      store.Refresh();
    }
  }
}

// ---- reading, refreshing, discarding

TEST_P(OrderStoreTest, RefreshIsRefusedWhileChangesArePending) {
  store_.Open();
  BeginOrder("PV", "1");
  EXPECT_TRUE(store_.has_pending());
  EXPECT_EQ(Failed([&] { store_.Refresh(); }),
            "Deben aplicarse las actualizaciones antes de refrescar los datos");
  store_.CancelUpdates();
  EXPECT_FALSE(store_.has_pending());
  EXPECT_EQ(store_.header_count(), 0u);
  EXPECT_EQ(Failed([&] { store_.Refresh(); }), "");
  EXPECT_EQ(store_.ApplyUpdates(), 0);
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS").empty());
}

TEST_P(OrderStoreTest, OpenReadsUnwrittenOrdersAndNamesAMissingColumn) {
  struct Case {
    const char* ddl;
    const char* failure;
  };
  const Case cases[] = {
      {"ALTER TABLE PEDIDOS DROP PEDI_EXTRA", "CFacturas: Campo 'PEDI_EXTRA' no encontrado"},
      {"ALTER TABLE PEDIDOS_DETALLE DROP PEDE_DTOM3",
       "CFactdetalle: Campo 'PEDE_DTOM3' no encontrado"},
  };
  for (const Case& c : cases) {
    CompanyDatabase db;
    db.Run({c.ddl});
    Tfdm fdm;
    db.Configure(fdm.Norvela);
    OrderStore store(fdm);
    store.set_write_mode(GetParam());
    EXPECT_EQ(Failed([&] { store.Open(); }), c.failure);
    EXPECT_FALSE(store.active());
  }

  // A header with identifier 0 left by someone else is read with its lines.
  db_.Run({"INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, PEDI_NUMERO,"
           " PEDI_FECHA, PEDI_IVAINC, PEDI_TOTAL) VALUES (0, 'N', 1, 34, 'PV', '7', "
           "'2024-01-15', 'S', 12.5)",
           "INSERT INTO PEDIDOS_DETALLE (PEDI_ID, PEDE_ITEM, ARTI_COD, PEDE_TOTAL)"
           " VALUES (0, 1, 'A1', 12.5)"});
  store_.Open();
  ASSERT_EQ(store_.header_count(), 1u);
  EXPECT_EQ(store_.HeaderField("PEDI_NUMERO").AsText(rs_), "7");
  EXPECT_EQ(store_.line_count(), 1u);
  EXPECT_EQ(store_.SumTotal(), "12.5");
  EXPECT_FALSE(store_.has_pending());
}


TEST_P(OrderStoreTest, OrderLargerThanOneStatementIsStillWholeOrNothing) {
  // 150 lines take several blocks; the refused one is far past the first.
  db_.Run({"ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_PRUEBA CHECK (ARTI_COD <> 'MALO')"});
  store_.Open();
  BeginOrder("PV", "100");
  for (int i = 1; i <= 150; ++i) {
    store_.BeginLine();
    SetLine("ARTI_COD", i == 140 ? "MALO" : "A1");
    SetLine("PEDE_TOTAL", "1");
    store_.PostLine();
  }
  ASSERT_EQ(Complete(), 1);
  ASSERT_TRUE(store_.last_failure().has_value());
  EXPECT_EQ(store_.last_failure()->table, "PEDIDOS_DETALLE");
  EXPECT_EQ(store_.last_failure()->item, 140);
  EXPECT_NE(store_.last_failure()->text.find("CK_PRUEBA"), std::string::npos);
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS").empty());
  EXPECT_TRUE(Select("SELECT * FROM PEDIDOS_DETALLE").empty());

  BeginOrder("PV", "101");
  for (int i = 1; i <= 150; ++i) AddLine("", "1");
  const uint64_t before = fdm_.Norvela.statements_executed();
  ASSERT_EQ(Complete(), 0);
  // One statement a row, or a few blocks (and the identifier).
  const uint64_t statements = fdm_.Norvela.statements_executed() - before;
  if (GetParam() == OrderStore::WriteMode::kBlocks) {
    EXPECT_LE(statements, 20u);
  } else {
    EXPECT_GE(statements, 151u);
  }
  const auto lines = Select("SELECT COUNT(*), MIN(PEDE_ITEM), MAX(PEDE_ITEM), SUM(PEDE_TOTAL)"
                            " FROM PEDIDOS_DETALLE");
  EXPECT_EQ(Text(lines[0][0]), "150");
  EXPECT_EQ(Text(lines[0][1]), "1");
  EXPECT_EQ(Text(lines[0][2]), "150");
  EXPECT_EQ(Text(lines[0][3]), "150.00");
  EXPECT_EQ(Text(Select("SELECT PEDI_TOTAL FROM PEDIDOS")[0][0]), "150.00");
}

TEST_P(OrderStoreTest, RefreshAfterAWriteFindsAnUnwrittenOrderOfSomeoneElse) {
  store_.Open();
  BeginOrder("PV", "1");
  AddLine("1", "10");
  // Committed by another attachment while the order is being built.
  db_.Run({"INSERT INTO PEDIDOS (PEDI_ID, TERC_NIT, VEND_COD, TIDO_COD, PREF_PRE, PEDI_NUMERO,"
           " PEDI_FECHA, PEDI_IVAINC) VALUES (0, 'N', 1, 34, 'PV', '7', '2024-01-15', 'S')"});
  ASSERT_EQ(Complete(), 0);
  ASSERT_EQ(store_.header_count(), 1u);
  EXPECT_EQ(store_.HeaderField("PEDI_NUMERO").AsText(rs_), "7");

  // Gone again: the next refresh after a write leaves the store empty.
  db_.Run({"DELETE FROM PEDIDOS WHERE PEDI_ID = 0"});
  BeginOrder("PV", "2");
  AddLine("1", "10");
  ASSERT_EQ(Complete(), 0);
  EXPECT_EQ(store_.header_count(), 0u);
  EXPECT_EQ(Select("SELECT * FROM PEDIDOS").size(), 2u);
}
INSTANTIATE_TEST_SUITE_P(Writes, OrderStoreTest,
                         ::testing::Values(OrderStore::WriteMode::kRows,
                                           OrderStore::WriteMode::kBlocks),
                         [](const ::testing::TestParamInfo<OrderStore::WriteMode>& info) {
                           return info.param == OrderStore::WriteMode::kRows ? "Filas"
                                                                             : "Bloques";
                         });

}  // namespace
}  // namespace imp
