#pragma once
// The generated company and order file of the import benchmark, as a model
// that both writes the data and answers what any article, customer or file
// line holds. The import benchmark imports what it writes; the
// throughput values test writes the same data and checks the written lines
// against figures it works out from the model by hand, never through the
// pricing code. Header-only, so that the benchmark needs no test library.
//
// Everything follows fixed rules of the numbers involved, so two runs with
// the same sizes produce the same database rows and the same file, byte for
// byte. Money is whole: prices are multiples of 100 and rates whole percents.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "db/firebird.h"
#include "values/failure.h"

namespace imp::generated {

// Articles BA00001 .. and customers 900000001 .. added to the demo company.
inline constexpr int kArticles = 2000;
inline constexpr int kCustomers = 500;
// Price lists 1..4 (1 to 3 come with the demo company; 4 is added).
inline constexpr int kPriceLists = 4;

inline uint64_t Mix(uint64_t x) {  // splitmix64: a fixed, well spread hash
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

struct ArticleModel {
  std::string code;
  std::string description;
  std::string rate;         // TAIV_COD of the demo rates: "00", "05", "19"
  int vat = 0;              // that rate's percent
  int consumption_tax = 0;  // consumption tax per unit
  bool box = false;         // also sold in CAJA of 12
};

inline ArticleModel Article(int i) {
  ArticleModel a;
  char code[16];
  std::snprintf(code, sizeof code, "BA%05d", i);
  a.code = code;
  a.description = "ARTICULO GENERADO " + std::to_string(i);
  static const char* const kRates[] = {"00", "05", "19"};
  static const int kVatPercents[] = {0, 5, 19};
  a.rate = kRates[i % 3];
  a.vat = kVatPercents[i % 3];
  a.consumption_tax = i % 11 == 0 ? 850 : (i % 5 == 0 ? 50 : 0);
  a.box = i % 2 == 0;
  return a;
}

// The article's row in a price list; no row at all when absent.
struct ListPrice {
  int price = 0;
  std::optional<int> discount1, discount2;
};

inline std::optional<ListPrice> Price(int article, int list) {
  if ((article + list) % 6 == 0) return std::nullopt;
  ListPrice p;
  p.price = 100 * (5 + (article * 37) % 995);
  if ((article + list) % 4 != 0) p.discount1 = list + 1;
  if ((article * list) % 3 != 0) p.discount2 = list;
  return p;
}

struct CustomerModel {
  std::string nit;
  std::string name;  // holds a comma: the file quotes it
  // Branch rows: none for every 17th customer (it buys at list 1).
  bool has_branch01 = false, has_branch02 = false;
  std::optional<int> list01, list02;  // null list: list 1
};

inline CustomerModel Customer(int k) {
  CustomerModel c;
  c.nit = std::to_string(900000000 + k);
  char name[40];
  std::snprintf(name, sizeof name, "CLIENTE %04d, S.A.S.", k);
  c.name = name;
  if (k % 17 != 0) {
    c.has_branch01 = true;
    if (k % 10 != 0) c.list01 = 1 + k % kPriceLists;
    if (k % 3 == 0) {
      c.has_branch02 = true;
      c.list02 = 1 + (k + 1) % kPriceLists;
    }
  }
  return c;
}

// The price list a customer's branch buys at (an unknown branch: list 1).
inline int PriceListOf(const CustomerModel& c, const std::string& branch) {
  if (branch == "01" && c.has_branch01) return c.list01.value_or(1);
  if (branch == "02" && c.has_branch02) return c.list02.value_or(1);
  return 1;
}

// Warehouse of the demo points of sale 1..4.
inline std::string WarehouseOf(int point_of_sale) {
  return point_of_sale == 2 ? "02" : point_of_sale == 3 ? "03" : "01";
}

// One line of the order file. Every line carries the order's columns too, as
// the order-taking program writes them.
struct FileLine {
  std::string prefix;  // PV: prices include VAT; FE: they exclude it
  std::string number;
  std::string date, due_date;
  int seller = 1, point_of_sale = 1, customer = 1;
  std::string branch;  // "01", "02" or empty
  int article = 1;
  int quantity = 1;
  std::string unit;              // empty (the article's), "UND" or "CAJA"
  int price = 0;                 // whole, a multiple of 100
  std::string discount_percent;  // whole percent, or empty
};

inline FileLine LineAt(int64_t order, int line) {
  const uint64_t hp = Mix(static_cast<uint64_t>(order));
  const uint64_t hl = Mix(hp ^ static_cast<uint64_t>(line + 1) * 0x100000001b3ull);
  FileLine l;
  l.prefix = order % 2 == 0 ? "PV" : "FE";
  l.number = std::to_string(100000 + order);
  l.date = "1/15/2024";
  l.due_date = hp % 3 == 0 ? "" : "2/14/2024";
  l.seller = 1 + static_cast<int>(hp % 5);
  l.point_of_sale = 1 + static_cast<int>((hp >> 8) % 4);
  l.customer = 1 + static_cast<int>((hp >> 16) % kCustomers);
  const CustomerModel c = Customer(l.customer);
  const uint64_t s = (hp >> 32) % 11;
  l.branch = s == 0 ? "" : (s <= 3 && c.has_branch02 ? "02" : "01");
  l.article = 1 + static_cast<int>(hl % kArticles);
  l.quantity = 1 + static_cast<int>((hl >> 16) % 48);
  const uint64_t u = (hl >> 24) % 4;
  l.unit = u == 0 && Article(l.article).box ? "CAJA" : (u == 1 ? "UND" : "");
  l.price = 100 * (5 + static_cast<int>((hl >> 32) % 995));
  static const char* const kDiscounts[] = {"", "0", "5", "10"};
  l.discount_percent = kDiscounts[(hl >> 48) % 4];
  return l;
}

inline std::string LineText(const FileLine& l) {
  const CustomerModel c = Customer(l.customer);
  std::string t;
  t.reserve(160);
  t += l.prefix + ',' + l.number + ',' + l.date + ',' + l.due_date + ',';
  t += std::to_string(l.seller) + ',' + std::to_string(l.point_of_sale) + ',' + c.nit + ",\"" +
       c.name + "\"," + l.branch + ",,,,";
  t += Article(l.article).code + ',' + std::to_string(l.quantity) + ',' + l.unit + ',' +
       std::to_string(l.price) + ',' + l.discount_percent + "\r\n";
  return t;
}

// Writes `orders` orders of `lines` lines; returns the bytes written.
inline int64_t WriteOrderFile(const std::string& path, int64_t orders, int lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  int64_t bytes = 0;
  for (int64_t p = 0; p < orders; ++p) {
    for (int j = 0; j < lines; ++j) {
      const std::string t = LineText(LineAt(p, j));
      out << t;
      bytes += static_cast<int64_t>(t.size());
    }
  }
  out.flush();
  if (!out) throw Failure("cannot write " + path);
  return bytes;
}

// Adds the generated articles, units, prices, list 4, customers and branches
// to a demo company database, in one transaction.
inline void PopulateCompany(fb::Attachment& att) {
  fb::Transaction tra = fb::Transaction::Begin(att);
  auto prepare = [&](const char* sql) { return fb::Statement::Prepare(att, tra, sql); };
  auto nullable = [](const std::optional<int>& v) {
    return v ? fb::Value::Integer(*v) : fb::Value::Null();
  };
  prepare("INSERT INTO LISTAS_PRECIOS (LIPR_COD, LIPR_NOMBRE) VALUES (4, 'ESPECIAL')").Execute(tra);
  fb::Statement article = prepare(
      "INSERT INTO ARTICULO (ARTI_COD, ARTI_DESC, ARTI_UNIDAD, TAIV_COD, ARTI_CONSUMO) "
      "VALUES (?, ?, 'UND', ?, ?)");
  fb::Statement unit = prepare(
      "INSERT INTO ARTICULO_UNIDADES (ARTI_COD, ARUN_UNIDAD, ARUN_FACTOR) VALUES (?, 'CAJA', 12)");
  fb::Statement price = prepare(
      "INSERT INTO PRECIOS_ARTICULO (ARTI_COD, LIPR_COD, PRAR_PRECIO, PRAR_DTO1, PRAR_DTO2) "
      "VALUES (?, ?, ?, ?, ?)");
  for (int i = 1; i <= kArticles; ++i) {
    const ArticleModel a = Article(i);
    article.SetParam(0, fb::Value::Text(a.code));
    article.SetParam(1, fb::Value::Text(a.description));
    article.SetParam(2, fb::Value::Text(a.rate));
    article.SetParam(3, fb::Value::Integer(a.consumption_tax));
    article.Execute(tra);
    if (a.box) {
      unit.SetParam(0, fb::Value::Text(a.code));
      unit.Execute(tra);
    }
    for (int list = 1; list <= kPriceLists; ++list) {
      const std::optional<ListPrice> p = Price(i, list);
      if (!p) continue;
      price.SetParam(0, fb::Value::Text(a.code));
      price.SetParam(1, fb::Value::Integer(list));
      price.SetParam(2, fb::Value::Integer(p->price));
      price.SetParam(3, nullable(p->discount1));
      price.SetParam(4, nullable(p->discount2));
      price.Execute(tra);
    }
  }
  fb::Statement party =
      prepare("INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_CIUDAD) VALUES (?, ?, 'BOGOTA')");
  fb::Statement branch = prepare(
      "INSERT INTO CLIENTE_SUCURSALES (TERC_NIT, CLCU_COD, CLCU_NOMBRE, LIPR_COD) "
      "VALUES (?, ?, 'SUCURSAL', ?)");
  for (int k = 1; k <= kCustomers; ++k) {
    const CustomerModel c = Customer(k);
    party.SetParam(0, fb::Value::Text(c.nit));
    party.SetParam(1, fb::Value::Text(c.name));
    party.Execute(tra);
    auto add_branch = [&](const char* code, const std::optional<int>& list) {
      branch.SetParam(0, fb::Value::Text(c.nit));
      branch.SetParam(1, fb::Value::Text(code));
      branch.SetParam(2, nullable(list));
      branch.Execute(tra);
    };
    if (c.has_branch01) add_branch("01", c.list01);
    if (c.has_branch02) add_branch("02", c.list02);
  }
  tra.Commit();
}

}  // namespace imp::generated
