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

// Header fields in order. The entry named "TPeddetalle" is the slot of the
// header's nested lines: it is listed so that positions match the record's
// field order, but it holds no value, is never required and is never written
// (the store keeps the lines beside the header).
extern const std::array<FieldDef, kHeaderFieldCount> kHeaderFields;
// Line fields in order.
extern const std::array<FieldDef, kLineFieldCount> kLineFields;

// Position of the nested line set among the header fields.
inline constexpr std::size_t kNestedLinesSlot = 38;
inline constexpr std::string_view kNestedLinesName = "TPeddetalle";

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
