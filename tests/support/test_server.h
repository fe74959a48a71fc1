#pragma once
// The local Firebird server the TCP tests use, named by the environment:
// IMPORTA_FB_SERVER (its host) and IMPORTA_FB_PASSWORD (SYSDBA's password
// there). Tests that find none skip themselves.

#include <optional>
#include <string>

namespace imp::testing {

struct TestServer {
  std::string host;
  std::string password;

  // The server the environment names; none without IMPORTA_FB_SERVER.
  // With `default_password`, an unset or empty password is that one;
  // without, an unset password means no server.
  static std::optional<TestServer> FromEnvironment(
      const std::optional<std::string>& default_password);
};

}  // namespace imp::testing
