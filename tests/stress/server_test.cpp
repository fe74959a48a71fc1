// The batch importer against the local Firebird server over TCP: killed at
// random points of large imports, two importers into one company at the
// same time, and the server stopped under a run. Skipped without
// IMPORTA_FB_SERVER; these tests hold the CTest lock "fbserver", since one
// of them stops and restarts the server.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <map>
#include <string>
#include <vector>

#include "db/tfdm.h"
#include "tests/stress/stress_bench.h"
#include "tests/support/non_ascii_company.h"

namespace imp::testing {
namespace {

std::optional<TestServer> Server() { return StressServer(); }

#define REQUIRE_SERVER() \
  if (!Server()) GTEST_SKIP() << "IMPORTA_FB_SERVER is unset: no server to use"

// The figure after "label: " on its own line of the batch summary.
std::optional<long long> Figure(const std::string& summary, const std::string& label) {
  const std::string marker = "\n" + label + ": ";
  const size_t at = ("\n" + summary).find(marker);
  if (at == std::string::npos) return std::nullopt;
  return std::stoll(summary.substr(at + marker.size() - 1));
}

std::string FirstFaults(const std::vector<std::string>& faults) {
  std::string text;
  for (size_t i = 0; i < faults.size() && i < 20; ++i) text += faults[i] + "\n";
  return text;
}

// True when a line of `err` is the database's failure text, alone or after
// the "Línea <n>: " that names the file line the run stopped at.
bool IsDatabaseFailureLine(const std::string& err) {
  static const std::string kFailure = "dbExpress Error: ";
  static const std::string kLine = "Línea ";
  for (size_t start = 0; start < err.size();) {
    const size_t end = std::min(err.find('\n', start), err.size());
    std::string line = err.substr(start, end - start);
    start = end + 1;
    if (line.rfind(kLine, 0) == 0) {
      size_t i = kLine.size();
      while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
      if (i == kLine.size() || line.compare(i, 2, ": ") != 0) continue;
      line.erase(0, i + 2);
    }
    if (line.rfind(kFailure, 0) == 0 && line.size() > kFailure.size()) return true;
  }
  return false;
}

// Stops the local server with scripts/fbserver.sh; whatever happens to the
// test, the server is running again when this goes away.
class StoppableServer {
 public:
  StoppableServer() = default;
  StoppableServer(const StoppableServer&) = delete;
  StoppableServer& operator=(const StoppableServer&) = delete;
  ~StoppableServer() {
    if (stopped_) Start();
  }

  // The server closes an attachment that is busy only after a grace of a
  // few seconds; the script may give up waiting for it a moment before. So
  // its status is not the test's business: the importer's end is.
  void Stop() {
    stopped_ = true;
    std::string output;
    Script("stop", output);
  }
  // A server still closing its files may make a start fail; a few tries.
  void Start() {
    std::string output;
    int status = -1;
    for (int attempt = 0; attempt < 3 && status != 0; ++attempt) status = Script("start", output);
    EXPECT_EQ(status, 0) << output;
    stopped_ = false;
  }

