#pragma once
// What a run in the window did, gathered from its events for the detail
// area of the box that ends it: orders written (prefix, number,
// identifier), orders not written with the database's reason, lines left
// out with their file line and reason. Each list keeps its first entries
// (kMaxEntries) and counts the rest, so a run of any size fits in memory
// and in the box.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "import/import_summary.h"

namespace imp {

class RunDetail final : public ImportObserver {
 public:
  static constexpr std::size_t kMaxEntries = 5000;

  void Clear();
  bool empty() const { return written_ == 0 && dropped_ == 0 && lines_ == 0 && existing_ == 0; }

  void OnOrderWritten(const OrderWritten& p) override;
  void OnOrderDropped(const OrderDropped& p) override;
  void OnLineDropped(const LineDropped& l) override;
  void OnOrderSkipped(const OrderSkipped& p) override;

  // The detail text: one section per kind of event that happened.
  std::string Text() const;

  // `text` of a run's closing box without its "Pedido X N no grabado: …"
  // lines, which the detail area lists.
  static std::string WithoutDroppedOrders(const std::string& text);

 private:
  struct List {
    std::vector<std::string> entries;
    int64_t more = 0;
    void Add(std::string entry);
  };
  List written_list_, dropped_list_, lines_list_, existing_list_;
  int64_t written_ = 0, dropped_ = 0, lines_ = 0, existing_ = 0;
};

}  // namespace imp
