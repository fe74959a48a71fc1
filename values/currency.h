#pragma once
// Money, quantities, percentages and factors: a signed 64-bit count of
// ten-thousandths (12.5 is held as 125000). Calculations enter extended
// precision (long double: x87, 64-bit significand) with the exact count and
// leave it by rounding to the nearest count, ties to even.

#include <compare>
#include <cstdint>
#include <string>

#include "values/regional_settings.h"

namespace imp {

class Currency {
 public:
  constexpr Currency() = default;
  static constexpr Currency FromCount(int64_t count) { return Currency(count); }

  // Rounds an extended count (value × 10000) to the nearest integer, ties to
  // even. NaN or a result outside the 64-bit range fails with
  // "Operación decimal inválida".
  static Currency FromExtendedCount(long double count);
  // The integer `units` (1 → 1.0000).
  static Currency FromUnits(int64_t units);

  constexpr int64_t count() const { return count_; }
  // The exact count in extended precision.
  long double extended_count() const { return static_cast<long double>(count_); }
  // count / 10000 rounded to a double (how a float column receives it).
  double ToDouble() const;

  // Plain decimal text: optional minus, digits, the regional decimal
  // separator before a fraction (trailing zeros of the fraction dropped, no
  // separator when there is no fraction); no grouping. TextToCurrency reads
  // it back exactly.
  std::string ToText(const RegionalSettings& rs) const;

  friend constexpr auto operator<=>(Currency, Currency) = default;

 private:
  constexpr explicit Currency(int64_t count) : count_(count) {}
  int64_t count_ = 0;
};

}  // namespace imp
