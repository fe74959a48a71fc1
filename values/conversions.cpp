#include "values/conversions.h"

#include <cmath>
#include <cstdint>
#include <optional>

#include "values/extended.h"
#include "values/failure.h"

namespace imp {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The integer grammar shared by TextToInteger, ParseInteger and integer
// columns. Nothing when the text is malformed or its value does not fit in
// 64 bits.
std::optional<int64_t> ScanInteger(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  int base = 10;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }

  // Magnitude up to 2^63, enough for the most negative value.
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  size_t digits = 0;
  for (; i < n; ++i, ++digits) {
    const int d = base == 16 ? HexDigit(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
    if (d < 0) break;
    if (magnitude > (kLimit - d) / base) return std::nullopt;
    magnitude = magnitude * base + d;
  }
  if (digits == 0 || i != n) return std::nullopt;
  if (negative) return magnitude == kLimit ? INT64_MIN : -static_cast<int64_t>(magnitude);
  if (magnitude == kLimit) return std::nullopt;
  return static_cast<int64_t>(magnitude);
}

// 10^k in extended precision by repeated squaring; exact up to 10^27,
// infinite once it leaves the range.
long double Pow10(uint64_t k) {
  long double result = 1.0L;
  long double square = 10.0L;
  while (k != 0) {
    if (k & 1) result *= square;
    k >>= 1;
    if (k != 0) square *= square;
    if (std::isinf(result)) break;
  }
  return result;
}

[[noreturn]] void FailDate(std::string_view text) {
  throw Failure(FormatText("'%s' no es una fecha válida", {std::string(text)}));
}

enum class DateOrder { kMdy, kDmy, kYmd };

DateOrder OrderOf(const std::string& format) {
  for (char c : format) {
    switch (c) {
      case 'd': case 'D': return DateOrder::kDmy;
      case 'm': case 'M': return DateOrder::kMdy;
      case 'y': case 'Y': case 'e': case 'E': return DateOrder::kYmd;
      default: break;
    }
  }
  return DateOrder::kMdy;
}

}  // namespace

bool ParseInteger(std::string_view text, int64_t& out) {
  const auto value = ScanInteger(text);
  if (!value) return false;
  out = *value;
  return true;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

int32_t TextToInteger(std::string_view text) {
  const auto value = ScanInteger(text);
  if (!value || *value < INT32_MIN || *value > INT32_MAX) {
    throw Failure(FormatText("'%s' no es un valor entero válido", {std::string(text)}));
  }
  return static_cast<int32_t>(*value);
}

Currency TextToCurrency(std::string_view text, const RegionalSettings& rs) {
  auto fail = [&]() -> Currency {
    throw Failure(FormatText("'%s' no es un valor decimal válido", {std::string(text)}));
  };
  const size_t n = text.size();
  size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // The digits, integer part and fraction alike, accumulate as one integer:
  // exact up to 64 bits, then rounded per digit like the hardware does.
  long double digits = 0;
  size_t count = 0;
  int64_t decimals = 0;
  for (; i < n && IsDigit(text[i]); ++i, ++count) digits = digits * 10 + (text[i] - '0');
  bool separator = false;
  if (i < n && text[i] == rs.decimal_separator) {
    separator = true;
    for (++i; i < n && IsDigit(text[i]); ++i, ++count, ++decimals) {
      digits = digits * 10 + (text[i] - '0');
    }
  }
  if (count == 0 && !separator) return fail();

  int64_t exponent = 0;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool exponent_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    size_t exponent_digits = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++exponent_digits) {
      // Beyond this every non-zero value is out of range or rounds to 0.
      if (exponent < 1'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exponent_digits == 0) return fail();
    if (exponent_negative) exponent = -exponent;
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return fail();

  if (digits == 0) return Currency();
  // Scale to ten-thousandths; arithmetic faults here are the text's fault.
  const int64_t scale = exponent - decimals + 4;
  long double scaled = scale >= 0 ? digits * Pow10(static_cast<uint64_t>(scale))
                                  : digits / Pow10(static_cast<uint64_t>(-scale));
  if (negative) scaled = -scaled;
  if (!std::isfinite(scaled)) return fail();
  const long double rounded = std::nearbyint(scaled);
  if (!(rounded >= -9223372036854775808.0L && rounded < 9223372036854775808.0L)) return fail();
  return Currency::FromCount(static_cast<int64_t>(rounded));
}

namespace {

// The numbers of a date text as typed: two or three, each with its count of
// digits (a year of one or two digits falls in the two-digit-year window).
struct DateNumbers {
  int numbers[3] = {0, 0, 0};
  int lengths[3] = {0, 0, 0};
  int found = 2;
};

// Reads "n sep n [sep [n [sep]]]" with blanks around each part; anything
// else fails as an invalid date.
DateNumbers ScanDateNumbers(std::string_view text, char sep) {
  const size_t n = text.size();
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < n && text[i] == ' ') ++i;
  };
  // A run of digits; stops after the digit that brings it to 1000 or more.
  auto scan_number = [&](int& value, int& length) {
    skip_blanks();
    value = 0;
    length = 0;
    while (i < n && IsDigit(text[i]) && value < 1000) {
      value = value * 10 + (text[i] - '0');
      ++length;
      ++i;
    }
    return length > 0;
  };
  auto scan_separator = [&] {
    skip_blanks();
    if (i < n && text[i] == sep) {
      ++i;
      return true;
    }
    return false;
  };

  DateNumbers d;
  int (&numbers)[3] = d.numbers;
  int (&lengths)[3] = d.lengths;
  if (!scan_number(numbers[0], lengths[0])) FailDate(text);
  if (!scan_separator()) FailDate(text);
  if (!scan_number(numbers[1], lengths[1])) FailDate(text);
  // Either a third number or a trailing separator may follow.
  if (scan_separator()) {
    const size_t before = i;
    if (scan_number(numbers[2], lengths[2])) {
      d.found = 3;
      scan_separator();
    } else {
      i = before;
    }
  }
  skip_blanks();
  if (i != n) FailDate(text);
  return d;
}

}  // namespace

