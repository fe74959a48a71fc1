#pragma once
// Text from the order file on its way to a terminal, a summary or a log:
// control bytes in it could retitle or clear the operator's terminal
// (ESC ] 0 ; … BEL, ESC [ 2 J) or break a log into false lines, so each is
// shown as \xNN instead. Tab and the line ends the message itself uses stay.
// The operator reads UTF-8: a file's Windows-1252 bytes inside a message
// are shown as the characters they are.

#include <string>
#include <string_view>

namespace imp {

// `text` with every byte below 32 except tab and LF, and 127, written as
// "\x1b" (two lower-case hex digits), and the 8-bit controls U+0080 to
// U+009F as "\u009b"; bytes that are not UTF-8 read as
// Windows-1252 (ReadableUtf8). Nothing else changes.
std::string EscapeControls(std::string_view text);

// `text` on one line: a database's reason may run over several. Each LF
// becomes a blank and CRs are dropped.
std::string OneLine(std::string_view text);

}  // namespace imp
