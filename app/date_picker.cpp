#include "app/date_picker.h"

#include <QDateTime>
#include <QKeyEvent>
#include <algorithm>

namespace imp {

bool DatePicker::event(QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
      QWidget::focusNextPrevChild(key->key() == Qt::Key_Tab &&
                                  !(key->modifiers() & Qt::ShiftModifier));
      return true;
    }
  }
  return QDateEdit::event(event);
}

void DatePicker::keyPressEvent(QKeyEvent* key) {
  // A section typed full moves on by itself; the separator the operator
  // types after it must not move on once more (to the year, or out).
  const bool separator = !key->text().isEmpty() && !key->text().at(0).isLetterOrNumber() &&
                         key->text().at(0).isPrint() && key->text() != QStringLiteral(" ");
  if (separator && moved_on_) {
    moved_on_ = false;
    return;
  }
  const Section before = currentSection();
  QDateEdit::keyPressEvent(key);
  moved_on_ = !separator && !key->text().isEmpty() && key->text().at(0).isDigit() &&
              currentSection() != before;
}

void DatePicker::focusInEvent(QFocusEvent* event) {
  moved_on_ = false;
  QDateEdit::focusInEvent(event);
}

QDateTime DatePicker::dateTimeFromText(const QString& text) const {
  QDateTime value = QDateEdit::dateTimeFromText(text);
  const QString format = displayFormat();
  if (!value.isValid() || !format.contains(QStringLiteral("yy")) ||
      format.contains(QStringLiteral("yyyy"))) {
    return value;
  }
  const int today = QDate::currentDate().year();
  int year = today - today % 100 + value.date().year() % 100;
  if (year > today + 19) year -= 100;
  if (year <= today - 81) year += 100;
  const QDate date(year, value.date().month(),
                   std::min(value.date().day(), QDate(year, value.date().month(), 1).daysInMonth()));
  value.setDate(date);
  return value;
}

}  // namespace imp
