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
  std::string article;   // ARTI_COD
  int64_t quantity = 0;  // PEDE_CANT in ten-thousandths (the article's own unit)
};

// One order of the file: the key the import groups by and its lines, in
// file order.
struct FileOrder {
  std::string prefix;  // PREF_PRE
  std::string number;  // PEDI_NUMERO
  std::vector<FileLine> lines;
};

using OrderKey = std::pair<std::string, std::string>;  // prefix, number

struct OrderFile {
  std::vector<FileOrder> orders;  // in file order
  std::string text;               // the file itself (CR LF line ends)
  int64_t lines = 0;              // text lines = article lines
};

// `orders` orders numbered from `first_number` on (at most six digits),
// customers, points of sale, articles (in their own unit), quantities,
// prices and discounts drawn from `seed`. Orders have 1 to 10 lines; now
// and then one has 40, so that a write takes a while. The same seed gives
// the same file.
OrderFile GenerateOrderFile(uint64_t seed, int orders, int first_number);

// Writes the file's text to `path` (parent folders created).
void WriteFile(const std::string& path, const std::string& text);

// The orders of several files by key. Keys must not repeat across files.
class ExpectedOrders {
 public:
  void Add(const OrderFile& file);
  // The file's order for `key`; null when no file gives it.
  const FileOrder* Find(const OrderKey& key) const;
  std::size_t size() const { return orders_.size(); }

 private:
  std::map<OrderKey, FileOrder> orders_;
};

}  // namespace imp::testing
