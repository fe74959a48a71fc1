#include "values/decimal_sum.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "values/scaled_text.h"

namespace imp {

namespace {

struct Decimal {
  bool negative = false;
  std::string digits;  // most significant first
  int scale = 0;
};

void Rescale(Decimal& d, int scale) {
  d.digits.append(static_cast<std::size_t>(scale - d.scale), '0');
  d.scale = scale;
}

// Compares magnitudes of two digit strings of the same scale.
int CompareMagnitude(const std::string& a, const std::string& b) {
  std::size_t ia = a.find_first_not_of('0'), ib = b.find_first_not_of('0');
  std::string_view va = ia == std::string::npos ? "" : std::string_view(a).substr(ia);
  std::string_view vb = ib == std::string::npos ? "" : std::string_view(b).substr(ib);
  if (va.size() != vb.size()) return va.size() < vb.size() ? -1 : 1;
  return va.compare(vb) < 0 ? -1 : (va == vb ? 0 : 1);
}

std::string AddMagnitudes(const std::string& a, const std::string& b) {
  std::string out;
  int carry = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int s = carry;
    if (i < a.size()) s += a[a.size() - 1 - i] - '0';
    if (i < b.size()) s += b[b.size() - 1 - i] - '0';
    out.push_back(static_cast<char>('0' + s % 10));
    carry = s / 10;
  }
  std::reverse(out.begin(), out.end());
  return out;
}

// a - b with |a| >= |b|.
std::string SubtractMagnitudes(const std::string& a, const std::string& b) {
  std::string out;
  int borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    int s = a[a.size() - 1 - i] - '0' - borrow;
    if (i < b.size()) s -= b[b.size() - 1 - i] - '0';
    borrow = s < 0;
    if (s < 0) s += 10;
    out.push_back(static_cast<char>('0' + s));
  }
  std::reverse(out.begin(), out.end());
  return out;
}

Decimal AsStored(const BcdValue& value, int column_scale) {
  Decimal v{value.negative(), value.digits(), value.scale()};
  if (column_scale < 0 || v.scale <= column_scale) return v;
  const std::size_t dropped = static_cast<std::size_t>(v.scale - column_scale);
  if (v.digits.size() <= dropped) v.digits.insert(0, dropped - v.digits.size() + 1, '0');
  const bool up = v.digits[v.digits.size() - dropped] >= '5';
  v.digits.erase(v.digits.size() - dropped);
  v.scale = column_scale;
  if (up) v.digits = AddMagnitudes(v.digits, "1");
  return v;
}

}  // namespace

void DecimalSum::AddAsStored(const BcdValue& value, int column_scale) {
  empty_ = false;
  Decimal v = AsStored(value, column_scale);
  Decimal sum{negative_, digits_, scale_};
  const int scale = std::max(sum.scale, v.scale);
  Rescale(sum, scale);
  Rescale(v, scale);
  if (sum.negative == v.negative) {
    sum.digits = AddMagnitudes(sum.digits, v.digits);
  } else if (CompareMagnitude(sum.digits, v.digits) >= 0) {
    sum.digits = SubtractMagnitudes(sum.digits, v.digits);
  } else {
    sum.digits = SubtractMagnitudes(v.digits, sum.digits);
    sum.negative = v.negative;
  }
  negative_ = sum.negative;
  digits_ = std::move(sum.digits);
  scale_ = sum.scale;
}

std::string DecimalSum::ToText(char separator) const {
  return DecimalText(negative_, digits_, static_cast<std::size_t>(scale_), separator,
                     TrailingZeros::kDrop);
}

}  // namespace imp
