// File text on its way to a terminal: control bytes shown, never sent.

#include "values/control_text.h"

#include <gtest/gtest.h>

#include <string>

namespace imp {
namespace {

using namespace std::string_literals;

TEST(ControlText, ControlBytesAreShownEscaped) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"ACME LTDA", "ACME LTDA"},
      {"\x1b]0;pwned\x07", "\\x1b]0;pwned\\x07"},      // retitles a terminal
      {"a\x1b[2Jb", "a\\x1b[2Jb"},                     // clears it
      {"fin\x1a", "fin\\x1a"},                          // Ctrl-Z
      {"\x7f\x01\x1f", "\\x7f\\x01\\x1f"},
      {"uno\tdos\nPedido", "uno\tdos\nPedido"},         // tab and the message's own line ends
      {"cr\r", "cr\\x0d"},
      {"cero\0"s, "cero\\x00"},
      // UTF-8 stays; a Windows-1252 byte among it is read as its character,
      // the undefined ones as their control, shown escaped.
      {"Compañía \xD1 \x80 \x81", "Compañía Ñ € \\u0081"},
      {"\xC2\x9B" "31m", "\\u009b31m"},  // CSI, the 8-bit ESC [
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeControls(c.text), c.shown);
  }
}

}  // namespace
}  // namespace imp
