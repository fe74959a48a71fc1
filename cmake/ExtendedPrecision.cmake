# The money arithmetic needs a long double with a 64-bit significand (the
# x87 extended format). Where long double is narrower (AArch64's binary128,
# MSVC's 53-bit double) every amount would silently come out different, so
# such a build stops here instead of producing a program that miscalculates.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_QUIET ON)
check_cxx_source_compiles([=[
#include <limits>
static_assert(std::numeric_limits<long double>::digits == 64, "");
int main() { return 0; }
]=] IMPORTA_LONG_DOUBLE_IS_EXTENDED)
unset(CMAKE_REQUIRED_QUIET)
if(NOT IMPORTA_LONG_DOUBLE_IS_EXTENDED)
  message(FATAL_ERROR
    "long double on this compiler and target (${CMAKE_CXX_COMPILER_ID}, "
    "${CMAKE_SYSTEM_PROCESSOR}) does not have a 64-bit significand. The money "
    "arithmetic is defined in x87 80-bit extended precision; with another "
    "long double the amounts would change. Build for x86-64 (or x86) with "
    "GCC or Clang.")
endif()
