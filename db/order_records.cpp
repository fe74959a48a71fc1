#include "db/order_records.h"

#include <cstdint>
#include <variant>

#include "values/conversions.h"

namespace imp {

bool IsNestedSlot(const FieldDef& def) { return &def == &kHeaderFields[kNestedLinesSlot]; }

OrderRecord::OrderRecord(std::span<const FieldDef> defs) {
  fields_.reserve(defs.size());
  for (const FieldDef& def : defs) fields_.emplace_back(def);
}

Field* OrderRecord::Find(std::string_view name) {
  for (Field& f : fields_)
    if (SameNameIgnoringCase(f.name(), name)) return &f;
  return nullptr;
}

const Field* OrderRecord::Find(std::string_view name) const {
  return const_cast<OrderRecord*>(this)->Find(name);
}

const Field* OrderRecord::FirstMissingRequired() const {
  for (const Field& f : fields_)
    if (f.def().required && f.is_null()) return &f;
  return nullptr;
}

void CopyIntegerField(const Field& from, Field& to) {
  if (!from.assigned()) {
    to.Reset();
  } else if (from.is_null()) {
    to.SetNull();
  } else {
    to.SetInteger(std::get<int64_t>(from.value()));
  }
}

}  // namespace imp
