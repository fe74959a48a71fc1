// The connection's parameter list: defaults, case-insensitive names,
// replacement in place with the new spelling.

#include "db/connection_params.h"

#include <gtest/gtest.h>

namespace imp {
namespace {

TEST(ConnectionParams, DefaultsInOrder) {
  const ConnectionParams::Entry expected[] = {
      {"BlobSize", "-1"},
      {"CommitRetain", "False"},
      {"Database", "C:\\NORVELA2009\\SOP\\NORVELA.FDB"},
      {"DriverName", "Interbase"},
      {"ErrorResourceFile", ""},
      {"LocaleCode", "0000"},
      {"Password", "bluefinch"},
      {"RoleName", "RoleName"},
      {"ServerCharSet", ""},
      {"SQLDialect", "3"},
      {"Interbase TransIsolation", "ReadCommited"},
      {"User_Name", "sysdba"},
      {"WaitOnLocks", "True"},
  };
  const ConnectionParams defaults = ConnectionParams::Defaults();
  const auto& entries = defaults.entries();
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i], expected[i]) << i;
}

struct SetCase {
  const char* name;
  const char* value;
  int position;  // where the entry ends up
  size_t size;   // entries afterwards
};

TEST(ConnectionParams, SetReplacesInPlaceWithNewSpellingOrAppends) {
  const SetCase cases[] = {
      {"password", "secreto", 6, 13},
      {"DATABASE", "srv:/datos/01/norvela.fdb", 2, 13},
      {"user_name", "ANA", 11, 13},
      {"waitonlocks", "False", 12, 13},
      {"Role", "ADMIN", 13, 14},  // a prefix of RoleName is another name
      {"", "x", 13, 14},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectionParams p = ConnectionParams::Defaults();
    p.Set(c.name, c.value);
    ASSERT_EQ(p.entries().size(), c.size);
    EXPECT_EQ(p.entries()[c.position].first, c.name);
    EXPECT_EQ(p.entries()[c.position].second, c.value);
    EXPECT_EQ(p.Get(c.name), c.value);
  }
}

TEST(ConnectionParams, ReadingIgnoresCaseAndRepeatedSetsKeepOneEntry) {
  ConnectionParams p = ConnectionParams::Defaults();
  EXPECT_EQ(p.Get("PASSWORD"), "bluefinch");
  EXPECT_EQ(p.Get("interbase transisolation"), "ReadCommited");
  EXPECT_EQ(p.Get("missing"), "");
  p.Set("password", "a");
  p.Set("PassWord", "b");
  EXPECT_EQ(p.entries().size(), 13u);
  EXPECT_EQ(p.entries()[6], (ConnectionParams::Entry{"PassWord", "b"}));
  p.Remove("PASSWORD");
  EXPECT_FALSE(p.Has("password"));
  EXPECT_EQ(p.entries()[6].first, "RoleName");
}

}  // namespace
}  // namespace imp
