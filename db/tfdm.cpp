#include "db/tfdm.h"

#include <algorithm>

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
constexpr const char* kExistePrefijo =
    "select 1 from prefijos where tido_cod = 34 and pref_pre = CAST(? AS VARCHAR(255))";
constexpr const char* kBodegaPuntoVenta = "SELECT BODE_COD FROM PUNTO_VENTA WHERE PTVT_ID = ?";
constexpr const char* kListaPrecios =
    "SELECT LIPR_COD FROM CLIENTE_SUCURSALES WHERE TERC_NIT = CAST(? AS VARCHAR(255)) "
    "AND CLCU_COD = CAST(? AS VARCHAR(255))";
constexpr const char* kDescuentosLista =
    "select prar_dto1, prar_dto2 from precios_articulo where arti_cod = ? and lipr_cod = ?";

fb::Value Text(std::string_view text) { return fb::Value::Text(text); }

constexpr const char* kModuloValidez = "FACTURACION";
constexpr const char* kCategoriaValidez = "PEDIDOS";
constexpr const char* kPropiedadValidez = "DIAS DE VALIDEZ";

// "{<prefix><n><suffix>}", a placeholder of a combination.
std::string Marca(const char* prefijo, size_t n, const char* sufijo = "") {
  std::string marca("{");
  marca.append(prefijo).append(std::to_string(n)).append(sufijo).append("}");
  return marca;
}

// The lookups of a header (0: none; 1: prefix and validity; 2: also the
// warehouse of the point of sale) and of `lineas` lines after it, with the
// inputs each takes: per header the prefix, the three keys of the validity
// and the point of sale; per line the code, the record's unit, the customer
// and the branch. A line's lookups are the article, its taxes, its unit's
// factor (the record's unit, else the article's), the branch's price list
// and the article's discounts in it (list 1 without one); the ones after the
// article run only where the line would ask for them.
bool AnyNonAsciiText(const std::vector<fb::Value>& values) {
  return std::any_of(values.begin(), values.end(), [](const fb::Value& v) {
    return v.kind == fb::Value::Kind::kText &&
           std::any_of(v.bytes.begin(), v.bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  });
}

CombinedLookups Combinacion(int pedido, size_t lineas) {
  std::vector<CombinedLookup> consultas;
  std::vector<CombinedLookups::InputType> entradas;
  auto entrada = [&](int consulta, int clave) {
    entradas.push_back({consulta, clave});
    return Marca("in", entradas.size() - 1);
  };
  if (pedido > 0) {
    consultas.push_back({kPrefijoIvainc, {entrada(0, 0)}, ""});
    consultas.push_back({kConfiguracion, {entrada(1, 0), entrada(1, 1), entrada(1, 2)}, ""});
    if (pedido > 1) consultas.push_back({kBodegaPuntoVenta, {entrada(2, 0)}, ""});
  }
  for (size_t l = 0; l < lineas; ++l) {
    const int base = static_cast<int>(consultas.size());
    const std::string articulo = Marca("", base, ".ID");
    const std::string lista = Marca("", base + 3, ".LIPR_COD");
    const std::string codigo = entrada(base, 0);
    const std::string unidad = entrada(base + 2, 1);
    const std::string nit = entrada(base + 3, 0);
    const std::string sucursal = entrada(base + 3, 1);
    consultas.push_back({kValideArticulo, {codigo}, ""});
    consultas.push_back({kImptosArticulo, {articulo}, "{k0} IS NOT NULL"});
    consultas.push_back({kFactorUnidad,
                         {articulo, "IIF(" + unidad + " <> '', " + unidad + ", " +
                                        Marca("", base, ".UNIDAD") + ")"},
                         "{k0} <> '' AND {k1} <> ''"});
    consultas.push_back({kListaPrecios, {nit, sucursal}, ""});
    consultas.push_back({kDescuentosLista, {articulo, "COALESCE(" + lista + ", 1)"},
                         "{k0} IS NOT NULL"});
  }
  return CombinedLookups(std::move(consultas), std::move(entradas));
}

}  // namespace

Tfdm::Tfdm()
    : CConfiguracion(Norvela, rs_, "CConfiguracion"),
      CValarticulo(Norvela, rs_, "CValarticulo", "select * from valide_articulo('01')",
                   {"TIPO", "DESCRIPCION", "UNIDAD", "ID", "LOTE"}),
      CArticulo(Norvela, rs_, "CArticulo", "select * from articulo"),
      CFactor(Norvela, rs_, "CFactor", "SELECT * FROM FACTOR_UNIDAD_CANT('01', 'UNIDAD')",
              {"FACTOR"}),
      CBorrar(Norvela, rs_, "CBorrar") {}

void Tfdm::Preload(const HeaderLookups* pedido, const std::vector<LineLookups>& lineas) {
  answers_.clear();
  std::vector<fb::Value> entradas;
  int tipo = 0;
  if (pedido) {
    tipo = pedido->ptvt_id.empty() ? 1 : 2;
    for (std::string_view v :
         {pedido->prefix, std::string_view(kModuloValidez), std::string_view(kCategoriaValidez),
          std::string_view(kPropiedadValidez)})
      entradas.push_back(Text(v));
    if (tipo == 2) entradas.push_back(Text(pedido->ptvt_id));
  }
  size_t cuantas = 0;
  for (const LineLookups& l : lineas) {
    // A line without a code looks nothing up.
    if (l.code.empty() || cuantas == kLinesPerRead) continue;
    for (std::string_view v : {l.code, l.unit, l.nit, l.branch}) entradas.push_back(Text(v));
    ++cuantas;
  }
  if (tipo == 0 && cuantas == 0) return;
  std::unique_ptr<CombinedLookups>& combinacion = combined_[{tipo, cuantas}];
  if (!combinacion) combinacion = std::make_unique<CombinedLookups>(Combinacion(tipo, cuantas));
  try {
    answers_ = combinacion->Run(Norvela, entradas);
  } catch (const DatabaseFailure& falla) {
    // A key the columns' character set cannot hold fails the combination
    // as a whole; each lookup then runs by itself and answers for its own
    // keys.
    if (!falla.cannot_transliterate()) throw;
    answers_.clear();
    return;
  }
  answers_open_ = Norvela.opens();
}

