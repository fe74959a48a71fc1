#include "app/display_text.h"

#include "values/text_encoding.h"

namespace imp {

bool IsValidUtf8(std::string_view bytes) { return !FirstInvalidUtf8(bytes).has_value(); }

QString FromWindows1252(std::string_view bytes) {
  const std::string utf8 = Windows1252ToUtf8(bytes);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString MessageText(std::string_view bytes) {
  const std::string utf8 = ReadableUtf8(bytes);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString DisplayText(std::string_view bytes) {
  const std::string utf8 = DisplayUtf8(bytes);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace imp
