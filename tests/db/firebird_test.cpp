// The Firebird layer against a real embedded database: typed values both
// ways, failures with the client's and the server's texts, and the life of
// transactions and statements around a detach.

#include "db/firebird.h"

#include <gtest/gtest.h>

#include "tests/support/fresh_database.h"

namespace imp::fb {
namespace {

using imp::testing::FreshDatabase;

// One database for the suite: every test leaves it as it found it.
class FirebirdTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = new FreshDatabase(); }
  static void TearDownTestSuite() { delete db_; }
  void SetUp() override { att_ = Attachment::Attach({db_->path(), "SYSDBA", "", 3}); }

  // The single value of `sql` with `params` bound, read in a new transaction.
  Value One(const std::string& sql, std::vector<Value> params = {}) {
    Transaction tra = Transaction::Begin(att_);
    Statement st = Statement::Prepare(att_, tra, sql);
    for (size_t i = 0; i < params.size(); ++i) st.SetParam(static_cast<int>(i), params[i]);
    Cursor cursor = st.Open(tra);
    EXPECT_TRUE(cursor.Fetch());
    Value v = cursor.row().at(0);
    EXPECT_FALSE(cursor.Fetch());
    return v;
  }

  static int CountOrders(Attachment& att) {
    Transaction tra = Transaction::Begin(att);
    Statement st = Statement::Prepare(att, tra, "select count(*) from pedidos");
    Cursor c = st.Open(tra);
    c.Fetch();
    return static_cast<int>(c.row()[0].integer);
  }

  static inline FreshDatabase* db_ = nullptr;
  Attachment att_;
};

struct TypedCase {
  const char* expression;
  Value::Kind kind;
  int64_t integer;
  int scale;
  const char* bytes;
};

TEST_F(FirebirdTest, ColumnsReadWithTheirTypeAndExactScale) {
  const TypedCase cases[] = {
      {"cast(12.5 as numeric(15,4))", Value::Kind::kInteger, 125000, -4, ""},
      {"cast(-0.01 as numeric(15,2))", Value::Kind::kInteger, -1, -2, ""},
      {"cast(9223372036854775807 as bigint)", Value::Kind::kInteger, INT64_MAX, 0, ""},
      {"cast(-7 as smallint)", Value::Kind::kInteger, -7, 0, ""},
      {"cast(2147483647 as integer)", Value::Kind::kInteger, INT32_MAX, 0, ""},
      {"cast(123.45 as numeric(5,2))", Value::Kind::kInteger, 12345, -2, ""},
      {"cast('ab' as char(4))", Value::Kind::kText, 0, 0, "ab  "},
      {"cast('ab' as varchar(4))", Value::Kind::kText, 0, 0, "ab"},
      {"cast('' as varchar(4))", Value::Kind::kText, 0, 0, ""},
      {"cast('línea' as blob sub_type 1)", Value::Kind::kBlob, 0, 0, "línea"},
      {"cast(null as integer)", Value::Kind::kNull, 0, 0, ""},
      {"cast(null as varchar(3))", Value::Kind::kNull, 0, 0, ""},
      {"true", Value::Kind::kBoolean, 1, 0, ""},
  };
  for (const TypedCase& c : cases) {
    SCOPED_TRACE(c.expression);
    Value v = One(std::string("select ") + c.expression + " from rdb$database");
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.integer, c.integer);
    EXPECT_EQ(v.scale, c.scale);
    EXPECT_EQ(v.bytes, c.bytes);
  }
}

TEST_F(FirebirdTest, DatesAndDoubles) {
  Value d = One("select date '2024-02-29' from rdb$database");
  ASSERT_EQ(d.kind, Value::Kind::kDate);
  EXPECT_EQ(d.date, *Date::FromYmd(2024, 2, 29));
  Value old = One("select date '1858-11-16' from rdb$database");
  EXPECT_EQ(old.date, *Date::FromYmd(1858, 11, 16));
  Value x = One("select cast(0.1 as double precision) from rdb$database");
  ASSERT_EQ(x.kind, Value::Kind::kDouble);
  EXPECT_EQ(x.real, 0.1);
}

