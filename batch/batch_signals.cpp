#include "batch/batch_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace imp {
namespace {

// The signals taken; SIGHUP only when it was not ignored at start.
sigset_t& Taken() {
  static sigset_t set;
  return set;
}

}  // namespace

void BatchSignals::Block() {
  // A reader of standard output or error that goes away (a pipe into a
  // pager, an ssh session dropped) must not kill the run in the middle of
  // an order: writes to it fail, and the import goes on to its end.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);

  sigset_t& set = Taken();
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    sigaction(s, nullptr, &current);
    if (current.sa_handler == SIG_IGN) {
      if (s == SIGHUP) continue;
      // An ignored signal is discarded even while blocked: back to the
      // default, so that it waits for the watcher.
      struct sigaction by_default {};
      by_default.sa_handler = SIG_DFL;
      sigemptyset(&by_default.sa_mask);
      sigaction(s, &by_default, nullptr);
    }
    sigaddset(&set, s);
  }
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

BatchSignals::BatchSignals(std::function<void(int)> first, std::function<void(int)> again,
                           std::function<void()> tick, std::chrono::milliseconds interval)
    : first_(std::move(first)), again_(std::move(again)), tick_(std::move(tick)),
      interval_(interval) {
  signal_fd_ = signalfd(-1, &Taken(), SFD_CLOEXEC);
  stop_fd_ = eventfd(0, EFD_CLOEXEC);
  if (signal_fd_ < 0 || stop_fd_ < 0) {
    const int error = errno;
    if (signal_fd_ >= 0) close(signal_fd_);
    if (stop_fd_ >= 0) close(stop_fd_);
    throw std::system_error(error, std::generic_category(), "signalfd");
  }
  watcher_ = std::thread([this] { Watch(); });
}

BatchSignals::~BatchSignals() {
  const uint64_t one = 1;
  if (write(stop_fd_, &one, sizeof one) < 0) {
    // Cannot happen with an eventfd of ours; the join below would hang, so
    // the watcher is left to the end of the process.
    watcher_.detach();
  } else {
    watcher_.join();
  }
  close(signal_fd_);
  close(stop_fd_);
}

void BatchSignals::Watch() {
  const int timeout = static_cast<int>(interval_.count());
  auto next_tick = std::chrono::steady_clock::now() + interval_;
  for (;;) {
    pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    const int ready = poll(fds, 2, timeout);
    if (ready < 0 && errno != EINTR) return;
    if (ready > 0 && (fds[1].revents & POLLIN)) return;
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      signalfd_siginfo info{};
      if (read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        const int s = static_cast<int>(info.ssi_signo);
        int none = 0;
        if (received_.compare_exchange_strong(none, s)) {
          first_(s);
        } else {
          again_(s);
        }
      }
    }
    // Signals do not put the ticks off.
    if (std::chrono::steady_clock::now() >= next_tick) {
      tick_();
      next_tick = std::chrono::steady_clock::now() + interval_;
    }
  }
}

}  // namespace imp
