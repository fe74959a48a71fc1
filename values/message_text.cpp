#include "values/message_text.h"

#include "values/control_text.h"

namespace imp {

std::string WithFinalPeriod(std::string text) {
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

std::string EscapedOneLine(std::string_view text) { return EscapeControls(OneLine(text)); }

}  // namespace imp
