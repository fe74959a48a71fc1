#include "app/modal_runner.h"

#include <utility>

namespace imp {

namespace {
ModalAnswer& CurrentAnswer() {
  static ModalAnswer answer;
  return answer;
}
}  // namespace

int RunModal(QDialog& dialog) {
  // Copied: the answer may install a scope of its own.
  ModalAnswer answer = CurrentAnswer();
  if (answer) return answer(dialog);
  return dialog.exec();
}

ModalAnswerScope::ModalAnswerScope(ModalAnswer answer)
    : previous_(std::exchange(CurrentAnswer(), std::move(answer))) {}

ModalAnswerScope::~ModalAnswerScope() { CurrentAnswer() = std::move(previous_); }

}  // namespace imp
