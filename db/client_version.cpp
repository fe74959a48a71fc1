#include "db/client_version.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <cstdio>

namespace imp {

std::string FirebirdClientVersion() {
  // The old entry point gives the build ("LI-V6.3.11.33637 Firebird 3.0":
  // InterBase-style 6.3, then release and build numbers); the interface
  // gives the real major and minor version.
  char text[128] = {};
  isc_get_client_version(text);
  const std::string library(text);
  const unsigned version =
      Firebird::fb_get_master_interface()->getUtilInterface()->getClientVersion();
  unsigned major = 0, minor = 0, release = 0, build = 0;
  const size_t v = library.find("-V");
  if (v == std::string::npos ||
      std::sscanf(library.c_str() + v + 2, "%u.%u.%u.%u", &major, &minor, &release, &build) != 4) {
    return library;
  }
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%u.%u.%u.%u", version >> 8, version & 0xff, release,
                build);
  return std::string(numbers) + " (" + library + ")";
}

}  // namespace imp
