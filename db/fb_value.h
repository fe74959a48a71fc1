#pragma once
// The values that travel between the system and the database: bound as
// parameters, read as columns.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "values/date.h"

namespace imp::fb {

// One column value read from a row, or one input parameter. Integers keep
// the column's scale exactly (a NUMERIC(15,4) 12.5 is integer 125000, scale
// -4); texts and blobs are the bytes as stored. A CHAR(n) keeps its blanks
// up to n characters; the bytes a multi-byte character set adds beyond them
// (a UTF8 CHAR(1) arrives as 4 bytes) are padding and are dropped.
struct Value {
  enum class Kind { kNull, kInteger, kDouble, kText, kDate, kBlob, kBoolean };

  Kind kind = Kind::kNull;
  int64_t integer = 0;  // kInteger, kBoolean (0/1)
  int scale = 0;        // kInteger: value = integer × 10^scale (scale <= 0)
  double real = 0;      // kDouble
  std::string bytes;    // kText, kBlob
  Date date;            // kDate (a timestamp's date part)

  static Value Null() { return Value(); }
  static Value Integer(int64_t v, int scale = 0);
  static Value Double(double v);
  static Value Text(std::string_view v);
  static Value OfDate(Date d);
  static Value Blob(std::string_view v);

  bool is_null() const { return kind == Kind::kNull; }
};

using Row = std::vector<Value>;

// Equal kinds and equal contents (a null equals a null; integers compare
// digits and scale, so 1.0 with scale -1 differs from 1 with scale 0).
bool SameValue(const Value& a, const Value& b);

}  // namespace imp::fb
