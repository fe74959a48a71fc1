#include "import/agregue_linea.h"

#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/line_pricing.h"
#include "import/pricing.h"
#include "values/conversions.h"

namespace imp {
namespace {

// The line being built in the store, read and written as texts with the
// run's conversions' settings.
struct StoreLine {
  const LineContext& ctx;

  Field& field(const char* name) const { return ctx.store.LineField(name); }
  std::string text(const char* name) const { return field(name).AsText(ctx.rs); }
  void Set(const char* name, const std::string& value) const {
    field(name).SetText(value, ctx.rs, ctx.today);
  }
};

// Begins the line with the code as the file gives it (cut by the column)
// and looks up the article behind that code. False, the line discarded,
// when the article is not valid.
bool BeginWithArticle(const StoreLine& line, const TValoresRegistro& values) {
  line.ctx.store.BeginLine();
  line.Set("PEDE_CODBAR", values.ARTI_COD);
  if (!line.ctx.fdm.valide_articulo(line.text("PEDE_CODBAR"), line.field("ARTI_COD"),
                                    line.field("PEDE_DESC"), line.field("PEDE_UNIDAD"))) {
    line.ctx.store.DiscardLine();
    return false;
  }
  return true;
}

// The article's taxes per unit, the order's warehouse, the quantity, the
// unit (the article's own unless the record names one) and its factor.
void SetTaxesQuantityAndUnit(const StoreLine& line, const TValoresRegistro& values) {
  Tfdm& fdm = line.ctx.fdm;
  fdm.imptos_articulo(line.text("ARTI_COD"), line.field("PEDE_IVAPORC"),
                      line.field("PEDE_CONSUMO"));
  line.Set("BODE_COD", line.ctx.bodega_pedido);
  line.Set("PEDE_CANT", values.PEDE_CANT);
  if (!values.PEDE_UNIDAD.empty()) line.Set("PEDE_UNIDAD", values.PEDE_UNIDAD);
  line.field("PEDE_FACTOR")
      .SetCurrency(fdm.factor_unidad(line.text("ARTI_COD"), line.text("PEDE_UNIDAD")));
}

LinePricing PricingOf(const StoreLine& line) {
  auto f = [&line](const char* name) { return &line.field(name); };
  return LinePricing({f("PEDE_CANT"), f("PEDE_PRUNIT"), f("PEDE_DTOPORC"), f("PEDE_DTO1"),
                      f("PEDE_DTO2"), f("PEDE_DTO3"), f("PEDE_FACTOR"), f("PEDE_IVAPORC"),
                      f("PEDE_CONSUMO"), f("PEDE_DTOMONTO"), f("PEDE_DTOM1"), f("PEDE_DTOM2"),
                      f("PEDE_DTOM3"), f("PEDE_IVAMONTO"), f("PEDE_TOTAL")});
}

// The customer's price list (the branch as the record gives it, empty
// included) and that list's two discount rates for the article, which the
// module gives as texts of its own settings.
void SetPriceListDiscounts(const StoreLine& line, const TValoresRegistro& values) {
  Tfdm& fdm = line.ctx.fdm;
  const std::string list = fdm.PriceList(values.TERC_NIT, values.PEDI_SUCURSAL);
  line.field("LIPR_COD").SetInteger(list.empty() ? 1 : TextToInteger(list));
  const auto [discount1, discount2] =
      fdm.PriceListDiscounts(line.text("ARTI_COD"), line.field("LIPR_COD").AsInteger());
  const RegionalSettings& module_rs = fdm.regional_settings();
  if (!discount1.empty()) line.field("PEDE_DTO1").SetCurrency(TextToCurrency(discount1, module_rs));
  if (!discount2.empty()) line.field("PEDE_DTO2").SetCurrency(TextToCurrency(discount2, module_rs));
}

// The record's unit price and line discount percentage (none: 0).
void SetPriceAndLineDiscount(const StoreLine& line, const TValoresRegistro& values) {
  line.Set("PEDE_PRUNIT", values.PEDE_PRUNIT);
  line.Set("PEDE_DTOPORC", values.PEDE_DTOPORC.empty() ? std::string("0") : values.PEDE_DTOPORC);
}

// Only an upper-case "N" in the header means the prices exclude VAT.
bool PricesIncludeVat(const StoreLine& line) {
  return line.ctx.store.HeaderField("PEDI_IVAINC").AsText(line.ctx.rs) != "N";
}

}  // namespace

bool agregue_linea(const LineContext& ctx, const TValoresRegistro& values) {
  const StoreLine line{ctx};
  if (!BeginWithArticle(line, values)) return false;
  SetTaxesQuantityAndUnit(line, values);

  LinePricing pricing = PricingOf(line);
  pricing.ApplyConsumptionTax();
  SetPriceListDiscounts(line, values);
  SetPriceAndLineDiscount(line, values);
  pricing.ApplyUnitDiscount();
  const Currency net = pricing.ApplyCascade(DiscountExponent(ctx.exponente_redondeo));
  pricing.ApplyVat(net, PricesIncludeVat(line));

  ctx.store.PostLine();
  return true;
}

}  // namespace imp
