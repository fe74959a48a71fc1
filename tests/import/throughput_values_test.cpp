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
  const bool negative = c < 0;
  const int64_t m = negative ? -c : c;
  std::string t = std::to_string(m / 100);
  if (m % 100) {
    char f[4];
    std::snprintf(f, sizeof f, "%02lld", static_cast<long long>(m % 100));
    std::string fr = f;
    if (fr.back() == '0') fr.pop_back();
    t += "." + fr;
  }
  return negative && c != 0 ? "-" + t : t;
}

std::string IntegerText(int64_t n) { return std::to_string(n); }

double Number(const std::string& t) { return std::strtod(t.c_str(), nullptr); }

struct ExpectedLineFigures {
  std::map<std::string, std::string> columns;  // compared as text
  bool vat_included = false;
  int64_t net = 0, consumption = 0, vat = 0;       // units (vat: hundredths, VAT excluded only)
  int vat_percent = 0;
};

// The file's lines as the run sees them: an empty field keeps the value an
// earlier line of the run gave (credit date, branch, unit, discount).
std::vector<FileLine> EffectiveLines(int64_t orders, int lines_per_order) {
  std::vector<FileLine> lines;
  FileLine previous;
  for (int64_t p = 0; p < orders; ++p) {
    for (int j = 0; j < lines_per_order; ++j) {
      FileLine l = LineAt(p, j);
      for (std::string FileLine::*field :
           {&FileLine::due_date, &FileLine::branch, &FileLine::unit, &FileLine::discount_percent}) {
        if ((l.*field).empty()) l.*field = previous.*field;
      }
      lines.push_back(l);
      previous = l;
    }
  }
  return lines;
}

// A line of the file as the run sees it, worked out from the model.
ExpectedLineFigures ExpectedLine(const FileLine& l, int line, int exponent) {
  const ArticleModel a = Article(l.article);
  const int list = PriceListOf(Customer(l.customer), l.branch);
  const std::optional<ListPrice> price = Price(l.article, list);
  // Rates as integers, -1 for none (the list has no row or a null rate).
  const int d1 = price && price->discount1 ? *price->discount1 : -1;
  const int d2 = price && price->discount2 ? *price->discount2 : -1;
  // A carried-over CAJA on an article not sold in boxes has no conversion.
  const int64_t f = l.unit == "CAJA" && a.box ? 12 : 1;
  const int64_t q = l.quantity, p = l.price;
  const int64_t d = l.discount_percent.empty() ? 0 : std::atoi(l.discount_percent.c_str());
  int64_t power = 1;
  for (int i = 0; i < exponent; ++i) power *= 10;

  ExpectedLineFigures e;
  e.vat_included = l.prefix == "PV";
  e.vat_percent = a.vat;
  e.consumption = a.consumption_tax * q * f;
  const int64_t base = q * p * (100 - d) / 100;  // p is a multiple of 100: exact
  const int64_t m1 = d1 >= 0 ? RoundHalfEven(base * d1, 100 * power) * power : 0;
  const int64_t m2 = d2 >= 0 ? RoundHalfEven((base - m1) * d2, 100 * power) * power : 0;
  e.net = base - m1 - m2;
  auto optional = [](int v) { return v >= 0 ? IntegerText(v) : std::string(); };
  e.columns = {{"PEDE_ITEM", IntegerText(line + 1)},
                {"ARTI_COD", a.code},
                {"PEDE_CODBAR", a.code},
                {"PEDE_DESC", a.description},
                {"PEDE_UNIDAD", l.unit.empty() ? "UND" : l.unit},
                {"PEDE_CANT", IntegerText(q)},
                {"PEDE_FACTOR", IntegerText(f)},
                {"PEDE_PRUNIT", IntegerText(p)},
                {"PEDE_DTOPORC", IntegerText(d)},
                {"PEDE_IVAPORC", IntegerText(a.vat)},
                {"PEDE_CONSUMO", IntegerText(e.consumption)},
                {"LIPR_COD", IntegerText(list)},
                {"BODE_COD", WarehouseOf(l.point_of_sale)},
                {"PEDE_DTO1", optional(d1)},
                {"PEDE_DTO2", optional(d2)},
                {"PEDE_DTO3", ""},
                {"PEDE_DTOMONTO", IntegerText(d * p / 100)},
                {"PEDE_DTOM1", IntegerText(m1)},
                {"PEDE_DTOM2", IntegerText(m2)},
                {"PEDE_DTOM3", "0"},
                {"PEDE_ANULADO", "N"},
                {"PEDE_TRANSMIT", "N"}};
  if (e.vat_included) {
    e.columns["PEDE_TOTAL"] = IntegerText(e.net);
  } else {
    // (net - consumption) × v / 100, in hundredths: whole.
    e.vat = (e.net - e.consumption) * a.vat;
    e.columns["PEDE_IVAMONTO"] = Hundredths(e.vat);
    e.columns["PEDE_TOTAL"] = Hundredths(e.vat + 100 * (e.net + e.consumption));
  }
  return e;
}

