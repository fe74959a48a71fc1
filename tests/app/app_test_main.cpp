// main() of the front-end tests: one QApplication for the whole executable.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>

#include "app/modal_runner.h"

int main(int argc, char** argv) {
  // Test listing at build time runs this too; never reach for a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The C locale, as under a scheduler: the default regional settings, the
  // ones the example order file is written in. Tests of other locales say so.
  qputenv("LC_ALL", "C");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  // A dialog no test expected fails that test instead of waiting for an
  // operator who never comes.
  imp::ModalAnswerScope unexpected([](QDialog& dialog) -> int {
    QString text = dialog.windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) text += QStringLiteral(": ") + box->text();
    ADD_FAILURE() << "unexpected dialog " << text.toStdString();
    return QDialog::Rejected;
  });
  return RUN_ALL_TESTS();
}
