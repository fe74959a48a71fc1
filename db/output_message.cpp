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

Row DecodeRow(Firebird::IMessageMetadata* meta, const std::vector<Column>& columns,
              const unsigned char* buffer, Firebird::IAttachment* att, Firebird::ITransaction* tra) {
  Row row(columns.size());
  std::vector<std::pair<unsigned, unsigned>> offsets(columns.size());
  Call("Unable to read row", [&](Firebird::ThrowStatusWrapper& s) {
    for (unsigned i = 0; i < columns.size(); ++i)
      offsets[i] = {meta->getOffset(&s, i), meta->getNullOffset(&s, i)};
  });
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    const unsigned char* p = buffer + offsets[i].first;
    int16_t null_flag;
    std::memcpy(&null_flag, buffer + offsets[i].second, sizeof null_flag);
    Value& v = row[i];
    if (null_flag != 0 || c.sql_type == SQL_NULL) continue;
    switch (c.sql_type) {
      case SQL_TEXT:
        v = Value::Text(FixedText(std::string_view(reinterpret_cast<const char*>(p), c.length),
                                  c.charset));
        break;
      case SQL_VARYING: {
        uint16_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Text(std::string_view(reinterpret_cast<const char*>(p + 2), n));
        break;
      }
      case SQL_SHORT: {
        int16_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_LONG: {
        int32_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_INT64: {
        int64_t n;
        std::memcpy(&n, p, sizeof n);
        v = Value::Integer(n, c.scale);
        break;
      }
      case SQL_FLOAT: {
        float f;
        std::memcpy(&f, p, sizeof f);
        v = Value::Double(f);
        break;
      }
      case SQL_DOUBLE:
      case SQL_D_FLOAT: {
        double d;
        std::memcpy(&d, p, sizeof d);
        v = Value::Double(d);
        break;
      }
      case SQL_TYPE_DATE: {
        ISC_DATE d;
        std::memcpy(&d, p, sizeof d);
        v = Value::OfDate(Date::FromDays(d - kClientDayOf1970));
        break;
      }
      case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts;
        std::memcpy(&ts, p, sizeof ts);
        v = Value::OfDate(Date::FromDays(ts.timestamp_date - kClientDayOf1970));
        break;
      }
      case SQL_TYPE_TIME: {
        ISC_TIME t;
        std::memcpy(&t, p, sizeof t);
        v = Value::Text(TimeText(t));
        break;
      }
      case SQL_BOOLEAN:
        v.kind = Value::Kind::kBoolean;
        v.integer = *p ? 1 : 0;
        break;
      case SQL_BLOB: {
        ISC_QUAD id;
        std::memcpy(&id, p, sizeof id);
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
