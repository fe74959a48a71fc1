#include "tests/stress/order_check.h"

#include <unistd.h>

#include <set>
#include <sstream>

#include "db/connection.h"
#include "db/firebird.h"
#include "tests/support/shell_command.h"

namespace imp::testing {
namespace {

// A decimal column as ten-thousandths; null reads as 0.
int64_t TenThousandths(const fb::Value& v) {
  if (v.is_null()) return 0;
  int64_t value = v.integer;
  for (int scale_step = v.scale; scale_step < -4; ++scale_step) value /= 10;
  for (int scale_step = v.scale; scale_step > -4; --scale_step) value *= 10;
  return value;
}

std::string TextOf(const fb::Value& v) { return v.is_null() ? "<null>" : v.bytes; }

std::string Figure(int64_t ten_thousandths) {
  const int64_t magnitude = ten_thousandths < 0 ? -ten_thousandths : ten_thousandths;
  return std::string(ten_thousandths < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." +
         std::to_string(10000 + magnitude % 10000).substr(1);
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct LineRow {
  int64_t item;
  std::string article;
  int64_t quantity, total, vat;
};

}  // namespace

OrderCheck CheckOrders(const CompanyDatabase& base, const ExpectedOrders& expected) {
  OrderCheck check;
  std::vector<fb::Row> headers, detail;
  {
    Connection connection;
    connection.SetParam("Database", base.database);
    connection.SetParam("User_Name", "SYSDBA");
    connection.SetParam("password", base.password);
    connection.Open();
    headers = connection.Query(connection.Prepared(
        "SELECT PEDI_ID, PREF_PRE, PEDI_NUMERO, PEDI_TOTAL, PEDI_IVAMONTO, PEDI_DTOMONTO "
        "FROM PEDIDOS ORDER BY PEDI_ID"));
    detail = connection.Query(connection.Prepared(
        "SELECT PEDI_ID, PEDE_ITEM, ARTI_COD, PEDE_CANT, PEDE_TOTAL, PEDE_IVAMONTO "
        "FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM"));
  }
  check.orders = static_cast<int64_t>(headers.size());
  check.lines = static_cast<int64_t>(detail.size());

  std::map<int64_t, std::vector<LineRow>> lines;
  for (const fb::Row& f : detail) {
    lines[f[0].integer].push_back({f[1].integer, TextOf(f[2]), TenThousandths(f[3]),
                                   TenThousandths(f[4]), TenThousandths(f[5])});
  }

  std::set<int64_t> with_header;
  for (const fb::Row& f : headers) {
    const int64_t id = f[0].integer;
    const OrderKey key{TextOf(f[1]), TextOf(f[2])};
    const std::string name =
        "order " + key.first + " " + key.second + " (PEDI_ID " + std::to_string(id) + ")";
    with_header.insert(id);
    std::vector<int64_t>& ids = check.ids[key];
    ids.push_back(id);
    if (ids.size() == 2) check.faults.push_back(name + " is written more than once");

    const FileOrder* expected_order = expected.Find(key);
    if (!expected_order) {
      check.faults.push_back(name + " is given by no file");
      continue;
    }
    const std::vector<LineRow>& own = lines[id];
    if (own.size() != expected_order->lines.size()) {
      check.faults.push_back(name + " has " + std::to_string(own.size()) +
                             " lines; its file gives " +
                             std::to_string(expected_order->lines.size()));
    }
    int64_t total = 0, vat = 0;
    for (size_t i = 0; i < own.size(); ++i) {
      const LineRow& l = own[i];
      total += l.total;
      vat += l.vat;
      if (l.item != static_cast<int64_t>(i) + 1) {
        check.faults.push_back(name + ": line " + std::to_string(i + 1) + " is numbered " +
                               std::to_string(l.item));
      } else if (i < expected_order->lines.size() &&
                 (l.article != expected_order->lines[i].article ||
                  l.quantity != expected_order->lines[i].quantity)) {
        check.faults.push_back(name + ": line " + std::to_string(i + 1) + " is " + l.article +
                               " x " + Figure(l.quantity) + "; its file gives " +
                               expected_order->lines[i].article + " x " +
                               Figure(expected_order->lines[i].quantity));
      }
    }
    const int64_t header_total = TenThousandths(f[3]), header_vat = TenThousandths(f[4]);
    const int64_t discount = TenThousandths(f[5]);
    if (header_total != total - discount) {
      check.faults.push_back(name + ": PEDI_TOTAL " + Figure(header_total) + ", lines " +
                             Figure(total) + " less discount " + Figure(discount));
    }
    if (header_vat != vat) {
      check.faults.push_back(name + ": PEDI_IVAMONTO " + Figure(header_vat) + ", lines " +
                             Figure(vat));
    }
  }
  for (const auto& [id, own] : lines) {
    if (!with_header.count(id)) {
      check.faults.push_back(std::to_string(own.size()) + " lines of PEDI_ID " +
                             std::to_string(id) + " have no header");
    }
  }
  return check;
}

std::size_t LeadingOrders(const OrderFile& file, OrderCheck& check) {
  std::size_t initial = 0;
  while (initial < file.orders.size()) {
    const FileOrder& p = file.orders[initial];
    if (!check.ids.count({p.prefix, p.number})) break;
    ++initial;
  }
  for (std::size_t i = initial; i < file.orders.size(); ++i) {
    const FileOrder& p = file.orders[i];
    if (check.ids.count({p.prefix, p.number})) {
      check.faults.push_back("order " + p.prefix + " " + p.number + " (number " +
                             std::to_string(i + 1) + " of its file) is written, order " +
                             std::to_string(initial + 1) + " is not");
    }
  }
  return initial;
}

namespace {

// True when gfix found nothing but warnings. A process killed while it
// extends the database may leave an allocated page that nothing uses yet
// (an orphan page): gfix counts it as a page warning; space, not data, is
// lost. Any error count, or any other line, is a finding.
bool OnlyWarnings(const std::string& out) {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line == "Summary of validation errors") continue;
    const std::size_t colon = line.rfind(':');
    const bool is_count =
        line.find("Number of ") != std::string::npos && colon != std::string::npos;
    if (!is_count) return false;
    const bool warning = line.find("warning") != std::string::npos;
    const bool zero = line.find_first_not_of(" \t0", colon + 1) == std::string::npos;
    if (!warning && !zero) return false;
  }
  return true;
}

}  // namespace

std::string ValidateDatabase(const CompanyDatabase& base) {
  const std::string command =
      "gfix -v -full -user SYSDBA -password " + Quoted(base.password) + " " + Quoted(base.database);
  std::string out;
  int status = -1;
  // At most 10 s of retries: the server drops a dead client's attachment as
  // soon as it notices the closed socket.
  for (int attempt = 0; attempt < 100; ++attempt) {
    status = RunShellCommand(command, out);
    if (out.find("cannot validate") == std::string::npos) break;
    usleep(100 * 1000);
  }
  if (status == 0 && OnlyWarnings(out)) return "";
  return "gfix -v -full exited " + std::to_string(status) + ":\n" + out;
}

}  // namespace imp::testing
