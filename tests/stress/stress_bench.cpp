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
std::string FaultsText(const OrderCheck& revision) {
  std::string texto;
  for (size_t i = 0; i < revision.faltas.size() && i < 20; ++i) texto += revision.faltas[i] + "\n";
  if (revision.faltas.size() > 20) {
    texto += "... and " + std::to_string(revision.faltas.size() - 20) + " more\n";
  }
  return texto;
}

}  // namespace

std::optional<TestServer> StressServer() { return TestServer::FromEnvironment("imptest"); }

StressCompany::StressCompany(const std::optional<TestServer>& servidor,
                             const std::string& juego)
    : db(/*demo=*/true, "demo", juego) {
  const std::string servidor_settings = servidor ? servidor->host + ":" + db.server() : db.server();
  base_.database = servidor ? servidor->host + ":" + db.path() : db.path();
  base_.password = servidor ? servidor->password : "masterkey";
  settings_ = db.server() + "/settings.conf";
  WriteFile(settings_, servidor_settings + "\nSYSDBA\n" + base_.password + "\ndemo\n");
}

std::string StressCompany::File(const std::string& nombre, const std::string& texto) const {
  const std::string ruta = db.server() + "/" + nombre;
  WriteFile(ruta, texto);
  return ruta;
}

std::unique_ptr<ChildProcess> StressCompany::Import(const std::string& archivo,
                                                         bool terminal,
                                                         const std::vector<std::string>& opciones,
                                                         const std::string& antes) const {
  std::vector<std::string> argumentos{"--batch", "--settings", settings_};
  argumentos.insert(argumentos.end(), opciones.begin(), opciones.end());
  argumentos.push_back(archivo);
  std::string programa = kExe;
  if (!antes.empty()) {
    // Ignored signals and limits stay across exec.
    argumentos.insert(argumentos.begin(), {"-c", antes + "; exec \"$0\" \"$@\"", programa});
    programa = "/bin/sh";
  }
  return std::make_unique<ChildProcess>(programa, argumentos,
                                           Environment{{"LC_ALL", "C"}, {"LANG", "C"}}, db.server(),
                                           terminal);
}

int KillPoints(int normal) {
  if (const char* texto = std::getenv("IMPORTA_STRESS_KILL_POINTS"); texto && *texto) {
    return std::max(1, std::atoi(texto));
  }
  return WithSanitizers() ? std::max(1, normal / 3) : normal;
}

uint64_t StressSeed() {
  if (const char* texto = std::getenv("IMPORTA_STRESS_SEED"); texto && *texto) {
    return std::strtoull(texto, nullptr, 10);
  }
  return (static_cast<uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
}

KillFigures RunsWithKills(const StressCompany& compania, int puntos, int pedidos,
                          uint64_t semilla) {
  KillFigures cifras;
  ExpectedOrders esperados;
  std::mt19937_64 azar(semilla);
  // A run that ends before its kill point makes no kill; a few spare runs
  // cover those.
  for (int corrida = 0; cifras.puntos < puntos && corrida < 2 * puntos + 2; ++corrida) {
    SCOPED_TRACE("run " + std::to_string(corrida + 1));
    const OrderFile archivo =
        GenerateOrderFile(azar(), pedidos, 1000 * (corrida + 1) + 1);
    esperados.Add(archivo);
    const std::string ruta =
        compania.File("muerte-" + std::to_string(corrida + 1) + ".csv", archivo.texto);
    // Every fifth run dies while it starts (connection, layout, the first
    // order); the others anywhere up to near the end of the file.
    const bool al_arrancar = corrida % 5 == 0;
    const int64_t registro =
        al_arrancar ? 0 : static_cast<int64_t>(azar() % static_cast<uint64_t>(archivo.lineas * 9 / 10));
    const useconds_t demora = static_cast<useconds_t>(azar() % (al_arrancar ? 400'000 : 30'000));

    const auto importador = compania.Import(ruta, /*terminal=*/true);
    if (importador->WaitForRecords(registro, kRunLimit)) {
      usleep(demora);
      importador->Kill();
    }
    EXPECT_TRUE(importador->Finish(kRunLimit)) << "the importer hung:\n" << importador->err();
    if (importador->killed()) {
      ++cifras.puntos;
    } else {
      ++cifras.completas;
      EXPECT_EQ(importador->status(), 0) << importador->err() << importador->out();
    }

    const std::string validacion = ValidateDatabase(compania.base());
    EXPECT_EQ(validacion, "") << "killed after record " << importador->records();
    OrderCheck revision = CheckOrders(compania.base(), esperados);
    const size_t iniciales = LeadingOrders(archivo, revision);
    if (!importador->killed()) {
      EXPECT_EQ(iniciales, archivo.pedidos.size());
    }
    EXPECT_TRUE(revision.faltas.empty())
        << "killed after record " << importador->records() << ":\n" << FaultsText(revision);
    cifras.pedidos_revisados += revision.pedidos;
    cifras.lineas_revisadas += revision.lineas;
    if (::testing::Test::HasFailure()) return cifras;
  }

  // The database takes a whole file after the crashes: every identifier
  // drawn is new, nothing left behind is in the way.
  SCOPED_TRACE("whole run after the kills");
  const OrderFile archivo = GenerateOrderFile(azar(), pedidos / 4 + 1, 900001);
  esperados.Add(archivo);
  const auto importador = compania.Import(compania.File("entera.csv", archivo.texto), false);
  EXPECT_TRUE(importador->Finish(kRunLimit)) << "the importer hung";
  EXPECT_EQ(importador->status(), 0) << importador->err() << importador->out();
  EXPECT_EQ(ValidateDatabase(compania.base()), "");
  OrderCheck revision = CheckOrders(compania.base(), esperados);
  EXPECT_EQ(LeadingOrders(archivo, revision), archivo.pedidos.size());
  EXPECT_TRUE(revision.faltas.empty()) << FaultsText(revision);
  cifras.pedidos_revisados += revision.pedidos;
  cifras.lineas_revisadas += revision.lineas;
  cifras.pedidos_finales = revision.pedidos;
  return cifras;
}

void ReportKillFigures(const char* transport, uint64_t seed, const KillFigures& figures) {
  std::printf("%s: seed %llu, %d kill points survived, %d runs ended first, "
              "%lld orders (%lld lines) checked, %lld orders at the end\n",
              transport, static_cast<unsigned long long>(seed), figures.puntos, figures.completas,
              static_cast<long long>(figures.pedidos_revisados),
              static_cast<long long>(figures.lineas_revisadas),
              static_cast<long long>(figures.pedidos_finales));
  ::testing::Test::RecordProperty("kill_points", figures.puntos);
  ::testing::Test::RecordProperty("orders_checked", static_cast<int>(figures.pedidos_revisados));
}

}  // namespace imp::testing
