#include "db/fb_client.h"

#include <iberror.h>

#include <algorithm>
#include <string>

#include "db/database_failure.h"

namespace imp::fb {
namespace {

std::string FormatStatus(const Firebird::IStatus* status) {
  char buffer[4096];
  unsigned length = Master()->getUtilInterface()->formatStatus(
      buffer, sizeof buffer, const_cast<Firebird::IStatus*>(status));
  std::string text(buffer, std::min<size_t>(length, sizeof buffer));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

Firebird::IMaster* Master() {
  static Firebird::IMaster* master = Firebird::fb_get_master_interface();
  return master;
}

void RaiseClosed() { throw DatabaseFailure("Connection closed", ""); }

void RaiseClientFailure(const char* what, const Firebird::IStatus* status) {
  const intptr_t* errors = status->getErrors();
  intptr_t code = (errors && errors[0] == isc_arg_gds) ? errors[1] : 0;
  // The transliteration code comes second, under a generic first one
  // ("arithmetic exception, numeric overflow, or string truncation").
  bool transliteration = false;
  for (const intptr_t* p = errors; p && *p != isc_arg_end;) {
    const intptr_t type = *p++;
    if (type == isc_arg_gds && *p == isc_transliteration_failed) transliteration = true;
    p += type == isc_arg_cstring ? 2 : 1;
  }
  throw DatabaseFailure(what, FormatStatus(status), code, transliteration);
}

}  // namespace imp::fb
