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
std::optional<long long> Figure(const std::string& resumen, const std::string& etiqueta) {
  const std::string marker = "\n" + etiqueta + ": ";
  const size_t at = ("\n" + resumen).find(marker);
  if (at == std::string::npos) return std::nullopt;
  return std::stoll(resumen.substr(at + marker.size() - 1));
}

std::string FirstFaults(const std::vector<std::string>& faltas) {
  std::string texto;
  for (size_t i = 0; i < faltas.size() && i < 20; ++i) texto += faltas[i] + "\n";
  return texto;
}

// True when a line of `err` is the database's failure text, alone or after
// the "Línea <n>: " that names the file line the run stopped at.
bool IsDatabaseFailureLine(const std::string& err) {
  static const std::string kFalla = "dbExpress Error: ";
  static const std::string kLine = "Línea ";
  for (size_t inicio = 0; inicio < err.size();) {
    const size_t fin = std::min(err.find('\n', inicio), err.size());
    std::string linea = err.substr(inicio, fin - inicio);
    inicio = fin + 1;
    if (linea.rfind(kLine, 0) == 0) {
      size_t i = kLine.size();
      while (i < linea.size() && linea[i] >= '0' && linea[i] <= '9') ++i;
      if (i == kLine.size() || linea.compare(i, 2, ": ") != 0) continue;
      linea.erase(0, i + 2);
    }
    if (linea.rfind(kFalla, 0) == 0 && linea.size() > kFalla.size()) return true;
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
    if (detenido_) Arranque();
  }

  // The server closes an attachment that is busy only after a grace of a
  // few seconds; the script may give up waiting for it a moment before. So
  // its status is not the test's business: the importer's end is.
  void Detenga() {
    detenido_ = true;
    std::string salida;
    Script("stop", salida);
  }
  // A server still closing its files may make a start fail; a few tries.
  void Arranque() {
    std::string salida;
    int estado = -1;
    for (int intento = 0; intento < 3 && estado != 0; ++intento) estado = Script("start", salida);
    EXPECT_EQ(estado, 0) << salida;
    detenido_ = false;
  }

 private:
  static int Script(const char* orden, std::string& salida) {
    return RunShellCommand("bash '" + SourcePath("scripts/fbserver.sh") + "' " + orden, salida);
  }
  bool detenido_ = false;
};

TEST(ServerCrashes, KilledImporterLeavesNoSplitOrders) {
  REQUIRE_SERVER();
  const uint64_t semilla = StressSeed();
  const int puntos = KillPoints(12);
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  StressCompany compania(Server());
  const KillFigures cifras = RunsWithKills(compania, puntos, 200, semilla);
  EXPECT_EQ(cifras.points, puntos);
  ReportKillFigures("server", semilla, cifras);
}

// A UTF8 company over TCP: the same orders, in Windows-1252 and in UTF-8
// with --codificacion UTF8, read back through the server as the same
// characters (names cut to 60 characters, CHAR(1) flags, article "Ñ01").
TEST(ServerCharacterSets, Utf8CompanyOverTcp) {
  REQUIRE_SERVER();
  StressCompany compania(Server(), "UTF8");
  AddNonAsciiData(compania.db, "UTF8");
  const std::string utf8 = compania.File("utf8.csv", NonAsciiOrders(4));
  const std::string win1252 = compania.File("win1252.csv", ToWin1252(NonAsciiOrders(1)));
  const auto primera = compania.Import(win1252, false);
  ASSERT_TRUE(primera->Finish(std::chrono::seconds(120)));
  EXPECT_EQ(primera->status(), 0) << primera->err() << primera->out();
  const auto segunda = compania.Import(utf8, false, {"--codificacion", "UTF8"});
  ASSERT_TRUE(segunda->Finish(std::chrono::seconds(120)));
  EXPECT_EQ(segunda->status(), 0) << segunda->err() << segunda->out();
  std::vector<std::string> esperados = ExpectedTexts(1);
  for (const std::string& e : ExpectedTexts(4)) esperados.push_back(e);
  EXPECT_EQ(ImportedTexts(compania.db, "UTF8", compania.base().database, compania.base().password),
            esperados);
}

