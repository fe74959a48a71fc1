// The import run end to end on a fresh company database: grouping, header
// assembly, completion, the run's messages and the window, and what a
// failure or a refused order leaves behind. Results are read back from
// PEDIDOS and PEDIDOS_DETALLE.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "import/load_import_layout.h"
#include "tests/import/import_test_bench.h"

namespace imp::testing {
namespace {

constexpr char kFinished[] = "Importación finalizada.";

// A line of order `prefijo numero` for ACME (list 2, point of sale 1) with
// article TRAB; `cantidad` replaces the quantity.
std::string Pedido(const std::string& prefijo, const std::string& numero,
                   const std::string& articulo = "TRAB", const std::string& cantidad = "1") {
  return Line({prefijo, numero, "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                articulo, cantidad, "", "100", "0"});
}
// A further line of the same order: the order columns left empty.
std::string Otra(const std::string& articulo = "TRAB", const std::string& cantidad = "1") {
  return Line({"", "", "", "", "", "", "", "", "", "", "", "", articulo, cantidad, "", "100", "0"});
}

std::vector<std::pair<std::string, std::string>> Claves(const std::vector<TextRow>& pedidos) {
  std::vector<std::pair<std::string, std::string>> claves;
  for (const TextRow& p : pedidos) claves.emplace_back(p.at("PREF_PRE"), p.at("PEDI_NUMERO"));
  return claves;
}

std::vector<std::string> Items(const std::vector<TextRow>& lines) {
  std::vector<std::string> items;
  for (const TextRow& l : lines) items.push_back(l.at("PEDE_ITEM"));
  return items;
}

// Collects what an unattended run would report.
struct RunLog : ImportObserver {
  std::vector<OrderWritten> grabados;
  std::vector<OrderDropped> descartados;
  std::vector<LineDropped> lines;
  std::vector<LinePosition> interrumpidos;
  void OnOrderWritten(const OrderWritten& p) override { grabados.push_back(p); }
  void OnOrderDropped(const OrderDropped& p) override { descartados.push_back(p); }
  void OnLineDropped(const LineDropped& l) override { lines.push_back(l); }
  void OnInterrupted(const std::string&, const std::vector<LinePosition>& r) override {
    interrumpidos = r;
  }
};

TEST(ImportRun, GroupsByExactKey) {
  ImportTestBench banco;
  RunLog bitacora;
  banco.run.set_observer(&bitacora);
  // A, B, A; then keys that differ only in case or in leading zeros.
  banco.Run(Pedido("FE", "1") + Otra() + Pedido("FE", "2") + Pedido("FE", "1") +
            Pedido("PV", "0123") + Pedido("pv", "0123") + Pedido("pv", "123"));

  const auto pedidos = banco.Orders();
  const std::vector<std::pair<std::string, std::string>> esperadas = {
      {"FE", "1"}, {"FE", "2"}, {"FE", "1"}, {"PV", "0123"}, {"pv", "0123"}, {"pv", "123"}};
  EXPECT_EQ(Claves(pedidos), esperadas);
  // Every order numbers its lines from 1.
  const std::vector<std::string> lineas_por_pedido[] = {{"1", "2"}, {"1"}, {"1"},
                                                        {"1"},      {"1"}, {"1"}};
  for (size_t i = 0; i < pedidos.size(); ++i) {
    const auto lines = banco.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE WHERE PEDI_ID = " +
                                   pedidos[i].at("PEDI_ID") + " ORDER BY PEDE_ITEM");
    EXPECT_EQ(Items(lines), lineas_por_pedido[i]) << i;
  }
  EXPECT_EQ(banco.screen.messages, std::vector<std::string>{kFinished});
  EXPECT_EQ(banco.run.summary().written_orders, 6);
  EXPECT_EQ(banco.run.summary().written_lines, 7);
  ASSERT_EQ(bitacora.grabados.size(), 6u);
  EXPECT_EQ(bitacora.grabados[0].lines, 2);
  EXPECT_EQ(bitacora.grabados[0].order_id, pedidos[0].at("PEDI_ID"));
}

// The header as assembled from the record that begins each order.
TEST(ImportRun, OrderHeader) {
  ImportTestBench banco;
  banco.screen.date = *Date::FromYmd(2024, 3, 1);
  banco.Run(
      // No date, credit date or branch: the window's date, 1 day, "01".
      Line({"FE", "H1", "", "", "3", "2", "800100200", "ACME", "", "", "", "", "TRAB", "1", "",
             "100", "0"}) +
      Line({"FE", "H2", "1/15/2024", "2/29/2024", "2", "1", "800100200", "ACME", "01", "10.5",
             "0", "96.6", "TRAB", "1", "", "100", "0"}) +
      Line({"FE", "H3", "1/15/2024", "1/10/2024", "2", "1", "800100200", "ACME", "01", "", "",
             "", "TRAB", "1", "", "100", "0"}));

  const std::map<std::string, std::map<std::string, std::string>> esperado = {
      {"H1", {{"FECHA", "2024-03-01"}, {"VENCE", "2024-03-31"}, {"PEDI_DIASCR", "1"},
              {"PEDI_SUCURSAL", "01"}, {"PTVT_ID", "2"}, {"VEND_COD", "3"},
              {"PEDI_RTFTEMONTO", ""}, {"PEDI_RTIVAMONTO", ""}, {"PEDI_RTICAMONTO", ""}}},
      {"H2", {{"FECHA", "2024-01-15"}, {"VENCE", "2024-02-14"}, {"PEDI_DIASCR", "45"},
              {"PEDI_SUCURSAL", "01"}, {"PTVT_ID", "1"}, {"VEND_COD", "2"},
              {"PEDI_RTFTEMONTO", "10.5"}, {"PEDI_RTIVAMONTO", "0"}, {"PEDI_RTICAMONTO", "96.6"}}},
      {"H3", {{"FECHA", "2024-01-15"}, {"VENCE", "2024-02-14"}, {"PEDI_DIASCR", "-5"}}},
  };
  const std::map<std::string, std::string> comunes = {
      {"TIDO_COD", "34"}, {"PREF_PRE", "FE"},        {"PEDI_FACTOR", "1"},
      {"PEDI_TRM", "1"},  {"PEDI_ANULADO", "N"},     {"PEDI_TRANSMIT", "N"},
      {"PEDI_IVAINC", "N"}, {"PEDI_VALIDEZ", "30"},  {"TERC_NIT", "800100200"},
      {"PEDI_NOMTERC", "ACME"}, {"PEDI_DTOMONTO", ""}, {"PEDI_OBS", ""}};
  const auto pedidos = banco.Orders();
  ASSERT_EQ(pedidos.size(), 3u);
  for (const TextRow& p : pedidos) {
    const std::string numero = p.at("PEDI_NUMERO");
    SCOPED_TRACE(numero);
    for (const auto& [columna, valor] : comunes) EXPECT_EQ(p.at(columna), valor) << columna;
    for (const auto& [columna, valor] : esperado.at(numero)) EXPECT_EQ(p.at(columna), valor) << columna;
    EXPECT_NE(p.at("PEDI_ID"), "0");
  }
  // The empty branch reaches the price-list lookup as it is: no row, list 1,
  // while "01" gives ACME's list 2. The line's warehouse is the point of sale's.
  const auto h1 = banco.Lines("FE", "H1");
  ASSERT_EQ(h1.size(), 1u);
  EXPECT_EQ(h1[0].at("LIPR_COD"), "1");
  EXPECT_EQ(h1[0].at("BODE_COD"), "02");
  EXPECT_EQ(banco.Lines("FE", "H2").at(0).at("LIPR_COD"), "2");
}

// The header's totals are the sums of its lines.
TEST(ImportRun, LineTotals) {
  ImportTestBench banco;
  banco.Run(Line({"FE", "T1", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "3", "", "1000", "10"}) +
              Otra("TRAB", "3") + Pedido("FE", "T2", "ABCDEFGHIJKLMNO"));
  const auto pedidos = banco.Orders();
  ASSERT_EQ(pedidos.size(), 2u);
  // Line 1 is the worked line (449.16, 3113.16); line 2 is 3 × 100 less 15
  // and 6: net 279, tax 150, VAT 24.51, total 453.51.
  const auto lines = banco.Lines("FE", "T1");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].at("PEDE_TOTAL"), "3113.16");
  EXPECT_EQ(lines[1].at("PEDE_TOTAL"), "453.51");
  EXPECT_EQ(pedidos[0].at("PEDI_IVAMONTO"), "473.67");
  EXPECT_EQ(pedidos[0].at("PEDI_TOTAL"), "3566.67");
  // An article of VAT 0 at 100 each.
  EXPECT_EQ(pedidos[1].at("PEDI_IVAMONTO"), "0");
  EXPECT_EQ(pedidos[1].at("PEDI_TOTAL"), "100");
}

TEST(ImportRun, UnknownArticleLeavesAGapInTheItems) {
  ImportTestBench banco;
  RunLog bitacora;
  banco.run.set_observer(&bitacora);
  const std::string archivo = Pedido("FE", "1") + Otra("NOEXISTE") + Otra();
  banco.Run(archivo);

  EXPECT_EQ(banco.screen.messages,
            (std::vector<std::string>{"Código 'NOEXISTE' no encontrado.", kFinished}));
  EXPECT_EQ(Items(banco.Lines("FE", "1")), (std::vector<std::string>{"1", "3"}));
  ASSERT_EQ(bitacora.lines.size(), 1u);
  EXPECT_EQ(bitacora.lines[0].position.number, 2);
  EXPECT_EQ(archivo.substr(bitacora.lines[0].position.offset,
                           bitacora.lines[0].position.length),
            Otra("NOEXISTE").substr(0, Otra("NOEXISTE").size() - 2));
  EXPECT_EQ(banco.run.summary().dropped_lines, 1);
}

TEST(ImportRun, ConversionFailureKeepsTheEarlierOrders) {
  ImportTestBench banco;
  RunLog bitacora;
  banco.run.set_observer(&bitacora);
  const std::string failure = banco.FailureOfRun(Pedido("FE", "1") + Pedido("FE", "2") +
                                               Pedido("FE", "3") + Otra("TRAB", "1a"));

  EXPECT_EQ(failure,
            "Línea 4: 1a no es un valor BCD válido.\n"
            "Pedidos de esta importación ya grabados (quedan grabados): 2.");
  EXPECT_EQ(Claves(banco.Orders()),
            (std::vector<std::pair<std::string, std::string>>{{"FE", "1"}, {"FE", "2"}}));
  // The window stays as the failure left it.
  EXPECT_FALSE(banco.screen.closed);
  EXPECT_TRUE(banco.screen.panel_visible);
  EXPECT_EQ(banco.screen.record_text, "FE3 - ACME");
  EXPECT_TRUE(banco.screen.messages.empty());
  // The order cut off is the one of lines 3 and 4.
  ASSERT_EQ(bitacora.interrumpidos.size(), 2u);
  EXPECT_EQ(bitacora.interrumpidos[0].number, 3);
  EXPECT_EQ(bitacora.interrumpidos[1].number, 4);
  EXPECT_EQ(banco.run.summary().outcome, ImportSummary::Outcome::kFailed);
  EXPECT_EQ(banco.run.summary().failure, "1a no es un valor BCD válido");
}

TEST(ImportRun, EmptyFileWritesNothing) {
  ImportTestBench banco;
  banco.Run("");
  EXPECT_EQ(banco.screen.messages, std::vector<std::string>{kFinished});
  EXPECT_TRUE(banco.screen.closed);
  EXPECT_TRUE(banco.Orders().empty());
  EXPECT_EQ(banco.IdentifiersDrawn(), "0");
  EXPECT_EQ(banco.screen.steps, 0);
}

// The checks before reading: each shows its message, hides the panel and
// closes the window.
TEST(ImportRun, FileChecks) {
  ImportTestBench banco;
  // A file another program holds locked cannot be opened.
  const std::string bloqueado = banco.File(Pedido("FE", "1"), "bloqueado.csv");
  const int fd = ::open(bloqueado.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  // A FIFO or a device is no file to import either, and the message says so.
  const std::string fifo = banco.db.server() + "/tubo.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string kAlAbrir =
      "Error al abrir el archivo, asegúrece que el nombre sea correcto y que no esté abierto en "
      "otra aplicación en este momento.\n";
  const struct {
    std::string ubicacion;
    std::string mensaje;
  } casos[] = {
      {"", "Debe indicar antes el archivo con los datos a importar."},
      {banco.db.server() + "/no-existe.csv", "No se encontró el archivo a importar."},
      // A folder is no file to import.
      {banco.db.server(), "No se encontró el archivo a importar."},
      {bloqueado, kAlAbrir + "Otro programa tiene bloqueado el archivo " + bloqueado + "."},
      {fifo, kAlAbrir + "El archivo " + fifo + " no es un archivo regular."},
      {"/dev/null", kAlAbrir + "El archivo /dev/null no es un archivo regular."},
  };
  for (const auto& c : casos) {
    banco.screen = EventRecorder{};
    banco.screen.location = c.ubicacion;
    banco.run.SpeedButton3Click();
    EXPECT_EQ(banco.screen.events,
              (std::vector<std::string>{"panel: Importando pedidos. Espere un momento...",
                                        "caja de registro", std::string("mensaje: ") + c.mensaje,
                                        "ocultar panel", "cerrar"}));
  }
  ::close(fd);
  EXPECT_TRUE(banco.Orders().empty());
}

TEST(ImportRun, WithoutRoundingSettingsTheFileIsNotRead) {
  ImportTestBench banco;
  banco.db.Exec(
      "DELETE FROM CONFIGURACION WHERE CONF_PROPIEDAD = 'REDONDEO AL MULTIPLO DE DIEZ EN "
      "TOTALES';");
  banco.screen.location = banco.db.server() + "/no-existe.csv";
  try {
    banco.run.SpeedButton3Click();
    ADD_FAILURE() << "the run did not fail";
  } catch (const Failure& f) {
    EXPECT_STREQ(f.what(), "'' no es un valor entero válido");
  }
  EXPECT_EQ(banco.screen.events,
            (std::vector<std::string>{
                "panel: Importando pedidos. Espere un momento...",
                "error: No se encontró la configuración REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"}));
}

TEST(ImportRun, ScreenOfAWholeRun) {
  ImportTestBench banco;
  banco.Run(Pedido("FE", "1") + Otra() + Pedido("pv", "123"));
  const auto& e = banco.screen.events;
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0], "panel: Importando pedidos. Espere un momento...");
  EXPECT_EQ(e[1], "caja de registro");
  EXPECT_EQ(e[2], std::string("mensaje: ") + kFinished);
  EXPECT_EQ(e[3], "ocultar panel");
  EXPECT_EQ(e[4], "cerrar");
  EXPECT_EQ(banco.screen.record_text, "pv123 - ACME");
  EXPECT_GT(banco.screen.steps, 0);
  EXPECT_EQ(banco.run.prefijo_actual(), "pv");
  EXPECT_EQ(banco.run.numero_actual(), "123");
}

