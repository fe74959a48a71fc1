#include "import/pricing.h"

#include "values/conversions.h"
#include "values/extended.h"

namespace imp {
namespace {

// Scale factors between the products of counts and a count.
constexpr long double kCien = 100.0L;
constexpr long double kUnidad = 10000.0L;     // 1 as a count
constexpr long double kCienPorCiento = 1e6L;  // 100 as a count
constexpr long double k1e8 = 1e8L;
constexpr long double k1e16 = 1e16L;

long double X(Currency c) { return c.extended_count(); }

}  // namespace

int8_t ExponenteDescuento(int32_t exponente_redondeo) {
  return static_cast<int8_t>(static_cast<uint8_t>(exponente_redondeo & 0xFF));
}

Currency ConsumoLinea(Currency c0, Currency q, Currency f) {
  return Currency::FromExtendedCount(ExtDiv(ExtMul(ExtMul(X(q), X(c0)), X(f)), k1e8));
}

Currency DescuentoUnitario(Currency d, Currency p) {
  return Currency::FromExtendedCount(ExtDiv(ExtDiv(ExtMul(X(d), X(p)), kCien), kUnidad));
}

long double BaseDescuento(Currency d, Currency p, Currency q) {
  return ExtMul(ExtSub(kUnidad, ExtDiv(X(d), kCien)), ExtMul(X(p), X(q)));
}

Currency MontoCascada(Currency tasa, long double base, int8_t exponente) {
  // The amount passes through a double twice: once to be rounded to the
  // power of ten, once as the rounded result; only then is it a count.
  const double x = ExtToDouble(ExtDiv(ExtDiv(ExtMul(X(tasa), base), kCien), k1e16));
  const double r = RoundToExponent(exponente, x);
  return Currency::FromExtendedCount(ExtMul(static_cast<long double>(r), kUnidad));
}

long double BaseRestante(long double base, Currency monto) {
  return ExtSub(base, ExtMul(X(monto), k1e8));
}

Currency NetoLinea(long double base_final) {
  return Currency::FromExtendedCount(ExtDiv(base_final, k1e8));
}

Currency IvaExcluido(Currency v, Currency neto, Currency consumo) {
  return Currency::FromExtendedCount(
      ExtDiv(ExtDiv(ExtMul(X(v), ExtSub(X(neto), X(consumo))), kCien), kUnidad));
}

Currency TotalExcluido(Currency iva, Currency neto, Currency consumo) {
  // Counts below 2^64 add exactly in a 64-bit significand.
  return Currency::FromExtendedCount(ExtAdd(ExtAdd(X(iva), X(neto)), X(consumo)));
}

Currency IvaIncluido(Currency v, Currency neto, Currency consumo) {
  return Currency::FromExtendedCount(
      ExtMul(X(v), ExtDiv(ExtSub(X(neto), X(consumo)), ExtAdd(X(v), kCienPorCiento))));
}

}  // namespace imp
