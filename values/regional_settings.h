#pragma once
// The user's regional settings as every text conversion sees them. A value
// handed down by the front end (read from the locale) or by a test; the
// conversions keep no hidden global copy.

#include <string>

#include "values/text_encoding.h"

namespace imp {

struct RegionalSettings {
  // Separator between integer part and fraction in every number text.
  char decimal_separator = '.';
  // Separator between day, month and year in date texts.
  char date_separator = '/';
  // Short date format; only the first of the letters d, m, y (or e) matters:
  // it gives the order of day, month and year.
  std::string short_date_format = "m/d/yy";
  // Years written with one or two digits fall in the hundred years that
  // start this many years before the current year.
  int two_digit_year_window = 50;
  // The encoding of the texts being converted: a text cut to a column's
  // length keeps that many characters, not bytes.
  TextEncoding text_encoding = TextEncoding::kNone;
};

}  // namespace imp
