#pragma once
// The user's regional settings, read off a Qt locale.

#include <QLocale>

#include "values/regional_settings.h"

namespace imp {

// Decimal separator from the locale's decimal point; date separator and
// day/month/year order from its short date format (es_CO "d/MM/yy" gives
// "/" and day first, de_DE "dd.MM.yy" gives "." and day first). The C
// locale (no language set, as under a service) gives the defaults ".", "/"
// and "m/d/yy", not Qt's own C date format. A separator outside ASCII keeps
// the default.
RegionalSettings RegionalSettingsFromLocale(const QLocale& locale);

}  // namespace imp