// After a failed run the next run begins its first order afresh, even with
// the key the failed run stopped at, and the failed run's unwritten order
// is not merged into it.
TEST(ImportRun, RunAfterAFailureStartsAfresh) {
  ImportTestBench banco;
  EXPECT_NE(banco.FailureOfRun(Pedido("FE", "7", "TRAB", "5") + Otra("TRAB", "1a")), "");
  EXPECT_EQ(banco.run.prefijo_actual(), "FE");
  EXPECT_EQ(banco.run.numero_actual(), "7");

  banco.screen = EventRecorder{};
  banco.Run(Pedido("FE", "7", "TRAB", "2"));
  const auto lines = banco.Lines("FE", "7");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("PEDE_ITEM"), "1");
  EXPECT_EQ(lines[0].at("PEDE_CANT"), "2");
  EXPECT_EQ(banco.Orders().size(), 1u);
  EXPECT_EQ(banco.screen.messages, std::vector<std::string>{kFinished});
}

// In a fresh window a first record with an empty key still begins an order;
// its header cannot be posted, so the run fails instead of pricing a line
// without a header.
TEST(ImportRun, FirstRecordWithoutKeyStartsAnOrder) {
  ImportTestBench banco;
  const std::string failure = banco.FailureOfRun(Otra());
  EXPECT_EQ(failure.rfind("Línea 1: Es necesario que el campo 'TERC_NIT' contenga algún valor", 0), 0u)
      << failure;
  EXPECT_TRUE(banco.Orders().empty());
}

