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

// A line of order `prefix number` for ACME (list 2, point of sale 1) with
// article TRAB; `quantity` replaces the quantity.
std::string Order(const std::string& prefix, const std::string& number,
                   const std::string& article = "TRAB", const std::string& quantity = "1") {
  return Line({prefix, number, "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                article, quantity, "", "100", "0"});
}
// A further line of the same order: the order columns left empty.
std::string OtherLine(const std::string& article = "TRAB", const std::string& quantity = "1") {
  return Line({"", "", "", "", "", "", "", "", "", "", "", "", article, quantity, "", "100", "0"});
}

std::vector<std::pair<std::string, std::string>> Keys(const std::vector<TextRow>& orders) {
  std::vector<std::pair<std::string, std::string>> keys;
  for (const TextRow& p : orders) keys.emplace_back(p.at("PREF_PRE"), p.at("PEDI_NUMERO"));
  return keys;
}

std::vector<std::string> Items(const std::vector<TextRow>& lines) {
  std::vector<std::string> items;
  for (const TextRow& l : lines) items.push_back(l.at("PEDE_ITEM"));
  return items;
}

// Collects what an unattended run would report.
struct RunLog : ImportObserver {
  std::vector<OrderWritten> written;
  std::vector<OrderDropped> discarded;
  std::vector<LineDropped> lines;
  std::vector<LinePosition> interrupted;
  void OnOrderWritten(const OrderWritten& p) override { written.push_back(p); }
  void OnOrderDropped(const OrderDropped& p) override { discarded.push_back(p); }
  void OnLineDropped(const LineDropped& l) override { lines.push_back(l); }
  void OnInterrupted(const std::string&, const std::vector<LinePosition>& r) override {
    interrupted = r;
  }
};

TEST(ImportRun, GroupsByExactKey) {
  ImportTestBench bench;
  RunLog log;
  bench.run.set_observer(&log);
  // A, B, A; then keys that differ only in case or in leading zeros.
  bench.Run(Order("FE", "1") + OtherLine() + Order("FE", "2") + Order("FE", "1") +
            Order("PV", "0123") + Order("pv", "0123") + Order("pv", "123"));

  const auto orders = bench.Orders();
  const std::vector<std::pair<std::string, std::string>> expected_keys = {
      {"FE", "1"}, {"FE", "2"}, {"FE", "1"}, {"PV", "0123"}, {"pv", "0123"}, {"pv", "123"}};
  EXPECT_EQ(Keys(orders), expected_keys);
  // Every order numbers its lines from 1.
  const std::vector<std::string> lines_per_order[] = {{"1", "2"}, {"1"}, {"1"},
                                                        {"1"},      {"1"}, {"1"}};
  for (size_t i = 0; i < orders.size(); ++i) {
    const auto lines = bench.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE WHERE PEDI_ID = " +
                                   orders[i].at("PEDI_ID") + " ORDER BY PEDE_ITEM");
    EXPECT_EQ(Items(lines), lines_per_order[i]) << i;
  }
  EXPECT_EQ(bench.screen.messages, std::vector<std::string>{kFinished});
  EXPECT_EQ(bench.run.summary().written_orders, 6);
  EXPECT_EQ(bench.run.summary().written_lines, 7);
  ASSERT_EQ(log.written.size(), 6u);
  EXPECT_EQ(log.written[0].lines, 2);
  EXPECT_EQ(log.written[0].order_id, orders[0].at("PEDI_ID"));
}

// The header as assembled from the record that begins each order.
TEST(ImportRun, OrderHeader) {
  ImportTestBench bench;
  bench.screen.date = *Date::FromYmd(2024, 3, 1);
  bench.Run(
      // No date, credit date or branch: the window's date, 1 day, "01".
      Line({"FE", "H1", "", "", "3", "2", "800100200", "ACME", "", "", "", "", "TRAB", "1", "",
             "100", "0"}) +
      Line({"FE", "H2", "1/15/2024", "2/29/2024", "2", "1", "800100200", "ACME", "01", "10.5",
             "0", "96.6", "TRAB", "1", "", "100", "0"}) +
      Line({"FE", "H3", "1/15/2024", "1/10/2024", "2", "1", "800100200", "ACME", "01", "", "",
             "", "TRAB", "1", "", "100", "0"}));

  const std::map<std::string, std::map<std::string, std::string>> expected = {
      {"H1", {{"FECHA", "2024-03-01"}, {"VENCE", "2024-03-31"}, {"PEDI_DIASCR", "1"},
              {"PEDI_SUCURSAL", "01"}, {"PTVT_ID", "2"}, {"VEND_COD", "3"},
              {"PEDI_RTFTEMONTO", ""}, {"PEDI_RTIVAMONTO", ""}, {"PEDI_RTICAMONTO", ""}}},
      {"H2", {{"FECHA", "2024-01-15"}, {"VENCE", "2024-02-14"}, {"PEDI_DIASCR", "45"},
              {"PEDI_SUCURSAL", "01"}, {"PTVT_ID", "1"}, {"VEND_COD", "2"},
              {"PEDI_RTFTEMONTO", "10.5"}, {"PEDI_RTIVAMONTO", "0"}, {"PEDI_RTICAMONTO", "96.6"}}},
      {"H3", {{"FECHA", "2024-01-15"}, {"VENCE", "2024-02-14"}, {"PEDI_DIASCR", "-5"}}},
  };
  const std::map<std::string, std::string> common = {
      {"TIDO_COD", "34"}, {"PREF_PRE", "FE"},        {"PEDI_FACTOR", "1"},
      {"PEDI_TRM", "1"},  {"PEDI_ANULADO", "N"},     {"PEDI_TRANSMIT", "N"},
      {"PEDI_IVAINC", "N"}, {"PEDI_VALIDEZ", "30"},  {"TERC_NIT", "800100200"},
      {"PEDI_NOMTERC", "ACME"}, {"PEDI_DTOMONTO", ""}, {"PEDI_OBS", ""}};
  const auto orders = bench.Orders();
  ASSERT_EQ(orders.size(), 3u);
  for (const TextRow& p : orders) {
    const std::string number = p.at("PEDI_NUMERO");
    SCOPED_TRACE(number);
    for (const auto& [column, value] : common) EXPECT_EQ(p.at(column), value) << column;
    for (const auto& [column, value] : expected.at(number)) EXPECT_EQ(p.at(column), value) << column;
    EXPECT_NE(p.at("PEDI_ID"), "0");
  }
  // The empty branch reaches the price-list lookup as it is: no row, list 1,
  // while "01" gives ACME's list 2. The line's warehouse is the point of sale's.
  const auto h1 = bench.Lines("FE", "H1");
  ASSERT_EQ(h1.size(), 1u);
  EXPECT_EQ(h1[0].at("LIPR_COD"), "1");
  EXPECT_EQ(h1[0].at("BODE_COD"), "02");
  EXPECT_EQ(bench.Lines("FE", "H2").at(0).at("LIPR_COD"), "2");
}

// The header's totals are the sums of its lines.
TEST(ImportRun, LineTotals) {
  ImportTestBench bench;
  bench.Run(Line({"FE", "T1", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "3", "", "1000", "10"}) +
              OtherLine("TRAB", "3") + Order("FE", "T2", "ABCDEFGHIJKLMNO"));
  const auto orders = bench.Orders();
  ASSERT_EQ(orders.size(), 2u);
  // Line 1 is the worked line (449.16, 3113.16); line 2 is 3 × 100 less 15
  // and 6: net 279, tax 150, VAT 24.51, total 453.51.
  const auto lines = bench.Lines("FE", "T1");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].at("PEDE_TOTAL"), "3113.16");
  EXPECT_EQ(lines[1].at("PEDE_TOTAL"), "453.51");
  EXPECT_EQ(orders[0].at("PEDI_IVAMONTO"), "473.67");
  EXPECT_EQ(orders[0].at("PEDI_TOTAL"), "3566.67");
  // An article of VAT 0 at 100 each.
  EXPECT_EQ(orders[1].at("PEDI_IVAMONTO"), "0");
  EXPECT_EQ(orders[1].at("PEDI_TOTAL"), "100");
}

