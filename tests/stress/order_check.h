#pragma once
// What a company database holds after a stress run, read back and checked
// against the order files: every order whole (all the lines its file gives,
// numbered 1..n, the header's sums equal to its lines'), written once, and
// the database itself sound by `gfix -v -full`.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/stress/order_file.h"

namespace imp::testing {

// Where a company database is and SYSDBA's password there ("localhost:/..."
// goes over TCP, a plain path opens the file in this process).
struct CompanyDatabase {
  std::string database;
  std::string password;
};

struct OrderCheck {
  int64_t orders = 0;                            // header rows read
  int64_t lines = 0;                             // line rows read
  std::vector<std::string> faults;               // every fault found, in words
  std::map<OrderKey, std::vector<int64_t>> ids;  // PEDI_ID of each key written
};

// Reads PEDIDOS and PEDIDOS_DETALLE and checks each header row: its key is
// given by a file of `expected` and written once; its lines are numbered
// 1..n, n being the file's count, with the file's articles and quantities
// in the file's order; PEDI_TOTAL is the sum of PEDE_TOTAL less
// PEDI_DTOMONTO and PEDI_IVAMONTO the sum of PEDE_IVAMONTO. Lines without a
// header are faults too.
OrderCheck CheckOrders(const CompanyDatabase& base, const ExpectedOrders& expected);

// How many of the file's orders, from its first, the revision found
// written. A fault is added when a later order of the file is written too:
// a run writes its file's orders in order, so what it wrote is a prefix.
std::size_t LeadingOrders(const OrderFile& file, OrderCheck& check);

// `gfix -v -full` of the database: empty when it found nothing but page
// warnings (an orphan page left by a killed process), else its
// status and output. A server refuses to validate while it still counts the
// attachment of a client that was just killed; that is retried for a while.
std::string ValidateDatabase(const CompanyDatabase& base);

}  // namespace imp::testing
