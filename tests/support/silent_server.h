#pragma once
// A TCP listener on the loopback that takes connections (the kernel's
// backlog completes them) and never says a word: a database server that
// accepts and does not answer.

#include <string>

namespace imp::testing {

class SilentServer {
 public:
  SilentServer();  // listens on a free port; throws std::runtime_error when it cannot
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  int port() const { return port_; }
  // The settings' server line that reaches it: "127.0.0.1/PORT:/mudo".
  std::string server_line() const;

 private:
  int socket_ = -1;
  int port_ = 0;
};

}  // namespace imp::testing
