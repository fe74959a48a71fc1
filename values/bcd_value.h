#pragma once
// The value of a decimal column (precision 15, scale 2 or 4): its digits as
// written, a scale (digits after the separator) and a sign; or null.

#include <cstdint>
#include <string>
#include <string_view>

#include "values/currency.h"
#include "values/regional_settings.h"

namespace imp {

class BcdValue {
 public:
  BcdValue() = default;  // null

  // Empty text is null. Otherwise only digits, "-" and the regional
  // separator are accepted, then the text must be well formed (one leading
  // minus at most, one separator at most, at least one digit).
  // Fails with "%s no es un valor BCD válido".
  static BcdValue FromText(std::string_view text, const RegionalSettings& rs);
  // Exactly four decimals, whatever the column's scale.
  static BcdValue FromCurrency(Currency value);

  bool is_null() const { return null_; }
  bool negative() const { return negative_; }
  // Digits without sign or separator, leading zeros removed ("0" for zero).
  const std::string& digits() const { return digits_; }
  // Number of digits after the separator as written.
  int scale() const { return scale_; }
  // Number of digits from the first non-zero one (0 for zero).
  int significant_digits() const;

  // Null reads 0. At most four decimals read exactly. More decimals: digits
  // → extended → scaled → rounded to a double → × 10000 in extended →
  // nearest count, ties to even (1.23465 → 1.2347, 0.00015 → 0.0001).
  // Beyond the Currency range: "Operación decimal inválida".
  Currency ToCurrency() const;
  // Null reads 0. Otherwise the digits scaled in extended precision and
  // rounded once to a double.
  double ToDouble() const;
  // Digits with the regional separator and a leading minus; null is "".
  std::string ToText(const RegionalSettings& rs) const;

  friend bool operator==(const BcdValue&, const BcdValue&) = default;

 private:
  bool null_ = true;
  bool negative_ = false;
  std::string digits_;
  int scale_ = 0;
};

}  // namespace imp