Date TextToDate(std::string_view text, const RegionalSettings& rs, Date today) {
  const DateNumbers scanned = ScanDateNumbers(text, rs.date_separator);
  const int(&numbers)[3] = scanned.numbers;
  const int(&lengths)[3] = scanned.lengths;
  const int found = scanned.found;
  const DateOrder order = OrderOf(rs.short_date_format);
  const int current_year = today.year();
  int year = current_year;
  int month = 0;
  int day = 0;
  if (found == 2) {
    if (order == DateOrder::kDmy) {
      day = numbers[0];
      month = numbers[1];
    } else {
      month = numbers[0];
      day = numbers[1];
    }
  } else {
    int year_length = 0;
    switch (order) {
      case DateOrder::kMdy:
        month = numbers[0], day = numbers[1], year = numbers[2], year_length = lengths[2];
        break;
      case DateOrder::kDmy:
        day = numbers[0], month = numbers[1], year = numbers[2], year_length = lengths[2];
        break;
      case DateOrder::kYmd:
        year = numbers[0], year_length = lengths[0], month = numbers[1], day = numbers[2];
        break;
    }
    if (year_length <= 2) {
      // The hundred years starting `window` years before the current one.
      const int base = current_year - rs.two_digit_year_window;
      year += base / 100 * 100;
      if (year < base) year += 100;
    }
  }
  const auto date = Date::FromYmd(year, month, day);
  if (!date) FailDate(text);
  return *date;
}

double RoundToExponent(int8_t exponent, double value) {
  const long double power = Pow10(static_cast<uint64_t>(exponent < 0 ? -exponent : exponent));
  const double f = ExtToDouble(exponent < 0 ? 1.0L / power : power);
  const long double quotient = ExtDiv(value, f);
  // The quotient is rounded to a 64-bit integer; outside that range the
  // rounding is an invalid operation.
  const long double whole = Currency::FromExtendedCount(quotient).count();
  return ExtToDouble(ExtMul(whole, f));
}

int32_t FloorToInteger(long double value) {
  if (std::isnan(value)) RaiseInvalidOperation();
  const long double whole = std::trunc(value);
  const long double floor = value - whole < 0 ? whole - 1 : whole;
  if (!(floor >= INT32_MIN && floor <= INT32_MAX)) RaiseInvalidOperation();
  return static_cast<int32_t>(floor);
}

std::string QuoteSqlText(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '\'';
  for (char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  quoted += '\'';
  return quoted;
}

std::string DateToText(Date date, const RegionalSettings& rs) {
  const std::string& format = rs.short_date_format;
  auto padded = [](int value, size_t width) {
    std::string text = std::to_string(value);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
  };
  std::string text;
  for (size_t i = 0; i < format.size();) {
    const char c = format[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    // 'e' is a year letter, as it is for the order TextToDate reads.
    const char field = lower == 'e' ? 'y' : lower;
    if (field == 'd' || field == 'm' || field == 'y') {
      size_t run = 0;
      while (i < format.size() && (format[i] == c || format[i] == (c ^ 0x20))) ++i, ++run;
      if (field == 'd') text += padded(date.day(), run >= 2 ? 2 : 1);
      if (field == 'm') text += padded(date.month(), run >= 2 ? 2 : 1);
      if (field == 'y') text += run <= 2 ? padded(date.year() % 100, 2) : padded(date.year(), 4);
      continue;
    }
    text += c == '/' ? rs.date_separator : c;
    ++i;
  }
  return text;
}

}  // namespace imp
