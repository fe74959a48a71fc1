#include "values/scaled_text.h"

#include <algorithm>

namespace imp {

std::string DecimalText(bool negative, std::string digits, std::size_t decimals, char separator,
                        TrailingZeros zeros) {
  // A difference or a small value can have fewer digits than decimals (the
  // digit 1 at two decimals is 0.01): the zeros in front come back first.
  if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
  const bool zero = digits.find_first_not_of('0') == std::string::npos;
  const std::size_t whole_end = digits.size() - decimals;
  const std::size_t first = std::min(digits.find_first_not_of('0'), whole_end - 1);
  std::string fraction = digits.substr(whole_end);
  if (zeros == TrailingZeros::kDrop) {
    fraction.erase(std::min(fraction.find_last_not_of('0') + 1, fraction.size()));
  }
  std::string text;
  text.reserve(digits.size() + 2);
  if (negative && !zero) text.push_back('-');
  text.append(digits, first, whole_end - first);
  if (!fraction.empty()) text.append(1, separator).append(fraction);
  return text;
}

std::string ScaledText(int64_t value, int scale, char separator, TrailingZeros zeros) {
  const bool negative = value < 0;
  // Through unsigned so that the most negative value keeps its digits.
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  if (scale >= 0) {
    digits.append(static_cast<std::size_t>(scale), '0');
    return DecimalText(negative, std::move(digits), 0, separator, zeros);
  }
  return DecimalText(negative, std::move(digits), static_cast<std::size_t>(-scale), separator,
                     zeros);
}

}  // namespace imp