// Without a layout (no company connected yet, or its layout could not be
// read) the first record fails the run; a file without records still ends
// normally.
TEST(ImportRun, WithoutLayoutTheFirstRecordFails) {
  ImportTestBench banco;
  // The company's layout table cannot be read: loading leaves no layout.
  banco.fdm.Norvela.Close();
  banco.db.Exec("DROP TABLE IMPORTACION_INVENTARIO;");
  QuerySet CImporinv(banco.fdm.Norvela, banco.rs, "CImporinv");
  CImportacion no_cargado;
  EXPECT_THROW(LoadImportLayout(CImporinv, banco.layout), Failure);

  const struct {
    const CImportacion* diseno;
    std::string contenido;
    std::string failure;  // "" when the run ends normally
  } casos[] = {
      {&no_cargado, "", ""},
      {&no_cargado, Pedido("FE", "1"),
       "CImportacion: No es posible realizar ésta operación en un Dataset cerrado.\n"
       "Pedidos de esta importación ya grabados (quedan grabados): 0."},
      {&banco.layout, Pedido("FE", "1"),
       "CImportacion: No es posible realizar ésta operación en un Dataset cerrado.\n"
       "Pedidos de esta importación ya grabados (quedan grabados): 0."},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.contenido);
    banco.screen = EventRecorder{};
    banco.screen.location = banco.File(c.contenido);
    ImportRun run{banco.fdm, banco.store, *c.diseno, banco.rs, banco.screen, banco.screen};
    std::string failure;
    try {
      run.SpeedButton3Click();
    } catch (const Failure& f) {
      failure = f.what();
    }
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(banco.screen.closed, c.failure.empty());
  }
  EXPECT_TRUE(banco.Orders().empty());
  EXPECT_EQ(banco.IdentifiersDrawn(), "0");
}

