#include "values/text_encoding.h"

#include <algorithm>
#include <cctype>

namespace imp {
namespace {

std::string Normalised(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '-' || c == '_') continue;
    out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  return out;
}

// Bytes of the well-formed sequence starting at `i`, or 0 when there is none.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return 1;
  std::size_t n;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    if (b0 == 0xE0) low = 0xA0;   // overlong
    if (b0 == 0xED) high = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    if (b0 == 0xF0) low = 0x90;   // overlong
    if (b0 == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return n;
}

// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendWindows1252(unsigned char byte, std::string& out) {
  const char16_t cp = Windows1252CodePoint(byte);
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  return SequenceLength(text, at);
}

char16_t Windows1252CodePoint(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte;
}

std::string DisplayUtf8(std::string_view bytes) {
  if (!FirstInvalidUtf8(bytes)) return std::string(bytes);
  return Windows1252ToUtf8(bytes);
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendWindows1252(static_cast<unsigned char>(c), out);
  return out;
}

std::string ReadableUtf8(std::string_view bytes) {
  if (!FirstInvalidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 8);
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = SequenceLength(bytes, i);
    if (n == 0) {
      AppendWindows1252(static_cast<unsigned char>(bytes[i]), out);
      ++i;
    } else {
      out.append(bytes.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::optional<TextEncoding> ParseTextEncoding(std::string_view text) {
  const std::string name = Normalised(text);
  if (name == "WIN1252") return TextEncoding::kWin1252;
  if (name == "UTF8") return TextEncoding::kUtf8;
  if (name == "ISO88591") return TextEncoding::kIso8859_1;
  if (name == "NONE") return TextEncoding::kNone;
  return std::nullopt;
}

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kNone: return "NONE";
    case TextEncoding::kWin1252: return "WIN1252";
    case TextEncoding::kIso8859_1: return "ISO8859_1";
    case TextEncoding::kUtf8: return "UTF8";
  }
  return "NONE";
}

std::size_t BytesOfCharacters(std::string_view text, std::size_t characters,
                              TextEncoding encoding) {
  if (encoding != TextEncoding::kUtf8) return std::min(text.size(), characters);
  std::size_t i = 0;
  for (std::size_t counted = 0; i < text.size() && counted < characters; ++counted) {
    // A byte that starts no well-formed sequence counts as one character:
    // the server refuses such a text with its own reason.
    const std::size_t n = SequenceLength(text, i);
    i += n == 0 ? 1 : n;
  }
  return i;
}

std::size_t BytesOfWholeCharacters(std::string_view text, std::size_t bytes,
                                   TextEncoding encoding) {
  if (text.size() <= bytes) return text.size();
  if (encoding != TextEncoding::kUtf8) return bytes;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = std::max<std::size_t>(SequenceLength(text, i), 1);
    if (i + n > bytes) break;
    i += n;
  }
  return i;
}

std::optional<std::size_t> FirstInvalidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = SequenceLength(text, i);
    if (n == 0) return i;
    i += n;
  }
  return std::nullopt;
}

}  // namespace imp
