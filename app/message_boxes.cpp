#include "app/message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "app/display_text.h"
#include "app/modal_runner.h"
#include "values/message_text.h"

namespace imp {

namespace {

void Show(QMessageBox::Icon icon, const QString& title, const std::string& text) {
  // Without a parent the box is centred on the screen.
  QMessageBox box(icon, title, MessageText(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  RunModal(box);
}

}  // namespace

void MessageBoxes::ShowWithDetail(const std::string& text, const std::string& detail, bool error) {
  QMessageBox box(error ? QMessageBox::Critical : QMessageBox::NoIcon, ApplicationTitle(),
                  MessageText(error ? WithFinalPeriod(text) : text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.setObjectName(QStringLiteral("CajaConDetalle"));
  if (!detail.empty()) box.setDetailedText(MessageText(detail));
  RunModal(box);
}

void MessageBoxes::ShowMessage(const std::string& text) {
  Show(QMessageBox::NoIcon, ApplicationTitle(), text);
}

void MessageBoxes::ShowError(const std::string& text) {
  Show(QMessageBox::Critical, QStringLiteral("Error"), text);
}

void MessageBoxes::ShowFailure(const std::string& text) {
  Show(QMessageBox::Critical, ApplicationTitle(), WithFinalPeriod(text));
}

void MessageBoxes::ShowFailure(const std::exception& failure) {
  ShowFailure(std::string(failure.what()));
}

QString TitleFromExecutableName(const QString& file_name) {
  QString stem = file_name.section(QLatin1Char('.'), 0, 0);
  if (stem.isEmpty()) return stem;
  return stem.left(1) + stem.mid(1).toLower();
}

QString ApplicationTitle() {
  return TitleFromExecutableName(
      QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

}  // namespace imp
