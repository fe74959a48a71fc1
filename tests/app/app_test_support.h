#pragma once
// Helpers of the front-end tests: answering dialogs without an operator and
// an install-directory store in a temporary folder.

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

#include "app/modal_runner.h"

namespace imp::test {

// One message box as it would have appeared.
struct ShownBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
};

// While alive, every message box is recorded and answered with its first
// button; other dialogs go to `other` (rejected when none is given).
class DialogRecorder {
 public:
  explicit DialogRecorder(std::function<int(QDialog&)> other = {});

  const std::vector<ShownBox>& boxes() const { return boxes_; }
  std::vector<QString> texts() const;

 private:
  std::vector<ShownBox> boxes_;
  std::function<int(QDialog&)> other_;
  ModalAnswerScope scope_;
};

// Writes `bytes` to `name` in `dir`; its path.
QString WriteTestFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes);

// The system-scope settings store and the install directory in a temporary
// folder: QRM/Quintavalle.conf names `install_dir()`, where settings.conf
// goes.
class InstallFixture {
 public:
  InstallFixture();
  ~InstallFixture();

  // The store's folder (stands in for /etc/xdg).
  QString store_dir() const { return store_.path(); }
  QString install_dir() const { return install_.path(); }
  std::string settings_path() const;

  // Writes QRM/Quintavalle.conf with the given INI text.
  void WriteStore(const QString& ini_text);
  // Writes the store naming install_dir().
  void WriteStoreForInstallDir();
  // Writes settings.conf in the install directory, byte for byte.
  void WriteSettings(const std::string& bytes);

 private:
  QTemporaryDir store_;
  QTemporaryDir install_;
};

}  // namespace imp::test