TEST(ImportRun, WithoutPointOfSaleThereIsNoWarehouse) {
  ImportTestBench banco;
  banco.Run(Line({"FE", "8", "1/15/2024", "", "1", "", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "1", "", "100", "0"}));
  const auto pedidos = banco.Orders();
  ASSERT_EQ(pedidos.size(), 1u);
  EXPECT_EQ(pedidos[0].at("PTVT_ID"), "");
  EXPECT_EQ(banco.Lines("FE", "8").at(0).at("BODE_COD"), "");
  EXPECT_EQ(banco.screen.messages, std::vector<std::string>{kFinished});
}

TEST(ImportRun, RefusedOrderIsReported) {
  ImportTestBench banco;
  banco.db.Exec(
      "ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_SIN_CODIGO_LARGO "
      "CHECK (ARTI_COD <> 'ABCDEFGHIJKLMNO');");
  RunLog bitacora;
  banco.run.set_observer(&bitacora);
  banco.Run(Pedido("FE", "1") + Pedido("FE", "2") + Otra("ABCDEFGHIJKLMNO") +
            Pedido("FE", "3"));

  EXPECT_EQ(Claves(banco.Orders()),
            (std::vector<std::pair<std::string, std::string>>{{"FE", "1"}, {"FE", "3"}}));
  ASSERT_EQ(banco.screen.messages.size(), 1u);
  const std::string& mensaje = banco.screen.messages[0];
  const std::string inicio = std::string(kFinished) + "\nPedido FE 2 no grabado: ";
  EXPECT_EQ(mensaje.rfind(inicio, 0), 0u) << mensaje;
  EXPECT_NE(mensaje.find("CK_SIN_CODIGO_LARGO"), std::string::npos) << mensaje;
  EXPECT_EQ(mensaje.find('\n', inicio.size()), std::string::npos) << mensaje;
  ASSERT_EQ(bitacora.descartados.size(), 1u);
  ASSERT_EQ(bitacora.descartados[0].file_lines.size(), 2u);
  EXPECT_EQ(bitacora.descartados[0].file_lines[0].number, 2);
  EXPECT_EQ(banco.run.summary().written_orders, 2);
  // The identifier drawn for the refused order is not given back.
  EXPECT_EQ(banco.IdentifiersDrawn(), "3");
}

}  // namespace
}  // namespace imp::testing

