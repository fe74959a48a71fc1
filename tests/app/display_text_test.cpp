#include "app/display_text.h"

#include <gtest/gtest.h>

namespace imp {
namespace {

struct Case {
  const char* name;
  std::string bytes;
  bool utf8;
  QString shown;
};

TEST(DisplayText, Utf8WhenValidElseWindows1252) {
  const Case cases[] = {
      {"ascii", "PV100 - ACME", true, QStringLiteral("PV100 - ACME")},
      {"utf8 two bytes", "Compa\xC3\xB1\xC3\xAD" "a", true, QStringLiteral("Compañía")},
      {"utf8 euro", "\xE2\x82\xAC", true, QStringLiteral("€")},
      {"utf8 four bytes", "\xF0\x9F\x98\x80", true, QString::fromUcs4(U"\U0001F600")},
      {"cp1252 letter", "Compa\xF1\xED" "a", false, QStringLiteral("Compañía")},
      {"cp1252 euro", "\x80", false, QStringLiteral("€")},
      {"cp1252 quotes", "\x93x\x94", false, QStringLiteral("“x”")},
      {"cp1252 undefined byte kept", "a\x81" "b", false, QStringLiteral("a\u0081b")},
      {"overlong slash", "\xC0\xAF", false, QStringLiteral("À¯")},
      {"surrogate", "\xED\xA0\x80", false, QStringLiteral("í\u00A0€")},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, QStringLiteral("ô\u0090€€")},
      {"cut sequence at end", "ab\xC3", false, QStringLiteral("abÃ")},
      {"lone continuation", "\xA9 2024", false, QStringLiteral("© 2024")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsValidUtf8(c.bytes), c.utf8);
    EXPECT_EQ(DisplayText(c.bytes), c.shown);
  }
}

TEST(DisplayText, ZeroBytesAndEmptyTextSurvive) {
  EXPECT_EQ(DisplayText(std::string("a\0b", 3)).size(), 3);
  EXPECT_TRUE(DisplayText("").isEmpty());
}

}  // namespace
}  // namespace imp