TEST(ImportRun, UnknownArticleLeavesAGapInTheItems) {
  ImportTestBench bench;
  RunLog log;
  bench.run.set_observer(&log);
  const std::string file = Order("FE", "1") + OtherLine("NOEXISTE") + OtherLine();
  bench.Run(file);

  EXPECT_EQ(bench.screen.messages,
            (std::vector<std::string>{"Código 'NOEXISTE' no encontrado.", kFinished}));
  EXPECT_EQ(Items(bench.Lines("FE", "1")), (std::vector<std::string>{"1", "3"}));
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].position.number, 2);
  EXPECT_EQ(file.substr(log.lines[0].position.offset,
                           log.lines[0].position.length),
            OtherLine("NOEXISTE").substr(0, OtherLine("NOEXISTE").size() - 2));
  EXPECT_EQ(bench.run.summary().dropped_lines, 1);
}

TEST(ImportRun, ConversionFailureKeepsTheEarlierOrders) {
  ImportTestBench bench;
  RunLog log;
  bench.run.set_observer(&log);
  const std::string failure = bench.FailureOfRun(Order("FE", "1") + Order("FE", "2") +
                                               Order("FE", "3") + OtherLine("TRAB", "1a"));

  EXPECT_EQ(failure,
            "Línea 4: 1a no es un valor BCD válido.\n"
            "Pedidos de esta importación ya grabados (quedan grabados): 2.");
  EXPECT_EQ(Keys(bench.Orders()),
            (std::vector<std::pair<std::string, std::string>>{{"FE", "1"}, {"FE", "2"}}));
  // The window stays as the failure left it.
  EXPECT_FALSE(bench.screen.closed);
  EXPECT_TRUE(bench.screen.panel_visible);
  EXPECT_EQ(bench.screen.record_text, "FE3 - ACME");
  EXPECT_TRUE(bench.screen.messages.empty());
  // The order cut off is the one of lines 3 and 4.
  ASSERT_EQ(log.interrupted.size(), 2u);
  EXPECT_EQ(log.interrupted[0].number, 3);
  EXPECT_EQ(log.interrupted[1].number, 4);
  EXPECT_EQ(bench.run.summary().outcome, ImportSummary::Outcome::kFailed);
  EXPECT_EQ(bench.run.summary().failure, "1a no es un valor BCD válido");
}