namespace imp::testing {
namespace {

// Asks the run to stop once `tras` orders have been written.
struct StopAfter : ImportObserver {
  ImportRun* run = nullptr;
  int tras = 0;
  int grabados = 0;
  std::vector<LinePosition> detenciones;
  void OnOrderWritten(const OrderWritten&) override {
    if (++grabados == tras) run->RequestStop();
  }
  void OnStopped(const LinePosition& p) override { detenciones.push_back(p); }
};

// `pedidos` orders PV 1.. of `lines` lines each.
std::string Pedidos(int pedidos, int lines) {
  std::string texto;
  for (int p = 1; p <= pedidos; ++p) {
    texto += Pedido("PV", std::to_string(p));
    for (int l = 1; l < lines; ++l) texto += Otra();
  }
  return texto;
}

TEST(ImportRunStop, StopsBetweenOrdersLeavingEveryOrderWhole) {
  // Orders shorter and longer than a read-ahead batch; the stop asked for
  // at the first, a middle and the last order written.
  struct Case {
    int pedidos, lines, tras;
  };
  for (const Case c :
       {Case{8, 3, 1}, Case{8, 3, 4}, Case{4, 40, 1}, Case{4, 40, 3}, Case{3, 1, 3}}) {
    SCOPED_TRACE(::testing::Message() << c.pedidos << " orders of " << c.lines << " lines, stop after "
                                    << c.tras);
    ImportTestBench banco;
    StopAfter detenga;
    detenga.run = &banco.run;
    detenga.tras = c.tras;
    banco.run.set_observer(&detenga);
    banco.Run(Pedidos(c.pedidos, c.lines));

    const ImportSummary& r = banco.run.summary();
    const auto pedidos = banco.Orders();
    ASSERT_EQ(static_cast<int64_t>(pedidos.size()), r.written_orders);
    for (const TextRow& p : pedidos) {
      EXPECT_EQ(banco.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE WHERE PEDI_ID = " +
                           p.at("PEDI_ID"))
                    .size(),
                static_cast<size_t>(c.lines))
          << "order " << p.at("PEDI_NUMERO") << " is not whole";
    }
    if (r.outcome == ImportSummary::Outcome::kComplete) {
      // The request came while the last order was read: nothing was left.
      EXPECT_EQ(r.written_orders, c.pedidos);
      EXPECT_TRUE(detenga.detenciones.empty());
      continue;
    }
    ASSERT_EQ(r.outcome, ImportSummary::Outcome::kStopped);
    // The order in hand when the stop was asked for is the last written,
    // although the records of the next ones may have been read ahead.
    EXPECT_EQ(r.written_orders, c.tras);
    // Every order before the first line not read was written, none after.
    const int64_t primera = r.written_orders * c.lines + 1;
    EXPECT_EQ(r.first_unread.number, primera);
    ASSERT_EQ(detenga.detenciones.size(), 1u);
    EXPECT_EQ(detenga.detenciones[0].number, primera);
    ASSERT_FALSE(banco.screen.messages.empty());
    EXPECT_EQ(banco.screen.messages.back(), "Importación detenida a pedido del usuario: la línea " +
                                                std::to_string(primera) +
                                                " y las siguientes no se leyeron.");
    EXPECT_TRUE(banco.screen.closed);
  }
}

TEST(ImportRunStop, RequestBeforeTheRunReadsNothingAndStaysUntilCleared) {
  ImportTestBench banco;
  banco.run.RequestStop();
  banco.Run(Pedidos(2, 2));
  EXPECT_EQ(banco.run.summary().outcome, ImportSummary::Outcome::kStopped);
  EXPECT_EQ(banco.run.summary().first_unread.number, 1);
  EXPECT_TRUE(banco.Orders().empty());

  EXPECT_TRUE(banco.run.stop_requested());
  banco.run.ClearStopRequest();
  banco.Run(Pedidos(2, 2));
  EXPECT_EQ(banco.run.summary().outcome, ImportSummary::Outcome::kComplete);
  EXPECT_EQ(banco.Orders().size(), 2u);
}

}  // namespace
}  // namespace imp::testing

