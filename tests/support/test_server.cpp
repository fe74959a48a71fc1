#include "tests/support/test_server.h"

#include <cstdlib>

namespace imp::testing {

std::optional<TestServer> TestServer::FromEnvironment(
    const std::optional<std::string>& default_password) {
  const char* host = std::getenv("IMPORTA_FB_SERVER");
  if (!host || !*host) return std::nullopt;
  const char* password = std::getenv("IMPORTA_FB_PASSWORD");
  if (!default_password) {
    if (!password) return std::nullopt;
    return TestServer{host, password};
  }
  return TestServer{host, password && *password ? password : *default_password};
}

}  // namespace imp::testing
