#pragma once
// Batch mode owns SIGINT, SIGTERM and SIGHUP. They are blocked in every
// thread (the database client's own handlers, which would shut the engine
// down under a running order, never see them) and taken by a watcher thread
// of ours, which passes the first one on as a request to stop and any later
// one as a demand to end at once. The watcher also ticks at a fixed
// interval, for work that must go on while the run is busy (rewriting the
// report).
//
// SIGINT and SIGTERM are taken even when the process was started with them
// ignored (a background job of a script, `timeout -s INT`): a stop between
// orders is always safe. SIGHUP started ignored (nohup) stays ignored: the
// run was meant to outlive its terminal. SIGPIPE is ignored: a reader of
// the output that goes away makes writes fail, not the run die.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace imp {

class BatchSignals {
 public:
  // Blocks the signals in the calling thread, and so in every thread it
  // starts from then on. To be called before any other thread exists.
  static void Block();

  // Starts the watcher. `first` runs (in the watcher) on the first signal,
  // `again` on each later one, `tick` every `interval` (also while no
  // signal comes). None of them may throw.
  BatchSignals(std::function<void(int)> first, std::function<void(int)> again,
               std::function<void()> tick, std::chrono::milliseconds interval);
  // Stops the watcher and waits for it.
  ~BatchSignals();
  BatchSignals(const BatchSignals&) = delete;
  BatchSignals& operator=(const BatchSignals&) = delete;

  // The first signal taken; 0 while none came.
  int received() const { return received_.load(); }

 private:
  void Watch();

  std::function<void(int)> first_;
  std::function<void(int)> again_;
  std::function<void()> tick_;
  std::chrono::milliseconds interval_;
  std::atomic<int> received_{0};
  int signal_fd_ = -1;
  int stop_fd_ = -1;
  std::thread watcher_;
};

}  // namespace imp
