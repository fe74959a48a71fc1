#pragma once
// The tests' screen: it stands in for the window and its message boxes,
// shows nothing and keeps, in order, what the run showed as "kind: text"
// events, besides the boxes' texts, the record text, the progress steps and
// whether the window was closed.

#include <string>

#include "import/screen.h"
#include "tests/support/recording_dialogs.h"
#include "values/date.h"

namespace imp::testing {

class RecordingScreen : public ImportScreen, public RecordingDialogs {
 public:
  std::string location;                        // what FileLocation gives
  Date date = *Date::FromYmd(2024, 3, 1);      // what FallbackDate gives
  std::string record_text;
  int steps = 0;
  bool panel_visible = false;
  bool closed = false;

  void ShowStatus(const std::string& caption) override {
    panel_visible = true;
    events.push_back("panel: " + caption);
  }
  void HideStatus() override {
    panel_visible = false;
    events.push_back("ocultar panel");
  }
  void ShowRecordBox() override { events.push_back("caja de registro"); }
  void SetRecordText(const std::string& text) override { record_text = text; }
  void StepProgress() override { ++steps; }
  void ShowMessage(const std::string& text) override { RecordingDialogs::ShowMessage(text); }
  void CloseWindow() override {
    closed = true;
    events.push_back("cerrar");
  }
  std::string FileLocation() override { return location; }
  Date FallbackDate() override { return date; }
};

}  // namespace imp::testing
