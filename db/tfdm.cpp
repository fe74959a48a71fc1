#include "db/tfdm.h"

#include "values/conversions.h"
#include "values/date.h"

namespace imp {
namespace {

// The lookups' statements. Each equals the text statement the lookup is
// defined by, with its values bound instead of spliced into the text.
constexpr const char* kConfiguracion =
    "select conf_valor from configuracion where conf_modulo = ? and conf_categoria = ? "
    "and conf_propiedad = ?";
constexpr const char* kValideArticulo = "select * from valide_articulo(?)";
constexpr const char* kImptosArticulo =
    "select taiv_porc, arti_consumo from articulo a, tarifa_iva t "
    "where a.taiv_cod = t.taiv_cod and arti_cod = ?";
constexpr const char* kFactorUnidad = "SELECT * FROM FACTOR_UNIDAD_CANT(?,?)";
// Keys that come straight from the order file are compared as texts of up
// to a field's 255 bytes: a longer text than the column finds no row, as
// the quoted text would, instead of failing as a truncated parameter.
constexpr const char* kPrefijoIvainc =
    "select pref_ivainc from prefijos where tido_cod = 34 and pref_pre = CAST(? AS VARCHAR(255))";
constexpr const char* kBodegaPuntoVenta = "SELECT BODE_COD FROM PUNTO_VENTA WHERE PTVT_ID = ?";
constexpr const char* kListaPrecios =
    "SELECT LIPR_COD FROM CLIENTE_SUCURSALES WHERE TERC_NIT = CAST(? AS VARCHAR(255)) "
    "AND CLCU_COD = CAST(? AS VARCHAR(255))";
constexpr const char* kDescuentosLista =
    "select prar_dto1, prar_dto2 from precios_articulo where arti_cod = ? and lipr_cod = ?";

fb::Value Text(std::string_view text) { return fb::Value::Text(text); }

}  // namespace

Tfdm::Tfdm()
    : CConfiguracion(Norvela, rs_, "CConfiguracion"),
      CValarticulo(Norvela, rs_, "CValarticulo", "select * from valide_articulo('01')",
                   {"TIPO", "DESCRIPCION", "UNIDAD", "ID", "LOTE"}),
      CArticulo(Norvela, rs_, "CArticulo", "select * from articulo"),
      CFactor(Norvela, rs_, "CFactor", "SELECT * FROM FACTOR_UNIDAD_CANT('01', 'UNIDAD')",
              {"FACTOR"}),
      CBorrar(Norvela, rs_, "CBorrar") {}

std::string Tfdm::configuracion(std::string_view modulo, std::string_view categoria,
                                std::string_view propiedad) {
  CConfiguracion.Close();
  CConfiguracion.OpenPrepared(kConfiguracion, {Text(modulo), Text(categoria), Text(propiedad)});
  if (!CConfiguracion.IsEmpty()) return CConfiguracion.AsText(0);
  if (dialogs_)
    dialogs_->ShowError("No se encontró la configuración " + std::string(propiedad));
  return {};
}

bool Tfdm::valide_articulo(std::string_view code, Field& arti, Field& desc, Field& unidad) {
  if (code.empty()) return false;
  CValarticulo.Close();
  CValarticulo.OpenPrepared(kValideArticulo, {Text(code)});
  // A result without rows reads as an empty TIPO, which is not a number.
  const int32_t tipo = TextToInteger(CValarticulo.IsEmpty() ? "" : CValarticulo.AsText("TIPO"));
  if (tipo == 0) {
    if (dialogs_) dialogs_->ShowMessage("Código " + QuoteSqlText(code) + " no encontrado.");
    return false;
  }
  if (tipo != 1 && tipo != 2) return false;
  const Date today = Date::Today();
  arti.SetText(CValarticulo.AsText("ID"), rs_, today);
  if (desc.AsText(rs_).empty()) desc.SetText(CValarticulo.AsText("DESCRIPCION"), rs_, today);
  if (unidad.AsText(rs_).empty()) unidad.SetText(CValarticulo.AsText("UNIDAD"), rs_, today);
  return true;
}

void Tfdm::imptos_articulo(std::string_view article, Field& ivaporc, Field& consumo) {
  CArticulo.Close();
  CArticulo.OpenPrepared(kImptosArticulo, {Text(article)});
  const bool row = !CArticulo.IsEmpty();
  ivaporc.SetCurrency(row ? CArticulo.AsCurrency(0) : Currency());
  consumo.SetCurrency(row ? CArticulo.AsCurrency(1) : Currency());
}

Currency Tfdm::factor_unidad(std::string_view article, std::string_view unit) {
  if (article.empty() || unit.empty()) return Currency::FromUnits(1);
  CFactor.Close();
  CFactor.OpenPrepared(kFactorUnidad, {Text(article), Text(unit)});
  if (CFactor.IsEmpty()) return Currency::FromUnits(1);
  return CFactor.AsCurrency("FACTOR");
}

std::string Tfdm::prefijo_ivainc(std::string_view prefix) {
  CBorrar.Close();
  CBorrar.OpenPrepared(kPrefijoIvainc, {Text(prefix)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

std::string Tfdm::bodega_punto_venta(std::string_view ptvt_id) {
  if (ptvt_id.empty()) return {};
  CBorrar.Close();
  // Bound as text: the server converts it to the integer key, so anything
  // but a number fails there instead of becoming part of the statement.
  CBorrar.OpenPrepared(kBodegaPuntoVenta, {Text(ptvt_id)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

std::string Tfdm::lista_precios(std::string_view nit, std::string_view sucursal) {
  CBorrar.Close();
  CBorrar.OpenPrepared(kListaPrecios, {Text(nit), Text(sucursal)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

std::pair<std::string, std::string> Tfdm::descuentos_lista(std::string_view article,
                                                           int32_t lipr_cod) {
  CBorrar.Close();
  CBorrar.OpenPrepared(kDescuentosLista, {Text(article), fb::Value::Integer(lipr_cod)});
  std::pair<std::string, std::string> value;
  if (!CBorrar.IsEmpty()) value = {CBorrar.AsText(0), CBorrar.AsText(1)};
  CBorrar.Close();
  return value;
}

}  // namespace imp
