#include "tests/stress/interrupted_runs.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

namespace imp::testing {
namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The keys of the orders whose first line is in `text` (an order file or
// a rejects file: each order begins with a line naming its prefix and
// number).
std::set<OrderKey> KeysOfText(const std::string& text) {
  std::set<OrderKey> keys;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t a = line.find(',');
    const size_t b = a == std::string::npos ? a : line.find(',', a + 1);
    if (b == std::string::npos || a == 0) continue;
    keys.emplace(line.substr(0, a), line.substr(a + 1, b - a - 1));
  }
  return keys;
}

// The orders the report lists as written ("estado": "grabado"), and how it
// says the run ended ("fin") and with which exit status ("estado_salida"),
// as they stand.
struct Report {
  std::set<OrderKey> written_keys;
  std::string run_end;
  std::string exit_status;
  bool valid = false;  // the report ends as a whole JSON document does
};

std::string ValueOf(const std::string& text, const std::string& key) {
  const std::string marker = "\"" + key + "\": ";
  const size_t at = text.find(marker);
  if (at == std::string::npos) return {};
  const size_t from = at + marker.size();
  const size_t to = text.find_first_of(",}\n", from);
  std::string value = text.substr(from, to - from);
  if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
  return value;
}

Report ReadReport(const std::string& path) {
  Report report;
  const std::string text = ReadWhole(path);
  report.valid = text.size() > 3 && text.compare(text.size() - 3, 3, "]\n}") != 0 &&
                 text.compare(text.size() - 2, 2, "}\n") == 0;
  report.run_end = ValueOf(text, "fin");
  report.exit_status = ValueOf(text, "estado_salida");
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.find("\"estado\": \"grabado\"") == std::string::npos) continue;
    report.written_keys.emplace(ValueOf(line, "prefijo"), ValueOf(line, "numero"));
  }
  return report;
}

std::string KeyList(const std::set<OrderKey>& keys) {
  std::string text;
  int n = 0;
  for (const auto& [prefix, number] : keys) {
    if (++n > 10) return text + "...";
    text += prefix + " " + number + "  ";
  }
  return text;
}

