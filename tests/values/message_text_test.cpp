// Rules every message follows wherever it is shown: the final period and
// a reason on one line.

#include "values/message_text.h"

#include <gtest/gtest.h>

#include <string>

namespace imp {
namespace {

using namespace std::string_literals;

// The period goes after any last byte that sorts after "." (letters,
// digits, "/", ":", "?", a UTF-8 letter's last byte), never after one that
// sorts before it or is "." itself.
TEST(MessageText, FinalPeriodRule) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"", ""},
      {"Registro no encontrado", "Registro no encontrado."},
      {"Ya termina.", "Ya termina."},
      {"Termina en espacio ", "Termina en espacio "},
      {"Exclamación!", "Exclamación!"},
      {"¿Pregunta?", "¿Pregunta?."},
      {"coma,", "coma,"},
      {"guion-", "guion-"},
      {"línea\n", "línea\n"},
      {"retorno\r", "retorno\r"},
      {"tabulador\t", "tabulador\t"},
      {"comillas'", "comillas'"},  // ' sorts before "." too
      {"comillas dobles\"", "comillas dobles\""},
      {"barra/", "barra/."},
      {"dos puntos:", "dos puntos:."},
      {"punto y coma;", "punto y coma;."},
      {"paréntesis)", "paréntesis)"},
      {"cifra 7", "cifra 7."},
      {"ñ final \xC3\xB1", "ñ final \xC3\xB1."},
      {"Windows-1252 \xD1", "Windows-1252 \xD1."},
      {"dos líneas.\nsegunda", "dos líneas.\nsegunda."},
      {"cero\0"s, "cero\0"s},
      {".", "."},
      {"a", "a."},
  };
  for (const auto& c : cases) EXPECT_EQ(WithFinalPeriod(c.text), c.shown) << c.text;
}

// Line breaks go first, then what is left of the controls is escaped: a
// CR LF is one blank, a lone CR disappears, an ESC is shown.
TEST(MessageText, ReasonOnOneLineWithControlsShown) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"", ""},
      {"Artículo no válido", "Artículo no válido"},
      {"uno\ndos", "uno dos"},
      {"uno\r\ndos\r\n", "uno dos "},
      {"sin\rCR", "sinCR"},
      {"con\ttabulador", "con\ttabulador"},
      {"\x1b]0;titulo\x07", "\\x1b]0;titulo\\x07"},
      {"nulo\0fin"s, "nulo\\x00fin"},
      {"NI\xD1O", "NIÑO"},
      {"c1 \xC2\x9B", "c1 \\u009b"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapedOneLine(c.text), c.shown) << c.text;
}

}  // namespace
}  // namespace imp
