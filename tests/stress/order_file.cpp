#include "tests/stress/order_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace imp::testing {
namespace {

// Customers of the demo company with a branch of theirs and a name.
struct Customer {
  const char* nit;
  const char* nombre;
  const char* sucursal;
};
constexpr Customer kCustomers[] = {
    {"800100200", "\"ACME, S.A.\"", "01"},
    {"800100200", "\"ACME, S.A.\"", "02"},
    {"830045678", "DISTRIBUIDORA EL SOL LTDA", "02"},
    {"900123456", "SUPERMERCADO LA ESQUINA", "01"},
    {"860777888", "HOTELES DEL CARIBE S.A.S.", "01"},
    {"222222222", "CLIENTES VARIOS", "01"},
    {"79555111", "PEDRO PEREZ", "01"},
};

// The demo article's own unit, by its number (see schema/30_demo.sql).
const char* UnidadPropia(int i) {
  switch (i % 20) {
    case 0: case 1: case 4: case 13: case 14: return "KG";
    case 2: case 3: case 19: return "LT";
    case 10: case 12: case 16: return "PAQ";
    default: return "UND";
  }
}

// Ten-thousandths as the file writes them: "12", "2.5", "0.75".
std::string Decimal(int64_t diezmilesimas) {
  std::string texto = std::to_string(diezmilesimas / 10000);
  int64_t fraccion = diezmilesimas % 10000;
  if (fraccion == 0) return texto;
  std::string digitos = std::to_string(10000 + fraccion).substr(1);
  while (digitos.back() == '0') digitos.pop_back();
  return texto + "." + digitos;
}

}  // namespace

OrderFile GenerateOrderFile(uint64_t semilla, int pedidos, int primer_numero) {
  if (primer_numero < 1 || primer_numero + pedidos - 1 > 999999) {
    throw std::invalid_argument("order numbers have at most six digits");
  }
  std::mt19937_64 azar(semilla);
  auto entre = [&azar](int64_t desde, int64_t hasta) {
    return desde + static_cast<int64_t>(azar() % static_cast<uint64_t>(hasta - desde + 1));
  };
  static constexpr const char* kDiscounts[] = {"0", "0", "0", "1.5", "2.5", "10"};

  OrderFile archivo;
  archivo.pedidos.reserve(static_cast<size_t>(pedidos));
  for (int k = 0; k < pedidos; ++k) {
    FileOrder pedido;
    pedido.prefijo = entre(0, 1) ? "PV" : "FE";
    pedido.numero = std::to_string(primer_numero + k);
    const Customer& cliente = kCustomers[entre(0, std::size(kCustomers) - 1)];
    const int64_t lineas = entre(0, 24) == 0 ? 40 : entre(1, 10);
    for (int64_t j = 0; j < lineas; ++j) {
      const int articulo = static_cast<int>(entre(1, 300));
      FileLine linea;
      char codigo[16];
      std::snprintf(codigo, sizeof codigo, "ART%04d", articulo);
      linea.articulo = codigo;
      // Mostly whole quantities, some halves and quarters.
      linea.cantidad = entre(1, 60) * 10000 + (entre(0, 3) == 0 ? entre(1, 3) * 2500 : 0);
      std::string texto;
      if (j == 0) {
        texto = pedido.prefijo + "," + pedido.numero + ",1/15/2026,2/14/2026," +
                std::to_string(entre(1, 5)) + "," + std::to_string(entre(1, 4)) + "," +
                cliente.nit + "," + cliente.nombre + "," + cliente.sucursal + ",0,0,0,";
      } else {
        texto = ",,,,,,,,,,,,";
      }
      texto += linea.articulo + "," + Decimal(linea.cantidad) + "," + UnidadPropia(articulo) +
               "," + std::to_string(entre(5, 500) * 100) + "," + kDiscounts[entre(0, 5)] +
               "\r\n";
      archivo.texto += texto;
      pedido.lineas.push_back(std::move(linea));
      ++archivo.lineas;
    }
    archivo.pedidos.push_back(std::move(pedido));
  }
  return archivo;
}

void WriteFile(const std::string& ruta, const std::string& texto) {
  std::filesystem::create_directories(std::filesystem::path(ruta).parent_path());
  std::ofstream salida(ruta, std::ios::binary | std::ios::trunc);
  salida << texto;
  if (!salida.flush()) throw std::runtime_error("cannot write " + ruta);
}

void ExpectedOrders::Add(const OrderFile& archivo) {
  for (const FileOrder& pedido : archivo.pedidos) {
    if (!pedidos_.emplace(OrderKey{pedido.prefijo, pedido.numero}, pedido).second) {
      throw std::invalid_argument("order " + pedido.prefijo + " " + pedido.numero +
                                  " given by two files");
    }
  }
}

const FileOrder* ExpectedOrders::Find(const OrderKey& password) const {
  const auto it = pedidos_.find(password);
  return it == pedidos_.end() ? nullptr : &it->second;
}

}  // namespace imp::testing
