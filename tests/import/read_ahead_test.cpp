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
constexpr int kLectura = static_cast<int>(Tfdm::kLinesPerRead);

// The first line of order FE `number` for ACME (list 2, point of sale 1).
std::string Cabeza(const std::string& number, const std::string& articulo, int cantidad,
                   const std::string& unidad = "") {
  return Line({"FE", number, "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                articulo, std::to_string(cantidad), unidad, "100", "0"});
}
// A further line of the same order: the order's columns left empty.
std::string Sigue(const std::string& articulo, int cantidad, const std::string& unidad = "") {
  return Line({"", "", "", "", "", "", "", "", "", "", "", "", articulo, std::to_string(cantidad),
                unidad, "100", "0"});
}
// A line the reader refuses: its article field has 300 bytes.
std::string Rechazada() {
  return Line({"", "", "", "", "", "", "", "", "", "", "", "", std::string(300, 'A'), "1", "",
                "100", "0"});
}
std::string Desconocido(const std::string& codigo) {
  return "Código '" + codigo + "' no encontrado.";
}

// A written line as "item:quantity:article", quantities telling the file's
// lines apart.
std::vector<std::string> Escritas(const ImportTestBench& banco, const std::string& number) {
  std::vector<std::string> escritas;
  for (const TextRow& l : banco.Lines("FE", number))
    escritas.push_back(l.at("PEDE_ITEM") + ":" + l.at("PEDE_CANT") + ":" + l.at("ARTI_COD"));
  return escritas;
}

std::vector<std::string> Numeros(const ImportTestBench& banco) {
  std::vector<std::string> numeros;
  for (const TextRow& p : banco.Orders()) numeros.push_back(p.at("PEDI_NUMERO"));
  return numeros;
}

// The reader refuses a line after records the run has kept: those records
// are handled first, their boxes shown and their lines added, and only then
// the run fails with the reader's text, as when every record was handled
// the moment it was read. The order the failure cuts off is not written.
TEST(ReadAhead, RefusedLineAfterKeptRecords) {
  struct Escrito {
    std::string number;
    std::vector<std::string> lines;
  };
  struct Case {
    const char* nombre;
    std::string archivo;
    std::vector<std::string> mensajes;  // the lookups' boxes, in order
    std::string failure;
    std::vector<Escrito> escritos;
    int registros;                      // records handled
    std::vector<int64_t> interrumpidos;  // file lines of the order cut off
  };
  std::string largo = Cabeza("1", "TRAB", 1);
  for (int i = 2; i <= 19; ++i)
    largo += Sigue(i == 5 || i == 18 ? std::string("X").append(std::to_string(i)) : "TRAB", i);
  std::string lleno = Cabeza("1", "TRAB", 1);
  for (int i = 2; i <= kLectura; ++i) lleno += Sigue(i == kLectura ? "XU" : "TRAB", i);
  std::vector<int64_t> primeras_19, primeras_lectura;
  for (int i = 1; i <= 19; ++i) primeras_19.push_back(i);
  for (int i = 1; i <= kLectura; ++i) primeras_lectura.push_back(i);
  const std::string sin_grabar = "Pedidos de esta importación ya grabados (quedan grabados): ";

  const Case casos[] = {
      {"en el primer pedido",
       Cabeza("1", "TRAB", 1) + Sigue("X", 2) + Sigue("TRAB", 3) + Rechazada(),
       {Desconocido("X")},
       "Línea 4: el campo 13 tiene más de 255 caracteres.\n" + sin_grabar + "0.",
       {},
       3,
       {1, 2, 3}},
      // The first order is completed when the second begins, before the
      // second's unknown article shows its box.
      {"dentro del segundo pedido",
       Cabeza("1", "TRAB", 1) + Sigue("ABCDEFGHIJKLMNO", 2) + Cabeza("2", "TRAB", 1) +
           Sigue("X", 2) + Rechazada() + Sigue("TRAB", 9),
       {Desconocido("X")},
       "Línea 5: el campo 13 tiene más de 255 caracteres.\n" + sin_grabar + "1.",
       {{"1", {"1:1:TRAB", "2:2:ABCDEFGHIJKLMNO"}}},
       4,
       {3, 4}},
      // Lines 1-16 are handled as one batch, 17-19 are still kept when line
      // 20 is refused.
      {"tras una lectura completa y parte de otra",
       largo + Rechazada(),
       {Desconocido("X5"), Desconocido("X18")},
       "Línea 20: el campo 13 tiene más de 255 caracteres.\n" + sin_grabar + "0.",
       {},
       19,
       primeras_19},
      // A full batch is kept when the next line is refused: its order is not
      // complete, so it is not written.
      {"justo tras una lectura completa",
       lleno + Rechazada(),
       {Desconocido("XU")},
       "Línea " + std::to_string(kLectura + 1) + ": el campo 13 tiene más de 255 caracteres.\n" +
           sin_grabar + "0.",
       {},
       kLectura,
       primeras_lectura},
  };
  for (const Case& c : casos) {
    SCOPED_TRACE(c.nombre);
    ImportTestBench banco;
    const std::string failure = banco.FailureOfRun(c.archivo);
    std::vector<std::string> eventos = banco.screen.events;
    eventos.push_back("falla: " + failure);
    std::vector<std::string> esperados = {kPanel, "caja de registro"};
    for (const std::string& m : c.mensajes) esperados.push_back("mensaje: " + m);
    esperados.push_back("falla: " + c.failure);
    EXPECT_EQ(eventos, esperados);

    std::vector<std::string> numeros;
    for (const Escrito& e : c.escritos) {
      numeros.push_back(e.number);
      EXPECT_EQ(Escritas(banco, e.number), e.lines) << e.number;
    }
    EXPECT_EQ(Numeros(banco), numeros);
    // One identifier per written order: none for the order cut off.
    EXPECT_EQ(banco.IdentifiersDrawn(), std::to_string(c.escritos.size()));

    const ImportSummary& r = banco.run.summary();
    EXPECT_EQ(r.outcome, ImportSummary::Outcome::kFailed);
    EXPECT_EQ(r.records, c.registros);
    EXPECT_EQ(r.written_orders, static_cast<int>(c.escritos.size()));
    std::vector<int64_t> interrumpidos;
    for (const LinePosition& p : r.interrupted_lines) interrumpidos.push_back(p.number);
    EXPECT_EQ(interrumpidos, c.interrumpidos);
  }
}

// An order of the tests below: FE `number` with `lines` lines; the lines at
// the positions in `desconocidas` (from 1) name unknown articles.
struct TestOrder {
  std::string number;
  int lines;
  std::set<int> desconocidas;
};

// Line i of an order: quantity i; TRAB (in boxes of 12 every third line)
// and the 15-character article of VAT 0 in turn.
struct TestLine {
  std::string articulo, unidad, factor, vat;
};
TestLine KnownLine(int i) {
  if (i % 2 == 0) return {"ABCDEFGHIJKLMNO", "UND", "1", "0"};
  return {"TRAB", i % 3 == 0 ? "CAJA" : "UND", i % 3 == 0 ? "12" : "1", "19"};
}
std::string CodigoDesconocido(const TestOrder& p, int i) {
  return "X" + p.number + "L" + std::to_string(i);
}

std::string Archivo(const std::vector<TestOrder>& pedidos) {
  std::string archivo;
  for (const TestOrder& p : pedidos) {
    for (int i = 1; i <= p.lines; ++i) {
      const TestLine l = KnownLine(i);
      const std::string articulo = p.desconocidas.count(i) ? CodigoDesconocido(p, i) : l.articulo;
      archivo += i == 1 ? Cabeza(p.number, articulo, i, l.unidad) : Sigue(articulo, i, l.unidad);
    }
  }
  return archivo;
}

// A lookup's box in the middle of an order (it drops the answers read ahead)
// comes when its line is handled: one per unknown line, in file order, and
// the lines around it are still priced from the right records and numbered
// as their place in the order.
TEST(ReadAhead, LookupMessagesInFileOrder) {
  struct Case {
    const char* nombre;
    std::vector<TestOrder> pedidos;
  };
  const Case casos[] = {
      {"20 lineas, desconocidas la 2, la 17 y la 20", {{"1", 20, {2, 17, 20}}}},
      {"desconocidas al borde de cada lectura",
       {{"1", 2 * kLectura + 1, {1, kLectura, kLectura + 1, 2 * kLectura, 2 * kLectura + 1}}}},
      {"dos pedidos; el segundo empieza por una desconocida",
       {{"1", kLectura + 2, {kLectura + 1}}, {"2", 3, {1, 3}}}},
  };
  for (const Case& c : casos) {
    SCOPED_TRACE(c.nombre);
    ImportTestBench banco;
    banco.Run(Archivo(c.pedidos));

    std::vector<std::string> mensajes;
    int desconocidas = 0;
    for (const TestOrder& p : c.pedidos) {
      for (int i : p.desconocidas) mensajes.push_back(Desconocido(CodigoDesconocido(p, i)));
      desconocidas += static_cast<int>(p.desconocidas.size());
    }
    mensajes.push_back(kFinished);
    EXPECT_EQ(banco.screen.messages, mensajes);
    EXPECT_EQ(banco.run.summary().dropped_lines, desconocidas);

    std::vector<std::string> numeros;
    for (const TestOrder& p : c.pedidos) {
      SCOPED_TRACE(p.number);
      numeros.push_back(p.number);
      std::vector<std::string> esperadas, factores, ivas, escritas_factores, escritas_ivas;
      for (int i = 1; i <= p.lines; ++i) {
        if (p.desconocidas.count(i)) continue;
        const TestLine l = KnownLine(i);
        // The item keeps the line's place: an unknown line leaves a gap.
        esperadas.push_back(std::to_string(i) + ":" + std::to_string(i) + ":" + l.articulo);
        factores.push_back(l.factor);
        ivas.push_back(l.vat);
      }
      EXPECT_EQ(Escritas(banco, p.number), esperadas);
      for (const TextRow& l : banco.Lines("FE", p.number)) {
        escritas_factores.push_back(l.at("PEDE_FACTOR"));
        escritas_ivas.push_back(l.at("PEDE_IVAPORC"));
      }
      EXPECT_EQ(escritas_factores, factores);
      EXPECT_EQ(escritas_ivas, ivas);
    }
    EXPECT_EQ(Numeros(banco), numeros);
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
  constexpr int64_t kArranque = 4;
  for (const int lines : {1, 10, kLectura, kLectura + 1, 40}) {
    SCOPED_TRACE(std::to_string(lines) + " lineas");
    std::vector<TestOrder> pedidos;
    for (int64_t p = 1; p <= kOrders; ++p) pedidos.push_back({std::to_string(p), lines, {}});
    ImportTestBench banco;
    const uint64_t antes = banco.fdm.statements_executed();
    banco.Run(Archivo(pedidos));
    const int64_t sentencias = static_cast<int64_t>(banco.fdm.statements_executed() - antes);

    ASSERT_EQ(banco.screen.messages, std::vector<std::string>{kFinished});
    EXPECT_EQ(banco.run.summary().written_orders, kOrders);
    EXPECT_EQ(banco.run.summary().written_lines, kOrders * lines);

    // Writing an order: the header's and each line's insert, drawing its
    // identifier, and (but after the last order) reading the emptied store
    // again. The write transaction is the store's own: no savepoints.
    const int64_t escrituras = lines + 3;
    const int64_t lecturas = (lines + kLectura - 1) / kLectura;
    const int64_t cota = kArranque + kOrders * (lecturas + escrituras);
    const int64_t una_a_una = kArranque + kOrders * (3 + 5 * lines + escrituras);
    ASSERT_LT(cota, una_a_una);  // the bound tells the two apart
    EXPECT_LE(sentencias, cota);
    // The writes alone, so that a count that misses statements cannot pass.
    EXPECT_GE(sentencias, kOrders * (lines + 2));
  }
}

}  // namespace
}  // namespace imp::testing