// The VAT inside a price that includes it, (net - consumption) × v / (100 + v),
// exactly, in units.
double VatIncluded(const ExpectedLineFigures& e) {
  return static_cast<double>(e.net - e.consumption) * e.vat_percent / (100.0 + e.vat_percent);
}

struct Case {
  const char* name;
  int exponent;    // REDONDEO AL MULTIPLO DE DIEZ EN TOTALES
  int64_t orders;  // the model's orders 0 .. orders - 1
  int lines;       // lines of each order (the model's lines 0 .. lines - 1)
};

TEST(ThroughputValues, TheWrittenLinesAreTheModels) {
  constexpr int kRead = static_cast<int>(Tfdm::kLinesPerRead);
  const Case cases[] = {
      {"descuentos a la unidad", 0, 40, 6},
      {"descuentos a la centena", 2, 40, 6},
      // Orders longer than the records read ahead at once: each is handled
      // in three parts, two full ones and a shorter last one.
      {"pedidos de dos lecturas y cinco lineas, a la unidad", 0, 3, 2 * kRead + 5},
      {"pedidos de dos lecturas y cinco lineas, a la centena", 2, 3, 2 * kRead + 5},
      // Exactly one read-ahead, and one line more than that.
      {"pedidos de una lectura", 0, 4, kRead},
      {"pedidos de una lectura y una linea", 2, 4, kRead + 1},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    ImportTestBench bench;
    {
      fb::AttachOptions target;
      target.database = bench.db.path();
      target.user = "SYSDBA";
      target.password = "masterkey";
      fb::Attachment att = fb::Attachment::Attach(target);
      PopulateCompany(att);
    }
    bench.Configure("REDONDEO AL MULTIPLO DE DIEZ EN TOTALES", std::to_string(test_case.exponent));
    std::string contents;
    for (int64_t p = 0; p < test_case.orders; ++p)
      for (int j = 0; j < test_case.lines; ++j) contents += LineText(LineAt(p, j));
    bench.Run(contents);
    ASSERT_EQ(bench.screen.messages, std::vector<std::string>{"Importación finalizada."});

    const std::vector<TextRow> orders = bench.Orders();
    ASSERT_EQ(orders.size(), static_cast<size_t>(test_case.orders));
    // Identifiers drawn one per order, nothing wasted.
    EXPECT_EQ(bench.IdentifiersDrawn(), IntegerText(test_case.orders));
    const std::vector<FileLine> effective = EffectiveLines(test_case.orders, test_case.lines);
    for (int64_t p = 0; p < test_case.orders; ++p) {
      const TextRow& header = orders[static_cast<size_t>(p)];
      const FileLine& first = effective[static_cast<size_t>(p * test_case.lines)];
      SCOPED_TRACE(first.prefix + first.number);
      EXPECT_EQ(header.at("PREF_PRE"), first.prefix);
      EXPECT_EQ(header.at("PEDI_NUMERO"), first.number);
      EXPECT_EQ(header.at("PEDI_IVAINC"), first.prefix == "PV" ? "S" : "N");
      EXPECT_EQ(header.at("TERC_NIT"), Customer(first.customer).nit);
      EXPECT_EQ(header.at("PEDI_NOMTERC"), Customer(first.customer).name);
      EXPECT_EQ(header.at("PEDI_SUCURSAL"), first.branch.empty() ? "01" : first.branch);
      EXPECT_EQ(header.at("PTVT_ID"), IntegerText(first.point_of_sale));
      EXPECT_EQ(header.at("PEDI_DIASCR"), first.due_date.empty() ? "1" : "30");

      const std::vector<TextRow> lines = bench.Lines(first.prefix, first.number);
      ASSERT_EQ(lines.size(), static_cast<size_t>(test_case.lines));
      int64_t total_sum = 0, vat_sum = 0;  // hundredths
      double vat_included_sum = 0;
      for (int j = 0; j < test_case.lines; ++j) {
        SCOPED_TRACE("linea " + IntegerText(j + 1));
        const ExpectedLineFigures e =
            ExpectedLine(effective[static_cast<size_t>(p * test_case.lines + j)], j, test_case.exponent);
        const TextRow& written = lines[static_cast<size_t>(j)];
        for (const auto& [column, value] : e.columns) EXPECT_EQ(written.at(column), value) << column;
        EXPECT_EQ(written.at("PEDI_ID"), header.at("PEDI_ID"));
        if (e.vat_included) {
          // Written with two decimals: within half a hundredth of the exact
          // quotient (the rounding of a tie is the server's).
          EXPECT_LE(std::fabs(Number(written.at("PEDE_IVAMONTO")) - VatIncluded(e)), 0.005 + 1e-9)
              << written.at("PEDE_IVAMONTO");
          total_sum += 100 * e.net;
          vat_included_sum += VatIncluded(e);
        } else {
          total_sum += e.vat + 100 * (e.net + e.consumption);
          vat_sum += e.vat;
        }
      }
      EXPECT_EQ(header.at("PEDI_TOTAL"), Hundredths(total_sum));
      if (first.prefix == "PV") {
        EXPECT_LE(std::fabs(Number(header.at("PEDI_IVAMONTO")) - vat_included_sum),
                  0.005 * (test_case.lines + 1))
            << header.at("PEDI_IVAMONTO");
      } else {
        EXPECT_EQ(header.at("PEDI_IVAMONTO"), Hundredths(vat_sum));
      }
    }
  }
}