TEST(ImportRun, EmptyFileWritesNothing) {
  ImportTestBench bench;
  bench.Run("");
  EXPECT_EQ(bench.screen.messages, std::vector<std::string>{kFinished});
  EXPECT_TRUE(bench.screen.closed);
  EXPECT_TRUE(bench.Orders().empty());
  EXPECT_EQ(bench.IdentifiersDrawn(), "0");
  EXPECT_EQ(bench.screen.steps, 0);
}

// The checks before reading: each shows its message, hides the panel and
// closes the window.
TEST(ImportRun, FileChecks) {
  ImportTestBench bench;
  // A file another program holds locked cannot be opened.
  const std::string locked = bench.File(Order("FE", "1"), "bloqueado.csv");
  const int fd = ::open(locked.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  // A FIFO or a device is no file to import either, and the message says so.
  const std::string fifo = bench.db.server() + "/tubo.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string kOnOpen =
      "Error al abrir el archivo, asegúrece que el nombre sea correcto y que no esté abierto en "
      "otra aplicación en este momento.\n";
  const struct {
    std::string location;
    std::string message;
  } cases[] = {
      {"", "Debe indicar antes el archivo con los datos a importar."},
      {bench.db.server() + "/no-existe.csv", "No se encontró el archivo a importar."},
      // A folder is no file to import.
      {bench.db.server(), "No se encontró el archivo a importar."},
      {locked, kOnOpen + "Otro programa tiene bloqueado el archivo " + locked + "."},
      {fifo, kOnOpen + "El archivo " + fifo + " no es un archivo regular."},
      {"/dev/null", kOnOpen + "El archivo /dev/null no es un archivo regular."},
  };
  for (const auto& c : cases) {
    bench.screen = RecordingScreen{};
    bench.screen.location = c.location;
    bench.run.SpeedButton3Click();
    EXPECT_EQ(bench.screen.events,
              (std::vector<std::string>{"panel: Importando pedidos. Espere un momento...",
                                        "caja de registro", std::string("mensaje: ") + c.message,
                                        "ocultar panel", "cerrar"}));
  }
  ::close(fd);
  EXPECT_TRUE(bench.Orders().empty());
}

TEST(ImportRun, WithoutRoundingSettingsTheFileIsNotRead) {
  ImportTestBench bench;
  bench.db.Exec(
      "DELETE FROM CONFIGURACION WHERE CONF_PROPIEDAD = 'REDONDEO AL MULTIPLO DE DIEZ EN "
      "TOTALES';");
  bench.screen.location = bench.db.server() + "/no-existe.csv";
  try {
    bench.run.SpeedButton3Click();
    ADD_FAILURE() << "the run did not fail";
  } catch (const Failure& f) {
    EXPECT_STREQ(f.what(), "'' no es un valor entero válido");
  }
  EXPECT_EQ(bench.screen.events,
            (std::vector<std::string>{
                "panel: Importando pedidos. Espere un momento...",
                "error: No se encontró la configuración REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"}));
}

TEST(ImportRun, ScreenOfAWholeRun) {
  ImportTestBench bench;
  bench.Run(Order("FE", "1") + OtherLine() + Order("pv", "123"));
  const auto& e = bench.screen.events;
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0], "panel: Importando pedidos. Espere un momento...");
  EXPECT_EQ(e[1], "caja de registro");
  EXPECT_EQ(e[2], std::string("mensaje: ") + kFinished);
  EXPECT_EQ(e[3], "ocultar panel");
  EXPECT_EQ(e[4], "cerrar");
  EXPECT_EQ(bench.screen.record_text, "pv123 - ACME");
  EXPECT_GT(bench.screen.steps, 0);
  EXPECT_EQ(bench.run.prefijo_actual(), "pv");
  EXPECT_EQ(bench.run.numero_actual(), "123");
}

