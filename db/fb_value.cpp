#include "db/fb_value.h"

namespace imp::fb {

Value Value::Integer(int64_t v, int scale) {
  Value r;
  r.kind = Kind::kInteger;
  r.integer = v;
  r.scale = scale;
  return r;
}
Value Value::Double(double v) {
  Value r;
  r.kind = Kind::kDouble;
  r.real = v;
  return r;
}
Value Value::Text(std::string_view v) {
  Value r;
  r.kind = Kind::kText;
  r.bytes.assign(v);
  return r;
}
Value Value::OfDate(Date d) {
  Value r;
  r.kind = Kind::kDate;
  r.date = d;
  return r;
}
Value Value::Blob(std::string_view v) {
  Value r;
  r.kind = Kind::kBlob;
  r.bytes.assign(v);
  return r;
}

bool SameValue(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Value::Kind::kNull: return true;
    case Value::Kind::kInteger: return a.integer == b.integer && a.scale == b.scale;
    case Value::Kind::kBoolean: return a.integer == b.integer;
    case Value::Kind::kDouble: return a.real == b.real;
    case Value::Kind::kText:
    case Value::Kind::kBlob: return a.bytes == b.bytes;
    case Value::Kind::kDate: return a.date == b.date;
  }
  return false;
}

}  // namespace imp::fb
