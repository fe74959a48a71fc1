#pragma once
// How a run reads the order file: the encoding of its texts (declared, never
// guessed: Windows-1252 unless stated) and, when the operator states it
// instead of leaving it to the regional settings, the decimal separator,
// the order of day, month and year, and the date separator. The other
// application writes one format whatever the locale of the machine that
// imports it, so a scheduled run (or the window, from the install
// directory's store) can fix it. What is not stated keeps the regional
// settings' value.

#include <optional>
#include <string>
#include <string_view>

#include "values/regional_settings.h"
#include "values/text_encoding.h"

namespace imp {

struct FileFormat {
  std::optional<char> decimal_separator;
  std::optional<std::string> short_date_format;  // "d/m/yy", "m/d/yy" or "y/m/d"
  std::optional<char> date_separator;
  std::optional<TextEncoding> encoding;

  bool empty() const {
    return !decimal_separator && !short_date_format && !date_separator && !encoding;
  }
  // `rs` with what this format states put in its place, and the encoding
  // stated or else Windows-1252, the other application's code page.
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