namespace imp::testing {
namespace {

// An order far longer than any read-ahead or batch is written whole, its
// items numbered without a gap; its cost must not grow with the square of
// its lines (a benchmark case measures that; here it only has to finish).
TEST(ImportRunLargeOrder, TwentyThousandLinesWrittenWhole) {
  constexpr int kLines = 20000;
  ImportTestBench banco;
  std::string texto = Pedido("PV", "1");
  for (int l = 1; l < kLines; ++l) texto += Otra();
  banco.Run(texto);

  ASSERT_EQ(banco.run.summary().outcome, ImportSummary::Outcome::kComplete);
  const auto pedidos = banco.Orders();
  ASSERT_EQ(pedidos.size(), 1u);
  const auto cuenta = banco.Read(
      "SELECT COUNT(*) AS N, COUNT(DISTINCT PEDE_ITEM) AS D, MIN(PEDE_ITEM) AS LO, "
      "MAX(PEDE_ITEM) AS HI FROM PEDIDOS_DETALLE WHERE PEDI_ID = " +
      pedidos[0].at("PEDI_ID"));
  EXPECT_EQ(cuenta.at(0).at("N"), std::to_string(kLines));
  EXPECT_EQ(cuenta.at(0).at("D"), std::to_string(kLines));
  EXPECT_EQ(cuenta.at(0).at("LO"), "1");
  EXPECT_EQ(cuenta.at(0).at("HI"), std::to_string(kLines));
  EXPECT_EQ(banco.run.summary().written_lines, kLines);
}

}  // namespace
}  // namespace imp::testing

