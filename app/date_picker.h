#pragma once
// A date picker that Tab and Shift+Tab leave, like every other control,
// instead of walking through its day, month and year. Only those keys: the
// date's own separator still moves between its sections, so a date typed
// as the regional short format writes it ("15/01/24") lands whole.

#include <QDateEdit>

namespace imp {

class DatePicker final : public QDateEdit {
 public:
  using QDateEdit::QDateEdit;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* key) override;
  void focusInEvent(QFocusEvent* event) override;
  // Two-digit years are read as the nearest one: within 80 years back and
  // 19 ahead of today, as the operator means "24".
  QDateTime dateTimeFromText(const QString& text) const override;

 private:
  bool moved_on_ = false;  // the last digit filled its section and moved on
};

}  // namespace imp
