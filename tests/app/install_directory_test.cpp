#include "app/install_directory.h"

#include <QSettings>

#include <gtest/gtest.h>

#include "app/message_boxes.h"
#include "app_test_support.h"
#include "values/failure.h"

namespace imp {
namespace {

const QString kMissingStore = QStringLiteral(
    "No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\QRM\\Quintavalle\\Directorio");

TEST(InstallDirectory, Store) {
  const struct {
    const char* name;
    const char* ini;  // null: no store at all
    std::string directory;
    bool message;
  } cases[] = {
      {"no store", nullptr, "", true},
      {"value", "[General]\nDirectorio=/opt/quintavalle\n", "/opt/quintavalle", false},
      {"value with blanks and accents", "[General]\nDirectorio=\"/opt/Compañía A\"\n",
       "/opt/Compañía A", false},
      {"empty value", "[General]\nDirectorio=\n", "", false},
      {"no value", "[General]\nOtro=1\n", "", false},
      {"value in another section", "[Otra]\nDirectorio=/x\n", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::InstallFixture install;
    if (c.ini != nullptr) install.WriteStore(QString::fromUtf8(c.ini));
    test::DialogRecorder recorder;
    MessageBoxes boxes;
    EXPECT_EQ(diraplicacion(boxes), c.directory);
    if (c.message) {
      ASSERT_EQ(recorder.boxes().size(), 1u);
      EXPECT_EQ(recorder.boxes()[0].text, kMissingStore);
      EXPECT_EQ(recorder.boxes()[0].icon, QMessageBox::NoIcon);
    } else {
      EXPECT_TRUE(recorder.boxes().empty());
    }
  }
}

TEST(InstallDirectory, ValueThatIsNotOneTextFails) {
  test::InstallFixture install;
  install.WriteStore(QStringLiteral("[General]\nDirectorio=/a, /b\n"));
  MessageBoxes boxes;
  try {
    diraplicacion(boxes);
    ADD_FAILURE() << "a list was taken as the directory";
  } catch (const Failure& f) {
    EXPECT_STREQ(f.what(), "Tipo de dato inválido para 'Directorio'");
  }
}

TEST(InstallDirectory, EnvironmentNamesTheStoreFolder) {
  test::InstallFixture install;
  install.WriteStore(QStringLiteral("[General]\nDirectorio=/desde/entorno\n"));
  QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("/nonexistent"));
  qputenv("IMPORTA_SYSTEM_CONFIG_DIR", install.store_dir().toUtf8());
  UseSystemConfigDirFromEnvironment();
  qunsetenv("IMPORTA_SYSTEM_CONFIG_DIR");
  MessageBoxes boxes;
  EXPECT_EQ(diraplicacion(boxes), "/desde/entorno");
}

}  // namespace
}  // namespace imp
