#include "values/control_text.h"

#include "values/text_encoding.h"

namespace imp {

std::string EscapeControls(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  const std::string text = ReadableUtf8(bytes);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && b != '\t' && b != '\n') || b == 0x7F) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else if (b == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080..U+009F: the 8-bit controls (U+009B starts a sequence as
      // ESC [ does on some terminals).
      const auto low = static_cast<unsigned char>(text[++i]);
      out += "\\u00";
      out += kHex[low >> 4];
      out += kHex[low & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  return line;
}

}  // namespace imp
