#include "tests/stress/stress_bench.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace imp::testing {
namespace {

constexpr char kExe[] = IMPORTA_PEDIDOS_EXE;

}  // namespace

bool WithSanitizers() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

namespace {

// Faults of a revision as one message (the first few of them).
std::string FaultsText(const OrderCheck& check) {
  std::string text;
  for (size_t i = 0; i < check.faults.size() && i < 20; ++i) text += check.faults[i] + "\n";
  if (check.faults.size() > 20) {
    text += "... and " + std::to_string(check.faults.size() - 20) + " more\n";
  }
  return text;
}

}  // namespace

std::optional<TestServer> StressServer() { return TestServer::FromEnvironment("imptest"); }

StressCompany::StressCompany(const std::optional<TestServer>& server, const std::string& charset)
    : db(/*demo=*/true, "demo", charset) {
  const std::string server_settings = server ? server->host + ":" + db.server() : db.server();
  base_.database = server ? server->host + ":" + db.path() : db.path();
  base_.password = server ? server->password : "masterkey";
  settings_ = db.server() + "/settings.conf";
  WriteFile(settings_, server_settings + "\nSYSDBA\n" + base_.password + "\ndemo\n");
}

std::string StressCompany::File(const std::string& name, const std::string& text) const {
  const std::string path = db.server() + "/" + name;
  WriteFile(path, text);
  return path;
}

std::unique_ptr<ChildProcess> StressCompany::Import(const std::string& file, bool terminal,
                                                    const std::vector<std::string>& options,
                                                    const std::string& setup) const {
  std::vector<std::string> arguments{"--batch", "--settings", settings_};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.push_back(file);
  std::string program = kExe;
  if (!setup.empty()) {
    // Ignored signals and limits stay across exec.
    arguments.insert(arguments.begin(), {"-c", setup + "; exec \"$0\" \"$@\"", program});
    program = "/bin/sh";
  }
  return std::make_unique<ChildProcess>(
      program, arguments, Environment{{"LC_ALL", "C"}, {"LANG", "C"}}, db.server(), terminal);
}

int KillPoints(int normal) {
  if (const char* text = std::getenv("IMPORTA_STRESS_KILL_POINTS"); text && *text) {
    return std::max(1, std::atoi(text));
  }
  return WithSanitizers() ? std::max(1, normal / 3) : normal;
}

uint64_t StressSeed() {
  if (const char* text = std::getenv("IMPORTA_STRESS_SEED"); text && *text) {
    return std::strtoull(text, nullptr, 10);
  }
  return (static_cast<uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
}

KillFigures RunsWithKills(const StressCompany& company, int points, int orders, uint64_t seed) {
  KillFigures figures;
  ExpectedOrders expected;
  std::mt19937_64 rng(seed);
  // A run that ends before its kill point makes no kill; a few spare runs
  // cover those.
  for (int run_index = 0; figures.points < points && run_index < 2 * points + 2; ++run_index) {
    SCOPED_TRACE("run " + std::to_string(run_index + 1));
    const OrderFile file = GenerateOrderFile(rng(), orders, 1000 * (run_index + 1) + 1);
    expected.Add(file);
    const std::string path =
        company.File("muerte-" + std::to_string(run_index + 1) + ".csv", file.text);
    // Every fifth run dies while it starts (connection, layout, the first
    // order); the others anywhere up to near the end of the file.
    const bool at_start = run_index % 5 == 0;
    const int64_t record_count =
        at_start ? 0 : static_cast<int64_t>(rng() % static_cast<uint64_t>(file.lines * 9 / 10));
    const useconds_t delay = static_cast<useconds_t>(rng() % (at_start ? 400'000 : 30'000));

    const auto importer = company.Import(path, /*terminal=*/true);
    if (importer->WaitForRecords(record_count, kRunLimit)) {
      usleep(delay);
      importer->Kill();
    }
    EXPECT_TRUE(importer->Finish(kRunLimit)) << "the importer hung:\n" << importer->err();
    if (importer->killed()) {
      ++figures.points;
    } else {
      ++figures.completed;
      EXPECT_EQ(importer->status(), 0) << importer->err() << importer->out();
    }

    const std::string validation = ValidateDatabase(company.base());
    EXPECT_EQ(validation, "") << "killed after record " << importer->records();
    OrderCheck check = CheckOrders(company.base(), expected);
    const size_t initial = LeadingOrders(file, check);
    if (!importer->killed()) {
      EXPECT_EQ(initial, file.orders.size());
    }
    EXPECT_TRUE(check.faults.empty()) << "killed after record " << importer->records() << ":\n"
                                      << FaultsText(check);
    figures.orders_checked += check.orders;
    figures.lines_checked += check.lines;
    if (::testing::Test::HasFailure()) return figures;
  }

  // The database takes a whole file after the crashes: every identifier
  // drawn is new, nothing left behind is in the way.
  SCOPED_TRACE("whole run after the kills");
  const OrderFile file = GenerateOrderFile(rng(), orders / 4 + 1, 900001);
  expected.Add(file);
  const auto importer = company.Import(company.File("entera.csv", file.text), false);
  EXPECT_TRUE(importer->Finish(kRunLimit)) << "the importer hung";
  EXPECT_EQ(importer->status(), 0) << importer->err() << importer->out();
  EXPECT_EQ(ValidateDatabase(company.base()), "");
  OrderCheck check = CheckOrders(company.base(), expected);
  EXPECT_EQ(LeadingOrders(file, check), file.orders.size());
  EXPECT_TRUE(check.faults.empty()) << FaultsText(check);
  figures.orders_checked += check.orders;
  figures.lines_checked += check.lines;
  figures.final_orders = check.orders;
  return figures;
}

void ReportKillFigures(const char* transport, uint64_t seed, const KillFigures& figures) {
  std::printf(
      "%s: seed %llu, %d kill points survived, %d runs ended first, "
      "%lld orders (%lld lines) checked, %lld orders at the end\n",
      transport, static_cast<unsigned long long>(seed), figures.points, figures.completed,
      static_cast<long long>(figures.orders_checked), static_cast<long long>(figures.lines_checked),
      static_cast<long long>(figures.final_orders));
  ::testing::Test::RecordProperty("kill_points", figures.points);
  ::testing::Test::RecordProperty("orders_checked", static_cast<int>(figures.orders_checked));
}

}  // namespace imp::testing