// After a failed run the next run begins its first order afresh, even with
// the key the failed run stopped at, and the failed run's unwritten order
// is not merged into it.
TEST(ImportRun, RunAfterAFailureStartsAfresh) {
  ImportTestBench bench;
  EXPECT_NE(bench.FailureOfRun(Order("FE", "7", "TRAB", "5") + OtherLine("TRAB", "1a")), "");
  EXPECT_EQ(bench.run.prefijo_actual(), "FE");
  EXPECT_EQ(bench.run.numero_actual(), "7");

  bench.screen = RecordingScreen{};
  bench.Run(Order("FE", "7", "TRAB", "2"));
  const auto lines = bench.Lines("FE", "7");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].at("PEDE_ITEM"), "1");
  EXPECT_EQ(lines[0].at("PEDE_CANT"), "2");
  EXPECT_EQ(bench.Orders().size(), 1u);
  EXPECT_EQ(bench.screen.messages, std::vector<std::string>{kFinished});
}

// In a fresh window a first record with an empty key still begins an order;
// its header cannot be posted, so the run fails instead of pricing a line
// without a header.
TEST(ImportRun, FirstRecordWithoutKeyStartsAnOrder) {
  ImportTestBench bench;
  const std::string failure = bench.FailureOfRun(OtherLine());
  EXPECT_EQ(failure.rfind("Línea 1: Es necesario que el campo 'TERC_NIT' contenga algún valor", 0), 0u)
      << failure;
  EXPECT_TRUE(bench.Orders().empty());
}

