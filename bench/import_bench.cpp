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
// --por-transaccion N runs the import with --orders-por-transaccion N (the
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

#include "bench/import_bench_phases.h"
#include "bench/tcp_proxy.h"
#include "tests/support/generated_company.h"

extern char** environ;

namespace imp::bench {
namespace {

struct Options {
  int64_t orders = 5000;
  int lines = 10;
  int runs = 3;
  bool tcp = false;
  std::string host = "localhost";
  double delay_ms = -1;  // < 0: no relay
  int per_transaction = 1;
  int lineal = 0;  // > 0: the linear-size case with this many lines
  bool import_only = false;
  std::string keep;  // keep the work folder here
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: import_bench [--orders O] [--lines L] [--runs R] [--tcp] [--host H] "
               "[--retardo MS] [--por-transaccion N] [--linear N] [--import-only] [--keep DIR]\n");
  std::exit(2);
}

std::string Executable() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

// Runs this program again as one phase; returns its "RESULT" line and fills
// `peak_kb` with the child's peak resident memory.
std::string RunPhase(const std::vector<std::string>& arguments, long& peak_kb) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<std::string> all{Executable()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    throw std::runtime_error("cannot start a phase");
  }
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
  close(pipe_fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  peak_kb = usage.ru_maxrss;
  const size_t at = output.rfind("RESULT ");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at == std::string::npos)
    throw std::runtime_error("phase failed: " + output);
  return output.substr(at);
}

