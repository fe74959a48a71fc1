#pragma once
// An exact sum of decimal column values, whatever their scales: the order
// store's line sums, which must equal the sums of the lines as written.

#include <string>

#include "values/bcd_value.h"

namespace imp {

// A running sum held as a sign, its digits and the count of them after the
// separator; it never rounds.
class DecimalSum {
 public:
  // Adds `value` (not null) as a column of `column_scale` decimals stores
  // it: the digits beyond that scale dropped, rounding half away from zero,
  // as the server does. A negative `column_scale` adds the value as it is.
  void AddAsStored(const BcdValue& value, int column_scale);
  // True until something was added.
  bool empty() const { return empty_; }
  // Plain decimal text: a minus sign when below zero, the digits without
  // superfluous zeros, `separator` before a fraction.
  std::string ToText(char separator) const;

 private:
  bool empty_ = true;
  bool negative_ = false;
  std::string digits_ = "0";  // most significant first
  int scale_ = 0;
};

}  // namespace imp
