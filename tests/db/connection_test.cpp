// The connection and the query-backed sets on a real embedded database:
// opening, states, failed opens, transactions, reconnects, the sets' rows,
// declared fields and null reads.

#include "db/connection.h"

#include <gtest/gtest.h>

#include "db/query_set.h"
#include "tests/support/fresh_database.h"

namespace imp {
namespace {

using imp::testing::FreshDatabase;

class ConnectionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = new FreshDatabase(); }
  static void TearDownTestSuite() { delete db_; }
  void SetUp() override { db_->Configure(conn_); }

  static inline FreshDatabase* db_ = nullptr;
  Connection conn_;
  RegionalSettings rs_;
};

TEST(ConnectionOpen, MissingDatabaseFailsAndStaysClosed) {
  Connection conn;
  const std::string path = "/tmp/importa-no-such/datos/01/norvela.fdb";
  conn.SetParam("Database", path);
  conn.SetParam("User_Name", "SYSDBA");
  try {
    conn.Open();
    FAIL();
  } catch (const DatabaseFailure& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("dbExpress Error: Unable to connect\nSQL Server Error: ", 0), 0u) << text;
    EXPECT_NE(text.find(path), std::string::npos) << text;
  }
  EXPECT_EQ(conn.state(), ConnectionState::kClosed);
  EXPECT_FALSE(conn.connected());
  // A set opened on the closed connection tries to open it, and fails alike.
  RegionalSettings rs;
  QuerySet set(conn, rs, "CImporinv", "SELECT * FROM IMPORTACION_INVENTARIO");
  EXPECT_THROW(set.Open(), DatabaseFailure);
  EXPECT_FALSE(set.active());
  EXPECT_EQ(conn.state(), ConnectionState::kClosed);
}

TEST_F(ConnectionTest, OpeningASetOpensTheConnection) {
  EXPECT_EQ(conn_.state(), ConnectionState::kClosed);
  QuerySet set(conn_, rs_, "CImporinv", "SELECT * FROM IMPORTACION_INVENTARIO");
  set.SetCommandText(
      "select * from importacion_inventario where IMIN_TIPO = 23 order by imin_columna");
  set.Open();
  EXPECT_EQ(conn_.state(), ConnectionState::kOpen);
  ASSERT_EQ(set.RecordCount(), 17);
  int expected = 1;
  for (set.First(); !set.Eof(); set.Next()) EXPECT_EQ(set.AsInteger("IMIN_COLUMNA"), expected++);
  EXPECT_EQ(expected, 18);
  set.First();
  EXPECT_EQ(set.AsText("imin_dato"), "PREF_PRE");
  EXPECT_EQ(set.FieldName(0), "IMIN_ID");
}

TEST_F(ConnectionTest, RowsOutliveTheConnectionAndOpenSetsRereadNothing) {
  QuerySet set(conn_, rs_, "CImporinv");
  set.SetCommandText("select imin_dato from importacion_inventario where imin_tipo = 0");
  set.Open();
  ASSERT_EQ(set.RecordCount(), 4);

  Connection other;
  db_->Configure(other);
  other.BeginTransaction();
  fb::Statement& ins = other.Prepared(
      "insert into importacion_inventario (imin_tipo, imin_dato, imin_columna) values (0, 'X', 9)");
  ins.Execute(other.transaction());
  other.Commit();

  set.Open();  // already open: nothing re-read
  EXPECT_EQ(set.RecordCount(), 4);
  conn_.Close();
  EXPECT_TRUE(set.active());
  set.First();
  EXPECT_EQ(set.AsText(0), "ARTI_COD");
  set.Close();
  set.Open();  // reconnects, and sees the other connection's commit
  EXPECT_EQ(set.RecordCount(), 5);

  other.BeginTransaction();
  other.Prepared("delete from importacion_inventario where imin_dato = 'X'").Execute(other.transaction());
  other.Commit();
}

TEST_F(ConnectionTest, ReadTransactionSeesLaterCommits) {
  const std::string sql = "select count(*) from pedidos";
  auto count = [&] { return conn_.Query(conn_.Prepared(sql))[0][0].integer; };
  EXPECT_EQ(count(), 0);
  conn_.BeginTransaction();
  EXPECT_TRUE(conn_.InTransaction());
  EXPECT_THROW(conn_.BeginTransaction(), DatabaseFailure);
  conn_.Prepared(
           "insert into pedidos (pedi_id, terc_nit, vend_cod, tido_cod, pref_pre, pedi_numero, "
           "pedi_fecha, pedi_ivainc) values (77, '1', 1, 34, 'PV', '1', current_date, 'S')")
      .Execute(conn_.transaction());
  EXPECT_EQ(count(), 0);  // not yet committed
  conn_.Commit();
  EXPECT_FALSE(conn_.InTransaction());
  EXPECT_EQ(count(), 1);

  conn_.BeginTransaction();
  conn_.Prepared("delete from pedidos").Execute(conn_.transaction());
  conn_.Rollback();
  EXPECT_EQ(count(), 1);
  conn_.BeginTransaction();
  conn_.Prepared("delete from pedidos").Execute(conn_.transaction());
  conn_.Close();  // an unfinished write is rolled back
  EXPECT_FALSE(conn_.InTransaction());
  EXPECT_EQ(count(), 1);
  conn_.BeginTransaction();
  conn_.Prepared("delete from pedidos").Execute(conn_.transaction());
  conn_.Commit();
  EXPECT_EQ(count(), 0);
}

