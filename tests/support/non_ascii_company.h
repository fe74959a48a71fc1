#pragma once
// A company whose master data and orders hold texts beyond ASCII (Ñ, é, ü,
// €), for the same import into databases of each default character set:
// the data to add, the order file, and what PEDIDOS and PEDIDOS_DETALLE
// must hold afterwards, all given as UTF-8.

#include <string>
#include <vector>

#include "tests/support/fresh_database.h"

namespace imp::testing {

// Adds article "Ñ01" (priced in list 1) and customer 900 with branch "SÑ"
// to a demo company of default character set `charset`. A NONE database
// gets the Windows-1252 bytes, as the company's own programs write them.
void AddNonAsciiData(const FreshDatabase& db, const std::string& charset);

// Three orders of prefix PV numbered from `first`: a name with é, ü and €,
// a name of 70 "Ñ" (its column holds 60), and an ASCII one, each with one
// line of article Ñ01 (the last of ART0004), customer 900, branch SÑ.
std::string NonAsciiOrders(int first);

// The orders as they must read back through ImportedTexts.
std::vector<std::string> ExpectedTexts(int first);

// For each imported order, in number order: number, name, its length in
// characters, branch, VAT-included flag (a CHAR(1)), article, description.
// `charset` is the connection's; database and password as in Query.
std::vector<std::string> ImportedTexts(const FreshDatabase& db, const std::string& charset,
                                       const std::string& database = "",
                                       const std::string& password = "masterkey");

// `utf8` in Windows-1252 (every character must have a byte there).
std::string ToWin1252(const std::string& utf8);

}  // namespace imp::testing
