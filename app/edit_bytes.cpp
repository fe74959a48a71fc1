#include "app/edit_bytes.h"

#include <QByteArray>
#include <QLineEdit>
#include <QVariant>

#include "app/display_text.h"

namespace imp {
namespace {

const char kBytesProperty[] = "importa_bytes";
const char kShownProperty[] = "importa_shown";

}  // namespace

void SetBytes(QLineEdit* edit, const std::string& bytes) {
  const QString shown = DisplayText(bytes);
  edit->setText(shown);
  edit->setProperty(kBytesProperty, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  edit->setProperty(kShownProperty, shown);
}

std::string Bytes(const QLineEdit* edit) {
  QByteArray bytes;
  if (edit->property(kShownProperty).toString() == edit->text() &&
      edit->property(kBytesProperty).isValid()) {
    bytes = edit->property(kBytesProperty).toByteArray();
  } else {
    bytes = edit->text().toUtf8();
  }
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace imp
