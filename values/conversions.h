#pragma once
// Text-to-value conversions and rounding rules of the import. Each failing
// conversion raises imp::Failure with the operator's text.

#include <cstdint>
#include <string>
#include <string_view>

#include "values/currency.h"
#include "values/date.h"
#include "values/regional_settings.h"

namespace imp {

// Leading blanks, optional sign, decimal digits or a hexadecimal number
// introduced by "$", "x", "X", "0x" or "0X"; nothing may follow.
// Fails with "'%s' no es un valor entero válido".
int32_t TextToInteger(std::string_view text);

// Names (fields, columns, parameters) compared without regard to the case
// of ASCII letters; other bytes must match exactly.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// Same grammar as TextToInteger but a 64-bit result, for callers that do
// their own range check (integer columns). Returns false on a bad text.
bool ParseInteger(std::string_view text, int64_t& out);

// Blanks, sign, digits, regional decimal separator, digits, optional
// exponent, trailing blanks. Accumulated exactly in extended precision and
// rounded once to a count, ties to even ("1.23465" → 1.2346).
// Fails with "'%s' no es un valor decimal válido".
Currency TextToCurrency(std::string_view text, const RegionalSettings& rs);

// Up to three numbers separated by the regional date separator, ordered by
// the short date format; two numbers take the year of `today`; one- and
// two-digit years fall in the window before `today`'s year.
// Fails with "'%s' no es una fecha válida".
Date TextToDate(std::string_view text, const RegionalSettings& rs, Date today);

// `value` rounded to a multiple of 10^exponent, ties to even.
double RoundToExponent(int8_t exponent, double value);

// Greatest integer not above `value`, as a 32-bit integer.
// Outside the range: "Operación decimal inválida".
int32_t FloorToInteger(long double value);

// Single quotes doubled, the whole wrapped in single quotes.
std::string QuoteSqlText(std::string_view text);

// `date` in the regional short date format: d/dd, m/mm and yy/yyyy (e/ee/
// eeee alike; any case) give day, month and year, "/" gives the date
// separator, anything else is copied. TextToDate reads the result back
// (two-digit years through the window). Every date text of the system (a
// date field's, a query column's) is this one.
std::string DateToText(Date date, const RegionalSettings& rs);

}  // namespace imp
