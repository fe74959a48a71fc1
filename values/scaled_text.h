#pragma once
// Decimal numbers held as digits and a scale, written as plain text: the
// one place that places the separator for column values, parameters, sums
// and decimal fields.

#include <cstddef>
#include <cstdint>
#include <string>

namespace imp {

// What a text keeps of a fraction's trailing zeros: all of them, as a
// decimal column's scale writes them (12.50), or none (12.5; 12 when the
// fraction is all zeros).
enum class TrailingZeros { kKeep, kDrop };

// The magnitude `digits` (most significant first) whose last `decimals`
// digits are the fraction: a minus sign when `negative` and the value is not
// zero, the whole part without leading zeros but at least one digit, then
// `separator` and the fraction when one is written. No grouping.
std::string DecimalText(bool negative, std::string digits, std::size_t decimals, char separator,
                        TrailingZeros zeros);

// `value` times ten to the power `scale`, the way the database hands over
// a scaled column (integer 125000 at scale -4 is 12.5), as DecimalText
// writes it; a positive scale appends zeros.
std::string ScaledText(int64_t value, int scale, char separator, TrailingZeros zeros);

}  // namespace imp
