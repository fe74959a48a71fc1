#pragma once
// Message boxes that lookups ask for. Declared here so that the database
// layer never includes the front end; the window implements it with Qt, batch
// mode with standard error, tests with a recorder.

#include <string>

namespace imp {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Plain message box: no icon, the application's title, one "OK".
  virtual void ShowMessage(const std::string& text) = 0;
  // Error message box: error icon, title "Error", one "OK".
  virtual void ShowError(const std::string& text) = 0;
};

}  // namespace imp
