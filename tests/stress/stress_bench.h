#pragma once
// Bench of the stress runs: a fresh demo company reached embedded or
// through the local Firebird server, its settings file, the real
// importa-pedidos started on it, and the kill runs that both the embedded
// and the server tests make.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/stress/order_check.h"
#include "tests/stress/order_file.h"
#include "tests/support/child_process.h"
#include "tests/support/fresh_database.h"
#include "tests/support/shell_command.h"
#include "tests/support/test_server.h"

namespace imp::testing {

// The server the TCP runs use; SYSDBA's password there is "imptest" when
// IMPORTA_FB_PASSWORD is unset. None without IMPORTA_FB_SERVER.
std::optional<TestServer> StressServer();

// The bound on any one importer run: far above what a run takes, so that
// only a hang reaches it.
constexpr std::chrono::milliseconds kRunLimit{180'000};

// A fresh company "demo" with the demo data and a settings file naming it,
// over TCP when `server` is given.
class StressCompany {
 public:
  // `charset`: the database's default character set.
  explicit StressCompany(const std::optional<TestServer>& server = std::nullopt,
                         const std::string& charset = "NONE");

  CompanyDatabase base() const { return base_; }
  // Writes an order file into the company's folder; its path.
  std::string File(const std::string& name, const std::string& text) const;
  // Starts `importa-pedidos --batch` with `options` on `file` under the
  // C locale, with standard error on a terminal when `terminal` (its
  // progress readable). With `setup`, shell commands that set up the
  // program's process before it starts ("trap '' INT": started with SIGINT
  // ignored, as a background job of a script; "ulimit -f 600": no file it
  // writes may grow past 300 KiB).
  std::unique_ptr<ChildProcess> Import(const std::string& file, bool terminal,
                                       const std::vector<std::string>& options = {},
                                       const std::string& setup = "") const;

  FreshDatabase db;

 private:
  std::string settings_;
  CompanyDatabase base_;
};

// True in a build with the address or undefined-behaviour sanitizer, where
// the importer is several times slower: the runs are made smaller.
bool WithSanitizers();

// Kill points to make: `normal`, fewer under the sanitizers (the importer
// is several times slower there); IMPORTA_STRESS_KILL_POINTS overrides both.
int KillPoints(int normal);

// The seed of a test's random choices: IMPORTA_STRESS_SEED when set (to
// repeat a failed run), otherwise a new one. The test prints it.
uint64_t StressSeed();

// What a series of kill runs did.
struct KillFigures {
  int points = 0;              // runs ended by SIGKILL
  int completed = 0;           // runs that ended on their own first
  int64_t orders_checked = 0;  // orders checked, summed over the checks
  int64_t lines_checked = 0;
  int64_t final_orders = 0;  // orders in the database at the end
};

// Imports file after file of `orders` orders into `company`, killing
// each importer with SIGKILL at a random point of its file (a record count,
// then a few milliseconds more; every fifth while it starts), until
// `points` kills are made. After each
// run the database must validate and hold every written order whole, each
// run's orders a prefix of its file. A last run must then import a whole
// file. Failures are reported through GoogleTest.
KillFigures RunsWithKills(const StressCompany& company, int points, int orders, uint64_t seed);

// Prints what a series of kill runs did ("embedded" or "server" names the
// transport) and records the figures as the test's properties.
void ReportKillFigures(const char* transport, uint64_t seed, const KillFigures& figures);

}  // namespace imp::testing
