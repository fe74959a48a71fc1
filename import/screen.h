#pragma once
// What the import run needs of the screen. The window implements it with Qt
// widgets, batch mode with the terminal, tests with a recorder. Every call
// must take effect before it returns (the run does not go back to an event
// loop while it reads the file).

#include <string>

#include "values/date.h"

namespace imp {

class ImportScreen {
 public:
  virtual ~ImportScreen() = default;

  // Status panel: caption, then shown or hidden, repainted at once.
  virtual void ShowStatus(const std::string& caption) = 0;
  virtual void HideStatus() = 0;
  // Record text box: shown at the start of a run; text of the record just
  // mapped ("PV123 - ACME").
  virtual void ShowRecordBox() = 0;
  virtual void SetRecordText(const std::string& text) = 0;
  // One step of the progress bar.
  virtual void StepProgress() = 0;
  // Plain message box (no icon, one "OK"); returns when it was closed.
  virtual void ShowMessage(const std::string& text) = 0;
  // Closes the window (ends the program in the window front end).
  virtual void CloseWindow() = 0;
  // The file location typed or chosen by the operator.
  virtual std::string FileLocation() = 0;
  // The date picker's date: the fallback order date.
  virtual Date FallbackDate() = 0;
};

}  // namespace imp
