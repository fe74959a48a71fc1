#include "app_test_support.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <stdexcept>

namespace imp::test {

namespace {
void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
    throw std::runtime_error("cannot write " + path.toStdString());
  }
}
}  // namespace

DialogRecorder::DialogRecorder(std::function<int(QDialog&)> other)
    : other_(std::move(other)), scope_([this](QDialog& dialog) -> int {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
          boxes_.push_back(
              {box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
          return QMessageBox::Ok;
        }
        return other_ ? other_(dialog) : QDialog::Rejected;
      }) {}

QString WriteTestFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
  const QString path = dir.filePath(QString::fromLatin1(name));
  WriteFile(path, bytes);
  return path;
}

std::vector<QString> DialogRecorder::texts() const {
  std::vector<QString> out;
  for (const ShownBox& box : boxes_) out.push_back(box.text);
  return out;
}

InstallFixture::InstallFixture() {
  QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, store_.path());
}

InstallFixture::~InstallFixture() {
  // Never fall back to the machine's real store.
  QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                     QDir::tempPath() + QStringLiteral("/importa-no-store"));
}

std::string InstallFixture::settings_path() const {
  return (install_.path() + QStringLiteral("/settings.conf")).toStdString();
}

void InstallFixture::WriteStore(const QString& ini_text) {
  QDir(store_.path()).mkpath(QStringLiteral("QRM"));
  WriteFile(store_.path() + QStringLiteral("/QRM/Quintavalle.conf"), ini_text.toUtf8());
}

void InstallFixture::WriteStoreForInstallDir() {
  WriteStore(QStringLiteral("[General]\nDirectorio=") + install_.path() + QStringLiteral("\n"));
}

void InstallFixture::WriteSettings(const std::string& bytes) {
  WriteFile(install_.path() + QStringLiteral("/settings.conf"),
            QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace imp::test
