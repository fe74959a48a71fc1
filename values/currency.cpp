#include "values/currency.h"

#include <cmath>

#include "values/extended.h"

namespace imp {

namespace {
// 2^63 is exact in extended precision; the valid counts are [-2^63, 2^63).
constexpr long double kTwo63 = 9223372036854775808.0L;
}  // namespace

Currency Currency::FromExtendedCount(long double count) {
  if (std::isnan(count)) RaiseInvalidOperation();
  // The default rounding mode is to nearest, ties to even.
  const long double r = std::nearbyint(count);
  if (!(r >= -kTwo63 && r < kTwo63)) RaiseInvalidOperation();
  return Currency(static_cast<int64_t>(r));
}

Currency Currency::FromUnits(int64_t units) {
  int64_t count = 0;
  if (__builtin_mul_overflow(units, int64_t{10000}, &count)) RaiseInvalidOperation();
  return Currency(count);
}

double Currency::ToDouble() const {
  // Divided in extended precision, then rounded once more to a double, as a
  // float column receives a count.
  return static_cast<double>(static_cast<long double>(count_) / 10000.0L);
}

std::string Currency::ToText(const RegionalSettings& rs) const {
  // Work on the magnitude as unsigned so that the smallest count has one.
  const bool negative = count_ < 0;
  const uint64_t magnitude =
      negative ? uint64_t{0} - static_cast<uint64_t>(count_) : static_cast<uint64_t>(count_);
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 4 - digits.size(), '0');
    while (digits.back() == '0') digits.pop_back();
    text += rs.decimal_separator;
    text += digits;
  }
  return text;
}

}  // namespace imp
