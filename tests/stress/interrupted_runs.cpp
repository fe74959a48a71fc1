#include "tests/stress/interrupted_runs.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

namespace imp::testing {
namespace {

std::string ReadWhole(const std::string& ruta) {
  std::ifstream in(ruta, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The keys of the orders whose first line is in `texto` (an order file or
// a rejects file: each order begins with a line naming its prefix and
// number).
std::set<OrderKey> KeysOfText(const std::string& texto) {
  std::set<OrderKey> claves;
  for (size_t inicio = 0; inicio < texto.size();) {
    const size_t fin = std::min(texto.find('\n', inicio), texto.size());
    const std::string linea = texto.substr(inicio, fin - inicio);
    inicio = fin + 1;
    const size_t a = linea.find(',');
    const size_t b = a == std::string::npos ? a : linea.find(',', a + 1);
    if (b == std::string::npos || a == 0) continue;
    claves.emplace(linea.substr(0, a), linea.substr(a + 1, b - a - 1));
  }
  return claves;
}

// The orders the report lists as written ("estado": "grabado"), and its
// "fin" and "estado_salida" as they stand.
struct Report {
  std::set<OrderKey> grabados;
  std::string fin;
  std::string estado_salida;
  bool valido = false;  // the report ends as a whole JSON document does
};

std::string Valor(const std::string& texto, const std::string& password) {
  const std::string marca = "\"" + password + "\": ";
  const size_t at = texto.find(marca);
  if (at == std::string::npos) return {};
  const size_t desde = at + marca.size();
  const size_t hasta = texto.find_first_of(",}\n", desde);
  std::string valor = texto.substr(desde, hasta - desde);
  if (valor.size() >= 2 && valor.front() == '"') valor = valor.substr(1, valor.size() - 2);
  return valor;
}

Report ReadReport(const std::string& ruta) {
  Report informe;
  const std::string texto = ReadWhole(ruta);
  informe.valido = texto.size() > 3 && texto.compare(texto.size() - 3, 3, "]\n}") != 0 &&
                   texto.compare(texto.size() - 2, 2, "}\n") == 0;
  informe.fin = Valor(texto, "fin");
  informe.estado_salida = Valor(texto, "estado_salida");
  for (size_t inicio = 0; inicio < texto.size();) {
    const size_t fin = std::min(texto.find('\n', inicio), texto.size());
    const std::string linea = texto.substr(inicio, fin - inicio);
    inicio = fin + 1;
    if (linea.find("\"estado\": \"grabado\"") == std::string::npos) continue;
    informe.grabados.emplace(Valor(linea, "prefijo"), Valor(linea, "numero"));
  }
  return informe;
}

std::string Lista(const std::set<OrderKey>& claves) {
  std::string texto;
  int n = 0;
  for (const auto& [prefijo, numero] : claves) {
    if (++n > 10) return texto + "...";
    texto += prefijo + " " + numero + "  ";
  }
  return texto;
}

}  // namespace

InterruptionFigures InterruptedRuns(const StressCompany& compania, ExpectedOrders& esperados,
                                    int senal, int puntos, int pedidos, int primer_numero,
                                    uint64_t semilla) {
  InterruptionFigures cifras;
  std::mt19937_64 azar(semilla);
  const std::string carpeta = compania.db.server();
  for (int corrida = 0; cifras.puntos < puntos && corrida < 2 * puntos + 2; ++corrida) {
    SCOPED_TRACE("signal " + std::to_string(senal) + ", run " + std::to_string(corrida + 1));
    const OrderFile archivo =
        GenerateOrderFile(azar(), pedidos, primer_numero + corrida * pedidos);
    esperados.Add(archivo);
    const std::string nombre = "senal-" + std::to_string(senal) + "-" + std::to_string(corrida);
    const std::string ruta = compania.File(nombre + ".csv", archivo.texto);
    const std::string rechazos = carpeta + "/" + nombre + ".rechazos";
    const std::string informe = carpeta + "/" + nombre + ".json";

    const bool al_arrancar = corrida % 4 == 0;
    const int64_t registro =
        al_arrancar ? 0 : static_cast<int64_t>(azar() % static_cast<uint64_t>(archivo.lineas * 9 / 10));
    const useconds_t demora = static_cast<useconds_t>(azar() % (al_arrancar ? 300'000 : 20'000));
    const auto importador = compania.Import(ruta, /*terminal=*/true,
                                            {"--rejects", rechazos, "--report", informe});
    bool enviada = false;
    // A signal that comes before the program has taken its signals ends it
    // the default way, before it has done anything: the starting runs wait
    // for the report, which is written once the signals are taken.
    if (al_arrancar) {
      for (int i = 0; i < 2000 && access(informe.c_str(), F_OK) != 0; ++i) usleep(5'000);
    }
    if (importador->WaitForRecords(registro, kRunLimit)) {
      usleep(demora);
      importador->Signal(senal);
      enviada = true;
    }
    if (!importador->Finish(kRunLimit)) {
      ADD_FAILURE() << "the importer hung:\n" << importador->err();
      return cifras;
    }
    const bool interrumpida =
        senal == SIGKILL ? importador->killed() : importador->status() == 128 + senal;
    if (interrumpida) {
      ++cifras.puntos;
    } else {
      ++cifras.completas;
      EXPECT_EQ(importador->status(), 0) << "signal sent: " << enviada << "\n"
                                         << importador->err() << importador->out();
    }

    EXPECT_EQ(ValidateDatabase(compania.base()), "") << "after record " << importador->records();
    OrderCheck revision = CheckOrders(compania.base(), esperados);
    EXPECT_TRUE(revision.faltas.empty()) << revision.faltas.front();
    std::set<OrderKey> en_la_base;
    for (const FileOrder& p : archivo.pedidos) {
      if (revision.ids.count({p.prefijo, p.numero})) en_la_base.emplace(p.prefijo, p.numero);
    }
    cifras.pedidos_grabados += static_cast<int64_t>(en_la_base.size());
    const Report leido = ReadReport(informe);
    EXPECT_TRUE(leido.valido) << ReadWhole(informe);

    if (senal == SIGKILL) {
      // The last rewrite: never an order the database lacks.
      for (const OrderKey& c : leido.grabados) {
        EXPECT_TRUE(en_la_base.count(c)) << "the report claims " << c.first << " " << c.second;
      }
      if (interrumpida) {
        EXPECT_EQ(leido.fin, "en_curso");
      }
      // The README's way after a kill: the whole file again, skipping what
      // is in.
      const auto otra = compania.Import(ruta, false, {"--skip-existing"});
      EXPECT_TRUE(otra->Finish(kRunLimit));
      EXPECT_TRUE(otra->status() == 0 || otra->status() == 3) << otra->err() << otra->out();
    } else {
      const std::set<OrderKey> rechazadas = KeysOfText(ReadWhole(rechazos));
      cifras.pedidos_rechazados += static_cast<int64_t>(rechazadas.size());
      std::set<OrderKey> en_ambos, en_ninguno;
      for (const FileOrder& p : archivo.pedidos) {
        const OrderKey c{p.prefijo, p.numero};
        const bool escrito = en_la_base.count(c) > 0, rechazado = rechazadas.count(c) > 0;
        if (escrito && rechazado) en_ambos.insert(c);
        if (!escrito && !rechazado) en_ninguno.insert(c);
      }
      EXPECT_TRUE(en_ambos.empty()) << "in the database and the rejects: " << Lista(en_ambos);
      EXPECT_TRUE(en_ninguno.empty()) << "in neither: " << Lista(en_ninguno);
      EXPECT_EQ(leido.grabados, en_la_base);
      EXPECT_EQ(leido.fin, interrumpida ? "interrumpida" : "completa");
      EXPECT_EQ(leido.estado_salida, std::to_string(importador->status()));
      // The rejects as they are, without --skip-existing.
      if (!rechazadas.empty()) {
        const auto otra = compania.Import(rechazos, false);
        EXPECT_TRUE(otra->Finish(kRunLimit));
        EXPECT_EQ(otra->status(), 0) << otra->err() << otra->out();
      }
    }
    // Every order of the file once, whole.
    revision = CheckOrders(compania.base(), esperados);
    EXPECT_TRUE(revision.faltas.empty()) << revision.faltas.front();
    EXPECT_EQ(LeadingOrders(archivo, revision), archivo.pedidos.size());
    if (::testing::Test::HasFailure()) return cifras;
  }
  return cifras;
}

void InterruptionSeries(const StressCompany& compania, const char* donde, int puntos,
                        int pedidos) {
  const uint64_t semilla = StressSeed();
  SCOPED_TRACE("IMPORTA_STRESS_SEED=" + std::to_string(semilla));
  ExpectedOrders esperados;
  int primer_numero = 1;
  for (const int senal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    const InterruptionFigures cifras = InterruptedRuns(compania, esperados, senal, puntos,
                                                       pedidos, primer_numero, semilla + senal);
    primer_numero += pedidos * (2 * puntos + 2);
    EXPECT_EQ(cifras.puntos, puntos) << "signal " << senal;
    std::printf("%s, signal %d: seed %llu, %d runs interrupted, %d ended first, %lld orders "
                "written, %lld in the rejects\n",
                donde, senal, static_cast<unsigned long long>(semilla), cifras.puntos,
                cifras.completas, static_cast<long long>(cifras.pedidos_grabados),
                static_cast<long long>(cifras.pedidos_rechazados));
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace imp::testing
