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
class ArchivoDePedidos {
 public:
  ArchivoDePedidos() {
    const char* mb = std::getenv("IMPORTA_BENCH_MB");
    const std::int64_t objetivo = (mb ? std::atoll(mb) : 200) * 1000 * 1000;
    std::string plantilla = (std::filesystem::temp_directory_path() / "reader_bench_XXXXXX").string();
    if (!::mkdtemp(plantilla.data())) std::abort();
    dir_ = plantilla;
    ruta_ = (dir_ / "pedidos.csv").string();
    std::ofstream salida(ruta_, std::ios::binary);
    std::string linea;
    std::uint64_t semilla = 88172645463325252ull;
    const auto aleatorio = [&semilla](std::uint64_t n) {
      semilla ^= semilla << 13;
      semilla ^= semilla >> 7;
      semilla ^= semilla << 17;
      return semilla % n;
    };
    std::int64_t numero = 100000;
    while (tamano_ < objetivo) {
      const std::uint64_t lineas = 1 + aleatorio(12);
      const std::string cliente = std::to_string(800000000 + aleatorio(99999999));
      for (std::uint64_t l = 0; l < lineas; ++l) {
        linea.clear();
        linea += "PV,";
        linea += std::to_string(numero);
        linea += ",15/01/2024,";
        linea += aleatorio(3) ? "14/02/2024," : ",";
        linea += "V0" + std::to_string(aleatorio(9)) + ",1,";
        linea += cliente;
        linea += ",\"DISTRIBUIDORA " + cliente.substr(0, 4) + ", S.A.S.\",01,0,0,0,";
        linea += "ART" + std::to_string(10000 + aleatorio(89999)) + ",";
        linea += std::to_string(1 + aleatorio(500)) + ",UND,";
        linea += std::to_string(1000 + aleatorio(999000)) + ".50,";
        linea += aleatorio(4) ? "0" : "5.5";
        linea += "\r\n";
        salida << linea;
        tamano_ += static_cast<std::int64_t>(linea.size());
        ++registros_;
      }
      ++numero;
    }
  }
  ~ArchivoDePedidos() { std::filesystem::remove_all(dir_); }

  const std::string& ruta() const { return ruta_; }
  std::int64_t tamano() const { return tamano_; }
  std::int64_t registros() const { return registros_; }

 private:
  std::filesystem::path dir_;
  std::string ruta_;
  std::int64_t tamano_ = 0;
  std::int64_t registros_ = 0;
};

const ArchivoDePedidos& Archivo() {
  static const ArchivoDePedidos archivo;
  return archivo;
}

CImportacion Layout() {
  CImportacion importacion;
  std::int32_t columna = 0;
  for (const auto& [dato, valor] : kRecordValueNames) {
    importacion.Add({std::string(dato), ++columna, 20, "SI"});
  }
  return importacion;
}

void BM_LeaRegistrosConAsigneValores(benchmark::State& estado) {
  const ArchivoDePedidos& archivo = Archivo();
  const CImportacion importacion = Layout();
  TLectorPlano lector(static_cast<std::size_t>(estado.range(0)));
  std::int64_t registros = 0;
  for (auto _ : estado) {
    TValoresRegistro valores;
    LinePosition ultima;
    registros = 0;
    const bool abierto = lector.lea_registros(
        archivo.ruta(),
        [&](const TCamposRegistro& campos, const LinePosition& posicion) {
          asigne_valores(campos, importacion, valores);
          ultima = posicion;
          ++registros;
        },
        [] {});
    // Also a check of the 64-bit counters when IMPORTA_BENCH_MB passes 2 GiB.
    if (!abierto || registros != archivo.registros() || ultima.number != registros ||
        ultima.offset + ultima.length + 2 != archivo.tamano()) {
      estado.SkipWithError("lectura incompleta");
      return;
    }
    benchmark::DoNotOptimize(valores);
  }
  estado.SetBytesProcessed(estado.iterations() * archivo.tamano());
  estado.counters["registros/s"] = benchmark::Counter(
      static_cast<double>(registros) * static_cast<double>(estado.iterations()),
      benchmark::Counter::kIsRate);
  estado.counters["MB"] = static_cast<double>(archivo.tamano()) / 1e6;
  estado.counters["MB/s"] = benchmark::Counter(
      static_cast<double>(archivo.tamano()) / 1e6 * static_cast<double>(estado.iterations()),
      benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LeaRegistrosConAsigneValores)
    ->Arg(64 * 1024)
    ->Arg(static_cast<std::int64_t>(TLectorPlano::kDefaultBlockSize))
    ->Arg(1024 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
