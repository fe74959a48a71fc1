#include "values/text_encoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "values/conversions.h"
#include "values/field.h"
#include "values/file_format.h"
#include "values/regional_settings.h"

namespace imp {
namespace {

TEST(TextEncoding, NamesOfTheFourEncodings) {
  const struct {
    const char* text;
    std::optional<TextEncoding> parsed;
  } cases[] = {
      {"WIN1252", TextEncoding::kWin1252},  {"win1252", TextEncoding::kWin1252},
      {"UTF8", TextEncoding::kUtf8},        {"utf-8", TextEncoding::kUtf8},
      {"ISO8859_1", TextEncoding::kIso8859_1}, {"ISO-8859-1", TextEncoding::kIso8859_1},
      {"NONE", TextEncoding::kNone},        {"", std::nullopt},
      {"LATIN1", std::nullopt},             {"UTF16", std::nullopt},
      {"WIN1251", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseTextEncoding(c.text), c.parsed) << c.text;
    if (c.parsed) {
      EXPECT_EQ(ParseTextEncoding(EncodingName(*c.parsed)), c.parsed) << c.text;
    }
  }
}

TEST(TextEncoding, CutsCountCharactersNotBytes) {
  const std::string enye = "\xC3\x91";  // Ñ in UTF-8
  const struct {
    std::string text;
    std::size_t characters;
    TextEncoding encoding;
    std::size_t bytes;
  } cases[] = {
      {"ABCDEF", 3, TextEncoding::kUtf8, 3},
      {enye + enye + enye, 2, TextEncoding::kUtf8, 4},
      {enye + enye + enye, 2, TextEncoding::kWin1252, 2},  // single-byte: bytes
      {enye + enye + enye, 2, TextEncoding::kNone, 2},
      {"A\xE2\x82\xAC" "B", 2, TextEncoding::kUtf8, 4},  // A€
      {"\xF0\x9F\x98\x80" "x", 1, TextEncoding::kUtf8, 4},
      {"ab", 5, TextEncoding::kUtf8, 2},
      {"\xD1\xD1", 1, TextEncoding::kUtf8, 1},  // not UTF-8: a byte a character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BytesOfCharacters(c.text, c.characters, c.encoding), c.bytes) << c.text;
  }
}

TEST(TextEncoding, ByteLimitsKeepWholeCharacters) {
  const std::string enye = "\xC3\x91";
  EXPECT_EQ(BytesOfWholeCharacters(enye + enye + enye, 5, TextEncoding::kUtf8), 4u);
  EXPECT_EQ(BytesOfWholeCharacters(enye + enye + enye, 4, TextEncoding::kUtf8), 4u);
  EXPECT_EQ(BytesOfWholeCharacters(enye + enye + enye, 5, TextEncoding::kWin1252), 5u);
  EXPECT_EQ(BytesOfWholeCharacters("abc", 10, TextEncoding::kUtf8), 3u);
}

TEST(TextEncoding, FindsTheFirstByteThatIsNotUtf8) {
  const struct {
    std::string text;
    std::optional<std::size_t> invalid;
  } cases[] = {
      {"", std::nullopt},
      {"PE\xC3\x91" "A", std::nullopt},
      {"\xE2\x82\xAC", std::nullopt},
      {"\xF4\x8F\xBF\xBF", std::nullopt},      // U+10FFFF
      {"PE\xD1" "A", 2},                        // Windows-1252 Ñ
      {"ab\xC3", 2},                            // cut short
      {"\xC0\x80", 0},                          // overlong NUL
      {"\xE0\x80\xAF", 0},                      // overlong "/"
      {"\xED\xA0\x80", 0},                      // surrogate
      {"\xF4\x90\x80\x80", 0},                  // above U+10FFFF
      {"ok\x80", 2},                            // lone continuation
      {"\xC3\x91\xC3(", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(FirstInvalidUtf8(c.text), c.invalid) << c.text;
}

// A text from one place is either UTF-8 throughout or Windows-1252
// throughout; a text that mixes our words with a file's bytes is read byte
// by byte. The same bytes give different texts under the two rules.
TEST(TextEncoding, WholeTextOrByteByByteReading) {
  const struct {
    std::string bytes;
    std::string whole;         // DisplayUtf8
    std::string byte_by_byte;  // ReadableUtf8
  } cases[] = {
      {"", "", ""},
      {"Compa\xC3\xB1\xC3\xAD" "a", "Compañía", "Compañía"},
      {"Compa\xF1\xED" "a", "Compañía", "Compañía"},
      {"\x80 \x93x\x94", "€ “x”", "€ “x”"},
      {"a\x81" "b", "a\xC2\x81" "b", "a\xC2\x81" "b"},  // undefined: the control of that number
      {"\xC3\xB1 \xE9", "Ã± é", "ñ é"},
      {"Art\xC3\xAD" "culo: 'NI\xD1O'", "ArtÃ\xC2\xAD" "culo: 'NIÑO'", "Artículo: 'NIÑO'"},
      {"\xED\xA0\x80", "í\xC2\xA0€", "í\xC2\xA0€"},  // surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayUtf8(c.bytes), c.whole) << c.bytes;
    EXPECT_EQ(ReadableUtf8(c.bytes), c.byte_by_byte) << c.bytes;
  }
}

// The code page's own table, at its edges; Utf8SequenceLength agrees with
// FirstInvalidUtf8 on where a sequence is well formed.
TEST(TextEncoding, Windows1252CodePointsAndUtf8Sequences) {
  EXPECT_EQ(Windows1252CodePoint('A'), u'A');
  EXPECT_EQ(Windows1252CodePoint(0x7F), 0x7F);
  EXPECT_EQ(Windows1252CodePoint(0x80), 0x20AC);
  EXPECT_EQ(Windows1252CodePoint(0x8D), 0x8D);
  EXPECT_EQ(Windows1252CodePoint(0x9F), 0x0178);
  EXPECT_EQ(Windows1252CodePoint(0xA0), 0xA0);
  EXPECT_EQ(Windows1252CodePoint(0xFF), 0xFF);
  const struct {
    std::string text;
    std::size_t at, length;
  } cases[] = {
      {"a", 0, 1},           {"\xC3\xB1", 0, 2},      {"x\xE2\x82\xAC", 1, 3},
      {"\xF4\x8F\xBF\xBF", 0, 4}, {"\xF4\x90\x80\x80", 0, 0}, {"\xC0\xAF", 0, 0},
      {"\xED\xA0\x80", 0, 0},  {"ab\xC3", 2, 0},         {"\xB1", 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8SequenceLength(c.text, c.at), c.length) << c.text;
}

// A text column keeps as many characters as its length in the encoding of
// the texts; a CHAR(1) flag keeps one character, even a multi-byte one.
TEST(TextEncoding, FieldsCutToTheirLengthInCharacters) {
  static const FieldDef kName{"PEDI_NOMTERC", FieldType::kText, 60, false};
  static const FieldDef kFlag{"PEDI_IVAINC", FieldType::kFixedText, 1, true};
  std::string seventy;
  for (int i = 0; i < 70; ++i) seventy += "\xC3\x91";
  const struct {
    const FieldDef* def;
    std::string text;
    TextEncoding encoding;
    std::size_t bytes;
  } cases[] = {
      {&kName, seventy, TextEncoding::kUtf8, 120},
      {&kName, seventy, TextEncoding::kNone, 60},
      {&kName, std::string(70, '\xD1'), TextEncoding::kWin1252, 60},
      {&kFlag, "\xC3\x91X", TextEncoding::kUtf8, 2},
      {&kFlag, "SX", TextEncoding::kUtf8, 1},
  };
  for (const auto& c : cases) {
    RegionalSettings rs;
    rs.text_encoding = c.encoding;
    Field f(*c.def);
    f.SetText(c.text, rs, Date());
    EXPECT_EQ(f.AsText(rs).size(), c.bytes) << c.def->name << " " << EncodingName(c.encoding);
  }
}

TEST(FileFormat, StatedPartsReplaceTheRegionalOnes) {
  RegionalSettings locale;
  locale.decimal_separator = ',';
  locale.date_separator = '.';
  locale.short_date_format = "dd.MM.yy";

  const RegionalSettings unchanged = FileFormat{}.ApplyTo(locale);
  EXPECT_EQ(unchanged.decimal_separator, ',');
  EXPECT_EQ(unchanged.date_separator, '.');
  EXPECT_EQ(unchanged.short_date_format, "dd.MM.yy");
  EXPECT_EQ(unchanged.text_encoding, TextEncoding::kWin1252);  // the other application's

  FileFormat format;
  format.encoding = TextEncoding::kUtf8;
  format.decimal_separator = '.';
  format.short_date_format = ParseDateOrder("mda");
  format.date_separator = '/';
  const RegionalSettings stated = format.ApplyTo(locale);
  EXPECT_EQ(stated.decimal_separator, '.');
  EXPECT_EQ(stated.date_separator, '/');
  EXPECT_EQ(stated.short_date_format, "m/d/yy");
  EXPECT_EQ(stated.text_encoding, TextEncoding::kUtf8);

  // The dates of the file read in the stated order, whatever the locale's.
  const Date today = *Date::FromYmd(2026, 1, 1);
  const struct {
    const char* order;
    char separator;
    const char* text;
  } dates[] = {{"dma", '/', "15/1/2026"}, {"mda", '/', "1/15/2026"}, {"amd", '-', "2026-01-15"},
               {"dma", '.', "15.01.2026"}};
  for (const auto& d : dates) {
    FileFormat f;
    f.short_date_format = ParseDateOrder(d.order);
    f.date_separator = d.separator;
    EXPECT_EQ(TextToDate(d.text, f.ApplyTo(locale), today), *Date::FromYmd(2026, 1, 15)) << d.text;
  }
}

TEST(FileFormat, ParsesOnlyWhatItCanUse) {
  EXPECT_EQ(ParseDecimalSeparator(","), ',');
  EXPECT_EQ(ParseDecimalSeparator("."), '.');
  for (const char* bad : {"", ";", ",,", " "}) EXPECT_EQ(ParseDecimalSeparator(bad), std::nullopt) << bad;

  EXPECT_EQ(ParseDateOrder("dma"), "d/m/yy");
  EXPECT_EQ(ParseDateOrder("MDA"), "m/d/yy");
  EXPECT_EQ(ParseDateOrder("amd"), "y/m/d");
  for (const char* bad : {"", "dmy", "ymd", "da"}) EXPECT_EQ(ParseDateOrder(bad), std::nullopt) << bad;

  for (const char* good : {"/", ".", "-"}) EXPECT_EQ(ParseDateSeparator(good), good[0]) << good;
  for (const char* bad : {"", "//", "1", "a", " ", "+", "\xC3\x91"}) {
    EXPECT_EQ(ParseDateSeparator(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace imp
