#include "db/importer_presence.h"

#include <algorithm>
#include <map>
#include <set>

#include "db/connection.h"
#include "db/firebird.h"

namespace imp {
namespace {

constexpr char kVariable[] = "IMPORTA_PEDIDOS";

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

void AnnounceImporter(Connection& connection) {
  fb::Statement& mark = connection.Prepared(
      "SELECT RDB$SET_CONTEXT('USER_SESSION', 'IMPORTA_PEDIDOS', 'importando') FROM RDB$DATABASE");
  mark.ClearParams();
  connection.Query(mark);
}

std::vector<std::string> OtherImporters(Connection& connection) {
  // The monitoring tables are a snapshot taken once per transaction: a
  // transaction of its own sees the attachments as they are now.
  fb::Transaction look = connection.StartTransaction();
  fb::Statement& others = connection.Prepared(
      "SELECT a.MON$REMOTE_PID, a.MON$REMOTE_ADDRESS, a.MON$TIMESTAMP, a.MON$USER "
      "FROM MON$CONTEXT_VARIABLES v JOIN MON$ATTACHMENTS a ON a.MON$ATTACHMENT_ID = "
      "v.MON$ATTACHMENT_ID WHERE v.MON$VARIABLE_NAME = ? AND "
      "v.MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
  others.ClearParams();
  others.SetParam(0, fb::Value::Text(kVariable));
  std::vector<std::string> found;
  for (const fb::Row& row : connection.Query(others, &look)) {
    std::string who = "proceso " + (row[0].is_null() ? std::string("?") : std::to_string(row[0].integer));
    if (!row[1].is_null() && !row[1].bytes.empty()) who += " en " + Trimmed(row[1].bytes);
    if (!row[3].is_null()) who += " (usuario " + Trimmed(row[3].bytes) + ")";
    found.push_back(who);
  }
  look.Commit();
  return found;
}

bool HasOrderKeyIndex(Connection& connection) {
  fb::Statement& segments = connection.Prepared(
      "SELECT s.RDB$INDEX_NAME, s.RDB$FIELD_NAME, s.RDB$FIELD_POSITION FROM RDB$INDICES i "
      "JOIN RDB$INDEX_SEGMENTS s ON s.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
      "WHERE i.RDB$RELATION_NAME = 'PEDIDOS' AND COALESCE(i.RDB$INDEX_INACTIVE, 0) = 0 "
      "ORDER BY s.RDB$INDEX_NAME, s.RDB$FIELD_POSITION");
  segments.ClearParams();
  std::map<std::string, std::vector<std::string>> indices;
  for (const fb::Row& row : connection.Query(segments)) {
    indices[Trimmed(row[0].bytes)].push_back(Trimmed(row[1].bytes));
  }
  const std::set<std::string> key{"PREF_PRE", "PEDI_NUMERO"};
  const std::set<std::string> with_type{"TIDO_COD", "PREF_PRE", "PEDI_NUMERO"};
  for (const auto& [name, columns] : indices) {
    for (const std::set<std::string>* wanted : {&key, &with_type}) {
      if (columns.size() < wanted->size()) continue;
      const std::set<std::string> leading(columns.begin(),
                                          columns.begin() + static_cast<long>(wanted->size()));
      if (leading == *wanted) return true;
    }
  }
  return false;
}

}  // namespace imp
