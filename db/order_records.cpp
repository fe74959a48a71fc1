#include "db/order_records.h"

#include <cstdint>
#include <variant>

#include "values/conversions.h"

namespace imp {

namespace {
constexpr FieldType kInt = FieldType::kInteger;
constexpr FieldType kSmall = FieldType::kSmallInt;
constexpr FieldType kText = FieldType::kText;
constexpr FieldType kChar = FieldType::kFixedText;
constexpr FieldType kDec = FieldType::kDecimal;
constexpr FieldType kFloat = FieldType::kFloat;
constexpr FieldType kDate = FieldType::kDate;
constexpr FieldType kBlob = FieldType::kBlob;
}  // namespace

const std::array<FieldDef, kHeaderFieldCount> kHeaderFields = {{
    {"PEDI_ID", kInt, 0, true},
    {"TERC_NIT", kText, 20, true},
    {"VEND_COD", kInt, 0, true},
    {"TIDO_COD", kInt, 0, true},
    {"PREF_PRE", kText, 4, true},
    {"PEDI_NUMERO", kText, 6, true},
    {"PEDI_FECHA", kDate, 0, true},
    {"PEDI_VALIDEZ", kInt, 0, false},
    {"PEDI_DESPACHO", kText, 255, false},
    {"PEDI_OBS", kBlob, 0, false},
    {"PEDI_IVAINC", kChar, 1, true},
    {"PEDI_NOMTERC", kText, 60, false},
    {"PEDI_DTOPOR", kDec, 4, false},
    {"PEDI_DTOMONTO", kDec, 2, false},
    {"PEDI_ADICIONAL", kDec, 2, false},
    {"PEDI_IVAMONTO", kDec, 2, false},
    {"PEDI_EXTRA", kDec, 2, false},
    {"PEDI_TOTAL", kDec, 2, false},
    {"PEDI_ANULADO", kChar, 1, false},
    {"PEDI_TRANSMIT", kChar, 1, false},
    {"PTVT_ID", kInt, 0, false},
    {"PEDI_COTIZACI", kText, 30, false},
    {"PEDI_RTFTEPORC", kDec, 4, false},
    {"PEDI_RTFTEMONTO", kDec, 2, false},
    {"PEDI_RTIVAPORC", kDec, 4, false},
    {"PEDI_RTIVAMONTO", kDec, 2, false},
    {"PEDI_RTICAPORC", kDec, 4, false},
    {"PEDI_RTICAMONTO", kDec, 2, false},
    {"PEDI_NROCOPIA", kInt, 0, false},
    {"PEDI_CONSOLIDA", kInt, 0, false},
    {"PEDI_USUARIO", kText, 10, false},
    {"PEDI_SUCURSAL", kText, 10, false},
    {"NUMOK", kChar, 1, false},
    {"PEDI_FACTOR", kFloat, 0, false},
    {"PEDI_TRM", kDec, 2, false},
    {"PEDI_DTOIT1", kDec, 2, false},
    {"PEDI_DTOIT2", kDec, 2, false},
    {"PEDI_DTOIT3", kDec, 2, false},
    {"TPeddetalle", kBlob, 0, false},
    {"PEDI_VENCE", kDate, 0, false},
    {"PEDI_DIASCR", kSmall, 0, false},
}};

const std::array<FieldDef, kLineFieldCount> kLineFields = {{
    {"PEDI_ID", kInt, 0, true},
    {"PEDE_ITEM", kInt, 0, true},
    {"ARTI_COD", kText, 15, true},
    {"PEDE_CANT", kDec, 4, false},
    {"PEDE_UNIDAD", kText, 8, false},
    {"PEDE_DTOPORC", kDec, 4, false},
    {"PEDE_DTOMONTO", kDec, 2, false},
    {"PEDE_IVAPORC", kDec, 4, false},
    {"PEDE_IVAMONTO", kDec, 2, false},
    {"PEDE_CONSUMO", kDec, 2, false},
    {"PEDE_FACTOR", kDec, 4, false},
    {"PEDE_DESC", kText, 255, false},
    {"PEDE_OBS", kBlob, 0, false},
    {"PEDE_CODBAR", kText, 15, false},
    {"PEDE_TOTAL", kDec, 2, false},
    {"PEDE_ANULADO", kChar, 1, false},
    {"PEDE_TRANSMIT", kChar, 1, false},
    {"LIPR_COD", kInt, 0, false},
    {"PEDE_REFERENCIA", kText, 60, false},
    {"PEDE_PRUNIT", kDec, 2, false},
    {"PEDE_FACTURAD", kDec, 4, false},
    {"PEDE_REMISIONAD", kDec, 4, false},
    {"PEDE_RESERVA", kDec, 4, false},
    {"BODE_COD", kText, 2, false},
    {"PEDE_DTO1", kDec, 4, false},
    {"PEDE_DTO2", kDec, 4, false},
    {"PEDE_DTO3", kDec, 4, false},
    {"PEDE_DTOM1", kDec, 2, false},
    {"PEDE_DTOM2", kDec, 2, false},
    {"PEDE_DTOM3", kDec, 2, false},
}};

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
