#pragma once
// Texts cross between the system's bytes (files, the database, the settings
// file) and Qt's Unicode strings only here. Bytes that form valid UTF-8 are
// shown as UTF-8; anything else is taken as Windows-1252, the single-byte
// set the order files and company databases are written in.

#include <QString>
#include <string>
#include <string_view>

namespace imp {

// True iff `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The text the operator sees for `bytes`.
QString DisplayText(std::string_view bytes);

// A message the system composed: our own words (UTF-8) around values taken
// from a file or the database, which may be Windows-1252. Read byte by byte,
// so neither part garbles the other ("Artículo 'NIÑO'", not "ArtÃ­culo").
QString MessageText(std::string_view bytes);

// `bytes` read as Windows-1252. Bytes the code page leaves undefined map to
// the control character of the same number, so no byte is lost.
QString FromWindows1252(std::string_view bytes);

}  // namespace imp
