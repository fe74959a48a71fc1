#pragma once
// Every modal dialog of the program (message boxes, the file dialog) is run
// through RunModal, so that tests can answer them without an event loop
// and no test can hang waiting for an operator.

#include <QDialog>
#include <functional>

namespace imp {

// Answers a dialog instead of showing it; returns the dialog's result code
// (QDialog::Accepted, QDialog::Rejected or a QMessageBox button).
using ModalAnswer = std::function<int(QDialog&)>;

// Shows `dialog` modally and returns its result, or hands it to the answer
// installed by a ModalAnswerScope.
int RunModal(QDialog& dialog);

// While alive, every RunModal call goes to `answer` instead of the screen.
// Scopes nest; the innermost wins.
class ModalAnswerScope {
 public:
  explicit ModalAnswerScope(ModalAnswer answer);
  ~ModalAnswerScope();
  ModalAnswerScope(const ModalAnswerScope&) = delete;
  ModalAnswerScope& operator=(const ModalAnswerScope&) = delete;

 private:
  ModalAnswer previous_;
};

}  // namespace imp
