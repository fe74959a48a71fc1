#include "app/locale_regional_settings.h"

#include <gtest/gtest.h>

namespace imp {
namespace {

TEST(LocaleRegionalSettings, FromLocales) {
  const struct {
    QLocale locale;
    char decimal, date;
    char first;  // first of d, m, y in the short format
  } cases[] = {
      {QLocale::c(), '.', '/', 'm'},
      {QLocale(QStringLiteral("es_CO")), ',', '/', 'd'},
      {QLocale(QStringLiteral("de_DE")), ',', '.', 'd'},
      {QLocale(QStringLiteral("en_US")), '.', '/', 'm'},
      {QLocale(QStringLiteral("en_GB")), '.', '/', 'd'},
      {QLocale(QStringLiteral("sv_SE")), ',', '-', 'y'},
      {QLocale(QStringLiteral("ja_JP")), '.', '/', 'y'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale.name().toStdString() + " " +
                 c.locale.dateFormat(QLocale::ShortFormat).toStdString());
    const RegionalSettings rs = RegionalSettingsFromLocale(c.locale);
    EXPECT_EQ(rs.decimal_separator, c.decimal);
    EXPECT_EQ(rs.date_separator, c.date);
    const auto first = rs.short_date_format.find_first_of("dmye");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(rs.short_date_format[first], c.first);
    EXPECT_EQ(rs.two_digit_year_window, 50);
  }
}

TEST(LocaleRegionalSettings, CLocaleGivesTheDefaultsNotQtsOwnFormat) {
  const RegionalSettings rs = RegionalSettingsFromLocale(QLocale::c());
  EXPECT_EQ(rs.short_date_format, "m/d/yy");
}

}  // namespace
}  // namespace imp
