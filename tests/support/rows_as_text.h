#pragma once
// Reading a test database back: every row of a statement, each column by
// name as the text the module's sets give (null reads "").

#include <map>
#include <string>
#include <vector>

#include "db/connection.h"
#include "values/regional_settings.h"

namespace imp::testing {

using TextRow = std::map<std::string, std::string>;

// Runs `sql` on a connection of its own that `configure` points at the
// database, and returns its rows.
template <typename Configure>
std::vector<TextRow> RowsAsText(const Configure& configure, const RegionalSettings& rs,
                                const std::string& sql);

std::vector<TextRow> RowsAsText(Connection& connection, const RegionalSettings& rs,
                                const std::string& sql);

template <typename Configure>
std::vector<TextRow> RowsAsText(const Configure& configure, const RegionalSettings& rs,
                                const std::string& sql) {
  Connection connection;
  configure(connection);
  return RowsAsText(connection, rs, sql);
}

}  // namespace imp::testing
