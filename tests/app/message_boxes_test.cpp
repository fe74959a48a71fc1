#include "app/message_boxes.h"

#include <gtest/gtest.h>

#include "app_test_support.h"
#include "values/failure.h"

namespace imp {
namespace {

TEST(MessageBoxes, TitleFromExecutableName) {
  const struct {
    const char* file;
    const char* title;
  } cases[] = {
      {"importa-pedidos", "importa-pedidos"},
      {"ImportaPedidos.exe", "Importapedidos"},
      {"IMPORTA.PEDIDOS.EXE", "Importa"},
      {"Ñandú.bin", "Ñandú"},
      {"ÁRBOL", "Árbol"},
      {".hidden", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TitleFromExecutableName(QString::fromUtf8(c.file)), QString::fromUtf8(c.title))
        << c.file;
  }
}

TEST(MessageBoxes, KindsOfBox) {
  test::DialogRecorder recorder;
  MessageBoxes boxes;
  boxes.ShowMessage("Importación finalizada.");
  boxes.ShowError("No se encontró la configuración DIAS DE VALIDEZ");
  MessageBoxes::ShowFailure("dbExpress Error: fallo");

  ASSERT_EQ(recorder.boxes().size(), 3u);
  const QString title = ApplicationTitle();
  EXPECT_EQ(title, QStringLiteral("app_message_boxes_test"));
  const struct {
    QString title, text;
    QMessageBox::Icon icon;
  } expected[] = {
      {title, QStringLiteral("Importación finalizada."), QMessageBox::NoIcon},
      {QStringLiteral("Error"), QStringLiteral("No se encontró la configuración DIAS DE VALIDEZ"),
       QMessageBox::Critical},
      {title, QStringLiteral("dbExpress Error: fallo."), QMessageBox::Critical},
  };
  for (size_t i = 0; i < 3; ++i) {
    const test::ShownBox& box = recorder.boxes()[i];
    EXPECT_EQ(box.title, expected[i].title) << i;
    EXPECT_EQ(box.text, expected[i].text) << i;
    EXPECT_EQ(box.icon, expected[i].icon) << i;
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok)) << i;
  }
}

TEST(MessageBoxes, HandlerFailureEndsHandlerAndIsShown) {
  test::DialogRecorder recorder;
  bool after = false;
  RunHandler([&] {
    throw Failure("'x' no es un valor entero válido");
    after = true;
  });
  EXPECT_FALSE(after);
  ASSERT_EQ(recorder.texts().size(), 1u);
  EXPECT_EQ(recorder.texts()[0], QStringLiteral("'x' no es un valor entero válido."));
  EXPECT_EQ(recorder.boxes()[0].icon, QMessageBox::Critical);
}

TEST(MessageBoxes, Windows1252TextIsShownReadable) {
  test::DialogRecorder recorder;
  MessageBoxes().ShowMessage("C\xF3" "digo 'A\xD1O' no encontrado.");
  ASSERT_EQ(recorder.texts().size(), 1u);
  EXPECT_EQ(recorder.texts()[0], QStringLiteral("Código 'AÑO' no encontrado."));
}

// Our words are UTF-8 and the file's value Windows-1252: each part is read
// as what it is.
TEST(MessageBoxes, OurWordsAndAFilesValueBothReadable) {
  test::DialogRecorder recorder;
  MessageBoxes().ShowMessage("Art\xC3\xAD" "culo 'NI\xD1O' no encontrado.");
  ASSERT_EQ(recorder.texts().size(), 1u);
  EXPECT_EQ(recorder.texts()[0], QStringLiteral("Artículo 'NIÑO' no encontrado."));
}

}  // namespace
}  // namespace imp