namespace imp::testing {
namespace {

// Fails the run right after an order is settled: throws from the event
// itself, or closes the connection so that the store's next step (the
// refresh after a commit, the next order's lookups) fails for real.
struct FailAfter : ImportObserver {
  enum How { kThrows, kClosesConnection };
  Tfdm* fdm = nullptr;
  How como = kThrows;
  std::string evento;  // "grabado", "descartado" or "existente"
  int tras = 1;
  int vistos = 0;
  std::vector<LinePosition> asentados;     // lines of every settled order
  std::vector<LinePosition> interrumpidos;

  void Asiente(const std::string& que, const std::vector<LinePosition>& r) {
    asentados.insert(asentados.end(), r.begin(), r.end());
    if (que != evento || ++vistos != tras) return;
    if (como == kThrows) throw Failure("falla tras asentar el pedido");
    // Gone, and no way back: the next use of the connection cannot attach.
    fdm->Norvela.Close();
    fdm->Norvela.SetParam("Database", "/nonexistent/gone.fdb");
  }
  void OnOrderWritten(const OrderWritten& p) override { Asiente("grabado", p.file_lines); }
  void OnOrderDropped(const OrderDropped& p) override { Asiente("descartado", p.file_lines); }
  void OnOrderSkipped(const OrderSkipped& p) override { Asiente("existente", p.file_lines); }
  void OnInterrupted(const std::string&, const std::vector<LinePosition>& r) override {
    interrumpidos = r;
  }
};

std::vector<int64_t> Numeros(const std::vector<LinePosition>& r) {
  std::vector<int64_t> n;
  for (const LinePosition& p : r) n.push_back(p.number);
  return n;
}

TEST(ImportRunOutcome, ASettledOrderIsNeverReportedAsCutOff) {
  // Orders PV 1..3 of two lines (lines 1-2, 3-4, 5-6); PV 2 refused by a
  // check; PV 1 already in the database for the skip-existing cases.
  struct Case {
    const char* nombre;
    FailAfter::How como;
    const char* evento;
    int tras;
    bool omitir;
    std::vector<int64_t> cortadas;  // the lines the failure cut off
  };
  const std::vector<Case> casos = {
      {"commit of PV 1, then the event fails", FailAfter::kThrows, "grabado", 1, false, {3}},
      {"commit of PV 1, then the connection is lost", FailAfter::kClosesConnection, "grabado", 1,
       false, {3}},
      {"commit of the last order, then the event fails", FailAfter::kThrows, "grabado", 2, false,
       {}},
      {"PV 2 refused, then the event fails", FailAfter::kThrows, "descartado", 1, false, {5}},
      {"PV 2 refused, then the connection is lost", FailAfter::kClosesConnection, "descartado", 1,
       false, {5}},
      {"PV 1 skipped, then the event fails", FailAfter::kThrows, "existente", 1, true, {3}},
  };
  for (const Case& c : casos) {
    SCOPED_TRACE(c.nombre);
    ImportTestBench banco;
    banco.db.Exec(
        "ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_SIN_CODIGO_LARGO "
        "CHECK (ARTI_COD <> 'ABCDEFGHIJKLMNO');");
    if (c.omitir) {
      banco.Run(Pedido("PV", "1") + Otra());
      banco.run.set_skip_existing(true);
    }
    FailAfter falle;
    falle.fdm = &banco.fdm;
    falle.como = c.como;
    falle.evento = c.evento;
    falle.tras = c.tras;
    banco.run.set_observer(&falle);
    const std::string failure = banco.FailureOfRun(Pedido("PV", "1") + Otra() + Pedido("PV", "2") +
                                                 Otra("ABCDEFGHIJKLMNO") + Pedido("PV", "3") +
                                                 Otra());
    EXPECT_FALSE(failure.empty());
    EXPECT_EQ(banco.run.summary().outcome, ImportSummary::Outcome::kFailed);
    EXPECT_EQ(Numeros(falle.interrumpidos), c.cortadas);
    EXPECT_EQ(Numeros(banco.run.summary().interrupted_lines), c.cortadas);
    // No line is both settled and cut off.
    for (const LinePosition& p : falle.interrumpidos) {
      for (const LinePosition& a : falle.asentados) EXPECT_NE(p.number, a.number);
    }
  }
}

}  // namespace
}  // namespace imp::testing

