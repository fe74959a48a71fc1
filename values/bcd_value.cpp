#include "values/bcd_value.h"

#include <cmath>

#include "values/extended.h"
#include "values/failure.h"
#include "values/scaled_text.h"

namespace imp {

namespace {

[[noreturn]] void FailBcd(std::string_view text) {
  throw Failure(FormatText("%s no es un valor BCD válido", {std::string(text)}));
}

// 10^k in extended precision; exact up to 10^27.
long double Pow10(int k) {
  long double result = 1.0L;
  for (long double square = 10.0L; k != 0; k >>= 1, square *= square) {
    if (k & 1) result *= square;
  }
  return result;
}

// The digits taken as an integer and scaled by the power of ten of the
// scale, in extended precision.
long double ScaledValue(const std::string& digits, int scale, bool negative) {
  long double value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  if (std::isinf(value)) RaiseOverflow();
  value = ExtDiv(value, Pow10(scale));
  return negative ? -value : value;
}

}  // namespace

BcdValue BcdValue::FromText(std::string_view text, const RegionalSettings& rs) {
  BcdValue v;
  if (text.empty()) return v;
  // The character check comes first: blanks, "+", grouping and exponents
  // are refused here even where the text would otherwise read as a number.
  for (char c : text) {
    if (!(c >= '0' && c <= '9') && c != '-' && c != rs.decimal_separator) FailBcd(text);
  }
  // Then the shape: a leading minus at most, a separator at most, a digit
  // at least. Anything else would be stored as a number nobody wrote.
  size_t i = 0;
  if (text[0] == '-') {
    v.negative_ = true;
    ++i;
  }
  std::string digits;
  int scale = 0;
  bool separator = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      if (separator) ++scale;
    } else if (c == rs.decimal_separator && !separator) {
      separator = true;
    } else {
      FailBcd(text);
    }
  }
  if (digits.empty()) FailBcd(text);

  const size_t first = digits.find_first_not_of('0');
  v.digits_ = first == std::string::npos ? "0" : digits.substr(first);
  if (v.digits_ == "0") v.negative_ = false;
  v.scale_ = scale;
  v.null_ = false;
  return v;
}

BcdValue BcdValue::FromCurrency(Currency value) {
  BcdValue v;
  v.null_ = false;
  v.negative_ = value.count() < 0;
  const uint64_t magnitude = v.negative_ ? uint64_t{0} - static_cast<uint64_t>(value.count())
                                         : static_cast<uint64_t>(value.count());
  v.digits_ = std::to_string(magnitude);
  v.scale_ = 4;
  return v;
}

int BcdValue::significant_digits() const {
  if (null_ || digits_ == "0") return 0;
  return static_cast<int>(digits_.size());
}

double BcdValue::ToDouble() const {
  if (null_) return 0.0;
  return ExtToDouble(ScaledValue(digits_, scale_, negative_));
}

Currency BcdValue::ToCurrency() const {
  if (null_) return Currency();
  if (scale_ <= 4) {
    // At most four decimals: the count is the digits themselves, exact. A
    // double holds only about 16 digits, so above 2^39 it can be off by more
    // than half a ten-thousandth and the double path would return a
    // neighbouring count (9999999999999.99 would read 9999999999999.9902).
    uint64_t count = 0;
    for (char c : digits_) {
      if (__builtin_mul_overflow(count, uint64_t{10}, &count) ||
          __builtin_add_overflow(count, static_cast<uint64_t>(c - '0'), &count)) {
        RaiseInvalidOperation();
      }
    }
    for (int i = scale_; i < 4; ++i) {
      if (__builtin_mul_overflow(count, uint64_t{10}, &count)) RaiseInvalidOperation();
    }
    const uint64_t limit = negative_ ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (count > limit) RaiseInvalidOperation();
    return Currency::FromCount(negative_ ? static_cast<int64_t>(uint64_t{0} - count)
                                         : static_cast<int64_t>(count));
  }
  // Through a double on purpose: a tie in the fifth decimal is decided by
  // the double nearest to the value, not by the even rule.
  const double value = ToDouble();
  return Currency::FromExtendedCount(ExtMul(value, 10000.0L));
}

std::string BcdValue::ToText(const RegionalSettings& rs) const {
  if (null_) return "";
  return DecimalText(negative_, digits_, static_cast<std::size_t>(scale_), rs.decimal_separator,
                     TrailingZeros::kKeep);
}

}  // namespace imp