 private:
  static int Script(const char* order, std::string& output) {
    return RunShellCommand("bash '" + SourcePath("scripts/fbserver.sh") + "' " + order, output);
  }
  bool stopped_ = false;
};

TEST(ServerCrashes, KilledImporterLeavesNoSplitOrders) {
  REQUIRE_SERVER();
  const uint64_t seed = StressSeed();
  const int points = KillPoints(12);
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(seed));
  StressCompany company(Server());
  const KillFigures figures = RunsWithKills(company, points, 200, seed);
  EXPECT_EQ(figures.points, points);
  ReportKillFigures("server", seed, figures);
}

// A UTF8 company over TCP: the same orders, in Windows-1252 and in UTF-8
// with --codificacion UTF8, read back through the server as the same
// characters (names cut to 60 characters, CHAR(1) flags, article "Ñ01").
TEST(ServerCharacterSets, Utf8CompanyOverTcp) {
  REQUIRE_SERVER();
  StressCompany company(Server(), "UTF8");
  AddNonAsciiData(company.db, "UTF8");
  const std::string utf8 = company.File("utf8.csv", NonAsciiOrders(4));
  const std::string win1252 = company.File("win1252.csv", ToWin1252(NonAsciiOrders(1)));
  const auto first = company.Import(win1252, false);
  ASSERT_TRUE(first->Finish(std::chrono::seconds(120)));
  EXPECT_EQ(first->status(), 0) << first->err() << first->out();
  const auto second = company.Import(utf8, false, {"--codificacion", "UTF8"});
  ASSERT_TRUE(second->Finish(std::chrono::seconds(120)));
  EXPECT_EQ(second->status(), 0) << second->err() << second->out();
  std::vector<std::string> expected = ExpectedTexts(1);
  for (const std::string& e : ExpectedTexts(4)) expected.push_back(e);
  EXPECT_EQ(ImportedTexts(company.db, "UTF8", company.base().database, company.base().password),
            expected);
}

// Records read once the run has surely written its first `orders` orders.
// The importer holds at most the order it is reading unwritten, and reads a
// batch of records ahead: those orders' lines, the next order's, and a batch.
int64_t RecordsWithOrdersWritten(const OrderFile& file, size_t orders) {
  int64_t records = static_cast<int64_t>(Tfdm::kLinesPerRead);
  for (size_t i = 0; i <= orders && i < file.orders.size(); ++i) {
    records += static_cast<int64_t>(file.orders[i].lines.size());
  }
  return records;
}

// Two files into one company database at the same time: each order of
// both written exactly once, whole, with an identifier of its own.
TEST(ServerConcurrency, TwoImportsAtOnceWriteEachOrderOnce) {
  REQUIRE_SERVER();
  const uint64_t seed = StressSeed();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(seed));
  StressCompany company(Server());
  const int orders = WithSanitizers() ? 80 : 250;
  const OrderFile files[] = {GenerateOrderFile(seed, orders, 1),
                                     GenerateOrderFile(seed + 1, orders, 500001)};
  ExpectedOrders expected;
  for (const OrderFile& a : files) expected.Add(a);
  const std::string paths[] = {company.File("a.csv", files[0].text),
                               company.File("b.csv", files[1].text)};

  // However fast either process is, the runs overlap: the first writes a
  // few orders and is then held, its attachment open, while the second
  // starts and writes a few of its own; then both go on together.
  const auto start = std::chrono::steady_clock::now();
  const auto a = company.Import(paths[0], /*terminal=*/true);
  ASSERT_TRUE(a->WaitForRecords(RecordsWithOrdersWritten(files[0], 3), kRunLimit))
      << a->err() << a->out();
  a->Suspend();
  const auto b = company.Import(paths[1], /*terminal=*/true);
  const bool b_wrote = b->WaitForRecords(RecordsWithOrdersWritten(files[1], 3), kRunLimit);
  a->Resume();
  ASSERT_TRUE(b_wrote) << b->err() << b->out();
  EXPECT_TRUE(a->Finish(kRunLimit)) << "the first importer hung";
  EXPECT_TRUE(b->Finish(kRunLimit)) << "the second importer hung";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int i = 0;
  for (const ChildProcess* p : {a.get(), b.get()}) {
    SCOPED_TRACE(i == 0 ? "first file" : "second file");
    EXPECT_EQ(p->status(), 0) << p->err() << p->out();
    EXPECT_EQ(Figure(p->out(), "Pedidos grabados"), orders) << p->out();
    EXPECT_EQ(Figure(p->out(), "Líneas grabadas"), files[i].lines) << p->out();
    ++i;
  }

  EXPECT_EQ(ValidateDatabase(company.base()), "");
  OrderCheck revision = CheckOrders(company.base(), expected);
  for (const OrderFile& file : files) {
    EXPECT_EQ(LeadingOrders(file, revision), file.orders.size());
  }
  EXPECT_TRUE(revision.faults.empty()) << FirstFaults(revision.faults);
  EXPECT_EQ(revision.orders, 2 * orders);
  EXPECT_EQ(revision.lines, files[0].lines + files[1].lines);

