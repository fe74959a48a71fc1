#include "db/combined_lookups.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include <firebird/Interface.h>

#include "db/connection.h"
#include "values/conversions.h"
#include "values/failure.h"

namespace imp {
namespace {

struct CharacterSet {
  int id;
  const char* name;
  int bytes_per_character;
};

// The character sets a text declaration may name.
constexpr CharacterSet kCharacterSets[] = {
    {0, "NONE", 1},      {1, "OCTETS", 1},      {2, "ASCII", 1},       {3, "UNICODE_FSS", 3},
    {4, "UTF8", 4},      {21, "ISO8859_1", 1},  {51, "WIN1250", 1},    {52, "WIN1251", 1},
    {53, "WIN1252", 1},
};

std::string Name(const char* prefix, size_t lookup, const char* kind, size_t n) {
  std::string name(prefix);
  name.append(std::to_string(lookup)).append("_").append(kind).append(std::to_string(n));
  return name;
}
std::string RowFlag(size_t lookup) {
  std::string name("Q");
  name.append(std::to_string(lookup)).append("_R");
  return name;
}
std::string KeyName(size_t lookup, size_t key) { return Name("Q", lookup, "K", key); }
std::string ColumnName(size_t lookup, size_t column) { return Name("Q", lookup, "C", column); }

bool SameType(const fb::Column& a, const fb::Column& b) {
  return a.sql_type == b.sql_type && a.scale == b.scale && a.length == b.length &&
         a.sub_type == b.sub_type && a.charset == b.charset;
}

// `sql` with its "?" marks (outside quotes) replaced by lookup's keys.
std::string WithKeys(const std::string& sql, size_t lookup) {
  std::string out;
  size_t key = 0;
  char quote = 0;
  for (char c : sql) {
    if (quote) {
      if (c == quote) quote = 0;
      out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c == '?') {
      out.append(":").append(KeyName(lookup, key++));
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> DeclaredType(const fb::Column& c) {
  const int digits = c.sql_type == SQL_SHORT ? 4 : c.sql_type == SQL_LONG ? 9 : 18;
  switch (c.sql_type) {
    case SQL_TEXT:
    case SQL_VARYING: {
      const CharacterSet* cs = nullptr;
      for (const CharacterSet& k : kCharacterSets)
        if (k.id == c.charset) cs = &k;
      if (!cs || c.length <= 0 || c.length % cs->bytes_per_character != 0) return std::nullopt;
      return std::string(c.sql_type == SQL_TEXT ? "CHAR(" : "VARCHAR(") +
             std::to_string(c.length / cs->bytes_per_character) + ") CHARACTER SET " + cs->name;
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (c.scale == 0 && c.sub_type == 0)
        return c.sql_type == SQL_SHORT ? "SMALLINT" : c.sql_type == SQL_LONG ? "INTEGER" : "BIGINT";
      return std::string(c.sub_type == 2 ? "DECIMAL(" : "NUMERIC(") + std::to_string(digits) + "," +
             std::to_string(-c.scale) + ")";
    case SQL_FLOAT: return "FLOAT";
    case SQL_DOUBLE: return "DOUBLE PRECISION";
    case SQL_TYPE_DATE: return "DATE";
    case SQL_TIMESTAMP: return "TIMESTAMP";
    case SQL_TYPE_TIME: return "TIME";
    case SQL_BOOLEAN: return "BOOLEAN";
    default: return std::nullopt;
  }
}

namespace {

// `text` with its placeholders made names of the block: {inN} the block's
// input N, {kN} key N of lookup `lookup`, {J.NAME} column NAME of an earlier
// lookup J. None for a placeholder that names nothing.
std::optional<std::string> Substitute(const std::string& text, size_t lookup, size_t input_count,
                                      const std::vector<std::vector<fb::Column>>& columns) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '{') {
      out += text[i++];
      continue;
    }
    const size_t end = text.find('}', i);
    if (end == std::string::npos) return std::nullopt;
    const std::string mark = text.substr(i + 1, end - i - 1);
    i = end + 1;
    const size_t dot = mark.find('.');
    if (mark.rfind("in", 0) == 0) {
      const size_t n = std::strtoul(mark.c_str() + 2, nullptr, 10);
      if (n >= input_count) return std::nullopt;
      out += "IN_" + std::to_string(n);
    } else if (mark.rfind("k", 0) == 0) {
      out += KeyName(lookup, std::strtoul(mark.c_str() + 1, nullptr, 10));
    } else if (dot != std::string::npos) {
      const size_t from = std::strtoul(mark.substr(0, dot).c_str(), nullptr, 10);
      if (from >= lookup) return std::nullopt;
      const std::string name = mark.substr(dot + 1);
      auto it = std::find_if(columns[from].begin(), columns[from].end(),
                             [&](const fb::Column& c) { return SameNameIgnoringCase(c.name, name); });
      if (it == columns[from].end()) return std::nullopt;
      out += ColumnName(from, static_cast<size_t>(it - columns[from].begin()));
    } else {
      return std::nullopt;
    }
  }
  return out;
}

// The block's inputs, each declared with the type of the lookup key it
// stands for; none when one names no key or has no type to declare.
std::optional<std::string> BlockInputs(const std::vector<CombinedLookups::InputType>& types,
                                       const std::vector<std::vector<fb::Column>>& keys) {
  std::string inputs;
  for (size_t n = 0; n < types.size(); ++n) {
    const CombinedLookups::InputType& t = types[n];
    if (t.lookup < 0 || static_cast<size_t>(t.lookup) >= keys.size() || t.key < 0 ||
        static_cast<size_t>(t.key) >= keys[t.lookup].size())
      return std::nullopt;
    std::optional<std::string> type = DeclaredType(keys[t.lookup][t.key]);
    if (!type) return std::nullopt;
    inputs += (n ? ", " : "") + std::string("IN_") + std::to_string(n) + " " + *type + " = ?";
  }
  return inputs;
}

}  // namespace

CombinedLookups::CombinedLookups(std::vector<CombinedLookup> lookups, std::vector<InputType> inputs)
    : lookups_(std::move(lookups)), inputs_(std::move(inputs)) {}

bool CombinedLookups::Prepare(Connection& connection) {
  prepared_for_ = connection.opens();
  usable_ = false;
  block_sql_.clear();
  columns_.clear();
  direct_input_.clear();

  // Each lookup's own statement, for the types of its keys and columns.
  std::vector<std::vector<fb::Column>> keys, columns;
  for (const CombinedLookup& l : lookups_) {
    fb::Statement& own = connection.Prepared(l.sql);
    if (!own.returns_rows() || own.parameters().size() != l.keys.size()) return false;
    keys.push_back(own.parameters());
    columns.push_back(own.columns());
  }

  const std::optional<std::string> inputs = BlockInputs(inputs_, keys);
  if (!inputs) return false;
  std::string outputs, body;
  std::vector<fb::Column> expected;  // the block's columns, in order
  for (size_t j = 0; j < lookups_.size(); ++j) {
    const CombinedLookup& l = lookups_[j];
    outputs += (j ? ",\n  " : "  ") + RowFlag(j) + " SMALLINT";
    expected.push_back(fb::Column{"", SQL_SHORT, 0, 2, 0, 0});
    std::vector<int> direct;
    std::string run;
    for (size_t k = 0; k < l.keys.size(); ++k) {
      std::optional<std::string> type = DeclaredType(keys[j][k]);
      std::optional<std::string> value = Substitute(l.keys[k], j, inputs_.size(), columns);
      if (!type || !value) return false;
      outputs += ", " + KeyName(j, k) + " " + *type;
      expected.push_back(keys[j][k]);
      run += "  " + KeyName(j, k) + " = " + *value + ";\n";
      int input = -1;
      if (l.keys[k].rfind("{in", 0) == 0 && l.keys[k].back() == '}' &&
          l.keys[k].find('{', 1) == std::string::npos)
        input = std::atoi(l.keys[k].c_str() + 3);
      direct.push_back(input);
    }
    std::string into;
    for (size_t c = 0; c < columns[j].size(); ++c) {
      std::optional<std::string> type = DeclaredType(columns[j][c]);
      if (!type) return false;
      outputs += ", " + ColumnName(j, c) + " " + *type;
      expected.push_back(columns[j][c]);
      into += (c ? ", :" : ":") + ColumnName(j, c);
    }
    if (columns[j].empty()) return false;
    std::string select = "  " + RowFlag(j) + " = 0;\n  FOR " + WithKeys(l.sql, j) + "\n    INTO " +
                         into + "\n  DO BEGIN " + RowFlag(j) + " = 1; LEAVE; END\n";
    if (!l.condition.empty()) {
      std::optional<std::string> condition = Substitute(l.condition, j, inputs_.size(), columns);
      if (!condition) return false;
      select = "  IF (" + *condition + ") THEN\n  BEGIN\n" + select + "  END\n";
    }
    body += run + select;
    direct_input_.push_back(std::move(direct));
  }
  const std::string block = "EXECUTE BLOCK (" + *inputs + ")\nRETURNS (\n" + outputs +
                            ")\nAS\nBEGIN\n" + body + "  SUSPEND;\nEND";

  fb::Statement& statement = connection.Prepared(block);
  const std::vector<fb::Column>& got = statement.columns();
  if (got.size() != expected.size() || statement.parameters().size() != inputs_.size())
    return false;
  for (size_t i = 0; i < got.size(); ++i)
    if (!SameType(got[i], expected[i])) return false;
  block_sql_ = block;
  for (std::vector<fb::Column>& c : columns)
    columns_.push_back(std::make_shared<const std::vector<fb::Column>>(std::move(c)));
  usable_ = true;
  return true;
}

std::vector<LookupAnswer> CombinedLookups::Run(Connection& connection,
                                               const std::vector<fb::Value>& inputs) {
  if (!connection.connected() || inputs.size() != inputs_.size()) return {};
  try {
    if (prepared_for_ != connection.opens()) Prepare(connection);
    if (!usable_) return {};
    fb::Statement& block = connection.Prepared(block_sql_);
    block.ClearParams();
    for (size_t i = 0; i < inputs.size(); ++i) block.SetParam(static_cast<int>(i), inputs[i]);
    std::vector<fb::Row> rows = connection.Query(block);
    if (rows.size() != 1) return {};
    fb::Row& row = rows.front();

    std::vector<LookupAnswer> answers;
    size_t at = 0;
    for (size_t j = 0; j < lookups_.size(); ++j) {
      const fb::Value& flag = row[at];
      const size_t keys_at = at + 1, columns_at = keys_at + direct_input_[j].size();
      at = columns_at + columns_[j]->size();
      if (flag.is_null()) continue;  // the lookup did not run
      LookupAnswer& answer = answers.emplace_back();
      answer.sql = lookups_[j].sql;
      answer.columns = columns_[j];
      for (size_t k = 0; k < direct_input_[j].size(); ++k) {
        const int input = direct_input_[j][k];
        answer.keys.push_back(input >= 0 ? inputs[static_cast<size_t>(input)]
                                         : std::move(row[keys_at + k]));
      }
      if (flag.integer == 1) {
        auto first = row.begin() + static_cast<std::ptrdiff_t>(columns_at);
        auto end = row.begin() + static_cast<std::ptrdiff_t>(at);
        answer.rows.emplace_back(std::make_move_iterator(first), std::make_move_iterator(end));
      }
    }
    return answers;
  } catch (const Failure&) {
    // Left to the lookups themselves, which raise it where it belongs.
    return {};
  }
}

}  // namespace imp
