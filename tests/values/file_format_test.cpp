// The order file's format stated for a run: which texts name which format,
// and what it leaves to the regional settings.

#include "values/file_format.h"

#include <gtest/gtest.h>

#include "values/conversions.h"
#include "values/date.h"

namespace imp {
namespace {

TEST(FileFormat, TextsThatNameAFormat) {
  EXPECT_EQ(ParseDecimalSeparator(","), ',');
  EXPECT_EQ(ParseDecimalSeparator("."), '.');
  for (const char* bad : {"", ";", ",,", " ", "a"}) EXPECT_FALSE(ParseDecimalSeparator(bad)) << bad;
  EXPECT_EQ(ParseDateOrder("dma"), "d/m/yy");
  EXPECT_EQ(ParseDateOrder("MDA"), "m/d/yy");
  EXPECT_EQ(ParseDateOrder("amd"), "y/m/d");
  for (const char* bad : {"", "dm", "dmy", "ymd", "adm"}) EXPECT_FALSE(ParseDateOrder(bad)) << bad;
  for (const char* good : {"/", "-", "."}) EXPECT_EQ(ParseDateSeparator(good), good[0]);
  for (const char* bad : {"", ",", "//", "x"}) EXPECT_FALSE(ParseDateSeparator(bad)) << bad;
}

TEST(FileFormat, StatedPartsReplaceTheRegionalOnes) {
  RegionalSettings spanish;
  spanish.decimal_separator = ',';
  spanish.date_separator = '/';
  spanish.short_date_format = "d/mm/yy";
  const Date today = *Date::FromYmd(2026, 12, 9);
  struct Case {
    FileFormat format;
    const char* number;
    const char* date;
    TextEncoding encoding;
  } cases[] = {
      {{'.', "m/d/yy", '/', TextEncoding::kUtf8}, "1234.5", "1/15/2026", TextEncoding::kUtf8},
      {{std::nullopt, "m/d/yy", std::nullopt, TextEncoding::kNone}, "1234,5", "1/15/2026",
       TextEncoding::kNone},
      {{'.', std::nullopt, std::nullopt, std::nullopt}, "1234.5", "15/1/2026",
       TextEncoding::kWin1252},
      {{std::nullopt, "y/m/d", '-', TextEncoding::kIso8859_1}, "1234,5", "2026-01-15",
       TextEncoding::kIso8859_1},
      // Nothing stated: the regional settings, and the other application's
      // code page for the texts.
      {{}, "1234,5", "15/01/2026", TextEncoding::kWin1252},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    const RegionalSettings rs = c.format.ApplyTo(spanish);
    EXPECT_EQ(TextToCurrency(c.number, rs).ToText(RegionalSettings()), "1234.5");
    EXPECT_EQ(TextToDate(c.date, rs, today), *Date::FromYmd(2026, 1, 15));
    EXPECT_EQ(rs.text_encoding, c.encoding);
  }
}

}  // namespace
}  // namespace imp
