// Import throughput against the floor the database sets.
//
//   import_bench [--orders O] [--lines L] [--runs R] [--tcp] [--host H]
//                [--retardo MS] [--por-transaccion N] [--import-only] [--keep DIR]
//
// Builds a demo company with generated articles, customers and price lists
// (embedded), writes an order file of O orders of L lines (defaults 5000 and
// 10), then runs R times, each run on fresh copies of the company:
//  (b) the import of the file through the import run, as an unattended run
//      drives it (every lookup, pricing, completion, one batch per order);
//  (a) the baseline: the same header and line rows (read back from what (b)
//      wrote) inserted with prepared statements, one transaction per order,
//      the identifier drawn from the generator: the least any importer does.
// Each phase runs in a process of its own, so that (b)'s peak resident
// memory is the import's alone. It prints lines per second for both, (b)'s
// peak memory, the share of (b)'s time that reading and mapping the file
// take, and as its last line the median of the runs' time ratios.
// --tcp runs both through a local Firebird server (scripts/fbserver.sh
// start; password from IMPORTA_FB_PASSWORD, default "imptest").
// --retardo MS (with --tcp) puts a relay of our own between the phases and
// the server that holds every chunk MS milliseconds each way (0: none) and
// counts round trips; both phases then print their round trips per order.
// --linear N times, instead, the import of one order of N lines against
// the same number of lines in orders of 10 (R runs each, fresh copies);
// its last line is the median ratio of the two times.
// --por-transaccion N runs the import with --pedidos-por-transaccion N (the
// baseline still commits each order).

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/import_bench_fases.h"
#include "bench/tcp_proxy.h"
#include "tests/support/generated_company.h"

extern char** environ;

