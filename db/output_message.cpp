#include "db/output_message.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "db/fb_client.h"
#include "db/fb_owner.h"
#include "values/text_encoding.h"

namespace imp::fb {
namespace {

constexpr int kCharsetUnicodeFss = 3;

// A value of type T at `p`, which need not be aligned for T.
template <typename T>
T Load(const unsigned char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
constexpr int kCharsetUtf8 = 4;

// Reads a whole blob.
std::string ReadBlob(Firebird::IAttachment* att, Firebird::ITransaction* tra, ISC_QUAD id) {
  return Call("Unable to read blob", [&](Firebird::ThrowStatusWrapper& s) {
    FbRef<Firebird::IBlob> blob(att->openBlob(&s, tra, &id, 0, nullptr));
    std::string bytes;
    char chunk[32768];
    for (;;) {
      unsigned got = 0;
      int rc = blob->getSegment(&s, sizeof chunk, chunk, &got);
      if (rc == Firebird::IStatus::RESULT_NO_DATA) break;
      bytes.append(chunk, got);
    }
    blob->close(&s);
    blob.forget();
    return bytes;
  });
}

std::string TimeText(ISC_TIME t) {
  unsigned seconds = t / 10000;
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

// A CHAR(n) buffer holds n characters at the most bytes a character of its
// set can take; what follows the n-th character is padding.
std::string_view FixedText(std::string_view bytes, int charset) {
  std::size_t per_character = 1;
  if (charset == kCharsetUnicodeFss) per_character = 3;
  if (charset == kCharsetUtf8) per_character = 4;
  if (per_character == 1) return bytes;
  const std::size_t characters = bytes.size() / per_character;
  return bytes.substr(0, BytesOfCharacters(bytes, characters, TextEncoding::kUtf8));
}

}  // namespace

std::vector<Column> DescribeColumns(Firebird::IMessageMetadata* meta) {
  std::vector<Column> columns;
  if (!meta) return columns;
  Call("Unable to describe columns", [&](Firebird::ThrowStatusWrapper& s) {
    unsigned count = meta->getCount(&s);
    for (unsigned i = 0; i < count; ++i) {
      Column c;
      c.name = meta->getAlias(&s, i);
      if (c.name.empty()) c.name = meta->getField(&s, i);
      c.sql_type = static_cast<int>(meta->getType(&s, i) & ~1u);
      c.scale = meta->getScale(&s, i);
      c.length = static_cast<int>(meta->getLength(&s, i));
      c.sub_type = meta->getSubType(&s, i);
      c.charset = static_cast<int>(meta->getCharSet(&s, i));
      columns.push_back(std::move(c));
    }
  });
  return columns;
}

std::vector<FieldOffsets> OffsetsOf(Firebird::IMessageMetadata* meta) {
  std::vector<FieldOffsets> offsets;
  if (!meta) return offsets;
  Call("Unable to describe columns", [&](Firebird::ThrowStatusWrapper& s) {
    const unsigned count = meta->getCount(&s);
    for (unsigned i = 0; i < count; ++i)
      offsets.push_back({meta->getOffset(&s, i), meta->getNullOffset(&s, i)});
  });
  return offsets;
}

Row DecodeRow(const std::vector<Column>& columns, const std::vector<FieldOffsets>& offsets,
              const unsigned char* buffer, Firebird::IAttachment* att, Firebird::ITransaction* tra) {
  Row row(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    const unsigned char* p = buffer + offsets[i].value;
    const auto null_flag = Load<int16_t>(buffer + offsets[i].null_flag);
    Value& v = row[i];
    if (null_flag != 0 || c.sql_type == SQL_NULL) continue;
    switch (c.sql_type) {
      case SQL_TEXT:
        v = Value::Text(FixedText(std::string_view(reinterpret_cast<const char*>(p), c.length),
                                  c.charset));
        break;
      case SQL_VARYING: {
        const auto n = Load<uint16_t>(p);
        v = Value::Text(std::string_view(reinterpret_cast<const char*>(p + 2), n));
        break;
      }
      case SQL_SHORT: {
        const auto n = Load<int16_t>(p);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_LONG: {
        const auto n = Load<int32_t>(p);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_INT64: {
        const auto n = Load<int64_t>(p);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_FLOAT: {
        const auto f = Load<float>(p);
        v = Value::Double(f);
        break;
      }
      case SQL_DOUBLE:
      case SQL_D_FLOAT: {
        const auto d = Load<double>(p);
        v = Value::Double(d);
        break;
      }
      case SQL_TYPE_DATE: {
        const auto d = Load<ISC_DATE>(p);
        v = Value::OfDate(Date::FromDays(d - kClientDayOf1970));
        break;
      }
      case SQL_TIMESTAMP: {
        const auto ts = Load<ISC_TIMESTAMP>(p);
        v = Value::OfDate(Date::FromDays(ts.timestamp_date - kClientDayOf1970));
        break;
      }
      case SQL_TYPE_TIME: {
        const auto t = Load<ISC_TIME>(p);
        v = Value::Text(TimeText(t));
        break;
      }
      case SQL_BOOLEAN:
        v.kind = Value::Kind::kBoolean;
        v.integer = *p ? 1 : 0;
        break;
      case SQL_BLOB: {
        const auto id = Load<ISC_QUAD>(p);
        v = Value::Blob(ReadBlob(att, tra, id));
        break;
      }
      default:
        throw DatabaseFailure("Unsupported column type " + std::to_string(c.sql_type) +
                                  " of " + c.name,
                              "");
    }
  }
  return row;
}

}  // namespace imp::fb
