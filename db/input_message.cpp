#include "db/input_message.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "db/fb_client.h"

namespace imp::fb {
namespace {

// A VARCHAR message field holds at most this many bytes.
constexpr unsigned kLongestVarying = 32765;

ISC_QUAD WriteBlob(Firebird::IAttachment* att, Firebird::ITransaction* tra, const std::string& bytes) {
  return Call("Unable to write blob", [&](Firebird::ThrowStatusWrapper& s) {
    ISC_QUAD id{};
    FbRef<Firebird::IBlob> blob(att->createBlob(&s, tra, &id, 0, nullptr));
    size_t done = 0;
    while (done < bytes.size()) {
      unsigned n = static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 32767));
      blob->putSegment(&s, n, bytes.data() + done);
      done += n;
    }
    blob->close(&s);
    blob.forget();
    return id;
  });
}

}  // namespace

bool InputMessage::Fits(std::vector<Value>& values, std::vector<Shape>& wanted) const {
  bool same = meta_ && shapes_.size() == wanted.size();
  for (size_t i = 0; i < values.size(); ++i) {
    Value& v = values[i];
    // Longer texts travel as blobs, which the server converts back to text.
    if (v.kind == Value::Kind::kText && v.bytes.size() > kLongestVarying) v.kind = Value::Kind::kBlob;
    Shape& w = wanted[i];
    w.type = SQL_VARYING, w.length = 1;
    switch (v.kind) {
      case Value::Kind::kNull: break;
      case Value::Kind::kInteger: w.type = SQL_INT64, w.length = 8, w.scale = v.scale; break;
      case Value::Kind::kDouble: w.type = SQL_DOUBLE, w.length = 8; break;
      case Value::Kind::kText: w.length = static_cast<unsigned>(std::max<size_t>(v.bytes.size(), 1)); break;
      case Value::Kind::kDate: w.type = SQL_TYPE_DATE, w.length = 4; break;
      case Value::Kind::kBlob: w.type = SQL_BLOB, w.length = 8; break;
      case Value::Kind::kBoolean: w.type = SQL_BOOLEAN, w.length = 1; break;
    }
    if (same) {
      const Shape& have = shapes_[i];
      same = have.type == w.type && have.scale == w.scale &&
             (w.type == SQL_VARYING ? w.length <= have.length : have.length == w.length);
    }
  }
  return same;
}

void InputMessage::Layout(Firebird::ThrowStatusWrapper& s, std::vector<Shape> wanted,
                          unsigned charset_id) {
  // A text field keeps the room it was given (at least 64 bytes, doubling
  // as longer texts come).
  for (size_t i = 0; i < wanted.size(); ++i) {
    Shape& w = wanted[i];
    if (w.type != SQL_VARYING) continue;
    unsigned room = 64;
    if (i < shapes_.size() && shapes_[i].type == SQL_VARYING) room = std::max(room, 2 * shapes_[i].length);
    w.length = std::min(kLongestVarying, std::max(w.length, room));
  }
  const unsigned count = static_cast<unsigned>(wanted.size());
  FbRef<Firebird::IMetadataBuilder> builder(Master()->getMetadataBuilder(&s, count));
  for (unsigned i = 0; i < count; ++i) {
    const Shape& w = wanted[i];
    builder->setType(&s, i, w.type | 1);
    builder->setLength(&s, i, w.length);
    builder->setScale(&s, i, w.scale);
    // Texts are in the connection's character set.
    if (w.type == SQL_VARYING) builder->setCharSet(&s, i, charset_id);
    if (w.type == SQL_BLOB) builder->setSubType(&s, i, 0);
  }
  meta_.reset(builder->getMetadata(&s));
  shapes_ = std::move(wanted);
  buffer_.assign(meta_->getMessageLength(&s), 0);
}

void InputMessage::Encode(std::vector<Value>& values, Firebird::IAttachment* att,
                          Firebird::ITransaction* tra, unsigned charset_id) {
  Call("Unable to bind parameters", [&](Firebird::ThrowStatusWrapper& s) {
    std::vector<Shape> wanted(values.size());
    if (!Fits(values, wanted)) Layout(s, std::move(wanted), charset_id);
    for (unsigned i = 0; i < values.size(); ++i) {
      const Value& v = values[i];
      unsigned char* p = buffer_.data() + meta_->getOffset(&s, i);
      int16_t null_flag = v.is_null() ? -1 : 0;
      std::memcpy(buffer_.data() + meta_->getNullOffset(&s, i), &null_flag, sizeof null_flag);
      switch (v.kind) {
        case Value::Kind::kNull: break;
        case Value::Kind::kInteger: std::memcpy(p, &v.integer, 8); break;
        case Value::Kind::kDouble: std::memcpy(p, &v.real, 8); break;
        case Value::Kind::kText: {
          uint16_t n = static_cast<uint16_t>(v.bytes.size());
          std::memcpy(p, &n, 2);
          std::memcpy(p + 2, v.bytes.data(), n);
          break;
        }
        case Value::Kind::kDate: {
          ISC_DATE d = static_cast<ISC_DATE>(v.date.days() + kClientDayOf1970);
          std::memcpy(p, &d, sizeof d);
          break;
        }
        case Value::Kind::kBlob: {
          ISC_QUAD id = WriteBlob(att, tra, v.bytes);
          std::memcpy(p, &id, sizeof id);
          break;
        }
        case Value::Kind::kBoolean: *p = v.integer ? 1 : 0; break;
      }
    }
  });
}

}  // namespace imp::fb
