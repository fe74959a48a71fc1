#pragma once
// Checked extended-precision arithmetic for the pricing formulas. The FPU's
// traps stay masked; these helpers detect what the traps would have raised
// and raise the system's failures instead:
//   0 ÷ 0, or a NaN operand/result     → "Operación decimal inválida"
//   non-zero ÷ 0                       → "División decimal por cero"
//   a finite result that overflows     → "Desbordamiento decimal"

#include <limits>

// Every rounding of the pricing formulas is that of a 64-bit significand; a
// narrower (or wider) long double would change amounts without a word.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the x87 extended format (64-bit significand): "
              "the money arithmetic would give other amounts");

namespace imp {

long double ExtAdd(long double a, long double b);
long double ExtSub(long double a, long double b);
long double ExtMul(long double a, long double b);
long double ExtDiv(long double a, long double b);
// Rounds to a double as storing into a double would; overflow of the double
// range is "Desbordamiento decimal".
double ExtToDouble(long double a);

// Raise the three arithmetic failures with their operator texts.
[[noreturn]] void RaiseInvalidOperation();  // "Operación decimal inválida"
[[noreturn]] void RaiseZeroDivide();        // "División decimal por cero"
[[noreturn]] void RaiseOverflow();          // "Desbordamiento decimal"

}  // namespace imp