// Without a layout (no company connected yet, or its layout could not be
// read) the first record fails the run; a file without records still ends
// normally.
TEST(ImportRun, WithoutLayoutTheFirstRecordFails) {
  ImportTestBench bench;
  // The company's layout table cannot be read: loading leaves no layout.
  bench.fdm.Norvela.Close();
  bench.db.Exec("DROP TABLE IMPORTACION_INVENTARIO;");
  QuerySet CImporinv(bench.fdm.Norvela, bench.rs, "CImporinv");
  CImportacion not_loaded;
  EXPECT_THROW(LoadImportLayout(CImporinv, bench.layout), Failure);

  const struct {
    const CImportacion* layout;
    std::string contents;
    std::string failure;  // "" when the run ends normally
  } cases[] = {
      {&not_loaded, "", ""},
      {&not_loaded, Order("FE", "1"),
       "CImportacion: No es posible realizar ésta operación en un Dataset cerrado.\n"
       "Pedidos de esta importación ya grabados (quedan grabados): 0."},
      {&bench.layout, Order("FE", "1"),
       "CImportacion: No es posible realizar ésta operación en un Dataset cerrado.\n"
       "Pedidos de esta importación ya grabados (quedan grabados): 0."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contents);
    bench.screen = RecordingScreen{};
    bench.screen.location = bench.File(c.contents);
    ImportRun run{bench.fdm, bench.store, *c.layout, bench.rs, bench.screen, bench.screen};
    std::string failure;
    try {
      run.SpeedButton3Click();
    } catch (const Failure& f) {
      failure = f.what();
    }
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(bench.screen.closed, c.failure.empty());
  }
  EXPECT_TRUE(bench.Orders().empty());
  EXPECT_EQ(bench.IdentifiersDrawn(), "0");
}

TEST(ImportRun, WithoutPointOfSaleThereIsNoWarehouse) {
  ImportTestBench bench;
  bench.Run(Line({"FE", "8", "1/15/2024", "", "1", "", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "1", "", "100", "0"}));
  const auto orders = bench.Orders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].at("PTVT_ID"), "");
  EXPECT_EQ(bench.Lines("FE", "8").at(0).at("BODE_COD"), "");
  EXPECT_EQ(bench.screen.messages, std::vector<std::string>{kFinished});
}

TEST(ImportRun, RefusedOrderIsReported) {
  ImportTestBench bench;
  bench.db.Exec(
      "ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_SIN_CODIGO_LARGO "
      "CHECK (ARTI_COD <> 'ABCDEFGHIJKLMNO');");
  RunLog log;
  bench.run.set_observer(&log);
  bench.Run(Order("FE", "1") + Order("FE", "2") + OtherLine("ABCDEFGHIJKLMNO") +
            Order("FE", "3"));

  EXPECT_EQ(Keys(bench.Orders()),
            (std::vector<std::pair<std::string, std::string>>{{"FE", "1"}, {"FE", "3"}}));
  ASSERT_EQ(bench.screen.messages.size(), 1u);
  const std::string& message = bench.screen.messages[0];
  const std::string start = std::string(kFinished) + "\nPedido FE 2 no grabado: ";
  EXPECT_EQ(message.rfind(start, 0), 0u) << message;
  EXPECT_NE(message.find("CK_SIN_CODIGO_LARGO"), std::string::npos) << message;
  EXPECT_EQ(message.find('\n', start.size()), std::string::npos) << message;
  ASSERT_EQ(log.discarded.size(), 1u);
  ASSERT_EQ(log.discarded[0].file_lines.size(), 2u);
  EXPECT_EQ(log.discarded[0].file_lines[0].number, 2);
  EXPECT_EQ(bench.run.summary().written_orders, 2);
  // The identifier drawn for the refused order is not given back.
  EXPECT_EQ(bench.IdentifiersDrawn(), "3");
}

}  // namespace
}  // namespace imp::testing

