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
  std::string codigo;
  std::string descripcion;
  std::string tarifa;  // TAIV_COD of the demo rates: "00", "05", "19"
  int iva = 0;         // that rate's percent
  int consumo = 0;     // consumption tax per unit
  bool caja = false;   // also sold in CAJA of 12
};

inline ArticleModel Article(int i) {
  ArticleModel a;
  char codigo[16];
  std::snprintf(codigo, sizeof codigo, "BA%05d", i);
  a.codigo = codigo;
  a.descripcion = "ARTICULO GENERADO " + std::to_string(i);
  static const char* const kRates[] = {"00", "05", "19"};
  static const int kVatPercents[] = {0, 5, 19};
  a.tarifa = kRates[i % 3];
  a.iva = kVatPercents[i % 3];
  a.consumo = i % 11 == 0 ? 850 : (i % 5 == 0 ? 50 : 0);
  a.caja = i % 2 == 0;
  return a;
}

// The article's row in a price list; no row at all when absent.
struct ListPrice {
  int precio = 0;
  std::optional<int> dto1, dto2;
};

inline std::optional<ListPrice> Price(int articulo, int lista) {
  if ((articulo + lista) % 6 == 0) return std::nullopt;
  ListPrice p;
  p.precio = 100 * (5 + (articulo * 37) % 995);
  if ((articulo + lista) % 4 != 0) p.dto1 = lista + 1;
  if ((articulo * lista) % 3 != 0) p.dto2 = lista;
  return p;
}

struct CustomerModel {
  std::string nit;
  std::string nombre;  // holds a comma: the file quotes it
  // Branch rows: none for every 17th customer (it buys at list 1).
  bool sucursal01 = false, sucursal02 = false;
  std::optional<int> lista01, lista02;  // null list: list 1
};

inline CustomerModel Customer(int k) {
  CustomerModel c;
  c.nit = std::to_string(900000000 + k);
  char nombre[40];
  std::snprintf(nombre, sizeof nombre, "CLIENTE %04d, S.A.S.", k);
  c.nombre = nombre;
  if (k % 17 != 0) {
    c.sucursal01 = true;
    if (k % 10 != 0) c.lista01 = 1 + k % kPriceLists;
    if (k % 3 == 0) {
      c.sucursal02 = true;
      c.lista02 = 1 + (k + 1) % kPriceLists;
    }
  }
  return c;
}

// The price list a customer's branch buys at (an unknown branch: list 1).
inline int PriceListOf(const CustomerModel& c, const std::string& sucursal) {
  if (sucursal == "01" && c.sucursal01) return c.lista01.value_or(1);
  if (sucursal == "02" && c.sucursal02) return c.lista02.value_or(1);
  return 1;
}

// Warehouse of the demo points of sale 1..4.
inline std::string WarehouseOf(int punto) { return punto == 2 ? "02" : punto == 3 ? "03" : "01"; }

// One line of the order file. Every line carries the order's columns too, as
// the order-taking program writes them.
struct FileLine {
  std::string prefijo;  // PV: prices include VAT; FE: they exclude it
  std::string numero;
  std::string fecha, credito;
  int vendedor = 1, punto = 1, cliente = 1;
  std::string sucursal;  // "01", "02" or empty
  int articulo = 1;
  int cantidad = 1;
  std::string unidad;    // empty (the article's), "UND" or "CAJA"
  int precio = 0;        // whole, a multiple of 100
  std::string dtoporc;   // whole percent, or empty
};

inline FileLine LineAt(int64_t pedido, int linea) {
  const uint64_t hp = Mix(static_cast<uint64_t>(pedido));
  const uint64_t hl = Mix(hp ^ static_cast<uint64_t>(linea + 1) * 0x100000001b3ull);
  FileLine l;
  l.prefijo = pedido % 2 == 0 ? "PV" : "FE";
  l.numero = std::to_string(100000 + pedido);
  l.fecha = "1/15/2024";
  l.credito = hp % 3 == 0 ? "" : "2/14/2024";
  l.vendedor = 1 + static_cast<int>(hp % 5);
  l.punto = 1 + static_cast<int>((hp >> 8) % 4);
  l.cliente = 1 + static_cast<int>((hp >> 16) % kCustomers);
  const CustomerModel c = Customer(l.cliente);
  const uint64_t s = (hp >> 32) % 11;
  l.sucursal = s == 0 ? "" : (s <= 3 && c.sucursal02 ? "02" : "01");
  l.articulo = 1 + static_cast<int>(hl % kArticles);
  l.cantidad = 1 + static_cast<int>((hl >> 16) % 48);
  const uint64_t u = (hl >> 24) % 4;
  l.unidad = u == 0 && Article(l.articulo).caja ? "CAJA" : (u == 1 ? "UND" : "");
  l.precio = 100 * (5 + static_cast<int>((hl >> 32) % 995));
  static const char* const kDiscounts[] = {"", "0", "5", "10"};
  l.dtoporc = kDiscounts[(hl >> 48) % 4];
  return l;
}

