#pragma once
// How a run reads the order file's numbers and dates when the operator
// states it instead of leaving it to the regional settings: decimal
// separator, order of day, month and year, and date separator. The other
// application writes one format whatever the locale of the machine that
// imports it, so a scheduled run (or the window, from the install
// directory's store) can fix it. What is not stated keeps the regional
// settings' value.

#include <optional>
#include <string>
#include <string_view>

#include "values/regional_settings.h"

namespace imp {

struct FileFormat {
  std::optional<char> decimal_separator;
  std::optional<std::string> short_date_format;  // "d/m/yy", "m/d/yy" or "y/m/d"
  std::optional<char> date_separator;

  bool empty() const { return !decimal_separator && !short_date_format && !date_separator; }
  // `rs` with what this format states put in its place.
  RegionalSettings ApplyTo(RegionalSettings rs) const;
};

// "," or "."; nothing otherwise.
std::optional<char> ParseDecimalSeparator(std::string_view text);
// "dma" (day, month, year), "mda" or "amd", in any case, as the short date
// format that orders the parts so; nothing otherwise.
std::optional<std::string> ParseDateOrder(std::string_view text);
// "/", "-" or "."; nothing otherwise.
std::optional<char> ParseDateSeparator(std::string_view text);

}  // namespace imp
