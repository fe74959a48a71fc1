#pragma once
// Expected failure texts that begin with a quoted value ("'x' no es ...").
// Built by appending: "'" + std::string(x) inserts at the front of a
// temporary, and GCC 12 at -O3 warns there of an overlap (-Wrestrict) that
// cannot happen.

#include <string>
#include <string_view>

namespace imp::testing {

// "'" + value + "'" + rest.
inline std::string QuotedThen(std::string_view value, std::string_view rest) {
  std::string text;
  text.reserve(value.size() + rest.size() + 2);
  text += '\'';
  text += value;
  text += '\'';
  text += rest;
  return text;
}

}  // namespace imp::testing
