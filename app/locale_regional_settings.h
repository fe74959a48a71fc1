#pragma once
// The user's regional settings, read off a Qt locale.

#include <QLocale>
#include <optional>

#include "values/regional_settings.h"

namespace imp {

// Decimal separator from the locale's decimal point; date separator and
// day/month/year order from its short date format (es_CO "d/MM/yy" gives
// "/" and day first, de_DE "dd.MM.yy" gives "." and day first). The C
// locale (no language set, as under a service) gives the defaults ".", "/"
// and "m/d/yy", not Qt's own C date format. A separator outside ASCII keeps
// the default.
RegionalSettings RegionalSettingsFromLocale(const QLocale& locale);

// The user's locale: QLocale::system(), unless a UserLocaleOverride is alive
// (tests stand in for the desktop changing it, which Qt on Unix does not
// report to the system locale while the program runs).
QLocale UserLocale();

class UserLocaleOverride {
 public:
  explicit UserLocaleOverride(const QLocale& locale);
  ~UserLocaleOverride();
  UserLocaleOverride(const UserLocaleOverride&) = delete;
  UserLocaleOverride& operator=(const UserLocaleOverride&) = delete;

 private:
  std::optional<QLocale> previous_;
};

}  // namespace imp
