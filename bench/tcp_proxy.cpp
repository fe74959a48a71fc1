#include "bench/tcp_proxy.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace imp::bench {

using Clock = std::chrono::steady_clock;

struct TcpProxy::Shared {
  std::string host;
  int target_port = 0;
  Clock::duration delay{};
  int listen_fd = -1;
  int port = 0;
  std::atomic<uint64_t> trips{0};
  std::atomic<bool> stopping{false};
  std::thread acceptor;
};

namespace {

// One relayed connection: the client's socket, the server's, and who spoke
// last. Closed when both directions have ended.
struct Link {
  int client = -1;
  int server = -1;
  std::atomic<bool> server_spoke{true};
  ~Link() {
    if (client >= 0) close(client);
    if (server >= 0) close(server);
  }
};

void NoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int ConnectTo(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = found; a; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
    close(fd);
    fd = -1;
  }
  freeaddrinfo(found);
  if (fd >= 0) NoDelay(fd);
  return fd;
}

// Moves one direction of a link. Chunks read from `from` are stamped and
// written to `to` once the delay has passed; a second thread does the
// writing so that reading never waits for the delay of an earlier chunk.
void Pump(std::shared_ptr<TcpProxy::Shared> shared, std::shared_ptr<Link> link, bool from_client) {
  const int from = from_client ? link->client : link->server;
  const int to = from_client ? link->server : link->client;
  struct Chunk {
    Clock::time_point due;
    std::vector<char> bytes;  // empty: the end of the stream
  };
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Chunk> queue;
  const bool delayed = shared->delay > Clock::duration::zero();

  std::thread writer;
  if (delayed) {
    writer = std::thread([&] {
      for (;;) {
        Chunk chunk;
        {
          std::unique_lock<std::mutex> lock(mutex);
          ready.wait(lock, [&] { return !queue.empty(); });
          chunk = std::move(queue.front());
          queue.pop_front();
        }
        std::this_thread::sleep_until(chunk.due);
        if (chunk.bytes.empty() || !WriteAll(to, chunk.bytes.data(), chunk.bytes.size())) break;
      }
      shutdown(to, SHUT_WR);
    });
  }

  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = recv(from, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (from_client) {
      if (link->server_spoke.exchange(false)) shared->trips.fetch_add(1);
    } else {
      link->server_spoke.store(true);
    }
    if (!delayed) {
      if (!WriteAll(to, buffer.data(), static_cast<size_t>(n))) break;
      continue;
    }
    std::lock_guard<std::mutex> lock(mutex);
    queue.push_back({Clock::now() + shared->delay, std::vector<char>(buffer.data(), buffer.data() + n)});
    ready.notify_one();
  }
  if (delayed) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      queue.push_back({Clock::now() + shared->delay, {}});
      ready.notify_one();
    }
    writer.join();
  } else {
    shutdown(to, SHUT_WR);
  }
}

void Accept(std::shared_ptr<TcpProxy::Shared> shared) {
  while (!shared->stopping.load()) {
    const int client = accept(shared->listen_fd, nullptr, nullptr);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    NoDelay(client);
    auto link = std::make_shared<Link>();
    link->client = client;
    link->server = ConnectTo(shared->host, shared->target_port);
    if (link->server < 0) continue;  // the link closes the client
    std::thread(Pump, shared, link, true).detach();
    std::thread(Pump, shared, link, false).detach();
  }
}

}  // namespace

TcpProxy::TcpProxy(std::string host, int port, double delay_ms) : shared_(std::make_shared<Shared>()) {
  shared_->host = std::move(host);
  shared_->target_port = port;
  shared_->delay = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(delay_ms));
  shared_->listen_fd = socket(AF_INET, SOCK_STREAM, 0);
  if (shared_->listen_fd < 0) throw std::runtime_error("proxy: socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof address;
  if (bind(shared_->listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(shared_->listen_fd, 16) != 0 ||
      getsockname(shared_->listen_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(shared_->listen_fd);
    throw std::runtime_error("proxy: cannot listen on 127.0.0.1");
  }
  shared_->port = ntohs(address.sin_port);
  shared_->acceptor = std::thread(Accept, shared_);
}

TcpProxy::~TcpProxy() {
  shared_->stopping.store(true);
  shutdown(shared_->listen_fd, SHUT_RDWR);
  shared_->acceptor.join();
  close(shared_->listen_fd);
}

int TcpProxy::port() const { return shared_->port; }

uint64_t TcpProxy::round_trips() const { return shared_->trips.load(); }

}  // namespace imp::bench
