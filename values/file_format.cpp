#include "values/file_format.h"

#include <cctype>

namespace imp {

RegionalSettings FileFormat::ApplyTo(RegionalSettings rs) const {
  if (decimal_separator) rs.decimal_separator = *decimal_separator;
  if (short_date_format) rs.short_date_format = *short_date_format;
  if (date_separator) rs.date_separator = *date_separator;
  rs.text_encoding = encoding.value_or(TextEncoding::kWin1252);
  return rs;
}

std::optional<char> ParseDecimalSeparator(std::string_view text) {
  if (text == "," || text == ".") return text[0];
  return std::nullopt;
}

std::optional<std::string> ParseDateOrder(std::string_view text) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "dma") return std::string("d/m/yy");
  if (lower == "mda") return std::string("m/d/yy");
  if (lower == "amd") return std::string("y/m/d");
  return std::nullopt;
}

std::optional<char> ParseDateSeparator(std::string_view text) {
  if (text == "/" || text == "-" || text == ".") return text[0];
  return std::nullopt;
}

}  // namespace imp
