#pragma once
// The system's failure: an exception whose message is exactly the text the
// operator reads. Conversions, database statements and refused posts raise
// it; the front end's general error display shows it.

#include <initializer_list>
#include <stdexcept>
#include <string>

namespace imp {

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& text) : std::runtime_error(text) {}
};

// Replaces each "%s" of `pattern`, left to right, with the next argument.
// A "%g" is replaced the same way: the caller formats the number with
// FormatGeneral. A placeholder without an argument is left as written. NUL
// bytes of an argument become "?" so the whole message stays readable.
std::string FormatText(const std::string& pattern,
                       std::initializer_list<std::string> args);

// A number in general format ("%g" with 15 significant digits, so that
// whole numbers of up to 15 digits, such as 32-bit range limits, read in
// full: -2147483648, not -2.14748e+09).
std::string FormatGeneral(double value);

}  // namespace imp