bool Tfdm::Abra(QuerySet& set, const char* sql, const std::vector<fb::Value>& params) {
  if (!answers_.empty() && answers_open_ == Norvela.opens() && Norvela.connected()) {
    auto it = std::find_if(answers_.begin(), answers_.end(), [&](const LookupAnswer& a) {
      return a.sql == sql && a.keys.size() == params.size() &&
             std::equal(a.keys.begin(), a.keys.end(), params.begin(), fb::SameValue);
    });
    if (it != answers_.end()) {
      LookupAnswer answer = std::move(*it);
      answers_.erase(it);
      set.OpenWithRows(*answer.columns, std::move(answer.rows));
      return true;
    }
  }
  answers_.clear();
  try {
    set.OpenPrepared(sql, params);
  } catch (const DatabaseFailure& falla) {
    // A key that cannot be converted to its column's character set equals
    // nothing stored there: the lookup finds no row, as for any unknown
    // code. Keys of plain ASCII convert to every set, so with those the
    // text that failed is one read from the database, which stays a failure.
    if (!falla.cannot_transliterate() || !AnyNonAsciiText(params)) throw;
    set.OpenWithRows(Norvela.Prepared(sql).columns(), {});
    return false;
  }
  return true;
}

std::string Tfdm::configuracion(std::string_view modulo, std::string_view categoria,
                                std::string_view propiedad) {
  CConfiguracion.Close();
  Abra(CConfiguracion, kConfiguracion, {Text(modulo), Text(categoria), Text(propiedad)});
  if (!CConfiguracion.IsEmpty()) return CConfiguracion.AsText(0);
  if (dialogs_) {
    answers_.clear();
    dialogs_->ShowError("No se encontró la configuración " + std::string(propiedad));
  }
  return {};
}

bool Tfdm::valide_articulo(std::string_view code, Field& arti, Field& desc, Field& unidad) {
  if (code.empty()) return false;
  CValarticulo.Close();
  // A code the database's character set cannot hold is no article's.
  const bool convertible = Abra(CValarticulo, kValideArticulo, {Text(code)});
  // A result without rows reads as an empty TIPO, which is not a number.
  const int32_t tipo =
      convertible ? TextToInteger(CValarticulo.IsEmpty() ? "" : CValarticulo.AsText("TIPO")) : 0;
  if (tipo == 0) {
    if (dialogs_) {
      answers_.clear();
      dialogs_->ShowMessage("Código " + QuoteSqlText(code) + " no encontrado.");
    }
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
  Abra(CArticulo, kImptosArticulo, {Text(article)});
  const bool row = !CArticulo.IsEmpty();
  ivaporc.SetCurrency(row ? CArticulo.AsCurrency(0) : Currency());
  consumo.SetCurrency(row ? CArticulo.AsCurrency(1) : Currency());
}

Currency Tfdm::factor_unidad(std::string_view article, std::string_view unit) {
  if (article.empty() || unit.empty()) return Currency::FromUnits(1);
  CFactor.Close();
  Abra(CFactor, kFactorUnidad, {Text(article), Text(unit)});
  if (CFactor.IsEmpty()) return Currency::FromUnits(1);
  return CFactor.AsCurrency("FACTOR");
}

std::string Tfdm::PrefixIncludesVat(std::string_view prefix) {
  CBorrar.Close();
  Abra(CBorrar, kPrefijoIvainc, {Text(prefix)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

bool Tfdm::PrefixExists(std::string_view prefix) {
  CBorrar.Close();
  Abra(CBorrar, kExistePrefijo, {Text(prefix)});
  const bool existe = !CBorrar.IsEmpty();
  CBorrar.Close();
  return existe;
}

std::string Tfdm::PointOfSaleWarehouse(std::string_view ptvt_id) {
  if (ptvt_id.empty()) return {};
  CBorrar.Close();
  // Bound as text: the server converts it to the integer key, so anything
  // but a number fails there instead of becoming part of the statement.
  Abra(CBorrar, kBodegaPuntoVenta, {Text(ptvt_id)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

std::string Tfdm::PriceList(std::string_view nit, std::string_view sucursal) {
  CBorrar.Close();
  Abra(CBorrar, kListaPrecios, {Text(nit), Text(sucursal)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

std::pair<std::string, std::string> Tfdm::PriceListDiscounts(std::string_view article,
                                                           int32_t lipr_cod) {
  CBorrar.Close();
  Abra(CBorrar, kDescuentosLista, {Text(article), fb::Value::Integer(lipr_cod)});
  std::pair<std::string, std::string> value;
  if (!CBorrar.IsEmpty()) value = {CBorrar.AsText(0), CBorrar.AsText(1)};
  CBorrar.Close();
  return value;
}

}  // namespace imp