TEST_F(ConnectionTest, StatementsArePreparedAgainAfterAReconnect) {
  fb::Statement& first = conn_.Prepared("select 1 from rdb$database");
  EXPECT_EQ(&conn_.Prepared("select 1 from rdb$database"), &first);
  conn_.Query(first);
  const uint64_t before = conn_.statements_executed();
  EXPECT_GE(before, 1u);
  conn_.Close();
  EXPECT_EQ(conn_.statements_executed(), before);
  EXPECT_EQ(conn_.Query(conn_.Prepared("select 1 from rdb$database"))[0][0].integer, 1);
  EXPECT_EQ(conn_.statements_executed(), before + 1);
}

TEST_F(ConnectionTest, DeclaredFieldMissingFromTheResult) {
  QuerySet set(conn_, rs_, "CFactor", "SELECT * FROM FACTOR_UNIDAD_CANT('01', 'UNIDAD')",
               {"FACTOR"});
  set.SetCommandText("select 1 as otro from rdb$database");
  try {
    set.Open();
    FAIL();
  } catch (const Failure& e) {
    EXPECT_STREQ(e.what(), "CFactor: Campo 'FACTOR' no encontrado");
  }
  EXPECT_FALSE(set.active());
  // Declared fields are matched by name in any case and exposed in their
  // own order, whatever the statement's.
  set.SetCommandText("select 2 as dos, cast(3.5 as numeric(15,4)) as factor from rdb$database");
  set.Open();
  EXPECT_EQ(set.FieldCount(), 1);
  EXPECT_EQ(set.FieldName(0), "FACTOR");
  EXPECT_EQ(set.AsCurrency(0), Currency::FromCount(35000));
  try {
    set.AsText("DOS");
    FAIL();
  } catch (const Failure& e) {
    EXPECT_STREQ(e.what(), "CFactor: Campo 'DOS' no encontrado");
  }
}

struct ReadCase {
  const char* expression;
  const char* text;
  int32_t integer;
  int64_t count;  // currency count
};

TEST_F(ConnectionTest, FieldsReadAsTextIntegerAndCurrency) {
  RegionalSettings comma;
  comma.decimal_separator = ',';
  const ReadCase cases[] = {
      {"cast(null as integer)", "", 0, 0},
      {"cast(null as varchar(5))", "", 0, 0},
      {"cast(null as numeric(15,4))", "", 0, 0},
      {"cast(12.5 as numeric(15,4))", "12,5", 12, 125000},
      {"cast(3 as numeric(15,4))", "3", 3, 30000},
      {"cast(-0.5 as numeric(15,2))", "-0,5", 0, -5000},
      // Decimals go through a double: 1.23465 is just above the tie there.
      {"cast(1.23465 as numeric(15,5))", "1,23465", 1, 12347},
      {"cast(19 as integer)", "19", 19, 190000},
      {"cast('42' as varchar(5))", "42", 42, 420000},
      {"cast(2.5 as double precision)", "2,5", 2, 25000},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.expression);
    QuerySet set(conn_, comma, "CBorrar");
    set.SetCommandText(std::string("select ") + c.expression + " from rdb$database");
    set.Open();
    EXPECT_EQ(set.AsText(0), c.text);
    EXPECT_EQ(set.AsInteger(0), c.integer);
    EXPECT_EQ(set.AsCurrency(0), Currency::FromCount(c.count));
  }
}

TEST_F(ConnectionTest, EmptyResultHasNoCurrentRow) {
  QuerySet set(conn_, rs_, "CBorrar");
  set.SetCommandText("select 1 from rdb$database where 1 = 0");
  set.Open();
  EXPECT_TRUE(set.IsEmpty());
  EXPECT_TRUE(set.Eof());
  try {
    set.AsText(0);
    FAIL();
  } catch (const Failure& e) {
    EXPECT_STREQ(e.what(), "CBorrar: No hay registro actual");
  }
}

}  // namespace
}  // namespace imp
