#pragma once
// A program run as a subprocess that the test watches while it works: with
// standard error on a pseudo-terminal, the batch importer draws its progress
// line there, and the test reads how many records it has read so far. The
// test can then kill it (SIGKILL) or act on the world around it at that
// point. Every wait is bounded, so a program that hangs fails the test
// rather than holding it.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace imp::testing {

using Entorno = std::vector<std::pair<std::string, std::string>>;

class ProcesoVigilado {
 public:
  // Starts `programa` with `argumentos` in `carpeta`, the environment of
  // this process plus `entorno`. With `terminal`, standard error (and
  // input) is a new pseudo-terminal; without, a file. Standard output
  // always goes to a file.
  ProcesoVigilado(const std::string& programa, const std::vector<std::string>& argumentos,
                  const Entorno& entorno, const std::string& carpeta, bool terminal);
  // Kills a program still running and reaps it.
  ~ProcesoVigilado();
  ProcesoVigilado(const ProcesoVigilado&) = delete;
  ProcesoVigilado& operator=(const ProcesoVigilado&) = delete;

  // Reads the terminal until its progress line shows at least `registros`
  // records read. True when it does, with the program still running; false
  // when the program ended first or `limite` passed.
  bool EspereRegistros(int64_t registros, std::chrono::milliseconds limite);
  // Sends SIGKILL, unless the program has already been reaped.
  void Mate();
  // Sends `senal`, unless the program has already been reaped.
  void Senale(int senal);
  // Stops the program where it stands (SIGSTOP) and lets it go on
  // (SIGCONT): what it holds open meanwhile stays held.
  void Suspenda();
  void Reanude();
  // Waits for the end of the program, reading its terminal, for at most
  // `limite`. False when it was still running then: it is killed, and
  // colgado() is true.
  bool Termine(std::chrono::milliseconds limite);

  bool termino() const { return termino_; }
  bool matado() const { return senal_ == 9; }  // ended by SIGKILL
  int senal() const { return senal_; }         // the signal that ended it; 0: none
  bool colgado() const { return colgado_; }
  int estado() const { return estado_; }       // exit status; -1 after a signal
  int64_t registros() const { return registros_; }
  const std::string& err() const { return err_; }  // terminal or file
  const std::string& out() const { return out_; }

 private:
  // Reads what the terminal has within `espera_ms`; false when nothing came.
  bool LeaTerminal(int espera_ms);
  bool Recoja(bool esperar);
  void Cierre();

  pid_t pid_ = -1;
  int terminal_ = -1;  // the pseudo-terminal's master side
  std::string carpeta_;
  std::string ruta_out_, ruta_err_;
  bool termino_ = false;
  bool colgado_ = false;
  int estado_ = -1;
  int senal_ = 0;
  int64_t registros_ = 0;
  std::string err_, out_;
};

// Runs a shell command; its exit status, and its output and error in
// `salida`.
int EjecuteComando(const std::string& comando, std::string& salida);

}  // namespace imp::testing
