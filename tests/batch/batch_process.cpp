#include "tests/batch/batch_process.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

extern char** environ;

namespace imp::testing {
namespace {

// argv and envp built before forking, so that the child only calls
// async-signal-safe functions.
struct Exec {
  std::vector<std::string> argv_text;
  std::vector<std::string> env_text;
  std::vector<char*> argv;
  std::vector<char*> envp;

  Exec(const std::string& program, const std::vector<std::string>& args, const Environment& env) {
    argv_text.push_back(program);
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      const size_t eq = entry.find('=');
      if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : env) vars[name] = value;
    for (const auto& [name, value] : vars) env_text.push_back(name + "=" + value);
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
  }
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In the child: moves to `folder`, sends `fd_target` to a new file and runs
// the program. Never returns.
[[noreturn]] void ChildRun(const Exec& exec, const std::string& folder,
                           const std::string& path, int fd_target) {
  if (chdir(folder.c_str()) != 0) _exit(127);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || dup2(fd, fd_target) < 0) _exit(127);
  close(fd);
  execve(exec.argv[0], exec.argv.data(), exec.envp.data());
  _exit(127);
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const Environment& env, const std::string& folder) {
  const Exec exec(program, args, env);
  const std::string out_path = folder + "/.stdout";
  const std::string err_path = folder + "/.stderr";
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (err < 0 || in < 0 || dup2(err, STDERR_FILENO) < 0 || dup2(in, STDIN_FILENO) < 0) _exit(127);
    close(err);
    close(in);
    ChildRun(exec, folder, out_path, STDOUT_FILENO);
  }
  ProcessResult result;
  result.status = Wait(pid);
  result.out = Slurp(out_path);
  result.err = Slurp(err_path);
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  return result;
}

ProcessResult RunProcessOnTerminal(const std::string& program,
                                   const std::vector<std::string>& args,
                                   const Environment& env, const std::string& folder) {
  const Exec exec(program, args, env);
  const std::string out_path = folder + "/.stdout";
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) ChildRun(exec, folder, out_path, STDOUT_FILENO);

  ProcessResult result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      result.err.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the child has closed the terminal
    }
  }
  close(master);
  result.status = Wait(pid);
  result.out = Slurp(out_path);
  unlink(out_path.c_str());
  return result;
}

}  // namespace imp::testing
