#pragma once
// Between the order store's records and the database: a row's columns put
// into a record's fields, and a record's fields bound as a statement's
// parameters, each value converted as its column needs.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "db/firebird.h"
#include "db/order_records.h"
#include "values/field.h"
#include "values/text_encoding.h"

namespace imp {

// Fails with "<set>: Campo '<name>' no encontrado".
[[noreturn]] void FailNoField(const char* set_name, std::string_view name);

// Puts a value read from the database into a field of a read row: scaled
// integers and texts through the field's own text conversion (with '.' as
// the separator), so a read row holds what a typed one would.
void SetFromDatabase(Field& field, const fb::Value& v);

// The parameter a field's value goes to the database as (null when it holds
// none). A decimal goes as an integer with the value's own scale, which the
// server brings to the column's; one beyond a scaled 64-bit integer goes as
// text, which the server converts the same way.
fb::Value ToParam(const Field& field);

// For each field of `record`, the position of its column in `columns` (-1
// for the nested-lines slot, which has none); fails with FailNoField naming
// the first field without one.
std::vector<int> MapColumns(const std::vector<fb::Column>& columns, const OrderRecord& record,
                            const char* set_name);

// Fills `record` from `row` by the positions MapColumns gave.
void LoadRecord(OrderRecord& record, const fb::Row& row, const std::vector<int>& positions);

// The positions of the fields of `record` that received a value: the
// columns a row's own INSERT names.
std::vector<std::size_t> AssignedColumns(const OrderRecord& record);

// The INSERT naming `columns` of `record`. Only the table's and the fields'
// names go into the text; values are bound.
std::string InsertSql(const char* table, const OrderRecord& record,
                      const std::vector<std::size_t>& columns);

// Binds `columns` of `record` to the parameters of `statement` from
// `position` on (a field that received no value as null); returns the
// position after the last. A text for a column without a character set
// keeps the whole characters of `encoding` that fit its length in bytes.
int BindRecord(fb::Statement& statement, int position, const OrderRecord& record,
               const std::vector<std::size_t>& columns, TextEncoding encoding);

}  // namespace imp
