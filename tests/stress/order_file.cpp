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
  const char* name;
  const char* branch;
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
const char* OwnUnit(int i) {
  switch (i % 20) {
    case 0: case 1: case 4: case 13: case 14: return "KG";
    case 2: case 3: case 19: return "LT";
    case 10: case 12: case 16: return "PAQ";
    default: return "UND";
  }
}

// Ten-thousandths as the file writes them: "12", "2.5", "0.75".
std::string Decimal(int64_t ten_thousandths) {
  std::string text = std::to_string(ten_thousandths / 10000);
  int64_t fraction = ten_thousandths % 10000;
  if (fraction == 0) return text;
  std::string digits = std::to_string(10000 + fraction).substr(1);
  while (digits.back() == '0') digits.pop_back();
  return text + "." + digits;
}

}  // namespace

OrderFile GenerateOrderFile(uint64_t seed, int orders, int first_number) {
  if (first_number < 1 || first_number + orders - 1 > 999999) {
    throw std::invalid_argument("order numbers have at most six digits");
  }
  std::mt19937_64 rng(seed);
  auto Between = [&rng](int64_t from, int64_t to) {
    return from + static_cast<int64_t>(rng() % static_cast<uint64_t>(to - from + 1));
  };
  static constexpr const char* kDiscounts[] = {"0", "0", "0", "1.5", "2.5", "10"};

  OrderFile file;
  file.orders.reserve(static_cast<size_t>(orders));
  for (int k = 0; k < orders; ++k) {
    FileOrder order;
    order.prefix = Between(0, 1) ? "PV" : "FE";
    order.number = std::to_string(first_number + k);
    const Customer& customer = kCustomers[Between(0, std::size(kCustomers) - 1)];
    const int64_t lines = Between(0, 24) == 0 ? 40 : Between(1, 10);
    for (int64_t j = 0; j < lines; ++j) {
      const int article = static_cast<int>(Between(1, 300));
      FileLine line;
      char code[16];
      std::snprintf(code, sizeof code, "ART%04d", article);
      line.article = code;
      // Mostly whole quantities, some halves and quarters.
      line.quantity = Between(1, 60) * 10000 + (Between(0, 3) == 0 ? Between(1, 3) * 2500 : 0);
      std::string text;
      if (j == 0) {
        text = order.prefix + "," + order.number + ",1/15/2026,2/14/2026," +
               std::to_string(Between(1, 5)) + "," + std::to_string(Between(1, 4)) + "," +
               customer.nit + "," + customer.name + "," + customer.branch + ",0,0,0,";
      } else {
        text = ",,,,,,,,,,,,";
      }
      text += line.article + "," + Decimal(line.quantity) + "," + OwnUnit(article) + "," +
              std::to_string(Between(5, 500) * 100) + "," + kDiscounts[Between(0, 5)] + "\r\n";
      file.text += text;
      order.lines.push_back(std::move(line));
      ++file.lines;
    }
    file.orders.push_back(std::move(order));
  }
  return file;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void ExpectedOrders::Add(const OrderFile& file) {
  for (const FileOrder& order : file.orders) {
    if (!orders_.emplace(OrderKey{order.prefix, order.number}, order).second) {
      throw std::invalid_argument("order " + order.prefix + " " + order.number +
                                  " given by two files");
    }
  }
}

const FileOrder* ExpectedOrders::Find(const OrderKey& key) const {
  const auto it = orders_.find(key);
  return it == orders_.end() ? nullptr : &it->second;
}

}  // namespace imp::testing
