#pragma once
// agregue_linea: adds one priced article line to the order being built in
// the store, or discards it when the article is not valid.

#include <cstdint>
#include <string>

#include "import/valores_registro.h"
#include "values/date.h"
#include "values/regional_settings.h"

namespace imp {

class OrderStore;
class Tfdm;

// What the line step needs besides the record values: the database module,
// the store holding the current order (a header must have been begun), the
// run's warehouse and rounding exponent, and the conversions' settings.
struct LineContext {
  Tfdm& fdm;
  OrderStore& store;
  const std::string& bodega_pedido;
  int32_t exponente_redondeo;
  const RegionalSettings& rs;
  Date today;
};

// Begins a line in the store (which numbers it), validates the record's
// article, takes taxes, unit, factor, quantity, price, discounts and the
// customer's price list, prices the line and posts it. Returns true when
// the line was posted; false when the article was not valid, the line then
// discarded with its number used up. Conversion, lookup and arithmetic
// failures are raised with the line left unposted in the store.
bool agregue_linea(const LineContext& ctx, const TValoresRegistro& values);

}  // namespace imp
