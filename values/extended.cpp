#include "values/extended.h"

#include <cmath>

#include "values/failure.h"

namespace imp {

void RaiseInvalidOperation() { throw Failure("Operación decimal inválida"); }
void RaiseZeroDivide() { throw Failure("División decimal por cero"); }
void RaiseOverflow() { throw Failure("Desbordamiento decimal"); }

namespace {

// What the unit would have trapped on: a NaN going in or coming out is an
// invalid operation; an infinite result from finite operands is an overflow.
// An infinite operand is not itself a fault (it can only come from a value
// the caller built), so it propagates like the hardware lets it.
long double Checked(long double a, long double b, long double r) {
  if (std::isnan(a) || std::isnan(b) || std::isnan(r)) RaiseInvalidOperation();
  if (std::isinf(r) && std::isfinite(a) && std::isfinite(b)) RaiseOverflow();
  return r;
}

}  // namespace

long double ExtAdd(long double a, long double b) { return Checked(a, b, a + b); }
long double ExtSub(long double a, long double b) { return Checked(a, b, a - b); }
long double ExtMul(long double a, long double b) { return Checked(a, b, a * b); }

long double ExtDiv(long double a, long double b) {
  if (std::isnan(a) || std::isnan(b)) RaiseInvalidOperation();
  if (b == 0) {
    if (a == 0) RaiseInvalidOperation();
    RaiseZeroDivide();
  }
  return Checked(a, b, a / b);
}

double ExtToDouble(long double a) {
  if (std::isnan(a)) RaiseInvalidOperation();
  const double d = static_cast<double>(a);
  if (std::isinf(d) && std::isfinite(a)) RaiseOverflow();
  return d;
}

}  // namespace imp
