// Throughput of the order file reader with the layout mapping as handler,
// on a generated file of about 200 MB (page cache warm after the first pass).
//   reader_bench [--benchmark_filter=...]   IMPORTA_BENCH_MB=n changes the size

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "import/importacion.h"
#include "import/lector_plano.h"
#include "import/valores_registro.h"

namespace {

using namespace imp;

// Orders of 1 to 12 lines, every line with all 17 columns, the customer name
// quoted (it holds a comma), some fields left empty as writers do.
class BenchOrderFile {
 public:
  BenchOrderFile() {
    const char* mb = std::getenv("IMPORTA_BENCH_MB");
    const std::int64_t target = (mb ? std::atoll(mb) : 200) * 1000 * 1000;
    std::string pattern = (std::filesystem::temp_directory_path() / "reader_bench_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    path_ = (dir_ / "pedidos.csv").string();
    std::ofstream output(path_, std::ios::binary);
    std::string line;
    std::uint64_t seed = 88172645463325252ull;
    const auto random = [&seed](std::uint64_t n) {
      seed ^= seed << 13;
      seed ^= seed >> 7;
      seed ^= seed << 17;
      return seed % n;
    };
    std::int64_t number = 100000;
    while (size_ < target) {
      const std::uint64_t lines = 1 + random(12);
      const std::string customer = std::to_string(800000000 + random(99999999));
      for (std::uint64_t l = 0; l < lines; ++l) {
        line.clear();
        line += "PV,";
        line += std::to_string(number);
        line += ",15/01/2024,";
        line += random(3) ? "14/02/2024," : ",";
        line += "V0" + std::to_string(random(9)) + ",1,";
        line += customer;
        line += ",\"DISTRIBUIDORA " + customer.substr(0, 4) + ", S.A.S.\",01,0,0,0,";
        line += "ART" + std::to_string(10000 + random(89999)) + ",";
        line += std::to_string(1 + random(500)) + ",UND,";
        line += std::to_string(1000 + random(999000)) + ".50,";
        line += random(4) ? "0" : "5.5";
        line += "\r\n";
        output << line;
        size_ += static_cast<std::int64_t>(line.size());
        ++records_;
      }
      ++number;
    }
  }
  ~BenchOrderFile() { std::filesystem::remove_all(dir_); }

  const std::string& path() const { return path_; }
  std::int64_t size() const { return size_; }
  std::int64_t records() const { return records_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
  std::int64_t size_ = 0;
  std::int64_t records_ = 0;
};

const BenchOrderFile& SharedOrderFile() {
  static const BenchOrderFile file;
  return file;
}

CImportacion Layout() {
  CImportacion import_layout;
  std::int32_t column = 0;
  for (const auto& [field_name, value] : kRecordValueNames) {
    import_layout.Add({std::string(field_name), ++column, 20, "SI"});
  }
  return import_layout;
}

void BM_LeaRegistrosWithAsigneValores(benchmark::State& status) {
  const BenchOrderFile& file = SharedOrderFile();
  const CImportacion import_layout = Layout();
  TLectorPlano reader(static_cast<std::size_t>(status.range(0)));
  std::int64_t records = 0;
  for (auto _ : status) {
    TValoresRegistro values;
    LinePosition last;
    records = 0;
    const bool opened = reader.lea_registros(
        file.path(),
        [&](const TCamposRegistro& fields, const LinePosition& position) {
          asigne_valores(fields, import_layout, values);
          last = position;
          ++records;
        },
        [] {});
    // Also a check of the 64-bit counters when IMPORTA_BENCH_MB passes 2 GiB.
    if (!opened || records != file.records() || last.number != records ||
        last.offset + last.length + 2 != file.size()) {
      status.SkipWithError("lectura incompleta");
      return;
    }
    benchmark::DoNotOptimize(values);
  }
  status.SetBytesProcessed(status.iterations() * file.size());
  status.counters["registros/s"] = benchmark::Counter(
      static_cast<double>(records) * static_cast<double>(status.iterations()),
      benchmark::Counter::kIsRate);
  status.counters["MB"] = static_cast<double>(file.size()) / 1e6;
  status.counters["MB/s"] = benchmark::Counter(
      static_cast<double>(file.size()) / 1e6 * static_cast<double>(status.iterations()),
      benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LeaRegistrosWithAsigneValores)
    ->Arg(64 * 1024)
    ->Arg(static_cast<std::int64_t>(TLectorPlano::kDefaultBlockSize))
    ->Arg(1024 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