// Records read once the run has surely written its first `pedidos` orders.
// The importer holds at most the order it is reading unwritten, and reads a
// batch of records ahead: those orders' lines, the next order's, and a batch.
int64_t RecordsWithOrdersWritten(const OrderFile& archivo, size_t pedidos) {
  int64_t registros = static_cast<int64_t>(Tfdm::kLinesPerRead);
  for (size_t i = 0; i <= pedidos && i < archivo.orders.size(); ++i) {
    registros += static_cast<int64_t>(archivo.orders[i].lines.size());
  }
  return registros;
}

// Two files into one company database at the same time: each order of
// both written exactly once, whole, with an identifier of its own.
TEST(ServerConcurrency, TwoImportsAtOnceWriteEachOrderOnce) {
  REQUIRE_SERVER();
  const uint64_t semilla = StressSeed();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  StressCompany compania(Server());
  const int pedidos = WithSanitizers() ? 80 : 250;
  const OrderFile archivos[] = {GenerateOrderFile(semilla, pedidos, 1),
                                     GenerateOrderFile(semilla + 1, pedidos, 500001)};
  ExpectedOrders esperados;
  for (const OrderFile& a : archivos) esperados.Add(a);
  const std::string rutas[] = {compania.File("a.csv", archivos[0].text),
                               compania.File("b.csv", archivos[1].text)};

  // However fast either process is, the runs overlap: the first writes a
  // few orders and is then held, its attachment open, while the second
  // starts and writes a few of its own; then both go on together.
  const auto inicio = std::chrono::steady_clock::now();
  const auto a = compania.Import(rutas[0], /*terminal=*/true);
  ASSERT_TRUE(a->WaitForRecords(RecordsWithOrdersWritten(archivos[0], 3), kRunLimit))
      << a->err() << a->out();
  a->Suspend();
  const auto b = compania.Import(rutas[1], /*terminal=*/true);
  const bool b_grabo = b->WaitForRecords(RecordsWithOrdersWritten(archivos[1], 3), kRunLimit);
  a->Resume();
  ASSERT_TRUE(b_grabo) << b->err() << b->out();
  EXPECT_TRUE(a->Finish(kRunLimit)) << "the first importer hung";
  EXPECT_TRUE(b->Finish(kRunLimit)) << "the second importer hung";
  const double segundos =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
  int i = 0;
  for (const ChildProcess* p : {a.get(), b.get()}) {
    SCOPED_TRACE(i == 0 ? "first file" : "second file");
    EXPECT_EQ(p->status(), 0) << p->err() << p->out();
    EXPECT_EQ(Figure(p->out(), "Pedidos grabados"), pedidos) << p->out();
    EXPECT_EQ(Figure(p->out(), "Líneas grabadas"), archivos[i].lines) << p->out();
    ++i;
  }

  EXPECT_EQ(ValidateDatabase(compania.base()), "");
  OrderCheck revision = CheckOrders(compania.base(), esperados);
  for (const OrderFile& archivo : archivos) {
    EXPECT_EQ(LeadingOrders(archivo, revision), archivo.orders.size());
  }
  EXPECT_TRUE(revision.faults.empty()) << FirstFaults(revision.faults);
  EXPECT_EQ(revision.orders, 2 * pedidos);
  EXPECT_EQ(revision.lines, archivos[0].lines + archivos[1].lines);

  // Identifiers: one per order, and drawn by both runs in turn, which shows
  // that the runs overlapped.
  std::map<int64_t, int> archivo_de;
  for (int k = 0; k < 2; ++k) {
    for (const FileOrder& p : archivos[k].orders) {
      const auto it = revision.ids.find({p.prefix, p.number});
      if (it == revision.ids.end()) continue;
      for (int64_t id : it->second) EXPECT_TRUE(archivo_de.emplace(id, k).second) << id;
    }
  }
  EXPECT_EQ(archivo_de.size(), static_cast<size_t>(2 * pedidos));
  int turnos = 0;
  for (auto it = archivo_de.begin(); it != archivo_de.end() && std::next(it) != archivo_de.end(); ++it) {
    turnos += it->second != std::next(it)->second;
  }
  EXPECT_GT(turnos, 1) << "the two runs did not overlap";
  std::printf(
      "concurrency: 2 importers, %d orders and %lld + %lld lines, %.2f s together, "
      "%d alternations between the runs' identifiers\n",
      2 * pedidos, static_cast<long long>(archivos[0].lines),
      static_cast<long long>(archivos[1].lines), segundos, turnos);
}