struct BoundCase {
  const char* target;
  Value input;
  Value::Kind kind;
  int64_t integer;
  int scale;
  const char* bytes;
};

TEST_F(FirebirdTest, BoundValuesAreConvertedByTheServer) {
  const BoundCase cases[] = {
      {"numeric(15,4)", Value::Integer(125000, -4), Value::Kind::kInteger, 125000, -4, ""},
      {"numeric(15,2)", Value::Integer(12345, -4), Value::Kind::kInteger, 123, -2, ""},
      {"integer", Value::Text("42"), Value::Kind::kInteger, 42, 0, ""},
      {"integer", Value::Text(" 7 "), Value::Kind::kInteger, 7, 0, ""},
      {"varchar(10)", Value::Text("O'Brien"), Value::Kind::kText, 0, 0, "O'Brien"},
      {"varchar(10)", Value::Text("\xF1" "and\xFA"), Value::Kind::kText, 0, 0, "\xF1" "and\xFA"},
      {"varchar(10)", Value::Integer(-5), Value::Kind::kText, 0, 0, "-5"},
      {"blob sub_type 1", Value::Blob(std::string(70000, 'z')), Value::Kind::kBlob, 0, 0, nullptr},
      {"blob sub_type 1", Value::Text(std::string(40000, 'y')), Value::Kind::kBlob, 0, 0, nullptr},
      {"integer", Value::Null(), Value::Kind::kNull, 0, 0, ""},
      {"date", Value::Null(), Value::Kind::kNull, 0, 0, ""},
  };
  for (const BoundCase& c : cases) {
    SCOPED_TRACE(c.target);
    Value v = One(std::string("select cast(? as ") + c.target + ") from rdb$database", {c.input});
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.integer, c.integer);
    EXPECT_EQ(v.scale, c.scale);
    EXPECT_EQ(v.bytes, c.bytes ? std::string(c.bytes) : c.input.bytes);
  }
  Date day = *Date::FromYmd(2026, 1, 15);
  EXPECT_EQ(One("select cast(? as date) from rdb$database", {Value::OfDate(day)}).date, day);
}

TEST_F(FirebirdTest, TextThatIsNoNumberFailsAsConversionError) {
  for (const char* text : {"1 or 1=1", "abc", "1; delete from pedidos"}) {
    SCOPED_TRACE(text);
    try {
      One("select bode_cod from punto_venta where ptvt_id = ?", {Value::Text(text)});
      ADD_FAILURE() << "no failure";
    } catch (const DatabaseFailure& e) {
      EXPECT_EQ(e.client_text(), "Unable to execute statement");
      EXPECT_NE(e.server_message().find("conversion error from string"), std::string::npos)
          << e.what();
    }
  }
}

TEST_F(FirebirdTest, FailureTextCarriesClientAndServerLines) {
  Transaction tra = Transaction::Begin(att_);
  try {
    Statement::Prepare(att_, tra, "select * from no_such_table");
    FAIL();
  } catch (const DatabaseFailure& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("dbExpress Error: Unable to prepare statement\nSQL Server Error: ", 0), 0u)
        << text;
    EXPECT_NE(text.find("NO_SUCH_TABLE"), std::string::npos);
    EXPECT_NE(e.gds_code(), 0);
    EXPECT_EQ(text.back() == '\n', false);
  }
}

TEST(FirebirdAttach, MissingDatabaseNamesTheFile) {
  const std::string path = "/tmp/importa-no-such-folder/datos/x/norvela.fdb";
  try {
    Attachment::Attach({path, "SYSDBA", "", 3});
    FAIL();
  } catch (const DatabaseFailure& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("dbExpress Error: Unable to connect\nSQL Server Error: ", 0), 0u) << text;
    EXPECT_NE(text.find(path), std::string::npos) << text;
  }
}

