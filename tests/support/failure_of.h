#pragma once
// The operator's text of the failure that `f` raises, or nothing when it
// raises none.

#include <optional>
#include <string>

#include "values/failure.h"

namespace imp::testing {

template <typename F>
std::optional<std::string> FailureOf(F f) {
  try {
    f();
  } catch (const Failure& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

}  // namespace imp::testing
