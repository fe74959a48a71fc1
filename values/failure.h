#pragma once
// The system's failure: an exception whose message is exactly the text the
// operator reads. Conversions, database statements and refused posts raise
// it; the front end's general error display shows it.

#include <stdexcept>
#include <string>

namespace imp {

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& text) : std::runtime_error(text) {}
};

// Replaces each "%s" of `pattern`, left to right, with the next argument.
std::string FormatText(const std::string& pattern,
                       std::initializer_list<std::string> args);

}  // namespace imp
