#include "tests/stress/proceso_vigilado.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

extern char** environ;

namespace imp::testing {
namespace {

using Reloj = std::chrono::steady_clock;

std::string Lea(const std::string& ruta) {
  std::ifstream in(ruta, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The records figure of the last progress line in `texto` ("... 1234 líneas
// 567 líneas/s"), or -1.
int64_t UltimaCuenta(const std::string& texto) {
  static const std::string kMarca = " líneas  ";
  const size_t at = texto.rfind(kMarca);
  if (at == std::string::npos) return -1;
  size_t inicio = at;
  while (inicio > 0 && texto[inicio - 1] >= '0' && texto[inicio - 1] <= '9') --inicio;
  if (inicio == at) return -1;
  return std::stoll(texto.substr(inicio, at - inicio));
}

std::atomic<unsigned> serie{0};

}  // namespace

ProcesoVigilado::ProcesoVigilado(const std::string& programa,
                                 const std::vector<std::string>& argumentos,
                                 const Entorno& entorno, const std::string& carpeta,
                                 bool terminal)
    : carpeta_(carpeta) {
  // Everything the child needs is built before forking: after fork it only
  // makes async-signal-safe calls.
  std::vector<std::string> argv_texto{programa};
  argv_texto.insert(argv_texto.end(), argumentos.begin(), argumentos.end());
  std::map<std::string, std::string> variables;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entrada(*e);
    const size_t igual = entrada.find('=');
    if (igual != std::string::npos) variables[entrada.substr(0, igual)] = entrada.substr(igual + 1);
  }
  for (const auto& [nombre, valor] : entorno) variables[nombre] = valor;
  std::vector<std::string> env_texto;
  for (const auto& [nombre, valor] : variables) env_texto.push_back(nombre + "=" + valor);
  std::vector<char*> argv, envp;
  for (std::string& a : argv_texto) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env_texto) envp.push_back(e.data());
  envp.push_back(nullptr);

  const std::string sufijo = std::to_string(getpid()) + "-" + std::to_string(serie++);
  ruta_out_ = carpeta + "/.stdout-" + sufijo;
  ruta_err_ = terminal ? std::string() : carpeta + "/.stderr-" + sufijo;
  const int out = open(ruta_out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = terminal ? -1 : open(ruta_err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int in = terminal ? -1 : open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || (!terminal && (err < 0 || in < 0))) throw std::runtime_error("cannot open the output files");

  pid_ = terminal ? forkpty(&terminal_, nullptr, nullptr, nullptr) : fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (dup2(out, STDOUT_FILENO) < 0) _exit(127);
    if (!terminal && (dup2(err, STDERR_FILENO) < 0 || dup2(in, STDIN_FILENO) < 0)) _exit(127);
    if (chdir(carpeta.c_str()) != 0) _exit(127);
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

ProcesoVigilado::~ProcesoVigilado() {
  if (!termino_) {
    Mate();
    Recoja(true);
  }
  if (terminal_ >= 0) close(terminal_);
  unlink(ruta_out_.c_str());
  if (!ruta_err_.empty()) unlink(ruta_err_.c_str());
}

bool ProcesoVigilado::LeaTerminal(int espera_ms) {
  if (terminal_ < 0) {
    if (espera_ms > 0) usleep(static_cast<useconds_t>(espera_ms) * 1000);
    return false;
  }
  pollfd p{terminal_, POLLIN, 0};
  if (poll(&p, 1, espera_ms) <= 0) return false;
  std::array<char, 4096> buffer;
  const ssize_t n = read(terminal_, buffer.data(), buffer.size());
  if (n > 0) {
    err_.append(buffer.data(), static_cast<size_t>(n));
    // The figure may straddle two reads: look at the tail only.
    const int64_t cuenta = UltimaCuenta(err_.substr(err_.size() > 256 ? err_.size() - 256 : 0));
    if (cuenta > registros_) registros_ = cuenta;
  } else if (n < 0 && errno == EINTR) {
    return true;
  } else {
    // EIO: every copy of the terminal's slave side is closed.
    close(terminal_);
    terminal_ = -1;
  }
  return true;
}

bool ProcesoVigilado::Recoja(bool esperar) {
  if (termino_) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, esperar ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  termino_ = true;
  if (r == pid_ && WIFEXITED(status)) estado_ = WEXITSTATUS(status);
  if (r == pid_ && WIFSIGNALED(status)) senal_ = WTERMSIG(status);
  Cierre();
  return true;
}

void ProcesoVigilado::Cierre() {
  // Whatever the terminal still holds. The child is gone, so the reads end
  // at once; a grandchild holding the terminal open is not waited for long.
  while (terminal_ >= 0 && LeaTerminal(200)) {
  }
  out_ = Lea(ruta_out_);
  if (!ruta_err_.empty()) err_ = Lea(ruta_err_);
}

bool ProcesoVigilado::EspereRegistros(int64_t registros, std::chrono::milliseconds limite) {
  const auto fin = Reloj::now() + limite;
  while (registros_ < registros) {
    if (Recoja(false) || Reloj::now() >= fin) return false;
    LeaTerminal(20);
  }
  return !Recoja(false);
}

void ProcesoVigilado::Mate() {
  if (!termino_) kill(pid_, SIGKILL);
}

void ProcesoVigilado::Senale(int senal) {
  if (!termino_) kill(pid_, senal);
}

void ProcesoVigilado::Suspenda() {
  if (!termino_) kill(pid_, SIGSTOP);
}

void ProcesoVigilado::Reanude() {
  if (!termino_) kill(pid_, SIGCONT);
}

bool ProcesoVigilado::Termine(std::chrono::milliseconds limite) {
  const auto fin = Reloj::now() + limite;
  while (!Recoja(false)) {
    if (Reloj::now() >= fin) {
      colgado_ = true;
      Mate();
      Recoja(true);
      return false;
    }
    LeaTerminal(20);
  }
  return true;
}

int EjecuteComando(const std::string& comando, std::string& salida) {
  salida.clear();
  FILE* tubo = popen((comando + " 2>&1").c_str(), "r");
  if (!tubo) return -1;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), tubo)) > 0) salida.append(buffer.data(), n);
  const int status = pclose(tubo);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace imp::testing
