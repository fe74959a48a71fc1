// What a connection built from settings gets once it opens, on a real
// embedded database: the names the program sets (in its own spelling) reach
// the attachment, and the isolation and lock-wait entries shape every write
// transaction.

#include "db/connection_params.h"

#include <gtest/gtest.h>

#include <string>

#include "db/connection.h"
#include "tests/support/fresh_database.h"

namespace imp {
namespace {

using imp::testing::FreshDatabase;

class ConnectionParamsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = new FreshDatabase(); }
  static void TearDownTestSuite() { delete db_; }

  // The one value of `sql`, read in the write transaction when `in_write`.
  static fb::Value One(Connection& connection, const std::string& sql, bool in_write = false) {
    fb::Statement& statement = connection.Prepared(sql);
    const auto rows =
        connection.Query(statement, in_write ? &connection.transaction() : nullptr);
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? fb::Value() : rows[0][0];
  }

  static inline FreshDatabase* db_ = nullptr;
};

std::string Trimmed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// The window and batch mode set the database, user and password with these
// spellings ("password" where the defaults say "Password"), and the
// character set from the file's encoding: each must replace its default, not
// sit beside it unread.
TEST_F(ConnectionParamsTest, TheProgramsSettingsReachTheAttachment) {
  const struct {
    const char* charset;   // ServerCharSet as set; empty: the default left alone
    const char* attached;  // the attachment's character set
  } cases[] = {{nullptr, "NONE"}, {"", "NONE"}, {"WIN1252", "WIN1252"}, {"UTF8", "UTF8"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.charset ? c.charset : "(default)");
    Connection connection;
    connection.SetParam("Database", db_->path());
    connection.SetParam("User_Name", "SYSDBA");
    connection.SetParam("password", "masterkey");
    if (c.charset) connection.SetParam("ServerCharSet", c.charset);
    EXPECT_EQ(connection.GetParam("Password"), "masterkey");
    connection.Open();
    EXPECT_EQ(Trimmed(One(connection, "SELECT MON$DATABASE_NAME FROM MON$DATABASE").bytes),
              db_->path());
    EXPECT_EQ(Trimmed(One(connection, "SELECT CURRENT_USER FROM RDB$DATABASE").bytes), "SYSDBA");
    EXPECT_EQ(Trimmed(One(connection,
                          "SELECT c.RDB$CHARACTER_SET_NAME FROM MON$ATTACHMENTS a "
                          "JOIN RDB$CHARACTER_SETS c "
                          "ON c.RDB$CHARACTER_SET_ID = a.MON$CHARACTER_SET_ID "
                          "WHERE a.MON$ATTACHMENT_ID = CURRENT_CONNECTION")
                          .bytes),
              c.attached);
  }
}

// A name set in any case replaces the entry it matches, so the last value
// set is the one opened with, and a removed entry no longer answers.
TEST(ConnectionParams, NamesMatchWhateverTheirCase) {
  ConnectionParams params = ConnectionParams::Defaults();
  params.Set("password", "a");
  params.Set("PassWord", "b");
  EXPECT_EQ(params.Get("PASSWORD"), "b");
  EXPECT_EQ(params.Get("missing"), "");
  params.Set("Role", "ADMIN");  // a prefix of RoleName is another name
  EXPECT_EQ(params.Get("RoleName"), "RoleName");
  EXPECT_EQ(params.Get("role"), "ADMIN");
  params.Remove("PASSWORD");
  EXPECT_FALSE(params.Has("password"));
  EXPECT_EQ(params.Get("Password"), "");
}

// Every write transaction takes its isolation from "Interbase
// TransIsolation" (snapshot only for the two names that mean it, exactly
// so spelt) and waits on locks unless WaitOnLocks says otherwise, for the
// connection's lock limit when one is set.
TEST_F(ConnectionParamsTest, WriteTransactionsFollowIsolationAndLockWaiting) {
  constexpr int kSnapshot = 1;  // MON$ISOLATION_MODE: 1 snapshot, 2 and 3 read committed
  const struct {
    const char* isolation;  // nullptr: the default left alone
    const char* wait;
    int lock_limit;         // set_lock_timeout
    bool snapshot;
    int lock_timeout;       // MON$LOCK_TIMEOUT: -1 waits for ever, 0 does not wait
  } cases[] = {
      {nullptr, nullptr, 0, false, -1},
      {"Snapshot", nullptr, 0, true, -1},
      {"RepeatableRead", "False", 0, true, 0},
      {"snapshot", "true", 0, false, -1},
      {"ReadCommited", "FALSE", 0, false, 0},
      {nullptr, "no", 0, false, 0},
      {nullptr, nullptr, 7, false, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.isolation ? c.isolation : "(default)") << " / "
                                      << (c.wait ? c.wait : "(default)") << " / "
                                      << c.lock_limit);
    Connection connection;
    db_->Configure(connection);
    if (c.isolation) connection.SetParam("interbase transisolation", c.isolation);
    if (c.wait) connection.SetParam("waitonlocks", c.wait);
    connection.set_lock_timeout(c.lock_limit);
    connection.BeginTransaction();
    const std::string where = " FROM MON$TRANSACTIONS WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION";
    EXPECT_EQ(One(connection, "SELECT MON$ISOLATION_MODE" + where, true).integer == kSnapshot,
              c.snapshot);
    EXPECT_EQ(One(connection, "SELECT MON$LOCK_TIMEOUT" + where, true).integer, c.lock_timeout);
    connection.Rollback();
  }
}

}  // namespace
}  // namespace imp