inline std::string LineText(const FileLine& l) {
  const CustomerModel c = Customer(l.cliente);
  std::string t;
  t.reserve(160);
  t += l.prefijo + ',' + l.numero + ',' + l.fecha + ',' + l.credito + ',';
  t += std::to_string(l.vendedor) + ',' + std::to_string(l.punto) + ',' + c.nit + ",\"" +
       c.nombre + "\"," + l.sucursal + ",,,,";
  t += Article(l.articulo).codigo + ',' + std::to_string(l.cantidad) + ',' + l.unidad + ',' +
       std::to_string(l.precio) + ',' + l.dtoporc + "\r\n";
  return t;
}

// Writes `pedidos` orders of `lineas` lines; returns the bytes written.
inline int64_t WriteOrderFile(const std::string& ruta, int64_t pedidos, int lineas) {
  std::ofstream salida(ruta, std::ios::binary | std::ios::trunc);
  int64_t bytes = 0;
  for (int64_t p = 0; p < pedidos; ++p) {
    for (int j = 0; j < lineas; ++j) {
      const std::string t = LineText(LineAt(p, j));
      salida << t;
      bytes += static_cast<int64_t>(t.size());
    }
  }
  salida.flush();
  if (!salida) throw Failure("cannot write " + ruta);
  return bytes;
}

// Adds the generated articles, units, prices, list 4, customers and branches
// to a demo company database, in one transaction.
inline void PopulateCompany(fb::Attachment& att) {
  fb::Transaction tra = fb::Transaction::Begin(att);
  auto prepare = [&](const char* sql) { return fb::Statement::Prepare(att, tra, sql); };
  auto opcional = [](const std::optional<int>& v) {
    return v ? fb::Value::Integer(*v) : fb::Value::Null();
  };
  prepare("INSERT INTO LISTAS_PRECIOS (LIPR_COD, LIPR_NOMBRE) VALUES (4, 'ESPECIAL')").Execute(tra);
  fb::Statement articulo = prepare(
      "INSERT INTO ARTICULO (ARTI_COD, ARTI_DESC, ARTI_UNIDAD, TAIV_COD, ARTI_CONSUMO) "
      "VALUES (?, ?, 'UND', ?, ?)");
  fb::Statement unidad = prepare(
      "INSERT INTO ARTICULO_UNIDADES (ARTI_COD, ARUN_UNIDAD, ARUN_FACTOR) VALUES (?, 'CAJA', 12)");
  fb::Statement precio = prepare(
      "INSERT INTO PRECIOS_ARTICULO (ARTI_COD, LIPR_COD, PRAR_PRECIO, PRAR_DTO1, PRAR_DTO2) "
      "VALUES (?, ?, ?, ?, ?)");
  for (int i = 1; i <= kArticles; ++i) {
    const ArticleModel a = Article(i);
    articulo.SetParam(0, fb::Value::Text(a.codigo));
    articulo.SetParam(1, fb::Value::Text(a.descripcion));
    articulo.SetParam(2, fb::Value::Text(a.tarifa));
    articulo.SetParam(3, fb::Value::Integer(a.consumo));
    articulo.Execute(tra);
    if (a.caja) {
      unidad.SetParam(0, fb::Value::Text(a.codigo));
      unidad.Execute(tra);
    }
    for (int lista = 1; lista <= kPriceLists; ++lista) {
      const std::optional<ListPrice> p = Price(i, lista);
      if (!p) continue;
      precio.SetParam(0, fb::Value::Text(a.codigo));
      precio.SetParam(1, fb::Value::Integer(lista));
      precio.SetParam(2, fb::Value::Integer(p->precio));
      precio.SetParam(3, opcional(p->dto1));
      precio.SetParam(4, opcional(p->dto2));
      precio.Execute(tra);
    }
  }
  fb::Statement tercero = prepare(
      "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_CIUDAD) VALUES (?, ?, 'BOGOTA')");
  fb::Statement sucursal = prepare(
      "INSERT INTO CLIENTE_SUCURSALES (TERC_NIT, CLCU_COD, CLCU_NOMBRE, LIPR_COD) "
      "VALUES (?, ?, 'SUCURSAL', ?)");
  for (int k = 1; k <= kCustomers; ++k) {
    const CustomerModel c = Customer(k);
    tercero.SetParam(0, fb::Value::Text(c.nit));
    tercero.SetParam(1, fb::Value::Text(c.nombre));
    tercero.Execute(tra);
    auto agregue = [&](const char* codigo, const std::optional<int>& lista) {
      sucursal.SetParam(0, fb::Value::Text(c.nit));
      sucursal.SetParam(1, fb::Value::Text(codigo));
      sucursal.SetParam(2, opcional(lista));
      sucursal.Execute(tra);
    };
    if (c.sucursal01) agregue("01", c.lista01);
    if (c.sucursal02) agregue("02", c.lista02);
  }
  tra.Commit();
}

}  // namespace imp::generated
