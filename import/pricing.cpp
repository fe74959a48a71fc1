#include "import/pricing.h"

#include "values/conversions.h"
#include "values/extended.h"

namespace imp {
namespace {

// Scale factors between the products of counts and a count.
constexpr long double kHundred = 100.0L;
constexpr long double kOne = 10000.0L;         // 1 as a count
constexpr long double kHundredPercent = 1e6L;  // 100 as a count
constexpr long double k1e8 = 1e8L;
constexpr long double k1e16 = 1e16L;

long double X(Currency c) { return c.extended_count(); }

}  // namespace

int8_t DiscountExponent(int32_t exponente_redondeo) {
  return static_cast<int8_t>(static_cast<uint8_t>(exponente_redondeo & 0xFF));
}

Currency LineConsumptionTax(Currency c0, Currency q, Currency f) {
  return Currency::FromExtendedCount(ExtDiv(ExtMul(ExtMul(X(q), X(c0)), X(f)), k1e8));
}

Currency UnitDiscount(Currency d, Currency p) {
  return Currency::FromExtendedCount(ExtDiv(ExtDiv(ExtMul(X(d), X(p)), kHundred), kOne));
}

long double DiscountBase(Currency d, Currency p, Currency q) {
  return ExtMul(ExtSub(kOne, ExtDiv(X(d), kHundred)), ExtMul(X(p), X(q)));
}

Currency CascadeDiscount(Currency rate, long double base, int8_t exponent) {
  // The amount passes through a double twice: once to be rounded to the
  // power of ten, once as the rounded result; only then is it a count.
  const double x = ExtToDouble(ExtDiv(ExtDiv(ExtMul(X(rate), base), kHundred), k1e16));
  const double r = RoundToExponent(exponent, x);
  return Currency::FromExtendedCount(ExtMul(static_cast<long double>(r), kOne));
}

long double RemainingBase(long double base, Currency amount) {
  return ExtSub(base, ExtMul(X(amount), k1e8));
}

Currency LineNet(long double base_final) {
  return Currency::FromExtendedCount(ExtDiv(base_final, k1e8));
}

Currency VatExcluded(Currency v, Currency net, Currency consumption) {
  return Currency::FromExtendedCount(
      ExtDiv(ExtDiv(ExtMul(X(v), ExtSub(X(net), X(consumption))), kHundred), kOne));
}

Currency TotalVatExcluded(Currency vat, Currency net, Currency consumption) {
  // Counts below 2^64 add exactly in a 64-bit significand.
  return Currency::FromExtendedCount(ExtAdd(ExtAdd(X(vat), X(net)), X(consumption)));
}

Currency VatIncluded(Currency v, Currency net, Currency consumption) {
  return Currency::FromExtendedCount(
      ExtMul(X(v), ExtDiv(ExtSub(X(net), X(consumption)), ExtAdd(X(v), kHundredPercent))));
}

}  // namespace imp
