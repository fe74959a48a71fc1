// The import run reads an order's records ahead, a batch at a time, so that
// the lookups of a header and of the lines after it are read together; each
// record is then handled as it would have been alone. These cases look where
// reading ahead could show: a line the reader refuses after records that
// were kept, the boxes the lookups show in the middle of long orders, and
// what an order's lookups cost in statements.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tests/import/import_test_bench.h"

namespace imp::testing {
namespace {

constexpr char kFinished[] = "Importación finalizada.";
constexpr char kPanel[] = "panel: Importando pedidos. Espere un momento...";
constexpr int kRead = static_cast<int>(Tfdm::kLinesPerRead);

// The first line of order FE `number` for ACME (list 2, point of sale 1).
std::string HeaderLine(const std::string& number, const std::string& article, int quantity,
                   const std::string& unit = "") {
  return Line({"FE", number, "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                article, std::to_string(quantity), unit, "100", "0"});
}
// A further line of the same order: the order's columns left empty.
std::string FollowingLine(const std::string& article, int quantity, const std::string& unit = "") {
  return Line({"", "", "", "", "", "", "", "", "", "", "", "", article, std::to_string(quantity),
                unit, "100", "0"});
}
// A line the reader refuses: its article field has 300 bytes.
std::string Rejected() {
  return Line({"", "", "", "", "", "", "", "", "", "", "", "", std::string(300, 'A'), "1", "",
                "100", "0"});
}
std::string Unknown(const std::string& code) {
  return "Código '" + code + "' no encontrado.";
}

// A written line as "item:quantity:article", quantities telling the file's
// lines apart.
std::vector<std::string> WrittenRows(const ImportTestBench& bench, const std::string& number) {
  std::vector<std::string> written;
  for (const TextRow& l : bench.Lines("FE", number))
    written.push_back(l.at("PEDE_ITEM") + ":" + l.at("PEDE_CANT") + ":" + l.at("ARTI_COD"));
  return written;
}

std::vector<std::string> Numbers(const ImportTestBench& bench) {
  std::vector<std::string> numbers;
  for (const TextRow& p : bench.Orders()) numbers.push_back(p.at("PEDI_NUMERO"));
  return numbers;
}

// The reader refuses a line after records the run has kept: those records
// are handled first, their boxes shown and their lines added, and only then
// the run fails with the reader's text, as when every record was handled
// the moment it was read. The order the failure cuts off is not written.
TEST(ReadAhead, RefusedLineAfterKeptRecords) {
  struct WrittenLine {
    std::string number;
    std::vector<std::string> lines;
  };
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> messages;  // the lookups' boxes, in order
    std::string failure;
    std::vector<WrittenLine> written_lines;
    int records;                      // records handled
    std::vector<int64_t> interrupted;  // file lines of the order cut off
  };
  std::string long_order = HeaderLine("1", "TRAB", 1);
  for (int i = 2; i <= 19; ++i)
    long_order += FollowingLine(i == 5 || i == 18 ? std::string("X").append(std::to_string(i)) : "TRAB", i);
  std::string full = HeaderLine("1", "TRAB", 1);
  for (int i = 2; i <= kRead; ++i) full += FollowingLine(i == kRead ? "XU" : "TRAB", i);
  std::vector<int64_t> first_19, first_read;
  for (int i = 1; i <= 19; ++i) first_19.push_back(i);
  for (int i = 1; i <= kRead; ++i) first_read.push_back(i);
  const std::string not_written = "Pedidos de esta importación ya grabados (quedan grabados): ";

  const Case cases[] = {
      {"en el primer pedido",
       HeaderLine("1", "TRAB", 1) + FollowingLine("X", 2) + FollowingLine("TRAB", 3) + Rejected(),
       {Unknown("X")},
       "Línea 4: el campo 13 tiene más de 255 caracteres.\n" + not_written + "0.",
       {},
       3,
       {1, 2, 3}},
      // The first order is completed when the second begins, before the
      // second's unknown article shows its box.
      {"dentro del segundo pedido",
       HeaderLine("1", "TRAB", 1) + FollowingLine("ABCDEFGHIJKLMNO", 2) + HeaderLine("2", "TRAB", 1) +
           FollowingLine("X", 2) + Rejected() + FollowingLine("TRAB", 9),
       {Unknown("X")},
       "Línea 5: el campo 13 tiene más de 255 caracteres.\n" + not_written + "1.",
       {{"1", {"1:1:TRAB", "2:2:ABCDEFGHIJKLMNO"}}},
       4,
       {3, 4}},
      // Lines 1-16 are handled as one batch, 17-19 are still kept when line
      // 20 is refused.
      {"tras una lectura completa y parte de otra",
       long_order + Rejected(),
       {Unknown("X5"), Unknown("X18")},
       "Línea 20: el campo 13 tiene más de 255 caracteres.\n" + not_written + "0.",
       {},
       19,
       first_19},
      // A full batch is kept when the next line is refused: its order is not
      // complete, so it is not written.
      {"justo tras una lectura completa",
       full + Rejected(),
       {Unknown("XU")},
       "Línea " + std::to_string(kRead + 1) + ": el campo 13 tiene más de 255 caracteres.\n" +
           not_written + "0.",
       {},
       kRead,
       first_read},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImportTestBench bench;
    const std::string failure = bench.FailureOfRun(c.file);
    std::vector<std::string> events = bench.screen.events;
    events.push_back("falla: " + failure);
    std::vector<std::string> expected_events = {kPanel, "caja de registro"};
    for (const std::string& m : c.messages) expected_events.push_back("mensaje: " + m);
    expected_events.push_back("falla: " + c.failure);
    EXPECT_EQ(events, expected_events);

    std::vector<std::string> numbers;
    for (const WrittenLine& e : c.written_lines) {
      numbers.push_back(e.number);
      EXPECT_EQ(WrittenRows(bench, e.number), e.lines) << e.number;
    }
    EXPECT_EQ(Numbers(bench), numbers);
    // One identifier per written order: none for the order cut off.
    EXPECT_EQ(bench.IdentifiersDrawn(), std::to_string(c.written_lines.size()));

    const ImportSummary& r = bench.run.summary();
    EXPECT_EQ(r.outcome, ImportSummary::Outcome::kFailed);
    EXPECT_EQ(r.records, c.records);
    EXPECT_EQ(r.written_orders, static_cast<int>(c.written_lines.size()));
    std::vector<int64_t> interrupted;
    for (const LinePosition& p : r.interrupted_lines) interrupted.push_back(p.number);
    EXPECT_EQ(interrupted, c.interrupted);
  }
}

// An order of the tests below: FE `number` with `lines` lines; the lines at
// the positions in `unknown` (from 1) name unknown articles.
struct TestOrder {
  std::string number;
  int lines;
  std::set<int> unknown;
};

// Line i of an order: quantity i; TRAB (in boxes of 12 every third line)
// and the 15-character article of VAT 0 in turn.
struct TestLine {
  std::string article, unit, factor, vat;
};
TestLine KnownLine(int i) {
  if (i % 2 == 0) return {"ABCDEFGHIJKLMNO", "UND", "1", "0"};
  return {"TRAB", i % 3 == 0 ? "CAJA" : "UND", i % 3 == 0 ? "12" : "1", "19"};
}
std::string UnknownCode(const TestOrder& p, int i) {
  return "X" + p.number + "L" + std::to_string(i);
}

std::string SharedOrderFile(const std::vector<TestOrder>& orders) {
  std::string file;
  for (const TestOrder& p : orders) {
    for (int i = 1; i <= p.lines; ++i) {
      const TestLine l = KnownLine(i);
      const std::string article = p.unknown.count(i) ? UnknownCode(p, i) : l.article;
      file += i == 1 ? HeaderLine(p.number, article, i, l.unit) : FollowingLine(article, i, l.unit);
    }
  }
  return file;
}

// A lookup's box in the middle of an order (it drops the answers read ahead)
// comes when its line is handled: one per unknown line, in file order, and
// the lines around it are still priced from the right records and numbered
// as their place in the order.
TEST(ReadAhead, LookupMessagesInFileOrder) {
  struct Case {
    const char* name;
    std::vector<TestOrder> orders;
  };
  const Case cases[] = {
      {"20 lineas, desconocidas la 2, la 17 y la 20", {{"1", 20, {2, 17, 20}}}},
      {"desconocidas al borde de cada lectura",
       {{"1", 2 * kRead + 1, {1, kRead, kRead + 1, 2 * kRead, 2 * kRead + 1}}}},
      {"dos pedidos; el segundo empieza por una desconocida",
       {{"1", kRead + 2, {kRead + 1}}, {"2", 3, {1, 3}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImportTestBench bench;
    bench.Run(SharedOrderFile(c.orders));

    std::vector<std::string> messages;
    int unknown = 0;
    for (const TestOrder& p : c.orders) {
      for (int i : p.unknown) messages.push_back(Unknown(UnknownCode(p, i)));
      unknown += static_cast<int>(p.unknown.size());
    }
    messages.push_back(kFinished);
    EXPECT_EQ(bench.screen.messages, messages);
    EXPECT_EQ(bench.run.summary().dropped_lines, unknown);

    std::vector<std::string> numbers;
    for (const TestOrder& p : c.orders) {
      SCOPED_TRACE(p.number);
      numbers.push_back(p.number);
      std::vector<std::string> expected_lines, factors, vats, written_factors, written_vats;
      for (int i = 1; i <= p.lines; ++i) {
        if (p.unknown.count(i)) continue;
        const TestLine l = KnownLine(i);
        // The item keeps the line's place: an unknown line leaves a gap.
        expected_lines.push_back(std::to_string(i) + ":" + std::to_string(i) + ":" + l.article);
        factors.push_back(l.factor);
        vats.push_back(l.vat);
      }
      EXPECT_EQ(WrittenRows(bench, p.number), expected_lines);
      for (const TextRow& l : bench.Lines("FE", p.number)) {
        written_factors.push_back(l.at("PEDE_FACTOR"));
        written_vats.push_back(l.at("PEDE_IVAPORC"));
      }
      EXPECT_EQ(written_factors, factors);
      EXPECT_EQ(written_vats, vats);
    }
    EXPECT_EQ(Numbers(bench), numbers);
  }
}

// The lookups of an order are read in one statement per batch of lines read
// ahead (the header's with the first batch), so an order of L lines costs
// ceil(L / 16) lookup statements besides its writes; asked one by one they
// would cost 3 for the header and 5 per line.
TEST(ReadAhead, StatementsPerOrder) {
  constexpr int64_t kOrders = 3;
  // Statements of the run besides its orders: the rounding setting, the
  // reading of the (empty) order store, and, once per connection, whether
  // each of the two order tables is a table (their inserts' row counts are
  // then not asked for).
  constexpr int64_t kStart = 4;
  for (const int lines : {1, 10, kRead, kRead + 1, 40}) {
    SCOPED_TRACE(std::to_string(lines) + " lineas");
    std::vector<TestOrder> orders;
    for (int64_t p = 1; p <= kOrders; ++p) orders.push_back({std::to_string(p), lines, {}});
    ImportTestBench bench;
    const uint64_t before = bench.fdm.statements_executed();
    bench.Run(SharedOrderFile(orders));
    const int64_t statements = static_cast<int64_t>(bench.fdm.statements_executed() - before);

    ASSERT_EQ(bench.screen.messages, std::vector<std::string>{kFinished});
    EXPECT_EQ(bench.run.summary().written_orders, kOrders);
    EXPECT_EQ(bench.run.summary().written_lines, kOrders * lines);

    // Writing an order: the header's and each line's insert, drawing its
    // identifier, and (but after the last order) reading the emptied store
    // again. The write transaction is the store's own: no savepoints.
    const int64_t writes = lines + 3;
    const int64_t reads = (lines + kRead - 1) / kRead;
    const int64_t bound = kStart + kOrders * (reads + writes);
    const int64_t one_by_one = kStart + kOrders * (3 + 5 * lines + writes);
    ASSERT_LT(bound, one_by_one);  // the bound tells the two apart
    EXPECT_LE(statements, bound);
    // The writes alone, so that a count that misses statements cannot pass.
    EXPECT_GE(statements, kOrders * (lines + 2));
  }
}

}  // namespace
}  // namespace imp::testing
