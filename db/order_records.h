#pragma once
// The two record formats of the order store: the order header (one row of
// PEDIDOS) and the order line (one row of PEDIDOS_DETALLE), field by field in
// the store's order, and OrderRecord, one in-memory row made of those fields.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "values/field.h"

namespace imp {

inline constexpr std::size_t kHeaderFieldCount = 41;
inline constexpr std::size_t kLineFieldCount = 30;

// Short names for the tables below.
namespace column_types {
inline constexpr FieldType kInt = FieldType::kInteger;
inline constexpr FieldType kSmall = FieldType::kSmallInt;
inline constexpr FieldType kText = FieldType::kText;
inline constexpr FieldType kChar = FieldType::kFixedText;
inline constexpr FieldType kDec = FieldType::kDecimal;
inline constexpr FieldType kFloat = FieldType::kFloat;
inline constexpr FieldType kDate = FieldType::kDate;
inline constexpr FieldType kBlob = FieldType::kBlob;
}  // namespace column_types

// Header fields in order. The entry named "TPeddetalle" is the slot of the
// header's nested lines: it is listed so that positions match the record's
// field order, but it holds no value, is never required and is never written
// (the store keeps the lines beside the header).
inline constexpr std::array<FieldDef, kHeaderFieldCount> kHeaderFields = {{
    {"PEDI_ID", column_types::kInt, 0, true},
    {"TERC_NIT", column_types::kText, 20, true},
    {"VEND_COD", column_types::kInt, 0, true},
    {"TIDO_COD", column_types::kInt, 0, true},
    {"PREF_PRE", column_types::kText, 4, true},
    {"PEDI_NUMERO", column_types::kText, 6, true},
    {"PEDI_FECHA", column_types::kDate, 0, true},
    {"PEDI_VALIDEZ", column_types::kInt, 0, false},
    {"PEDI_DESPACHO", column_types::kText, 255, false},
    {"PEDI_OBS", column_types::kBlob, 0, false},
    {"PEDI_IVAINC", column_types::kChar, 1, true},
    {"PEDI_NOMTERC", column_types::kText, 60, false},
    {"PEDI_DTOPOR", column_types::kDec, 4, false},
    {"PEDI_DTOMONTO", column_types::kDec, 2, false},
    {"PEDI_ADICIONAL", column_types::kDec, 2, false},
    {"PEDI_IVAMONTO", column_types::kDec, 2, false},
    {"PEDI_EXTRA", column_types::kDec, 2, false},
    {"PEDI_TOTAL", column_types::kDec, 2, false},
    {"PEDI_ANULADO", column_types::kChar, 1, false},
    {"PEDI_TRANSMIT", column_types::kChar, 1, false},
    {"PTVT_ID", column_types::kInt, 0, false},
    {"PEDI_COTIZACI", column_types::kText, 30, false},
    {"PEDI_RTFTEPORC", column_types::kDec, 4, false},
    {"PEDI_RTFTEMONTO", column_types::kDec, 2, false},
    {"PEDI_RTIVAPORC", column_types::kDec, 4, false},
    {"PEDI_RTIVAMONTO", column_types::kDec, 2, false},
    {"PEDI_RTICAPORC", column_types::kDec, 4, false},
    {"PEDI_RTICAMONTO", column_types::kDec, 2, false},
    {"PEDI_NROCOPIA", column_types::kInt, 0, false},
    {"PEDI_CONSOLIDA", column_types::kInt, 0, false},
    {"PEDI_USUARIO", column_types::kText, 10, false},
    {"PEDI_SUCURSAL", column_types::kText, 10, false},
    {"NUMOK", column_types::kChar, 1, false},
    {"PEDI_FACTOR", column_types::kFloat, 0, false},
    {"PEDI_TRM", column_types::kDec, 2, false},
    {"PEDI_DTOIT1", column_types::kDec, 2, false},
    {"PEDI_DTOIT2", column_types::kDec, 2, false},
    {"PEDI_DTOIT3", column_types::kDec, 2, false},
    {"TPeddetalle", column_types::kBlob, 0, false},
    {"PEDI_VENCE", column_types::kDate, 0, false},
    {"PEDI_DIASCR", column_types::kSmall, 0, false},
}};

// Line fields in order.
inline constexpr std::array<FieldDef, kLineFieldCount> kLineFields = {{
    {"PEDI_ID", column_types::kInt, 0, true},
    {"PEDE_ITEM", column_types::kInt, 0, true},
    {"ARTI_COD", column_types::kText, 15, true},
    {"PEDE_CANT", column_types::kDec, 4, false},
    {"PEDE_UNIDAD", column_types::kText, 8, false},
    {"PEDE_DTOPORC", column_types::kDec, 4, false},
    {"PEDE_DTOMONTO", column_types::kDec, 2, false},
    {"PEDE_IVAPORC", column_types::kDec, 4, false},
    {"PEDE_IVAMONTO", column_types::kDec, 2, false},
    {"PEDE_CONSUMO", column_types::kDec, 2, false},
    {"PEDE_FACTOR", column_types::kDec, 4, false},
    {"PEDE_DESC", column_types::kText, 255, false},
    {"PEDE_OBS", column_types::kBlob, 0, false},
    {"PEDE_CODBAR", column_types::kText, 15, false},
    {"PEDE_TOTAL", column_types::kDec, 2, false},
    {"PEDE_ANULADO", column_types::kChar, 1, false},
    {"PEDE_TRANSMIT", column_types::kChar, 1, false},
    {"LIPR_COD", column_types::kInt, 0, false},
    {"PEDE_REFERENCIA", column_types::kText, 60, false},
    {"PEDE_PRUNIT", column_types::kDec, 2, false},
    {"PEDE_FACTURAD", column_types::kDec, 4, false},
    {"PEDE_REMISIONAD", column_types::kDec, 4, false},
    {"PEDE_RESERVA", column_types::kDec, 4, false},
    {"BODE_COD", column_types::kText, 2, false},
    {"PEDE_DTO1", column_types::kDec, 4, false},
    {"PEDE_DTO2", column_types::kDec, 4, false},
    {"PEDE_DTO3", column_types::kDec, 4, false},
    {"PEDE_DTOM1", column_types::kDec, 2, false},
    {"PEDE_DTOM2", column_types::kDec, 2, false},
    {"PEDE_DTOM3", column_types::kDec, 2, false},
}};

// Positions the store reaches fields by; each is checked below against the
// table it indexes, so a column moved in a table cannot go unnoticed.
inline constexpr std::size_t kHeaderId = 0;
inline constexpr std::size_t kHeaderPrefix = 4;
inline constexpr std::size_t kHeaderNumber = 5;
inline constexpr std::size_t kNestedLinesSlot = 38;
inline constexpr std::size_t kLineId = 0;
inline constexpr std::size_t kLineItem = 1;
inline constexpr std::size_t kLineVat = 8;
inline constexpr std::size_t kLineTotal = 14;
inline constexpr std::size_t kLineCancelled = 15;
inline constexpr std::size_t kLineTransmit = 16;

inline constexpr std::string_view kNestedLinesName = "TPeddetalle";

// True when `table` holds the column `name` at `position`.
template <std::size_t N>
constexpr bool HoldsAt(const std::array<FieldDef, N>& table, std::size_t position,
                       std::string_view name) {
  return position < N && std::string_view(table[position].name) == name;
}

static_assert(HoldsAt(kHeaderFields, kHeaderId, "PEDI_ID"));
static_assert(HoldsAt(kHeaderFields, kHeaderPrefix, "PREF_PRE"));
static_assert(HoldsAt(kHeaderFields, kHeaderNumber, "PEDI_NUMERO"));
static_assert(HoldsAt(kHeaderFields, kNestedLinesSlot, kNestedLinesName));
static_assert(HoldsAt(kLineFields, kLineId, "PEDI_ID"));
static_assert(HoldsAt(kLineFields, kLineItem, "PEDE_ITEM"));
static_assert(HoldsAt(kLineFields, kLineVat, "PEDE_IVAMONTO"));
static_assert(HoldsAt(kLineFields, kLineTotal, "PEDE_TOTAL"));
static_assert(HoldsAt(kLineFields, kLineCancelled, "PEDE_ANULADO"));
static_assert(HoldsAt(kLineFields, kLineTransmit, "PEDE_TRANSMIT"));

// The line column `name`, as the store defines it; a name that is not one
// of kLineFields' does not compile.
consteval const FieldDef& LineColumn(std::string_view name) {
  for (const FieldDef& def : kLineFields) {
    if (std::string_view(def.name) == name) return def;
  }
  throw "not a column of the order line";
}

// True for the header's nested-lines slot.
bool IsNestedSlot(const FieldDef& def);

// One row of the store: a Field per definition, in the definitions' order.
// The definitions must outlive the record (the tables above are static).
class OrderRecord {
 public:
  explicit OrderRecord(std::span<const FieldDef> defs);

  std::size_t size() const { return fields_.size(); }
  Field& at(std::size_t i) { return fields_.at(i); }
  const Field& at(std::size_t i) const { return fields_.at(i); }

  // The field of that name, compared without regard to ASCII case (as the
  // database compares unquoted names); nullptr when there is none.
  Field* Find(std::string_view name);
  const Field* Find(std::string_view name) const;

  // The first required field, in field order, that holds no value; nullptr
  // when every required field has one.
  const Field* FirstMissingRequired() const;

 private:
  std::vector<Field> fields_;
};

// Makes `to` hold what `from` holds, including "never received a value".
// Both must be integer fields.
void CopyIntegerField(const Field& from, Field& to);

}  // namespace imp
