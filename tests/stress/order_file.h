#pragma once
// Large order files for the stress runs, generated from a seed for the demo
// company: each order's prefix, number and lines are kept beside the file's
// text, so what a run wrote can be checked against what the file gives.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace imp::testing {

// One article line as the file gives it.
struct FileLine {
  std::string articulo;  // ARTI_COD
  int64_t cantidad = 0;  // PEDE_CANT in ten-thousandths (the article's own unit)
};

// One order of the file: the key the import groups by and its lines, in
// file order.
struct FileOrder {
  std::string prefijo;  // PREF_PRE
  std::string numero;   // PEDI_NUMERO
  std::vector<FileLine> lineas;
};

using OrderKey = std::pair<std::string, std::string>;  // prefix, number

struct OrderFile {
  std::vector<FileOrder> pedidos;  // in file order
  std::string texto;                   // the file itself (CR LF line ends)
  int64_t lineas = 0;                  // text lines = article lines
};

// `pedidos` orders numbered from `primer_numero` on (at most six digits),
// customers, points of sale, articles (in their own unit), quantities,
// prices and discounts drawn from `semilla`. Orders have 1 to 10 lines; now
// and then one has 40, so that a write takes a while. The same seed gives
// the same file.
OrderFile GenerateOrderFile(uint64_t semilla, int pedidos, int primer_numero);

// Writes the file's text to `ruta` (parent folders created).
void WriteFile(const std::string& ruta, const std::string& texto);

// The orders of several files by key. Keys must not repeat across files.
class ExpectedOrders {
 public:
  void Add(const OrderFile& archivo);
  // The file's order for `password`; null when no file gives it.
  const FileOrder* Find(const OrderKey& password) const;
  std::size_t size() const { return pedidos_.size(); }

 private:
  std::map<OrderKey, FileOrder> pedidos_;
};

}  // namespace imp::testing
