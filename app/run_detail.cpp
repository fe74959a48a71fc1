#include "app/run_detail.h"

#include <utility>

#include "values/control_text.h"

namespace imp {
namespace {

void Section(std::string& out, const char* title, int64_t count, const std::vector<std::string>& entries,
             int64_t more) {
  if (count == 0) return;
  if (!out.empty()) out += '\n';
  out += std::string(title) + " (" + std::to_string(count) + "):\n";
  for (const std::string& e : entries) out += "  " + e + "\n";
  if (more > 0) out += "  … y " + std::to_string(more) + " más\n";
}

}  // namespace

void RunDetail::List::Add(std::string entry) {
  if (entries.size() < kMaxEntries) {
    entries.push_back(std::move(entry));
  } else {
    ++more;
  }
}

void RunDetail::Clear() { *this = RunDetail(); }

void RunDetail::OnOrderWritten(const OrderWritten& p) {
  ++written_;
  written_list_.Add(p.prefix + " " + p.number + ", identificador " + p.order_id);
}

void RunDetail::OnOrderDropped(const OrderDropped& p) {
  ++dropped_;
  dropped_list_.Add(p.prefix + " " + p.number + ": " + OneLine(p.reason));
}

void RunDetail::OnLineDropped(const LineDropped& l) {
  ++lines_;
  lines_list_.Add("línea " + std::to_string(l.position.number) + ": " + OneLine(l.reason));
}

void RunDetail::OnOrderSkipped(const OrderSkipped& p) {
  ++existing_;
  existing_list_.Add(p.prefix + " " + p.number + ", ya grabado con el identificador " + p.order_id);
}

std::string RunDetail::Text() const {
  std::string out;
  Section(out, "Pedidos grabados", written_, written_list_.entries, written_list_.more);
  Section(out, "Pedidos no grabados", dropped_, dropped_list_.entries, dropped_list_.more);
  Section(out, "Pedidos ya importados (omitidos)", existing_, existing_list_.entries,
          existing_list_.more);
  Section(out, "Líneas descartadas", lines_, lines_list_.entries, lines_list_.more);
  return out;
}

std::string RunDetail::WithoutDroppedOrders(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    const bool dropped = line.rfind("Pedido ", 0) == 0 && line.find(" no grabado: ") != std::string::npos;
    if (!dropped) {
      if (!out.empty()) out += '\n';
      out += line;
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  return out;
}

}  // namespace imp