namespace imp::testing {
namespace {

// Asks the run to stop once `after` orders have been written.
struct StopAfter : ImportObserver {
  ImportRun* run = nullptr;
  int after = 0;
  int written = 0;
  std::vector<LinePosition> stops;
  void OnOrderWritten(const OrderWritten&) override {
    if (++written == after) run->RequestStop();
  }
  void OnStopped(const LinePosition& p) override { stops.push_back(p); }
};

// `orders` orders PV 1.. of `lines` lines each.
std::string Orders(int orders, int lines) {
  std::string text;
  for (int p = 1; p <= orders; ++p) {
    text += Order("PV", std::to_string(p));
    for (int l = 1; l < lines; ++l) text += OtherLine();
  }
  return text;
}

TEST(ImportRunStop, StopsBetweenOrdersLeavingEveryOrderWhole) {
  // Orders shorter and longer than a read-ahead batch; the stop asked for
  // at the first, a middle and the last order written.
  struct Case {
    int orders, lines, after;
  };
  for (const Case c :
       {Case{8, 3, 1}, Case{8, 3, 4}, Case{4, 40, 1}, Case{4, 40, 3}, Case{3, 1, 3}}) {
    SCOPED_TRACE(::testing::Message() << c.orders << " orders of " << c.lines << " lines, stop after "
                                    << c.after);
    ImportTestBench bench;
    StopAfter stop;
    stop.run = &bench.run;
    stop.after = c.after;
    bench.run.set_observer(&stop);
    bench.Run(Orders(c.orders, c.lines));

    const ImportSummary& r = bench.run.summary();
    const auto orders = bench.Orders();
    ASSERT_EQ(static_cast<int64_t>(orders.size()), r.written_orders);
    for (const TextRow& p : orders) {
      EXPECT_EQ(bench.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE WHERE PEDI_ID = " +
                           p.at("PEDI_ID"))
                    .size(),
                static_cast<size_t>(c.lines))
          << "order " << p.at("PEDI_NUMERO") << " is not whole";
    }
    if (r.outcome == ImportSummary::Outcome::kComplete) {
      // The request came while the last order was read: nothing was left.
      EXPECT_EQ(r.written_orders, c.orders);
      EXPECT_TRUE(stop.stops.empty());
      continue;
    }
    ASSERT_EQ(r.outcome, ImportSummary::Outcome::kStopped);
    // The order in hand when the stop was asked for is the last written,
    // although the records of the next ones may have been read ahead.
    EXPECT_EQ(r.written_orders, c.after);
    // Every order before the first line not read was written, none after.
    const int64_t first = r.written_orders * c.lines + 1;
    EXPECT_EQ(r.first_unread.number, first);
    ASSERT_EQ(stop.stops.size(), 1u);
    EXPECT_EQ(stop.stops[0].number, first);
    ASSERT_FALSE(bench.screen.messages.empty());
    EXPECT_EQ(bench.screen.messages.back(), "Importación detenida a pedido del usuario: la línea " +
                                                std::to_string(first) +
                                                " y las siguientes no se leyeron.");
    EXPECT_TRUE(bench.screen.closed);
  }
}

TEST(ImportRunStop, RequestBeforeTheRunReadsNothingAndStaysUntilCleared) {
  ImportTestBench bench;
  bench.run.RequestStop();
  bench.Run(Orders(2, 2));
  EXPECT_EQ(bench.run.summary().outcome, ImportSummary::Outcome::kStopped);
  EXPECT_EQ(bench.run.summary().first_unread.number, 1);
  EXPECT_TRUE(bench.Orders().empty());

  EXPECT_TRUE(bench.run.stop_requested());
  bench.run.ClearStopRequest();
  bench.Run(Orders(2, 2));
  EXPECT_EQ(bench.run.summary().outcome, ImportSummary::Outcome::kComplete);
  EXPECT_EQ(bench.Orders().size(), 2u);
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
  ImportTestBench bench;
  std::string text = Order("PV", "1");
  for (int l = 1; l < kLines; ++l) text += OtherLine();
  bench.Run(text);

  ASSERT_EQ(bench.run.summary().outcome, ImportSummary::Outcome::kComplete);
  const auto orders = bench.Orders();
  ASSERT_EQ(orders.size(), 1u);
  const auto count = bench.Read(
      "SELECT COUNT(*) AS N, COUNT(DISTINCT PEDE_ITEM) AS D, MIN(PEDE_ITEM) AS LO, "
      "MAX(PEDE_ITEM) AS HI FROM PEDIDOS_DETALLE WHERE PEDI_ID = " +
      orders[0].at("PEDI_ID"));
  EXPECT_EQ(count.at(0).at("N"), std::to_string(kLines));
  EXPECT_EQ(count.at(0).at("D"), std::to_string(kLines));
  EXPECT_EQ(count.at(0).at("LO"), "1");
  EXPECT_EQ(count.at(0).at("HI"), std::to_string(kLines));
  EXPECT_EQ(bench.run.summary().written_lines, kLines);
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
  How how = kThrows;
  std::string event;  // "grabado", "descartado" or "existente"
  int after = 1;
  int seen = 0;
  std::vector<LinePosition> settled;     // lines of every settled order
  std::vector<LinePosition> interrupted;

  void Settle(const std::string& what, const std::vector<LinePosition>& r) {
    settled.insert(settled.end(), r.begin(), r.end());
    if (what != event || ++seen != after) return;
    if (how == kThrows) throw Failure("falla tras asentar el pedido");
    // Gone, and no way back: the next use of the connection cannot attach.
    fdm->Norvela.Close();
    fdm->Norvela.SetParam("Database", "/nonexistent/gone.fdb");
  }
  void OnOrderWritten(const OrderWritten& p) override { Settle("grabado", p.file_lines); }
  void OnOrderDropped(const OrderDropped& p) override { Settle("descartado", p.file_lines); }
  void OnOrderSkipped(const OrderSkipped& p) override { Settle("existente", p.file_lines); }
  void OnInterrupted(const std::string&, const std::vector<LinePosition>& r) override {
    interrupted = r;
  }
};

std::vector<int64_t> Numbers(const std::vector<LinePosition>& r) {
  std::vector<int64_t> n;
  for (const LinePosition& p : r) n.push_back(p.number);
  return n;
}

TEST(ImportRunOutcome, ASettledOrderIsNeverReportedAsCutOff) {
  // Orders PV 1..3 of two lines (lines 1-2, 3-4, 5-6); PV 2 refused by a
  // check; PV 1 already in the database for the skip-existing cases.
  struct Case {
    const char* name;
    FailAfter::How how;
    const char* event;
    int after;
    bool skip;
    std::vector<int64_t> cut;  // the lines the failure cut off
  };
  const std::vector<Case> cases = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImportTestBench bench;
    bench.db.Exec(
        "ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_SIN_CODIGO_LARGO "
        "CHECK (ARTI_COD <> 'ABCDEFGHIJKLMNO');");
    if (c.skip) {
      bench.Run(Order("PV", "1") + OtherLine());
      bench.run.set_skip_existing(true);
    }
    FailAfter fail;
    fail.fdm = &bench.fdm;
    fail.how = c.how;
    fail.event = c.event;
    fail.after = c.after;
    bench.run.set_observer(&fail);
    const std::string failure = bench.FailureOfRun(Order("PV", "1") + OtherLine() + Order("PV", "2") +
                                                 OtherLine("ABCDEFGHIJKLMNO") + Order("PV", "3") +
                                                 OtherLine());
    EXPECT_FALSE(failure.empty());
    EXPECT_EQ(bench.run.summary().outcome, ImportSummary::Outcome::kFailed);
    EXPECT_EQ(Numbers(fail.interrupted), c.cut);
    EXPECT_EQ(Numbers(bench.run.summary().interrupted_lines), c.cut);
    // No line is both settled and cut off.
    for (const LinePosition& p : fail.interrupted) {
      for (const LinePosition& a : fail.settled) EXPECT_NE(p.number, a.number);
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
  const std::string kIncomplete =
      "la última línea está incompleta (sin fin de línea y con menos campos que la anterior).";
  auto without_end = [](std::string line) { return line.substr(0, line.size() - 2); };
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> written;
    std::vector<std::string> discarded;  // "FE 2"
    int64_t detail_lines;
  };
  const std::vector<Case> cases = {
      {"a line of the order being built, its price not yet written",
       Order("FE", "1") + Order("FE", "2") + without_end(OtherLine()).substr(0, 16),
       {{"FE", "1"}}, {"FE 2"}, 1},
      {"the first line of a new order, cut off",
       Order("FE", "1") + OtherLine() + without_end(Order("FE", "2")).substr(0, 40),
       {{"FE", "1"}}, {"FE 2"}, 2},
      {"a last line without its end but whole is imported",
       Order("FE", "1") + without_end(OtherLine()), {{"FE", "1"}}, {}, 2},
      {"separators, quotes and zero bytes are no lines",
       Order("FE", "1") + ",,,,,,\r\n" + "\"\",\"\"\r\n" + std::string(5, '\0') + "\r\n" +
           OtherLine(),
       {{"FE", "1"}}, {}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImportTestBench bench;
    RunLog log;
    bench.run.set_observer(&log);
    bench.Run(c.text);
    EXPECT_EQ(bench.run.summary().outcome, ImportSummary::Outcome::kComplete);
    EXPECT_EQ(Keys(bench.Orders()), c.written);
    std::vector<std::string> discarded;
    for (const OrderDropped& d : log.discarded) {
      discarded.push_back(d.prefix + " " + d.number);
      EXPECT_NE(d.reason.find(kIncomplete), std::string::npos) << d.reason;
      EXPECT_TRUE(d.by_file);
    }
    EXPECT_EQ(discarded, c.discarded);
    EXPECT_EQ(bench.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE").size(),
              static_cast<size_t>(c.detail_lines));
  }
}

// Grows the file at the reader's first step, as a writer still at work.
struct GrowingWriter : RecordingScreen {
  std::string path;
  bool wrote = false;
  void StepProgress() override {
    RecordingScreen::StepProgress();
    if (wrote) return;
    wrote = true;
    std::ofstream(path, std::ios::app | std::ios::binary) << "FE,99,1/15/2024";
  }
};

TEST(ImportRunFile, AFileThatChangesWhileReadEndsTheRunBeforeItsLastOrder) {
  ImportTestBench bench;
  std::string text;
  for (int p = 1; p <= 30; ++p) text += Order("FE", std::to_string(p)) + OtherLine();
  const std::string path = bench.File(text);
  // An old modification time, so that the append moves it.
  const struct timespec before[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), before, 0), 0);
  GrowingWriter writer;
  writer.path = path;
  writer.location = path;
  ImportRun run(bench.fdm, bench.store, bench.layout, bench.rs, writer, writer);
  try {
    run.SpeedButton3Click();
    ADD_FAILURE() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(std::string(f.what()).rfind("El archivo " + path + " cambió mientras se importaba.", 0),
              0u)
        << f.what();
  }
  EXPECT_EQ(run.summary().outcome, ImportSummary::Outcome::kFailed);
  // What was written is whole, and the last order read was not written.
  const auto orders = bench.Orders();
  EXPECT_LT(orders.size(), 30u);
  for (const TextRow& p : orders) {
    EXPECT_EQ(bench.Read("SELECT PEDE_ITEM FROM PEDIDOS_DETALLE WHERE PEDI_ID = " + p.at("PEDI_ID"))
                  .size(),
              2u);
  }
}

}  // namespace
}  // namespace imp::testing