  // Identifiers: one per order, and drawn by both runs in turn, which shows
  // that the runs overlapped.
  std::map<int64_t, int> file_of;
  for (int k = 0; k < 2; ++k) {
    for (const FileOrder& p : files[k].orders) {
      const auto it = revision.ids.find({p.prefix, p.number});
      if (it == revision.ids.end()) continue;
      for (int64_t id : it->second) EXPECT_TRUE(file_of.emplace(id, k).second) << id;
    }
  }
  EXPECT_EQ(file_of.size(), static_cast<size_t>(2 * orders));
  int turns = 0;
  for (auto it = file_of.begin(); it != file_of.end() && std::next(it) != file_of.end(); ++it) {
    turns += it->second != std::next(it)->second;
  }
  EXPECT_GT(turns, 1) << "the two runs did not overlap";
  std::printf(
      "concurrency: 2 importers, %d orders and %lld + %lld lines, %.2f s together, "
      "%d alternations between the runs' identifiers\n",
      2 * orders, static_cast<long long>(files[0].lines),
      static_cast<long long>(files[1].lines), seconds, turns);
}

// The server stopped at a point of a run: the run ends with the database's
// failure text and status 1, without hanging; the orders written before are
// whole and stay written, and the summary says how many there are.
TEST(StoppedServer, TheRunEndsWithTheDatabaseFailure) {
  REQUIRE_SERVER();
  const uint64_t seed = StressSeed();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(seed));
  std::mt19937_64 rng(seed);
  StressCompany company(Server());
  ExpectedOrders expected;
  // Records read when the server goes. A busy server may take the stop
  // script's whole grace (5 s) before it is killed, so each file goes on for
  // some 20,000 lines past the last point, more than the fastest run writes
  // meanwhile: the cut always falls in the middle.
  const int64_t points[] = {100, 600, 1500};
  for (size_t n = 0; n < std::size(points); ++n) {
    SCOPED_TRACE("server stopped after record " + std::to_string(points[n]));
    const OrderFile file =
        GenerateOrderFile(rng(), 4000, 100000 * static_cast<int>(n + 1) + 1);
    expected.Add(file);
    const auto importer = company.Import(
        company.File("detenido-" + std::to_string(n + 1) + ".csv", file.text), true);
    {
      StoppableServer server;
      ASSERT_TRUE(importer->WaitForRecords(points[n], kRunLimit))
          << "the run ended first:\n" << importer->err() << importer->out();
      server.Stop();
      EXPECT_TRUE(importer->Finish(kRunLimit)) << "the importer hung";
    }
    const std::string& err = importer->err();
    const std::string& out = importer->out();
    EXPECT_EQ(importer->status(), 1) << err << out;
    // The failure is the database's, on a line of its own after the file
    // line it stopped at.
    EXPECT_TRUE(IsDatabaseFailureLine(err)) << err;
    const std::optional<long long> reported = Figure(out, "Pedidos grabados");
    ASSERT_TRUE(reported.has_value()) << out;
    EXPECT_NE(err.find("Pedidos de esta importación ya grabados (quedan grabados): " +
                       std::to_string(*reported) + "."),
              std::string::npos)
        << err;
    EXPECT_NE(out.find("Resumen de la importación: interrumpida por una falla"), std::string::npos)
        << out;

    EXPECT_EQ(ValidateDatabase(company.base()), "");
    OrderCheck revision = CheckOrders(company.base(), expected);
    EXPECT_TRUE(revision.faults.empty()) << FirstFaults(revision.faults);
    // A commit the server made just before going away may not have reached
    // the importer: at most that one order more than it counted.
    const long long stored = static_cast<long long>(LeadingOrders(file, revision));
    EXPECT_GE(stored, *reported);
    EXPECT_LE(stored, *reported + 1);
    EXPECT_GT(stored, 0);
    std::printf("server stopped after record %lld: %lld orders written before, exit %d\n",
                static_cast<long long>(points[n]), stored, importer->status());
  }

  // Once the server is back, the company takes a whole file, with
  // identifiers that none of the interrupted runs used.
  const OrderFile file = GenerateOrderFile(rng(), 100, 900001);
  expected.Add(file);
  const auto importer = company.Import(company.File("despues.csv", file.text), false);
  EXPECT_TRUE(importer->Finish(kRunLimit)) << "the importer hung";
  EXPECT_EQ(importer->status(), 0) << importer->err() << importer->out();
  OrderCheck revision = CheckOrders(company.base(), expected);
  EXPECT_EQ(LeadingOrders(file, revision), file.orders.size());
  EXPECT_TRUE(revision.faults.empty()) << FirstFaults(revision.faults);
}

}  // namespace
}  // namespace imp::testing
