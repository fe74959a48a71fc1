#pragma once
// The tests' message boxes: they show nothing and keep what they were asked
// to show, each box also as an event ("mensaje: <text>", "error: <text>") in
// the order they came.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "db/dialogs.h"

namespace imp::testing {

class RecordingDialogs : public Dialogs {
 public:
  std::vector<std::string> events;    // every box, and for a screen what it showed
  std::vector<std::string> messages;  // plain boxes
  std::vector<std::string> errors;    // error boxes
  std::function<void()> while_shown;  // runs while a box is open

  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    Shown("mensaje: " + text);
  }
  void ShowError(const std::string& text) override {
    errors.push_back(text);
    Shown("error: " + text);
  }

 private:
  void Shown(std::string event) {
    events.push_back(std::move(event));
    if (while_shown) while_shown();
  }
};

}  // namespace imp::testing