TEST_F(FirebirdTest, ProcedureOutputsAndAffectedRows) {
  Transaction tra = Transaction::Begin(att_);
  Statement id = Statement::Prepare(att_, tra, "execute procedure cambie_id_pedido");
  EXPECT_FALSE(id.returns_rows());
  id.Execute(tra);
  ASSERT_EQ(id.outputs().size(), 1u);
  const int64_t first = id.outputs()[0].integer;
  id.Execute(tra);
  EXPECT_EQ(id.outputs()[0].integer, first + 1);
  tra.Rollback();
  // Identifiers come from a generator: a rollback does not give them back.
  Transaction again = Transaction::Begin(att_);
  id.Execute(again);
  EXPECT_EQ(id.outputs()[0].integer, first + 2);

  Statement upd = Statement::Prepare(
      att_, again, "update configuracion set conf_descripcion = ? where conf_modulo = ?");
  upd.SetParam(0, Value::Text("x"));
  upd.SetParam(1, Value::Text("FACTURACION"));
  EXPECT_EQ(upd.Execute(again), 3u);
  upd.SetParam(1, Value::Text("NADA"));
  EXPECT_EQ(upd.Execute(again), 0u);
}

TEST_F(FirebirdTest, UnfinishedTransactionsRollBack) {
  const char* insert =
      "insert into pedidos (pedi_id, terc_nit, vend_cod, tido_cod, pref_pre, pedi_numero, "
      "pedi_fecha, pedi_ivainc) values (?, '1', 1, 34, 'PV', '1', current_date, 'S')";
  {
    Transaction tra = Transaction::Begin(att_);
    Statement st = Statement::Prepare(att_, tra, insert);
    st.SetParam(0, Value::Integer(1));
    st.Execute(tra);
  }  // destroyed without commit
  EXPECT_EQ(CountOrders(att_), 0);

  Transaction open = Transaction::Begin(att_);
  Statement st = Statement::Prepare(att_, open, insert);
  st.SetParam(0, Value::Integer(2));
  st.Execute(open);
  att_.Detach();  // ends the transaction, the statement and the cursor
  EXPECT_FALSE(open.active());
  EXPECT_FALSE(st.prepared());
  try {
    st.Execute(open);
    FAIL();
  } catch (const DatabaseFailure& e) {
    EXPECT_STREQ(e.what(), "dbExpress Error: Connection closed");
  }
  Attachment other = Attachment::Attach({db_->path(), "SYSDBA", "", 3});
  EXPECT_EQ(CountOrders(other), 0);
}

TEST_F(FirebirdTest, CommitEndsOpenCursorsOfItsTransaction) {
  Transaction tra = Transaction::Begin(att_);
  Statement st = Statement::Prepare(att_, tra, "select imin_id from importacion_inventario");
  Cursor cursor = st.Open(tra);
  ASSERT_TRUE(cursor.Fetch());
  tra.Commit();
  EXPECT_FALSE(cursor.open());
  EXPECT_FALSE(cursor.Fetch());
}

}  // namespace
}  // namespace imp::fb

namespace imp::fb {
namespace {

// An INSERT into a table is in it once it succeeded, whether its row count
// was asked for or not.
TEST(StatementRowCount, UncountedInsertWritesItsRow) {
  imp::testing::FreshDatabase db;
  Attachment att = Attachment::Attach({db.path(), "SYSDBA", "", 3});
  {
    Transaction ddl = Transaction::Begin(att);
    Statement::Prepare(att, ddl, "create table t (n integer)").Execute(ddl);
    ddl.Commit();
  }
  Transaction tra = Transaction::Begin(att);
  Statement insert = Statement::Prepare(att, tra, "insert into t (n) values (?)");
  insert.SetParam(0, Value::Integer(7));
  insert.ExecuteUncounted(tra);
  insert.SetParam(0, Value::Integer(8));
  EXPECT_EQ(insert.Execute(tra), 1u);
  Cursor rows = Statement::Prepare(att, tra, "select sum(n), count(*) from t").Open(tra);
  ASSERT_TRUE(rows.Fetch());
  EXPECT_EQ(rows.row()[0].integer, 15);
  EXPECT_EQ(rows.row()[1].integer, 2);
}

}  // namespace
}  // namespace imp::fb
