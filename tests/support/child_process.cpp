#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

extern char** environ;

namespace imp::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The records figure of the last progress line in `text` ("... 1234 líneas
// 567 líneas/s"), or -1.
int64_t LastCount(const std::string& text) {
  static const std::string kMark = " líneas  ";
  const size_t at = text.rfind(kMark);
  if (at == std::string::npos) return -1;
  size_t start = at;
  while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
  if (start == at) return -1;
  return std::stoll(text.substr(start, at - start));
}

std::atomic<unsigned> serial{0};

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const Environment& env, const std::string& folder, bool terminal) {
  // Everything the child needs is built before forking: after fork it only
  // makes async-signal-safe calls.
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : env) vars[name] = value;
  std::vector<std::string> env_text;
  for (const auto& [name, value] : vars) env_text.push_back(name + "=" + value);
  std::vector<char*> argv, envp;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  const std::string suffix = std::to_string(getpid()) + "-" + std::to_string(serial++);
  out_path_ = folder + "/.stdout-" + suffix;
  err_path_ = terminal ? std::string() : folder + "/.stderr-" + suffix;
  const int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err =
      terminal ? -1 : open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int in = terminal ? -1 : open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || (!terminal && (err < 0 || in < 0)))
    throw std::runtime_error("cannot open the output files");

  pid_ = terminal ? forkpty(&terminal_, nullptr, nullptr, nullptr) : fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (dup2(out, STDOUT_FILENO) < 0) _exit(127);
    if (!terminal && (dup2(err, STDERR_FILENO) < 0 || dup2(in, STDIN_FILENO) < 0)) _exit(127);
    if (chdir(folder.c_str()) != 0) _exit(127);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  // Programs this process starts later (a server, say) do not keep the
  // terminal open.
  if (terminal_ >= 0) fcntl(terminal_, F_SETFD, FD_CLOEXEC);
  close(out);
  if (err >= 0) close(err);
  if (in >= 0) close(in);
}

ChildProcess::~ChildProcess() {
  if (!finished_) {
    Kill();
    Reap(true);
  }
  if (terminal_ >= 0) close(terminal_);
  unlink(out_path_.c_str());
  if (!err_path_.empty()) unlink(err_path_.c_str());
}

bool ChildProcess::ReadTerminal(int wait_ms) {
  if (terminal_ < 0) {
    if (wait_ms > 0) usleep(static_cast<useconds_t>(wait_ms) * 1000);
    return false;
  }
  pollfd p{terminal_, POLLIN, 0};
  if (poll(&p, 1, wait_ms) <= 0) return false;
  std::array<char, 4096> buffer;
  const ssize_t n = read(terminal_, buffer.data(), buffer.size());
  if (n > 0) {
    err_.append(buffer.data(), static_cast<size_t>(n));
    // The figure may straddle two reads: look at the tail only.
    const int64_t count = LastCount(err_.substr(err_.size() > 256 ? err_.size() - 256 : 0));
    if (count > records_) records_ = count;
  } else if (n < 0 && errno == EINTR) {
    return true;
  } else {
    // EIO: every copy of the terminal's slave side is closed.
    close(terminal_);
    terminal_ = -1;
  }
  return true;
}

bool ChildProcess::Reap(bool wait) {
  if (finished_) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, wait ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  finished_ = true;
  if (r == pid_ && WIFEXITED(status)) status_ = WEXITSTATUS(status);
  if (r == pid_ && WIFSIGNALED(status)) signal_ = WTERMSIG(status);
  Close();
  return true;
}

void ChildProcess::Close() {
  // Whatever the terminal still holds. The child is gone, so the reads end
  // at once; a grandchild holding the terminal open is not waited for long.
  while (terminal_ >= 0 && ReadTerminal(200)) {
  }
  out_ = ReadWhole(out_path_);
  if (!err_path_.empty()) err_ = ReadWhole(err_path_);
}

bool ChildProcess::WaitForRecords(int64_t records, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (records_ < records) {
    if (Reap(false) || Clock::now() >= end) return false;
    ReadTerminal(20);
  }
  return !Reap(false);
}

void ChildProcess::Kill() {
  if (!finished_) kill(pid_, SIGKILL);
}

void ChildProcess::Signal(int signal) {
  if (!finished_) kill(pid_, signal);
}

void ChildProcess::Suspend() {
  if (!finished_) kill(pid_, SIGSTOP);
}

void ChildProcess::Resume() {
  if (!finished_) kill(pid_, SIGCONT);
}

bool ChildProcess::Finish(std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!Reap(false)) {
    if (Clock::now() >= end) {
      hung_ = true;
      Kill();
      Reap(true);
      return false;
    }
    ReadTerminal(20);
  }
  return true;
}

void ChildProcess::Finish() {
  // Without a terminal there is nothing to drain meanwhile.
  if (terminal_ < 0) {
    Reap(true);
    return;
  }
  while (!Reap(false)) ReadTerminal(20);
}

namespace {

ProcessResult RunToEnd(const std::string& program, const std::vector<std::string>& args,
                       const Environment& env, const std::string& folder, bool terminal) {
  ChildProcess child(program, args, env, folder, terminal);
  child.Finish();
  return ProcessResult{child.status(), child.out(), child.err()};
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const Environment& env, const std::string& folder) {
  return RunToEnd(program, args, env, folder, /*terminal=*/false);
}

ProcessResult RunProcessOnTerminal(const std::string& program,
                                   const std::vector<std::string>& args,
                                   const Environment& env, const std::string& folder) {
  return RunToEnd(program, args, env, folder, /*terminal=*/true);
}

}  // namespace imp::testing
