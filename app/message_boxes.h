#pragma once
// The program's message boxes: the plain box of its own messages, the
// "Error" box of the configuration lookup, and the general error display
// that shows a failure which ended an event handler.

#include <QString>
#include <exception>
#include <string>

#include "db/dialogs.h"

namespace imp {

class MessageBoxes final : public Dialogs {
 public:
  // No icon, the application's title, one "OK", centred on the screen.
  void ShowMessage(const std::string& text) override;
  // Error icon, title "Error", one "OK".
  void ShowError(const std::string& text) override;

  // A plain box (`error`: the general error display's) whose text is
  // `text` and whose details, when there are any, are in an area that
  // scrolls: the box never grows past the screen, whatever the run did.
  static void ShowWithDetail(const std::string& text, const std::string& detail, bool error);

  // The general error display: error icon, the application's title, one
  // OK, the failure's text with the final-period rule.
  static void ShowFailure(const std::string& text);
  static void ShowFailure(const std::exception& failure);
};

// The application's title for a given executable file name: the name up to
// its first ".", first character as written, the rest lower case.
QString TitleFromExecutableName(const QString& file_name);

// The running program's title (TitleFromExecutableName of its executable).
QString ApplicationTitle();

// Runs one event handler: a failure ends the handler where it stands and is
// shown by the general error display; the program goes on.
template <typename Handler>
void RunHandler(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& failure) {
    MessageBoxes::ShowFailure(failure);
  }
}

}  // namespace imp
