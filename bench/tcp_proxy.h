#pragma once
// A TCP relay between a Firebird client and its server that counts round
// trips and can hold every chunk for a fixed delay in each direction, so
// that a benchmark can see how many times an import waits for the network
// and what a LAN or WAN link would cost it.
//
// A round trip is counted each time a connection's client sends after the
// server last spoke (or for the first time): one request, however many
// packets it takes, answered by the server before the client goes on.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace imp::bench {

class TcpProxy {
 public:
  // Listens on 127.0.0.1 at a free port and relays every connection to
  // `host`:`port`, holding each chunk `delay_ms` milliseconds (fractions
  // allowed) before passing it on. Throws std::runtime_error when it cannot
  // listen.
  TcpProxy(std::string host, int port, double delay_ms);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  // The port clients connect to.
  int port() const;
  // Round trips counted so far over all connections.
  uint64_t round_trips() const;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace imp::bench
