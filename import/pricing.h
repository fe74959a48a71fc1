#pragma once
// The arithmetic of an order line, one function per quantity the line stores.
// Each takes the counts (value × 10000) of the columns it needs as the line
// holds them at that moment, computes in extended precision in a fixed
// order and rounds only where the result is stored. Keeping the formulas
// free of the store lets agregue_linea set each column and read it back
// before the next formula uses it, as the line's own column values (not the
// exact intermediates) are what the next step must see.
//
// Every function fails with "Operación decimal inválida", "División decimal
// por cero" or "Desbordamiento decimal" (imp::Failure) exactly where the
// extended arithmetic would have raised.

#include <cstdint>

#include "values/currency.h"

namespace imp {

// The exponent the discount amounts are rounded with: only the low 8 bits of
// the configured value count, read as a signed number (300 is 44, 255 is -1).
int8_t DiscountExponent(int32_t exponente_redondeo);

// Consumption tax of the line: per-unit tax c0 × quantity q × factor f,
// rounded to four decimals.
Currency LineConsumptionTax(Currency c0, Currency q, Currency f);

// Discount on one unit: price p × line discount percentage d / 100. The
// quantity does not enter.
Currency UnitDiscount(Currency d, Currency p);

// The base the price-list discounts cascade from, kept unrounded: the line
// amount after the line discount, scaled by 10^12 in counts.
long double DiscountBase(Currency d, Currency p, Currency q);

// One discount of the cascade: `rate` percent of `base`, rounded to a double
// and then to a multiple of 10^exponent.
Currency CascadeDiscount(Currency rate, long double base, int8_t exponent);

// The base left for the next discount once `amount` (as the line stored it)
// has been taken off.
long double RemainingBase(long double base, Currency amount);

// Net amount of the line: what is left of the base after the three
// discounts, rounded to four decimals.
Currency LineNet(long double base_final);

// VAT when prices exclude it: (net − line consumption tax) × v / 100.
Currency VatExcluded(Currency v, Currency net, Currency consumption);
// Line total when prices exclude VAT: the three stored amounts added.
Currency TotalVatExcluded(Currency vat, Currency net, Currency consumption);
// VAT contained in a price that includes it: (net − consumption) ÷ (100 + v)
// × v. A rate of −100 divides by zero.
Currency VatIncluded(Currency v, Currency net, Currency consumption);

}  // namespace imp