// The identifier procedure of a company may write to a table: it cannot run
// in the lookups' read-only transaction, and every order still gets its own
// identifier, drawn and committed apart from the order's write.
TEST(ThroughputValues, IdentifierProcedureThatWrites) {
  ImportTestBench bench;
  bench.db.Exec(
      "CREATE TABLE BITACORA_ID (ID INTEGER);\n"
      "SET TERM ^ ;\n"
      "ALTER PROCEDURE CAMBIE_ID_PEDIDO RETURNS (ID INTEGER) AS BEGIN\n"
      "  ID = NEXT VALUE FOR GEN_PEDIDOS + 100;\n"
      "  INSERT INTO BITACORA_ID (ID) VALUES (:ID);\n"
      "END^\n"
      "SET TERM ; ^");
  bench.Run(Line({"PV", "1", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "1", "", "100", "0"}) +
              Line({"PV", "2", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "2", "", "100", "0"}) +
              Line({"FE", "3", "1/15/2024", "", "1", "1", "800100200", "ACME", "01", "", "", "",
                     "TRAB", "3", "", "100", "0"}));
  ASSERT_EQ(bench.screen.messages, std::vector<std::string>{"Importación finalizada."});
  std::vector<std::string> ids, log;
  for (const TextRow& f : bench.Orders()) ids.push_back(f.at("PEDI_ID"));
  for (const TextRow& f : bench.Read("SELECT ID FROM BITACORA_ID ORDER BY ID")) {
    log.push_back(f.at("ID"));
  }
  // The first call is refused in the read-only transaction before its
  // insert, after drawing 101: that number is skipped, never reused.
  EXPECT_EQ(ids, (std::vector<std::string>{"102", "103", "104"}));
  EXPECT_EQ(log, ids);
}

}  // namespace
}  // namespace imp::testing
