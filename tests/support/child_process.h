#pragma once
// A program run as a subprocess that the test watches while it works. With
// standard error on a pseudo-terminal, the batch importer draws its
// progress line there (and sees a terminal), and the test reads how many
// records it has read so far; it can then signal the program, stop it, or
// act on the world around it at that point. Every bounded wait fails the
// test rather than holding it when the program hangs.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace imp::testing {

// Variables added to the parent's environment; each replaces a variable of
// the same name.
using Environment = std::vector<std::pair<std::string, std::string>>;

class ChildProcess {
 public:
  // Starts `program` with `args` (not counting argv[0]) in `folder`, with
  // the environment of this process plus `env`. With `terminal`, standard
  // error (and input) is a new pseudo-terminal; without, standard error is
  // a file and standard input /dev/null. Standard output always goes to a
  // file.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const Environment& env, const std::string& folder, bool terminal);
  // Kills a program still running and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads the terminal until its progress line shows at least `records`
  // records read. True when it does, with the program still running; false
  // when the program ended first or `limit` passed.
  bool WaitForRecords(int64_t records, std::chrono::milliseconds limit);
  // Sends SIGKILL, unless the program has already been reaped.
  void Kill();
  // Sends `signal`, unless the program has already been reaped.
  void Signal(int signal);
  // Stops the program where it stands (SIGSTOP) and lets it go on
  // (SIGCONT): what it holds open meanwhile stays held.
  void Suspend();
  void Resume();
  // Waits for the end of the program, reading its terminal, for at most
  // `limit`. False when it was still running then: it is killed, and
  // hung() is true.
  bool Finish(std::chrono::milliseconds limit);
  // Waits for the end of the program however long it takes.
  void Finish();

  bool finished() const { return finished_; }
  bool killed() const { return signal_ == 9; }  // ended by SIGKILL
  int signal() const { return signal_; }         // the signal that ended it; 0: none
  bool hung() const { return hung_; }
  int status() const { return status_; }         // exit status; -1 after a signal
  int64_t records() const { return records_; }
  const std::string& err() const { return err_; }  // terminal or file
  const std::string& out() const { return out_; }

 private:
  // Reads what the terminal has within `wait_ms`; false when nothing came.
  bool ReadTerminal(int wait_ms);
  bool Reap(bool wait);
  void Close();

  pid_t pid_ = -1;
  int terminal_ = -1;  // the pseudo-terminal's master side
  std::string out_path_, err_path_;
  bool finished_ = false;
  bool hung_ = false;
  int status_ = -1;
  int signal_ = 0;
  int64_t records_ = 0;
  std::string err_, out_;
};

// What a program run to its end left.
struct ProcessResult {
  int status = -1;   // exit status; -1 when it did not exit normally
  std::string out;   // standard output
  std::string err;   // standard error (with a terminal: what the terminal got)
};

// Runs `program` to its end as ChildProcess does, standard error to a file.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const Environment& env, const std::string& folder);

// Same, with standard error (and standard input) on a new pseudo-terminal.
ProcessResult RunProcessOnTerminal(const std::string& program,
                                   const std::vector<std::string>& args,
                                   const Environment& env, const std::string& folder);

}  // namespace imp::testing
