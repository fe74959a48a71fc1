#pragma once
// The encoding the order file's texts are written in, declared by the
// operator rather than guessed. It is also the connection's character set,
// so the server turns the texts into each column's own character set and
// back; everything read from the database therefore comes in this encoding
// too.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace imp {

enum class TextEncoding {
  kNone,      // bytes as they are, one byte one character (no conversion)
  kWin1252,   // the single-byte code page the other application writes
  kIso8859_1,
  kUtf8,
};

// "WIN1252", "UTF8", "ISO8859_1" or "NONE" (case ignored; "UTF-8",
// "ISO-8859-1" and "WIN-1252" also accepted); nothing for any other text.
std::optional<TextEncoding> ParseTextEncoding(std::string_view text);

// The server's name of the character set: "NONE", "WIN1252", "ISO8859_1",
// "UTF8".
const char* EncodingName(TextEncoding encoding);

// The length in bytes of the first `characters` characters of `text` (all
// of it when it is shorter). In UTF-8 a character is a code point, so a cut
// never splits one; the other encodings have one byte per character.
std::size_t BytesOfCharacters(std::string_view text, std::size_t characters,
                              TextEncoding encoding);

// The length in bytes of the longest start of `text` that takes at most
// `bytes` bytes without splitting a character (for a column that counts its
// length in bytes, such as one of character set NONE).
std::size_t BytesOfWholeCharacters(std::string_view text, std::size_t bytes,
                                   TextEncoding encoding);

// The offset of the first byte of `text` that does not belong to a
// well-formed UTF-8 sequence (overlong forms, surrogates and code points
// above U+10FFFF included), or nothing when all of it is well formed.
std::optional<std::size_t> FirstInvalidUtf8(std::string_view text);

// The length of the well-formed UTF-8 sequence that starts at `text[at]`
// (1 for an ASCII byte), or 0 when none starts there: the same strict
// reading as FirstInvalidUtf8.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// The character `byte` stands for in Windows-1252: Latin-1 but for 0x80 to
// 0x9F, where the five bytes the code page leaves undefined stand for the
// control character of the same number.
char16_t Windows1252CodePoint(unsigned char byte);

// `bytes` read as Windows-1252, in UTF-8. The bytes the code page leaves
// undefined map to the control character of the same number, so no byte is
// lost.
std::string Windows1252ToUtf8(std::string_view bytes);

// `bytes` as text the operator can read in UTF-8: well-formed UTF-8 stays,
// and each byte that belongs to no well-formed sequence is read as
// Windows-1252 (a Windows-1252 "Ñ" from the file inside a message of ours).
std::string ReadableUtf8(std::string_view bytes);

// `bytes` as the operator sees a text that came whole from one place (a
// settings line, a column, a caption): all of it as it is when it is
// well-formed UTF-8, else all of it read as Windows-1252. Unlike
// ReadableUtf8, one stray byte decides for the whole text.
std::string DisplayUtf8(std::string_view bytes);

}  // namespace imp
