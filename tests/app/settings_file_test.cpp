#include "session/settings_file.h"

#include <gtest/gtest.h>

#include "app_test_support.h"
#include "values/failure.h"

namespace imp {
namespace {

struct Case {
  const char* name;
  std::string bytes;
  std::string server, user, password, company, start;
};

TEST(SettingsFile, LineEnds) {
  const Case cases[] = {
      {"four lines CR LF", "srv\r\nSYSDBA\r\nclave\r\n01\r\n", "srv", "SYSDBA", "clave", "01", ""},
      {"LF only", "srv\nSYSDBA\nclave\n01\n", "srv", "SYSDBA", "clave", "01", ""},
      {"CR only keeps every byte", "srv\rSYSDBA\rclave\r01\r", "srv", "SYSDBA", "clave", "01", ""},
      {"mixed", "srv\r\nSYSDBA\nclave\r01\r\n", "srv", "SYSDBA", "clave", "01", ""},
      {"fourth line without line end", "srv\r\nSYSDBA\r\nclave\r\n01", "srv", "SYSDBA", "clave",
       "01", ""},
      {"eighth line 1", "s\nu\nc\n01\n\n\n\n1\n", "s", "u", "c", "01", "1"},
      {"eighth line 1 without line end", "s\nu\nc\n01\n5\n6\n7\n1", "s", "u", "c", "01", "1"},
      {"eighth line kept as written", "s\nu\nc\n01\n\n\n\n1 \n", "s", "u", "c", "01", "1 "},
      {"ninth line ignored", "s\nu\nc\n01\n\n\n\n0\n1\n", "s", "u", "c", "01", "0"},
      {"empty first line", "\r\nSYSDBA\r\nclave\r\n01\r\n", "", "SYSDBA", "clave", "01", ""},
      {"CR CR is an empty line", "srv\r\rclave\r01\r", "srv", "", "clave", "01", ""},
      {"LF CR is two line ends", "srv\n\rclave\n01\n", "srv", "", "clave", "01", ""},
      {"blanks kept", " srv \r\n u\r\n", " srv ", " u", "", "", ""},
      {"empty file", "", "", "", "", "", ""},
      {"only a line end", "\n", "", "", "", "", ""},
      {"line of 255 bytes", std::string(255, 'x') + "\n", std::string(255, 'x'), "", "", "", ""},
      {"UTF-8 byte-order mark skipped", "\xEF\xBB\xBF/srv/compa\xC3\xB1\xC3\xAD" "a\nSYSDBA\nclave\n01\n",
       "/srv/compa\xC3\xB1\xC3\xAD" "a", "SYSDBA", "clave", "01", ""},
      {"only at the start", "srv\n\xEF\xBB\xBFu\n", "srv", "\xEF\xBB\xBFu", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SettingsFile s = SettingsFile::Parse(c.bytes, "settings.conf");
    EXPECT_EQ(s.server, c.server);
    EXPECT_EQ(s.user, c.user);
    EXPECT_EQ(s.password, c.password);
    EXPECT_EQ(s.company, c.company);
    EXPECT_EQ(s.auto_start, c.start);
  }
}

TEST(SettingsFile, LongLineRefusesTheFileNamingTheLine) {
  const struct {
    std::string bytes;
    const char* message;
  } cases[] = {
      {"srv\n" + std::string(256, 'u') + "\nclave\n01\n",
       "La línea 2 de /x/settings.conf tiene más de 255 caracteres"},
      {"s\r\nu\r\nc\r\n01\r\n\r\n\r\n\r\n1\r\n\r\n" + std::string(300, 'z'),
       "La línea 10 de /x/settings.conf tiene más de 255 caracteres"},
  };
  for (const auto& c : cases) {
    try {
      SettingsFile::Parse(c.bytes, "/x/settings.conf");
      ADD_FAILURE() << "accepted " << c.message;
    } catch (const Failure& f) {
      EXPECT_STREQ(f.what(), c.message);
    }
  }
}

TEST(SettingsFile, ReadsBytesFromDiskAndMissingFileIsEmpty) {
  test::InstallFixture install;
  install.WriteSettings("srv\r\nSYSDBA\r\nma\xF1" "ana\r\n01\r\n");
  const SettingsFile s = SettingsFile::Read(install.settings_path());
  EXPECT_EQ(s.password, "ma\xF1" "ana");
  EXPECT_EQ(s.company, "01");

  const SettingsFile none = SettingsFile::Read(install.settings_path() + ".absent");
  EXPECT_EQ(none.server, "");
  EXPECT_EQ(none.company, "");
}

}  // namespace
}  // namespace imp
