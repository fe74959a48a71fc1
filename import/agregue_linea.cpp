#include "import/agregue_linea.h"

#include "db/order_store.h"
#include "db/tfdm.h"
#include "import/precio_linea.h"
#include "import/pricing.h"
#include "values/conversions.h"

namespace imp {

bool agregue_linea(const ContextoLinea& ctx, const TValoresRegistro& valores) {
  OrderStore& store = ctx.store;
  auto campo = [&store](const char* nombre) -> Field& { return store.LineField(nombre); };
  auto texto = [&](const char* nombre) { return campo(nombre).AsText(ctx.rs); };
  auto asigne = [&](const char* nombre, const std::string& valor) {
    campo(nombre).SetText(valor, ctx.rs, ctx.hoy);
  };

  // 1-3: the line, the code as the file gives it (cut by the column), and
  // the article behind that code.
  store.BeginLine();
  asigne("PEDE_CODBAR", valores.ARTI_COD);
  if (!ctx.fdm.valide_articulo(texto("PEDE_CODBAR"), campo("ARTI_COD"), campo("PEDE_DESC"),
                               campo("PEDE_UNIDAD"))) {
    store.DiscardLine();
    return false;
  }

  // 4-8: taxes per unit, warehouse, quantity, unit and its factor.
  ctx.fdm.imptos_articulo(texto("ARTI_COD"), campo("PEDE_IVAPORC"), campo("PEDE_CONSUMO"));
  asigne("BODE_COD", ctx.bodega_pedido);
  asigne("PEDE_CANT", valores.PEDE_CANT);
  if (!valores.PEDE_UNIDAD.empty()) asigne("PEDE_UNIDAD", valores.PEDE_UNIDAD);
  campo("PEDE_FACTOR").SetCurrency(ctx.fdm.factor_unidad(texto("ARTI_COD"), texto("PEDE_UNIDAD")));

  PrecioLinea precio({&campo("PEDE_CANT"), &campo("PEDE_PRUNIT"), &campo("PEDE_DTOPORC"),
                      &campo("PEDE_DTO1"), &campo("PEDE_DTO2"), &campo("PEDE_DTO3"),
                      &campo("PEDE_FACTOR"), &campo("PEDE_IVAPORC"), &campo("PEDE_CONSUMO"),
                      &campo("PEDE_DTOMONTO"), &campo("PEDE_DTOM1"), &campo("PEDE_DTOM2"),
                      &campo("PEDE_DTOM3"), &campo("PEDE_IVAMONTO"), &campo("PEDE_TOTAL")});
  // 9
  precio.Consumo();

  // 10-11: the customer's price list (the branch as the record gives it,
  // empty included) and that list's two discount rates for the article.
  const std::string lista = ctx.fdm.lista_precios(valores.TERC_NIT, valores.PEDI_SUCURSAL);
  campo("LIPR_COD").SetInteger(lista.empty() ? 1 : TextToInteger(lista));
  const auto [dto1, dto2] = ctx.fdm.descuentos_lista(texto("ARTI_COD"),
                                                     campo("LIPR_COD").AsInteger());
  const RegionalSettings& rs_modulo = ctx.fdm.regional_settings();
  if (!dto1.empty()) campo("PEDE_DTO1").SetCurrency(TextToCurrency(dto1, rs_modulo));
  if (!dto2.empty()) campo("PEDE_DTO2").SetCurrency(TextToCurrency(dto2, rs_modulo));

  // 12-15: price, line discount, the unit discount and the cascade.
  asigne("PEDE_PRUNIT", valores.PEDE_PRUNIT);
  asigne("PEDE_DTOPORC", valores.PEDE_DTOPORC.empty() ? std::string("0") : valores.PEDE_DTOPORC);
  precio.DescuentoUnitario();
  const Currency neto = precio.Cascada(ExponenteDescuento(ctx.exponente_redondeo));

  // 16: only an upper-case "N" means the prices exclude VAT.
  precio.Iva(neto, store.HeaderField("PEDI_IVAINC").AsText(ctx.rs) != "N");

  // 17
  store.PostLine();
  return true;
}

}  // namespace imp