namespace imp::bench {
namespace {

struct Opciones {
  int64_t pedidos = 5000;
  int lineas = 10;
  int corridas = 3;
  bool tcp = false;
  std::string host = "localhost";
  double retardo_ms = -1;  // < 0: no relay
  int por_transaccion = 1;
  int lineal = 0;  // > 0: the linear-size case with this many lines
  bool solo_importacion = false;
  std::string conservar;  // keep the work folder here
};

[[noreturn]] void Uso() {
  std::fprintf(stderr,
               "usage: import_bench [--orders O] [--lines L] [--runs R] [--tcp] [--host H] "
               "[--retardo MS] [--por-transaccion N] [--linear N] [--import-only] [--keep DIR]\n");
  std::exit(2);
}

std::string Ejecutable() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

// Runs this program again as one phase; returns its "RESULT" line and fills
// `pico_kb` with the child's peak resident memory.
std::string CorraFase(const std::vector<std::string>& argumentos, long& pico_kb) {
  int tubo[2];
  if (pipe(tubo) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_adddup2(&acciones, tubo[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&acciones, tubo[0]);
  std::vector<std::string> todos{Ejecutable()};
  todos.insert(todos.end(), argumentos.begin(), argumentos.end());
  std::vector<char*> argv;
  for (std::string& a : todos) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  const int rc = posix_spawn(&pid, argv[0], &acciones, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&acciones);
  close(tubo[1]);
  if (rc != 0) {
    close(tubo[0]);
    throw std::runtime_error("cannot start a phase");
  }
  std::string salida;
  char buffer[4096];
  ssize_t n;
  while ((n = read(tubo[0], buffer, sizeof buffer)) > 0) salida.append(buffer, static_cast<size_t>(n));
  close(tubo[0]);
  int estado = 0;
  rusage uso{};
  wait4(pid, &estado, 0, &uso);
  pico_kb = uso.ru_maxrss;
  const size_t at = salida.rfind("RESULT ");
  if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0 || at == std::string::npos)
    throw std::runtime_error("phase failed: " + salida);
  return salida.substr(at);
}

double Campo(const std::string& resultado, const std::string& nombre) {
  const size_t at = resultado.find(" " + nombre + "=");
  if (at == std::string::npos) throw std::runtime_error("no " + nombre + " in " + resultado);
  return std::strtod(resultado.c_str() + at + nombre.size() + 2, nullptr);
}

double Mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The server's host and port in Firebird's "host/port" form.
std::pair<std::string, int> HostYPuerto(const std::string& host) {
  const size_t barra = host.find('/');
  if (barra == std::string::npos) return {host, 3050};
  return {host.substr(0, barra), std::atoi(host.c_str() + barra + 1)};
}

std::string CadenaDeBase(const Opciones& o, const std::string& ruta) {
  return o.tcp ? o.host + ":" + ruta : ruta;
}

// A work folder of its own; the file's numbers and dates are written in
// the C locale's forms ("." and m/d/yyyy) and the import reads them with
// the locale it is given.
std::filesystem::path CarpetaDeTrabajo() {
  setenv("LC_ALL", "C", 1);
  std::string plantilla = (std::filesystem::temp_directory_path() / "import_bench_XXXXXX").string();
  if (!mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp");
  return plantilla;
}

// The settings file of an installation under `servidor` whose company is
// "importa"; returns its path.
std::string EscribaConfiguracion(const Opciones& o, const std::filesystem::path& servidor,
                                 const std::string& clave) {
  const std::string configuracion = (servidor / "settings.conf").string();
  std::ofstream conf(configuracion, std::ios::binary | std::ios::trunc);
  conf << CadenaDeBase(o, servidor.string()) << "\r\nSYSDBA\r\n" << clave
       << "\r\nimporta\r\n\r\n\r\n\r\n0\r\n";
  return configuracion;
}

// The import phase of `archivo` into a fresh copy of `empresa` laid out as
// an installation under `servidor`; returns its seconds after checking that
// it wrote `lineas` lines.
double ImporteCopia(const Opciones& o, const std::string& empresa, const std::string& archivo,
                    const std::filesystem::path& servidor, int64_t lineas) {
  namespace fs = std::filesystem;
  const std::string copia = (servidor / "datos" / "importa" / "norvela.fdb").string();
  fs::create_directories(servidor / "datos" / "importa");
  fs::copy_file(empresa, copia, fs::copy_options::overwrite_existing);
  const std::string configuracion = EscribaConfiguracion(o, servidor, "masterkey");
  long pico_kb = 0;
  const std::string ri = CorraFase({"--phase", "import", "--db", CadenaDeBase(o, copia), "--user",
                                    "SYSDBA", "--password", "masterkey", "--file", archivo,
                                    "--settings", configuracion},
                                   pico_kb);
  if (Campo(ri, "lines") != static_cast<double>(lineas))
    throw std::runtime_error("the import wrote " + std::to_string(Campo(ri, "lines")) + " lines");
  fs::remove_all(servidor);
  return Campo(ri, "seconds");
}

// One order of o.lineal lines against the same lines in orders of 10.
int CasoLineal(const Opciones& o) {
  namespace fs = std::filesystem;
  const fs::path dir = CarpetaDeTrabajo();
  const std::string empresa = (dir / "empresa.fdb").string();
  const std::string grande = (dir / "grande.csv").string();
  const std::string pequenos = (dir / "pequenos.csv").string();
  const int64_t lineas = o.lineal / 10 * 10;
  std::fprintf(stdout, "import_bench: one order of %lld lines against %lld orders of 10, embedded\n",
               static_cast<long long>(lineas), static_cast<long long>(lineas / 10));
  CreeEmpresa(empresa);
  generated::WriteOrderFile(grande, 1, static_cast<int>(lineas));
  generated::WriteOrderFile(pequenos, lineas / 10, 10);
  std::vector<double> t_grande, t_pequenos, razones;
  for (int r = 1; r <= o.corridas; ++r) {
    t_grande.push_back(ImporteCopia(o, empresa, grande, dir / "g", lineas));
    t_pequenos.push_back(ImporteCopia(o, empresa, pequenos, dir / "p", lineas));
    razones.push_back(t_grande.back() / t_pequenos.back());
    std::fprintf(stdout, "run %d: one order %.2f s, orders of 10 %.2f s; ratio %.2f\n", r,
                 t_grande.back(), t_pequenos.back(), razones.back());
    std::fflush(stdout);
  }
  const double n = static_cast<double>(lineas);
  std::fprintf(stdout, "median one order: %.2f s, %.0f lines/s\n", Mediana(t_grande),
               n / Mediana(t_grande));
  std::fprintf(stdout, "median orders of 10: %.2f s, %.0f lines/s\n", Mediana(t_pequenos),
               n / Mediana(t_pequenos));
  std::fprintf(stdout, "one order / orders of 10 time ratio: %.2f\n", Mediana(razones));
  fs::remove_all(dir);
  return 0;
}

int Principal(Opciones o) {
  namespace fs = std::filesystem;
  std::unique_ptr<TcpProxy> relevo;
  if (o.retardo_ms >= 0) {
    const auto [host, puerto] = HostYPuerto(o.host);
    relevo = std::make_unique<TcpProxy>(host, puerto, o.retardo_ms);
    o.host = "127.0.0.1/" + std::to_string(relevo->port());
  }
  auto viajes = [&] { return relevo ? relevo->round_trips() : 0; };
  std::vector<double> viajes_imp, viajes_base;
  const int64_t lineas = o.pedidos * o.lineas;
  const fs::path dir = CarpetaDeTrabajo();
  const std::string empresa = (dir / "empresa.fdb").string();
  const std::string archivo = (dir / "pedidos.csv").string();

  std::fprintf(stdout, "import_bench: %lld orders x %d lines = %lld lines, %s\n",
               static_cast<long long>(o.pedidos), o.lineas, static_cast<long long>(lineas),
               o.tcp ? ("TCP (" + o.host + ")").c_str() : "embedded");
  if (relevo) std::fprintf(stdout, "relay delay %.2f ms each way\n", o.retardo_ms);
  if (o.por_transaccion > 1)
    std::fprintf(stdout, "import with --pedidos-por-transaccion %d\n", o.por_transaccion);
  std::fflush(stdout);
  CreeEmpresa(empresa);
  const int64_t bytes = generated::WriteOrderFile(archivo, o.pedidos, o.lineas);
  std::fprintf(stdout, "company %s, file %.1f MB\n", empresa.c_str(), static_cast<double>(bytes) / 1e6);

  const std::string usuario = "SYSDBA";
  const char* clave_env = std::getenv("IMPORTA_FB_PASSWORD");
  const std::string clave = o.tcp ? (clave_env ? clave_env : "imptest") : "masterkey";

  std::vector<double> base_s, imp_s, pico_mb, lectura_pct, razones;
  for (int r = 1; r <= o.corridas; ++r) {
    // The import's company laid out as an installation: <server>/datos/<company>.
    const fs::path servidor = dir / ("corrida" + std::to_string(r));
    const std::string copia_imp = (servidor / "datos" / "importa" / "norvela.fdb").string();
    const std::string copia_base = (dir / ("base" + std::to_string(r) + ".fdb")).string();
    fs::create_directories(servidor / "datos" / "importa");
    fs::copy_file(empresa, copia_imp, fs::copy_options::overwrite_existing);
    const std::string configuracion = EscribaConfiguracion(o, servidor, clave);

    long pico_kb = 0;
    uint64_t antes = viajes();
    std::vector<std::string> fase = {"--phase",    "import", "--db",   CadenaDeBase(o, copia_imp),
                                      "--user",     usuario,  "--password", clave,
                                      "--file",     archivo,  "--settings", configuracion};
    if (o.por_transaccion > 1) {
      fase.push_back("--orders-per-transaction");
      fase.push_back(std::to_string(o.por_transaccion));
    }
    const std::string ri = CorraFase(fase, pico_kb);
    const double ti = Campo(ri, "seconds");
    const double tl = Campo(ri, "read_seconds");
    const double li = Campo(ri, "lines");
    if (li != static_cast<double>(lineas))
      throw std::runtime_error("the import wrote " + std::to_string(li) + " lines");
    imp_s.push_back(ti);
    pico_mb.push_back(static_cast<double>(pico_kb) / 1024.0);
    lectura_pct.push_back(100.0 * tl / ti);
    std::fprintf(stdout,
                 "run %d: import %.2f s, %.0f lines/s, peak RSS %.1f MB, reading+mapping %.3f s "
                 "(%.1f%%), forced writes %s\n",
                 r, ti, li / ti, pico_mb.back(), tl, lectura_pct.back(),
                 Campo(ri, "forced_writes") != 0 ? "on" : "OFF");
    if (relevo) {
      // The phase's untimed counts after the import add a few; an order's
      // share of them is far below one.
      viajes_imp.push_back(static_cast<double>(viajes() - antes) / static_cast<double>(o.pedidos));
      std::fprintf(stdout, "run %d: import round trips per order %.2f\n", r, viajes_imp.back());
    }
    std::fflush(stdout);

    if (!o.solo_importacion) {
      fs::copy_file(empresa, copia_base, fs::copy_options::overwrite_existing);
      long pico_base = 0;
      antes = viajes();
      const std::string rb = CorraFase(
          {"--phase", "baseline", "--db", CadenaDeBase(o, copia_base), "--source",
           CadenaDeBase(o, copia_imp), "--user", usuario, "--password", clave},
          pico_base);
      const double tb = Campo(rb, "seconds");
      const double lb = Campo(rb, "lines");
      if (lb != static_cast<double>(lineas))
        throw std::runtime_error("the baseline wrote " + std::to_string(lb) + " lines");
      base_s.push_back(tb);
      razones.push_back(ti / tb);
      std::fprintf(stdout, "run %d: baseline %.2f s, %.0f lines/s; ratio %.2f\n", r, tb, lb / tb,
                   ti / tb);
      if (relevo) {
        viajes_base.push_back(static_cast<double>(viajes() - antes) / static_cast<double>(o.pedidos));
        std::fprintf(stdout, "run %d: baseline round trips per order %.2f\n", r, viajes_base.back());
      }
      std::fflush(stdout);
    }
    if (o.conservar.empty()) {
      fs::remove_all(servidor);
      fs::remove(copia_base);
    }
  }

  const double n = static_cast<double>(lineas);
  std::fprintf(stdout, "median import: %.2f s, %.0f lines/s\n", Mediana(imp_s),
               n / Mediana(imp_s));
  std::fprintf(stdout, "median peak resident memory of the import: %.1f MB\n", Mediana(pico_mb));
  std::fprintf(stdout, "median share of reading and mapping the file: %.2f%%\n",
               Mediana(lectura_pct));
  if (relevo) {
    std::fprintf(stdout, "median round trips per order: import %.2f", Mediana(viajes_imp));
    if (!viajes_base.empty()) std::fprintf(stdout, ", baseline %.2f", Mediana(viajes_base));
    std::fprintf(stdout, "\n");
  }
  if (!o.solo_importacion) {
    std::fprintf(stdout, "median baseline: %.2f s, %.0f lines/s\n", Mediana(base_s),
                 n / Mediana(base_s));
    std::fprintf(stdout, "import/baseline time ratio: %.2f\n", Mediana(razones));
  }
  if (o.conservar.empty()) {
    fs::remove_all(dir);
  } else {
    fs::create_directories(o.conservar);
    for (const auto& e : fs::directory_iterator(dir))
      fs::rename(e.path(), fs::path(o.conservar) / e.path().filename());
    fs::remove_all(dir);
  }
  return 0;
}

}  // namespace
}  // namespace imp::bench

int main(int argc, char** argv) {
  using namespace imp::bench;
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--phase") return CorraFaseHija(args);
    Opciones o;
    for (size_t i = 0; i < args.size(); ++i) {
      auto valor = [&]() -> const std::string& {
        if (i + 1 >= args.size()) Uso();
        return args[++i];
      };
      if (args[i] == "--orders") o.pedidos = std::atoll(valor().c_str());
      else if (args[i] == "--lines") o.lineas = std::atoi(valor().c_str());
      else if (args[i] == "--runs") o.corridas = std::atoi(valor().c_str());
      else if (args[i] == "--tcp") o.tcp = true;
      else if (args[i] == "--host") o.host = valor();
      else if (args[i] == "--retardo") o.retardo_ms = std::atof(valor().c_str());
      else if (args[i] == "--linear") o.lineal = std::atoi(valor().c_str());
      else if (args[i] == "--por-transaccion") o.por_transaccion = std::atoi(valor().c_str());
      else if (args[i] == "--import-only") o.solo_importacion = true;
      else if (args[i] == "--keep") o.conservar = valor();
      else Uso();
    }
    if (o.pedidos < 1 || o.pedidos > 899999 || o.lineas < 1 || o.corridas < 1) Uso();
    if (o.retardo_ms >= 0 && !o.tcp) Uso();
    if (o.lineal > 0) return o.tcp ? (Uso(), 2) : CasoLineal(o);
    return Principal(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import_bench: %s\n", e.what());
    return 1;
  }
}
