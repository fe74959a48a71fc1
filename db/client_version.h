#pragma once
// The version of the Firebird client library the program runs with, as the
// library itself reports it ("LI-V3.0.11.33703 Firebird 3.0"): the one
// loaded at run time, which need not be the one the program was built with.

#include <string>

namespace imp {

std::string FirebirdClientVersion();

}  // namespace imp
