#include "app/locale_regional_settings.h"

#include <QString>
#include <utility>

namespace imp {

namespace {

bool IsAsciiSeparator(QChar c) {
  return c.unicode() > 0x20 && c.unicode() < 0x7F && !c.isLetterOrNumber();
}

std::optional<QLocale>& Override() {
  static std::optional<QLocale> locale;
  return locale;
}

}  // namespace

QLocale UserLocale() { return Override() ? *Override() : QLocale::system(); }

UserLocaleOverride::UserLocaleOverride(const QLocale& locale)
    : previous_(std::exchange(Override(), locale)) {}

UserLocaleOverride::~UserLocaleOverride() { Override() = std::move(previous_); }

RegionalSettings RegionalSettingsFromLocale(const QLocale& locale) {
  RegionalSettings rs;
  if (locale.language() == QLocale::C) return rs;

  const QString point = locale.decimalPoint();
  if (point.size() == 1 && IsAsciiSeparator(point[0])) {
    rs.decimal_separator = static_cast<char>(point[0].unicode());
  }

  // The format's letters in lower case; its literal separator is the date
  // separator. Quoted literal text is skipped.
  const QString format = locale.dateFormat(QLocale::ShortFormat);
  std::string short_format;
  bool quoted = false;
  bool separator_found = false;
  for (QChar c : format) {
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    const char16_t u = c.unicode();
    if (u < 0x80 && c.isLetter()) {
      short_format += static_cast<char>(c.toLower().unicode());
    } else if (IsAsciiSeparator(c)) {
      if (!separator_found) {
        rs.date_separator = static_cast<char>(u);
        separator_found = true;
      }
      short_format += '/';
    }
  }
  if (short_format.find_first_of("dmye") != std::string::npos) {
    rs.short_date_format = short_format;
  }
  return rs;
}

}  // namespace imp