double Field(const std::string& result, const std::string& name) {
  const size_t at = result.find(" " + name + "=");
  if (at == std::string::npos) throw std::runtime_error("no " + name + " in " + result);
  return std::strtod(result.c_str() + at + name.size() + 2, nullptr);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The server's host and port in Firebird's "host/port" form.
std::pair<std::string, int> HostAndPort(const std::string& host) {
  const size_t slash = host.find('/');
  if (slash == std::string::npos) return {host, 3050};
  return {host.substr(0, slash), std::atoi(host.c_str() + slash + 1)};
}

std::string DatabaseString(const Options& o, const std::string& path) {
  return o.tcp ? o.host + ":" + path : path;
}

// A work folder of its own; the file's numbers and dates are written in
// the C locale's forms ("." and m/d/yyyy) and the import reads them with
// the locale it is given.
std::filesystem::path WorkFolder() {
  setenv("LC_ALL", "C", 1);
  std::string pattern = (std::filesystem::temp_directory_path() / "import_bench_XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  return pattern;
}

// The settings file of an installation under `server` whose company is
// "importa"; returns its path.
std::string WriteConfiguration(const Options& o, const std::filesystem::path& server,
                                 const std::string& key) {
  const std::string configuracion = (server / "settings.conf").string();
  std::ofstream conf(configuracion, std::ios::binary | std::ios::trunc);
  conf << DatabaseString(o, server.string()) << "\r\nSYSDBA\r\n" << key
       << "\r\nimporta\r\n\r\n\r\n\r\n0\r\n";
  return configuracion;
}

// The import phase of `file` into a fresh copy of `company` laid out as
// an installation under `server`; returns its seconds after checking that
// it wrote `lines` lines.
double ImportCopy(const Options& o, const std::string& company, const std::string& file,
                    const std::filesystem::path& server, int64_t lines) {
  namespace fs = std::filesystem;
  const std::string copy = (server / "datos" / "importa" / "norvela.fdb").string();
  fs::create_directories(server / "datos" / "importa");
  fs::copy_file(company, copy, fs::copy_options::overwrite_existing);
  const std::string configuracion = WriteConfiguration(o, server, "masterkey");
  long peak_kb = 0;
  const std::string ri = RunPhase({"--phase", "import", "--db", DatabaseString(o, copy), "--user",
                                    "SYSDBA", "--password", "masterkey", "--file", file,
                                    "--settings", configuracion},
                                   peak_kb);
  if (Field(ri, "lines") != static_cast<double>(lines))
    throw std::runtime_error("the import wrote " + std::to_string(Field(ri, "lines")) + " lines");
  fs::remove_all(server);
  return Field(ri, "seconds");
}

// One order of o.lineal lines against the same lines in orders of 10.
int LinearCase(const Options& o) {
  namespace fs = std::filesystem;
  const fs::path dir = WorkFolder();
  const std::string company = (dir / "empresa.fdb").string();
  const std::string large = (dir / "grande.csv").string();
  const std::string small = (dir / "pequenos.csv").string();
  const int64_t lines = o.lineal / 10 * 10;
  std::fprintf(stdout, "import_bench: one order of %lld lines against %lld orders of 10, embedded\n",
               static_cast<long long>(lines), static_cast<long long>(lines / 10));
  CreateCompany(company);
  generated::WriteOrderFile(large, 1, static_cast<int>(lines));
  generated::WriteOrderFile(small, lines / 10, 10);
  std::vector<double> t_large, t_small, ratios;
  for (int r = 1; r <= o.runs; ++r) {
    t_large.push_back(ImportCopy(o, company, large, dir / "g", lines));
    t_small.push_back(ImportCopy(o, company, small, dir / "p", lines));
    ratios.push_back(t_large.back() / t_small.back());
    std::fprintf(stdout, "run %d: one order %.2f s, orders of 10 %.2f s; ratio %.2f\n", r,
                 t_large.back(), t_small.back(), ratios.back());
    std::fflush(stdout);
  }
  const double n = static_cast<double>(lines);
  std::fprintf(stdout, "median one order: %.2f s, %.0f lines/s\n", Median(t_large),
               n / Median(t_large));
  std::fprintf(stdout, "median orders of 10: %.2f s, %.0f lines/s\n", Median(t_small),
               n / Median(t_small));
  std::fprintf(stdout, "one order / orders of 10 time ratio: %.2f\n", Median(ratios));
  fs::remove_all(dir);
  return 0;
}

int Principal(Options o) {
  namespace fs = std::filesystem;
  std::unique_ptr<TcpProxy> relay;
  if (o.delay_ms >= 0) {
    const auto [host, port] = HostAndPort(o.host);
    relay = std::make_unique<TcpProxy>(host, port, o.delay_ms);
    o.host = "127.0.0.1/" + std::to_string(relay->port());
  }
  auto trips = [&] { return relay ? relay->round_trips() : 0; };
  std::vector<double> trips_imp, trips_base;
  const int64_t lines = o.orders * o.lines;
  const fs::path dir = WorkFolder();
  const std::string company = (dir / "empresa.fdb").string();
  const std::string file = (dir / "pedidos.csv").string();

  std::fprintf(stdout, "import_bench: %lld orders x %d lines = %lld lines, %s\n",
               static_cast<long long>(o.orders), o.lines, static_cast<long long>(lines),
               o.tcp ? ("TCP (" + o.host + ")").c_str() : "embedded");
  if (relay) std::fprintf(stdout, "relay delay %.2f ms each way\n", o.delay_ms);
  if (o.per_transaction > 1)
    std::fprintf(stdout, "import with --pedidos-por-transaccion %d\n", o.per_transaction);
  std::fflush(stdout);
  CreateCompany(company);
  const int64_t bytes = generated::WriteOrderFile(file, o.orders, o.lines);
  std::fprintf(stdout, "company %s, file %.1f MB\n", company.c_str(), static_cast<double>(bytes) / 1e6);

  const std::string user = "SYSDBA";
  const char* key_env = std::getenv("IMPORTA_FB_PASSWORD");
  const std::string key = o.tcp ? (key_env ? key_env : "imptest") : "masterkey";

  std::vector<double> base_s, imp_s, peak_mb, read_pct, ratios;
  for (int r = 1; r <= o.runs; ++r) {
    // The import's company laid out as an installation: <server>/datos/<company>.
    const fs::path server = dir / ("corrida" + std::to_string(r));
    const std::string copy_imp = (server / "datos" / "importa" / "norvela.fdb").string();
    const std::string copy_base = (dir / ("base" + std::to_string(r) + ".fdb")).string();
    fs::create_directories(server / "datos" / "importa");
    fs::copy_file(company, copy_imp, fs::copy_options::overwrite_existing);
    const std::string configuracion = WriteConfiguration(o, server, key);

    long peak_kb = 0;
    uint64_t before = trips();
    std::vector<std::string> phase = {"--phase",    "import", "--db",   DatabaseString(o, copy_imp),
                                      "--user",     user,  "--password", key,
                                      "--file",     file,  "--settings", configuracion};
    if (o.per_transaction > 1) {
      phase.push_back("--orders-per-transaction");
      phase.push_back(std::to_string(o.per_transaction));
    }
    const std::string ri = RunPhase(phase, peak_kb);
    const double ti = Field(ri, "seconds");
    const double tl = Field(ri, "read_seconds");
    const double li = Field(ri, "lines");
    if (li != static_cast<double>(lines))
      throw std::runtime_error("the import wrote " + std::to_string(li) + " lines");
    imp_s.push_back(ti);
    peak_mb.push_back(static_cast<double>(peak_kb) / 1024.0);
    read_pct.push_back(100.0 * tl / ti);
    std::fprintf(stdout,
                 "run %d: import %.2f s, %.0f lines/s, peak RSS %.1f MB, reading+mapping %.3f s "
                 "(%.1f%%), forced writes %s\n",
                 r, ti, li / ti, peak_mb.back(), tl, read_pct.back(),
                 Field(ri, "forced_writes") != 0 ? "on" : "OFF");
    if (relay) {
      // The phase's untimed counts after the import add a few; an order's
      // share of them is far below one.
      trips_imp.push_back(static_cast<double>(trips() - before) / static_cast<double>(o.orders));
      std::fprintf(stdout, "run %d: import round trips per order %.2f\n", r, trips_imp.back());
    }
    std::fflush(stdout);

    if (!o.import_only) {
      fs::copy_file(company, copy_base, fs::copy_options::overwrite_existing);
      long peak_base = 0;
      before = trips();
      const std::string rb = RunPhase(
          {"--phase", "baseline", "--db", DatabaseString(o, copy_base), "--source",
           DatabaseString(o, copy_imp), "--user", user, "--password", key},
          peak_base);
      const double tb = Field(rb, "seconds");
      const double lb = Field(rb, "lines");
      if (lb != static_cast<double>(lines))
        throw std::runtime_error("the baseline wrote " + std::to_string(lb) + " lines");
      base_s.push_back(tb);
      ratios.push_back(ti / tb);
      std::fprintf(stdout, "run %d: baseline %.2f s, %.0f lines/s; ratio %.2f\n", r, tb, lb / tb,
                   ti / tb);
      if (relay) {
        trips_base.push_back(static_cast<double>(trips() - before) / static_cast<double>(o.orders));
        std::fprintf(stdout, "run %d: baseline round trips per order %.2f\n", r, trips_base.back());
      }
      std::fflush(stdout);
    }
    if (o.keep.empty()) {
      fs::remove_all(server);
      fs::remove(copy_base);
    }
  }

  const double n = static_cast<double>(lines);
  std::fprintf(stdout, "median import: %.2f s, %.0f lines/s\n", Median(imp_s),
               n / Median(imp_s));
  std::fprintf(stdout, "median peak resident memory of the import: %.1f MB\n", Median(peak_mb));
  std::fprintf(stdout, "median share of reading and mapping the file: %.2f%%\n",
               Median(read_pct));
  if (relay) {
    std::fprintf(stdout, "median round trips per order: import %.2f", Median(trips_imp));
    if (!trips_base.empty()) std::fprintf(stdout, ", baseline %.2f", Median(trips_base));
    std::fprintf(stdout, "\n");
  }
  if (!o.import_only) {
    std::fprintf(stdout, "median baseline: %.2f s, %.0f lines/s\n", Median(base_s),
                 n / Median(base_s));
    std::fprintf(stdout, "import/baseline time ratio: %.2f\n", Median(ratios));
  }
  if (o.keep.empty()) {
    fs::remove_all(dir);
  } else {
    fs::create_directories(o.keep);
    for (const auto& e : fs::directory_iterator(dir))
      fs::rename(e.path(), fs::path(o.keep) / e.path().filename());
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
    if (!args.empty() && args[0] == "--phase") return RunChildPhase(args);
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
      auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) Usage();
        return args[++i];
      };
      if (args[i] == "--orders") o.orders = std::atoll(value().c_str());
      else if (args[i] == "--lines") o.lines = std::atoi(value().c_str());
      else if (args[i] == "--runs") o.runs = std::atoi(value().c_str());
      else if (args[i] == "--tcp") o.tcp = true;
      else if (args[i] == "--host") o.host = value();
      else if (args[i] == "--retardo") o.delay_ms = std::atof(value().c_str());
      else if (args[i] == "--linear") o.lineal = std::atoi(value().c_str());
      else if (args[i] == "--por-transaccion") o.per_transaction = std::atoi(value().c_str());
      else if (args[i] == "--import-only") o.import_only = true;
      else if (args[i] == "--keep") o.keep = value();
      else Usage();
    }
    if (o.orders < 1 || o.orders > 899999 || o.lines < 1 || o.runs < 1) Usage();
    if (o.delay_ms >= 0 && !o.tcp) Usage();
    if (o.lineal > 0) return o.tcp ? (Usage(), 2) : LinearCase(o);
    return Principal(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import_bench: %s\n", e.what());
    return 1;
  }
}