// The server stopped at a point of a run: the run ends with the database's
// failure text and status 1, without hanging; the orders written before are
// whole and stay written, and the summary says how many there are.
TEST(StoppedServer, TheRunEndsWithTheDatabaseFailure) {
  REQUIRE_SERVER();
  const uint64_t semilla = StressSeed();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  std::mt19937_64 azar(semilla);
  StressCompany compania(Server());
  ExpectedOrders esperados;
  // Records read when the server goes. A busy server may take the stop
  // script's whole grace (5 s) before it is killed, so each file goes on for
  // some 20,000 lines past the last point, more than the fastest run writes
  // meanwhile: the cut always falls in the middle.
  const int64_t puntos[] = {100, 600, 1500};
  for (size_t n = 0; n < std::size(puntos); ++n) {
    SCOPED_TRACE("server stopped after record " + std::to_string(puntos[n]));
    const OrderFile archivo =
        GenerateOrderFile(azar(), 4000, 100000 * static_cast<int>(n + 1) + 1);
    esperados.Add(archivo);
    const auto importador = compania.Import(
        compania.File("detenido-" + std::to_string(n + 1) + ".csv", archivo.text), true);
    {
      StoppableServer servidor;
      ASSERT_TRUE(importador->WaitForRecords(puntos[n], kRunLimit))
          << "the run ended first:\n" << importador->err() << importador->out();
      servidor.Detenga();
      EXPECT_TRUE(importador->Finish(kRunLimit)) << "the importer hung";
    }
    const std::string& err = importador->err();
    const std::string& out = importador->out();
    EXPECT_EQ(importador->status(), 1) << err << out;
    // The failure is the database's, on a line of its own after the file
    // line it stopped at.
    EXPECT_TRUE(IsDatabaseFailureLine(err)) << err;
    const std::optional<long long> grabados = Figure(out, "Pedidos grabados");
    ASSERT_TRUE(grabados.has_value()) << out;
    EXPECT_NE(err.find("Pedidos de esta importación ya grabados (quedan grabados): " +
                       std::to_string(*grabados) + "."),
              std::string::npos)
        << err;
    EXPECT_NE(out.find("Resumen de la importación: interrumpida por una falla"), std::string::npos)
        << out;

    EXPECT_EQ(ValidateDatabase(compania.base()), "");
    OrderCheck revision = CheckOrders(compania.base(), esperados);
    EXPECT_TRUE(revision.faults.empty()) << FirstFaults(revision.faults);
    // A commit the server made just before going away may not have reached
    // the importer: at most that one order more than it counted.
    const long long escritos = static_cast<long long>(LeadingOrders(archivo, revision));
    EXPECT_GE(escritos, *grabados);
    EXPECT_LE(escritos, *grabados + 1);
    EXPECT_GT(escritos, 0);
    std::printf("server stopped after record %lld: %lld orders written before, exit %d\n",
                static_cast<long long>(puntos[n]), escritos, importador->status());
  }

  // Once the server is back, the company takes a whole file, with
  // identifiers that none of the interrupted runs used.
  const OrderFile archivo = GenerateOrderFile(azar(), 100, 900001);
  esperados.Add(archivo);
  const auto importador = compania.Import(compania.File("despues.csv", archivo.text), false);
  EXPECT_TRUE(importador->Finish(kRunLimit)) << "the importer hung";
  EXPECT_EQ(importador->status(), 0) << importador->err() << importador->out();
  OrderCheck revision = CheckOrders(compania.base(), esperados);
  EXPECT_EQ(LeadingOrders(archivo, revision), archivo.orders.size());
  EXPECT_TRUE(revision.faults.empty()) << FirstFaults(revision.faults);
}

}  // namespace
}  // namespace imp::testing
