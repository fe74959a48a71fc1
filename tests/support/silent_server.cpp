#include "tests/support/silent_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace imp::testing {

SilentServer::SilentServer() {
  socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(socket_, 8) != 0 ||
      getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(socket_);
    throw std::runtime_error("cannot listen on the loopback");
  }
  port_ = ntohs(address.sin_port);
}

SilentServer::~SilentServer() { close(socket_); }

std::string SilentServer::server_line() const {
  return "127.0.0.1/" + std::to_string(port_) + ":/mudo";
}

}  // namespace imp::testing
