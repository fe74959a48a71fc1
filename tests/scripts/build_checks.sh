#!/usr/bin/env bash
# Checks of the build itself, each on a scratch build folder:
#   - a long double without a 64-bit significand (GCC's -mlong-double-64)
#     stops configuring with the reason, and stops compiling the money code;
#   - the program alone configures without GoogleTest (IMPORTA_BUILD_TESTS
#     off) and registers no test;
#   - warnings are errors only with CMAKE_COMPILE_WARNING_AS_ERROR.
#
#   build_checks.sh [BUILD_DIR]      (the build directory is not needed)
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
TMP=$(mktemp -d "${TMPDIR:-/tmp}/build_checks.XXXXXX")
trap 'rm -rf -- "$TMP"' EXIT
failures=0
fail() { printf 'FAIL: %s\n' "$*" >&2; failures=$((failures + 1)); }

# The configure check on its own, in a project of one line.
mkdir -p "$TMP/ld"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(ld LANGUAGES CXX)\ninclude(%s/cmake/ExtendedPrecision.cmake)\n' \
  "$ROOT" >"$TMP/ld/CMakeLists.txt"
if out=$(cmake -S "$TMP/ld" -B "$TMP/ld/narrow" -DCMAKE_CXX_FLAGS=-mlong-double-64 2>&1); then
  fail "a 64-bit long double configured"
else
  grep -q "does not have a" <<<"$out" && grep -q "64-bit significand" <<<"$out" ||
    fail "the refusal does not say why: $out"
fi
cmake -S "$TMP/ld" -B "$TMP/ld/x87" >/dev/null 2>&1 || fail "the x87 long double was refused"
if out=$(printf '#include "values/extended.h"\n' |
           g++ -std=c++20 -mlong-double-64 -I"$ROOT" -fsyntax-only -x c++ - 2>&1); then
  fail "the money code compiled with a 64-bit long double"
else
  grep -q "x87 extended format" <<<"$out" || fail "the compile error does not say why: $out"
fi

# The program alone, GoogleTest made unfindable.
alone=$TMP/alone
if ! cmake -S "$ROOT" -B "$alone" -G Ninja -DIMPORTA_BUILD_TESTS=OFF -DIMPORTA_BUILD_BENCH=OFF \
       -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$TMP/alone.log" 2>&1; then
  fail "the program alone needs GoogleTest: $(tail -5 "$TMP/alone.log")"
else
  [ -z "$(ctest --test-dir "$alone" -N 2>/dev/null | grep -E '^ *Test +#')" ] ||
    fail "tests registered with IMPORTA_BUILD_TESTS=OFF"
  grep -q -- '-Werror' "$alone/compile_commands.json" && fail "-Werror in a plain build"
  grep -q -- '-Wall' "$alone/compile_commands.json" || fail "no -Wall in a plain build"
  cmake -S "$ROOT" -B "$alone" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null 2>&1
  grep -q -- '-Werror' "$alone/compile_commands.json" ||
    fail "no -Werror with CMAKE_COMPILE_WARNING_AS_ERROR=ON"
fi

if ((failures)); then
  echo "build_checks: $failures failures" >&2
  exit 1
fi
echo "build_checks: ok"