// Waits until `path` exists; false when the importer ended first without
// having made it, or after the run limit.
bool WaitForFile(ChildProcess& importer, const std::string& path) {
  const auto end = std::chrono::steady_clock::now() + kRunLimit;
  while (access(path.c_str(), F_OK) != 0) {
    if (!importer.WaitForRecords(0, std::chrono::milliseconds(0))) {
      return access(path.c_str(), F_OK) == 0;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    usleep(5'000);
  }
  return true;
}

}  // namespace

InterruptionFigures InterruptedRuns(const StressCompany& company, ExpectedOrders& expected,
                                    int signal_number, int points, int orders, int first_number,
                                    uint64_t seed) {
  InterruptionFigures figures;
  std::mt19937_64 rng(seed);
  const std::string folder = company.db.server();
  for (int run_index = 0; figures.points < points && run_index < 2 * points + 2; ++run_index) {
    SCOPED_TRACE("signal " + std::to_string(signal_number) + ", run " +
                 std::to_string(run_index + 1));
    const OrderFile file = GenerateOrderFile(rng(), orders, first_number + run_index * orders);
    expected.Add(file);
    const std::string name =
        "senal-" + std::to_string(signal_number) + "-" + std::to_string(run_index);
    const std::string path = company.File(name + ".csv", file.text);
    const std::string rejects = folder + "/" + name + ".rechazos";
    const std::string report = folder + "/" + name + ".json";

    const bool at_start = run_index % 4 == 0;
    const int64_t record_count =
        at_start ? 0 : static_cast<int64_t>(rng() % static_cast<uint64_t>(file.lines * 9 / 10));
    const useconds_t delay = static_cast<useconds_t>(rng() % (at_start ? 300'000 : 20'000));
    const auto importer =
        company.Import(path, /*terminal=*/true, {"--rejects", rejects, "--report", report});
    bool sent = false;
    // A signal that comes before the program has taken its signals ends it
    // the default way, before it has done anything, and a kill then leaves
    // no report to read. Every run waits for the report, which is written
    // once the signals are taken: a run whose drawn record count is 0
    // would otherwise signal as it starts, and a sanitizer build starts
    // slowly.
    if (!WaitForFile(*importer, report)) {
      ADD_FAILURE() << "the importer wrote no report:\n" << importer->err();
      return figures;
    }
    if (importer->WaitForRecords(record_count, kRunLimit)) {
      usleep(delay);
      importer->Signal(signal_number);
      sent = true;
    }
    if (!importer->Finish(kRunLimit)) {
      ADD_FAILURE() << "the importer hung:\n" << importer->err();
      return figures;
    }
    const bool interrupted =
        signal_number == SIGKILL ? importer->killed() : importer->status() == 128 + signal_number;
    if (interrupted) {
      ++figures.points;
    } else {
      ++figures.completed;
      EXPECT_EQ(importer->status(), 0) << "signal sent: " << sent << "\n"
                                       << importer->err() << importer->out();
    }

    EXPECT_EQ(ValidateDatabase(company.base()), "") << "after record " << importer->records();
    OrderCheck check = CheckOrders(company.base(), expected);
    EXPECT_TRUE(check.faults.empty()) << check.faults.front();
    std::set<OrderKey> in_database;
    for (const FileOrder& p : file.orders) {
      if (check.ids.count({p.prefix, p.number})) in_database.emplace(p.prefix, p.number);
    }
    figures.orders_written += static_cast<int64_t>(in_database.size());
    const Report read_back = ReadReport(report);
    EXPECT_TRUE(read_back.valid) << ReadWhole(report);

    if (signal_number == SIGKILL) {
      // The last rewrite: never an order the database lacks.
      for (const OrderKey& c : read_back.written_keys) {
        EXPECT_TRUE(in_database.count(c)) << "the report claims " << c.first << " " << c.second;
      }
      if (interrupted) {
        EXPECT_EQ(read_back.run_end, "en_curso");
      }
      // The README's way after a kill: the whole file again, skipping what
      // is in.
      const auto again = company.Import(path, false, {"--skip-existing"});
      EXPECT_TRUE(again->Finish(kRunLimit));
      EXPECT_TRUE(again->status() == 0 || again->status() == 3) << again->err() << again->out();
    } else {
      const std::set<OrderKey> rejected_keys = KeysOfText(ReadWhole(rejects));
      figures.orders_rejected += static_cast<int64_t>(rejected_keys.size());
      std::set<OrderKey> in_both, in_neither;
      for (const FileOrder& p : file.orders) {
        const OrderKey c{p.prefix, p.number};
        const bool written = in_database.count(c) > 0, rejected = rejected_keys.count(c) > 0;
        if (written && rejected) in_both.insert(c);
        if (!written && !rejected) in_neither.insert(c);
      }
      EXPECT_TRUE(in_both.empty()) << "in the database and the rejects: " << KeyList(in_both);
      EXPECT_TRUE(in_neither.empty()) << "in neither: " << KeyList(in_neither);
      EXPECT_EQ(read_back.written_keys, in_database);
      EXPECT_EQ(read_back.run_end, interrupted ? "interrumpida" : "completa");
      EXPECT_EQ(read_back.exit_status, std::to_string(importer->status()));
      // The rejects as they are, without --skip-existing.
      if (!rejected_keys.empty()) {
        const auto again = company.Import(rejects, false);
        EXPECT_TRUE(again->Finish(kRunLimit));
        EXPECT_EQ(again->status(), 0) << again->err() << again->out();
      }
    }
    // Every order of the file once, whole.
    check = CheckOrders(company.base(), expected);
    EXPECT_TRUE(check.faults.empty()) << check.faults.front();
    EXPECT_EQ(LeadingOrders(file, check), file.orders.size());
    if (::testing::Test::HasFailure()) return figures;
  }
  return figures;
}

void InterruptionSeries(const StressCompany& company, const char* where, int points, int orders) {
  const uint64_t seed = StressSeed();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(seed));
  ExpectedOrders expected;
  int first_number = 1;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    const InterruptionFigures figures = InterruptedRuns(company, expected, signal_number, points,
                                                        orders, first_number, seed + signal_number);
    first_number += orders * (2 * points + 2);
    EXPECT_EQ(figures.points, points) << "signal " << signal_number;
    std::printf(
        "%s, signal %d: seed %llu, %d runs interrupted, %d ended first, %lld orders "
        "written, %lld in the rejects\n",
        where, signal_number, static_cast<unsigned long long>(seed), figures.points,
        figures.completed, static_cast<long long>(figures.orders_written),
        static_cast<long long>(figures.orders_rejected));
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace imp::testing
