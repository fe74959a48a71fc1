// What the import writes for the benchmark's generated company and order
// file, with short orders and with orders longer than the records the run
// reads ahead at once. Every written line and header is compared with
// figures worked out here from the data model by hand: with whole prices
// (multiples of 100) and whole rates, each amount has a closed form in
// integers, so no pricing code is needed to know what the line must hold.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "db/firebird.h"
#include "tests/import/import_test_bench.h"
#include "tests/support/generated_company.h"

namespace imp::testing {
namespace {

using namespace imp::generated;

// n / d rounded to the nearest integer, ties to the even one (d > 0).
int64_t RoundHalfEven(int64_t n, int64_t d) {
  int64_t q = n / d, r = n % d;
  if (r < 0) r += d, --q;
  if (2 * r > d || (2 * r == d && q % 2 != 0)) ++q;
  return q;
}

// A whole number of hundredths as the read-back text gives it ("12.5", "3").
std::string Hundredths(int64_t c) {
  const bool negativo = c < 0;
  const int64_t m = negativo ? -c : c;
  std::string t = std::to_string(m / 100);
  if (m % 100) {
    char f[4];
    std::snprintf(f, sizeof f, "%02lld", static_cast<long long>(m % 100));
    std::string fr = f;
    if (fr.back() == '0') fr.pop_back();
    t += "." + fr;
  }
  return negativo && c != 0 ? "-" + t : t;
}

std::string Entero(int64_t n) { return std::to_string(n); }

double Numero(const std::string& t) { return std::strtod(t.c_str(), nullptr); }

struct ExpectedLineFigures {
  std::map<std::string, std::string> columnas;  // compared as text
  bool iva_incluido = false;
  int64_t neto = 0, consumo = 0, iva = 0;       // units (iva: hundredths, VAT excluded only)
  int iva_porc = 0;
};

// The file's lines as the run sees them: an empty field keeps the value an
// earlier line of the run gave (credit date, branch, unit, discount).
std::vector<FileLine> LineasEfectivas(int64_t pedidos, int lineas_por_pedido) {
  std::vector<FileLine> lineas;
  FileLine anterior;
  for (int64_t p = 0; p < pedidos; ++p) {
    for (int j = 0; j < lineas_por_pedido; ++j) {
      FileLine l = LineAt(p, j);
      for (std::string FileLine::*campo :
           {&FileLine::due_date, &FileLine::branch, &FileLine::unit, &FileLine::discount_percent}) {
        if ((l.*campo).empty()) l.*campo = anterior.*campo;
      }
      lineas.push_back(l);
      anterior = l;
    }
  }
  return lineas;
}

// A line of the file as the run sees it, worked out from the model.
ExpectedLineFigures ExpectedLine(const FileLine& l, int linea, int exponente) {
  const ArticleModel a = Article(l.article);
  const int lista = PriceListOf(Customer(l.customer), l.branch);
  const std::optional<ListPrice> precio = Price(l.article, lista);
  // Rates as integers, -1 for none (the list has no row or a null rate).
  const int d1 = precio && precio->discount1 ? *precio->discount1 : -1;
  const int d2 = precio && precio->discount2 ? *precio->discount2 : -1;
  // A carried-over CAJA on an article not sold in boxes has no conversion.
  const int64_t f = l.unit == "CAJA" && a.box ? 12 : 1;
  const int64_t q = l.quantity, p = l.price;
  const int64_t d = l.discount_percent.empty() ? 0 : std::atoi(l.discount_percent.c_str());
  int64_t potencia = 1;
  for (int i = 0; i < exponente; ++i) potencia *= 10;

  ExpectedLineFigures e;
  e.iva_incluido = l.prefix == "PV";
  e.iva_porc = a.vat;
  e.consumo = a.consumption_tax * q * f;
  const int64_t base = q * p * (100 - d) / 100;  // p is a multiple of 100: exact
  const int64_t m1 = d1 >= 0 ? RoundHalfEven(base * d1, 100 * potencia) * potencia : 0;
  const int64_t m2 = d2 >= 0 ? RoundHalfEven((base - m1) * d2, 100 * potencia) * potencia : 0;
  e.neto = base - m1 - m2;
  auto opcional = [](int v) { return v >= 0 ? Entero(v) : std::string(); };
  e.columnas = {{"PEDE_ITEM", Entero(linea + 1)},
                {"ARTI_COD", a.code},
                {"PEDE_CODBAR", a.code},
                {"PEDE_DESC", a.description},
                {"PEDE_UNIDAD", l.unit.empty() ? "UND" : l.unit},
                {"PEDE_CANT", Entero(q)},
                {"PEDE_FACTOR", Entero(f)},
                {"PEDE_PRUNIT", Entero(p)},
                {"PEDE_DTOPORC", Entero(d)},
                {"PEDE_IVAPORC", Entero(a.vat)},
                {"PEDE_CONSUMO", Entero(e.consumo)},
                {"LIPR_COD", Entero(lista)},
                {"BODE_COD", WarehouseOf(l.point_of_sale)},
                {"PEDE_DTO1", opcional(d1)},
                {"PEDE_DTO2", opcional(d2)},
                {"PEDE_DTO3", ""},
                {"PEDE_DTOMONTO", Entero(d * p / 100)},
                {"PEDE_DTOM1", Entero(m1)},
                {"PEDE_DTOM2", Entero(m2)},
                {"PEDE_DTOM3", "0"},
                {"PEDE_ANULADO", "N"},
                {"PEDE_TRANSMIT", "N"}};
  if (e.iva_incluido) {
    e.columnas["PEDE_TOTAL"] = Entero(e.neto);
  } else {
    // (net - consumption) × v / 100, in hundredths: whole.
    e.iva = (e.neto - e.consumo) * a.vat;
    e.columnas["PEDE_IVAMONTO"] = Hundredths(e.iva);
    e.columnas["PEDE_TOTAL"] = Hundredths(e.iva + 100 * (e.neto + e.consumo));
  }
  return e;
}

// The VAT inside a price that includes it, (net - consumption) × v / (100 + v),
// exactly, in units.
double VatIncluded(const ExpectedLineFigures& e) {
  return static_cast<double>(e.neto - e.consumo) * e.iva_porc / (100.0 + e.iva_porc);
}

struct Case {
  const char* nombre;
  int exponente;    // REDONDEO AL MULTIPLO DE DIEZ EN TOTALES
  int64_t pedidos;  // the model's orders 0 .. pedidos - 1
  int lineas;       // lines of each order (the model's lines 0 .. lineas - 1)
};

TEST(ThroughputValues, TheWrittenLinesAreTheModels) {
  constexpr int kLectura = static_cast<int>(Tfdm::kLinesPerRead);
  const Case casos[] = {
      {"descuentos a la unidad", 0, 40, 6},
      {"descuentos a la centena", 2, 40, 6},
      // Orders longer than the records read ahead at once: each is handled
      // in three parts, two full ones and a shorter last one.
      {"pedidos de dos lecturas y cinco lineas, a la unidad", 0, 3, 2 * kLectura + 5},
      {"pedidos de dos lecturas y cinco lineas, a la centena", 2, 3, 2 * kLectura + 5},
      // Exactly one read-ahead, and one line more than that.
      {"pedidos de una lectura", 0, 4, kLectura},
      {"pedidos de una lectura y una linea", 2, 4, kLectura + 1},
  };
  for (const Case& caso : casos) {
    SCOPED_TRACE(caso.nombre);
    ImportTestBench banco;
    {
      fb::AttachOptions destino;
      destino.database = banco.db.path();
      destino.user = "SYSDBA";
      destino.password = "masterkey";
      fb::Attachment att = fb::Attachment::Attach(destino);
      PopulateCompany(att);
    }
    banco.Configure("REDONDEO AL MULTIPLO DE DIEZ EN TOTALES", std::to_string(caso.exponente));
    std::string contenido;
    for (int64_t p = 0; p < caso.pedidos; ++p)
      for (int j = 0; j < caso.lineas; ++j) contenido += LineText(LineAt(p, j));
    banco.Run(contenido);
    ASSERT_EQ(banco.screen.messages, std::vector<std::string>{"Importación finalizada."});

    const std::vector<TextRow> pedidos = banco.Orders();
    ASSERT_EQ(pedidos.size(), static_cast<size_t>(caso.pedidos));
    // Identifiers drawn one per order, nothing wasted.
    EXPECT_EQ(banco.IdentifiersDrawn(), Entero(caso.pedidos));
    const std::vector<FileLine> efectivas = LineasEfectivas(caso.pedidos, caso.lineas);
    for (int64_t p = 0; p < caso.pedidos; ++p) {
      const TextRow& cabecera = pedidos[static_cast<size_t>(p)];
      const FileLine& primera = efectivas[static_cast<size_t>(p * caso.lineas)];
      SCOPED_TRACE(primera.prefix + primera.number);
      EXPECT_EQ(cabecera.at("PREF_PRE"), primera.prefix);
      EXPECT_EQ(cabecera.at("PEDI_NUMERO"), primera.number);
      EXPECT_EQ(cabecera.at("PEDI_IVAINC"), primera.prefix == "PV" ? "S" : "N");
      EXPECT_EQ(cabecera.at("TERC_NIT"), Customer(primera.customer).nit);
      EXPECT_EQ(cabecera.at("PEDI_NOMTERC"), Customer(primera.customer).name);
      EXPECT_EQ(cabecera.at("PEDI_SUCURSAL"), primera.branch.empty() ? "01" : primera.branch);
      EXPECT_EQ(cabecera.at("PTVT_ID"), Entero(primera.point_of_sale));
      EXPECT_EQ(cabecera.at("PEDI_DIASCR"), primera.due_date.empty() ? "1" : "30");

      const std::vector<TextRow> lineas = banco.Lines(primera.prefix, primera.number);
      ASSERT_EQ(lineas.size(), static_cast<size_t>(caso.lineas));
      int64_t suma_total = 0, suma_iva = 0;  // hundredths
      double suma_iva_incluido = 0;
      for (int j = 0; j < caso.lineas; ++j) {
        SCOPED_TRACE("linea " + Entero(j + 1));
        const ExpectedLineFigures e =
            ExpectedLine(efectivas[static_cast<size_t>(p * caso.lineas + j)], j, caso.exponente);
        const TextRow& escrita = lineas[static_cast<size_t>(j)];
        for (const auto& [columna, valor] : e.columnas) EXPECT_EQ(escrita.at(columna), valor) << columna;
        EXPECT_EQ(escrita.at("PEDI_ID"), cabecera.at("PEDI_ID"));
        if (e.iva_incluido) {
          // Written with two decimals: within half a hundredth of the exact
          // quotient (the rounding of a tie is the server's).
          EXPECT_LE(std::fabs(Numero(escrita.at("PEDE_IVAMONTO")) - VatIncluded(e)), 0.005 + 1e-9)
              << escrita.at("PEDE_IVAMONTO");
          suma_total += 100 * e.neto;
          suma_iva_incluido += VatIncluded(e);
        } else {
          suma_total += e.iva + 100 * (e.neto + e.consumo);
          suma_iva += e.iva;
        }
      }
      EXPECT_EQ(cabecera.at("PEDI_TOTAL"), Hundredths(suma_total));
      if (primera.prefix == "PV") {
        EXPECT_LE(std::fabs(Numero(cabecera.at("PEDI_IVAMONTO")) - suma_iva_incluido),
                  0.005 * (caso.lineas + 1))
            << cabecera.at("PEDI_IVAMONTO");
      } else {
        EXPECT_EQ(cabecera.at("PEDI_IVAMONTO"), Hundredths(suma_iva));
      }
    }
  }
}

// The identifier procedure of a company may write to a table: it cannot run
// in the lookups' read-only transaction, and every order still gets its own
// identifier, drawn and committed apart from the order's write.
TEST(ThroughputValues, IdentifierProcedureThatWrites) {
  ImportTestBench banco;
  banco.db.Exec(
      "CREATE TABLE BITACORA_ID (ID INTEGER);\n"
      "SET TERM ^ ;\n"
      "ALTER PROCEDURE CAMBIE_ID_PEDIDO RETURNS (ID INTEGER) AS BEGIN\n"
      "  ID = NEXT VALUE FOR GEN_PEDIDOS + 100;\n"
      "  INSERT INTO BITACORA_ID (ID) VALUES (:ID);\n"
      "END^\n"
      "SET TERM ; ^");
  banco.Run(Line({"PV", "1", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "1", "", "100", "0"}) +
              Line({"PV", "2", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "2", "", "100", "0"}) +
              Line({"FE", "3", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "3", "", "100", "0"}));
  ASSERT_EQ(banco.screen.messages, std::vector<std::string>{"Importación finalizada."});
  std::vector<std::string> ids, bitacora;
  for (const TextRow& f : banco.Orders()) ids.push_back(f.at("PEDI_ID"));
  for (const TextRow& f : banco.Read("SELECT ID FROM BITACORA_ID ORDER BY ID")) {
    bitacora.push_back(f.at("ID"));
  }
  // The first call is refused in the read-only transaction before its
  // insert, after drawing 101: that number is skipped, never reused.
  EXPECT_EQ(ids, (std::vector<std::string>{"102", "103", "104"}));
  EXPECT_EQ(bitacora, ids);
}

}  // namespace
}  // namespace imp::testing