namespace imp::testing {
namespace {

// The file's own hazards: a last line its writer had not finished, lines
// that hold nothing, and a file that changes while it is read.
TEST(ImportRunFile, CutOffLastLineAndEmptyRecords) {
  const std::string kIncompleta =
      "la última línea está incompleta (sin fin de línea y con menos campos que la anterior).";
  auto sin_fin = [](std::string linea) { return linea.substr(0, linea.size() - 2); };
  struct Case {
    const char* nombre;
    std::string texto;
    std::vector<std::pair<std::string, std::string>> grabados;
    std::vector<std::string> descartados;  // "FE 2"
    int64_t lineas_detalle;
  };
  const std::vector<Case> casos = {
      {"a line of the order being built, its price not yet written",
       Pedido("FE", "1") + Pedido("FE", "2") + sin_fin(Otra()).substr(0, 16),
       {{"FE", "1"}}, {"FE 2"}, 1},
      {"the first line of a new order, cut off",
       Pedido("FE", "1") + Otra() + sin_fin(Pedido("FE", "2")).substr(0, 40),
       {{"FE", "1"}}, {"FE 2"}, 2},
      {"a last line without its end but whole is imported",
       Pedido("FE", "1") + sin_fin(Otra()), {{"FE", "1"}}, {}, 2},
      {"separators, quotes and zero bytes are no lines",
       Pedido("FE", "1") + ",,,,,,\r\n" + "\"\",\"\"\r\n" + std::string(5, '\0') + "\r\n" +
           Otra(),
       {{"FE", "1"}}, {}, 2},
  };
  for (const Case& c : casos) {
    SCOPED_TRACE(c.nombre);
    ImportTestBench banco;
    RunLog bitacora;
    banco.run.set_observer(&bitacora);
    banco.Run(c.texto);
    EXPECT_EQ(banco.run.summary().outcome, ImportSummary::Outcome::kComplete);
    EXPECT_EQ(Claves(banco.Orders()), c.grabados);
    std::vector<std::string> descartados;
    for (const OrderDropped& d : bitacora.descartados) {
      descartados.push_back(d.prefix + " " + d.number);
      EXPECT_NE(d.reason.find(kIncompleta), std::string::npos) << d.reason;
      EXPECT_TRUE(d.by_file);
    }
    EXPECT_EQ(descartados, c.descartados);
    EXPECT_EQ(banco.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE").size(),
              static_cast<size_t>(c.lineas_detalle));
  }
}

// Grows the file at the reader's first step, as a writer still at work.
struct GrowingWriter : EventRecorder {
  std::string ruta;
  bool escrito = false;
  void StepProgress() override {
    EventRecorder::StepProgress();
    if (escrito) return;
    escrito = true;
    std::ofstream(ruta, std::ios::app | std::ios::binary) << "FE,99,1/15/2024";
  }
};

TEST(ImportRunFile, AFileThatChangesWhileReadEndsTheRunBeforeItsLastOrder) {
  ImportTestBench banco;
  std::string texto;
  for (int p = 1; p <= 30; ++p) texto += Pedido("FE", std::to_string(p)) + Otra();
  const std::string ruta = banco.File(texto);
  // An old modification time, so that the append moves it.
  const struct timespec antes[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, ruta.c_str(), antes, 0), 0);
  GrowingWriter escritor;
  escritor.ruta = ruta;
  escritor.location = ruta;
  ImportRun run(banco.fdm, banco.store, banco.layout, banco.rs, escritor, escritor);
  try {
    run.SpeedButton3Click();
    ADD_FAILURE() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(std::string(f.what()).rfind("El archivo " + ruta + " cambió mientras se importaba.", 0),
              0u)
        << f.what();
  }
  EXPECT_EQ(run.summary().outcome, ImportSummary::Outcome::kFailed);
  // What was written is whole, and the last order read was not written.
  const auto pedidos = banco.Orders();
  EXPECT_LT(pedidos.size(), 30u);
  for (const TextRow& p : pedidos) {
    EXPECT_EQ(banco.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE WHERE PEDI_ID = " + p.at("PEDI_ID"))
                  .size(),
              2u);
  }
}

}  // namespace
}  // namespace imp::testing
