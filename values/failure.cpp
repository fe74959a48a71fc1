#include "values/failure.h"

#include <cstdio>

namespace imp {

std::string FormatText(const std::string& pattern,
                       std::initializer_list<std::string> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    const bool placeholder = pattern[i] == '%' && i + 1 < pattern.size() &&
                             (pattern[i + 1] == 's' || pattern[i + 1] == 'g');
    if (placeholder && next != args.end()) {
      // A NUL inside an argument would end the message where the operator
      // reads it (what() is a C string), hiding the rest of the text.
      for (char c : *next++) out += c == '\0' ? '?' : c;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string FormatGeneral(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return buf;
}

}  // namespace imp
