#pragma once
// Rules for the messages the system writes for the operator, shared by the
// window, batch mode and the import run, so that a reason reads the same
// wherever it is shown.

#include <string>
#include <string_view>

namespace imp {

// `text` with a "." appended, unless it is empty or its last byte is "." or
// sorts before it (a blank, "!", ",", "-", a line end...). A "?" or ":"
// sorts after it and gets one.
std::string WithFinalPeriod(std::string text);

// A reason on one line of a summary or a rejects file: its line breaks
// taken out (OneLine) and then its control bytes shown as \xNN
// (EscapeControls), in that order, so a CR LF becomes one blank and not a
// visible "\x0d".
std::string EscapedOneLine(std::string_view text);

}  // namespace imp
