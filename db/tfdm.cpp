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
constexpr const char* kPrefixIncludesVat =
    "select pref_ivainc from prefijos where tido_cod = 34 and pref_pre = CAST(? AS VARCHAR(255))";
constexpr const char* kPrefixExists =
    "select 1 from prefijos where tido_cod = 34 and pref_pre = CAST(? AS VARCHAR(255))";
constexpr const char* kPointOfSaleWarehouse = "SELECT BODE_COD FROM PUNTO_VENTA WHERE PTVT_ID = ?";
constexpr const char* kPriceList =
    "SELECT LIPR_COD FROM CLIENTE_SUCURSALES WHERE TERC_NIT = CAST(? AS VARCHAR(255)) "
    "AND CLCU_COD = CAST(? AS VARCHAR(255))";
constexpr const char* kPriceListDiscounts =
    "select prar_dto1, prar_dto2 from precios_articulo where arti_cod = ? and lipr_cod = ?";

fb::Value Text(std::string_view text) { return fb::Value::Text(text); }

constexpr const char* kValidityModule = "FACTURACION";
constexpr const char* kValidityCategory = "PEDIDOS";
constexpr const char* kValidityProperty = "DIAS DE VALIDEZ";

// "{<prefix><n><suffix>}", a placeholder of a combination.
std::string Placeholder(const char* prefix, size_t n, const char* suffix = "") {
  std::string placeholder("{");
  placeholder.append(prefix).append(std::to_string(n)).append(suffix).append("}");
  return placeholder;
}

// The lookups of a header (0: none; 1: prefix and validity; 2: also the
// warehouse of the point of sale) and of `lines` lines after it, with the
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

CombinedLookups Combination(int header_kind, size_t lines) {
  std::vector<CombinedLookup> lookups;
  std::vector<CombinedLookups::InputType> inputs;
  auto input = [&](int lookup, int key) {
    inputs.push_back({lookup, key});
    return Placeholder("in", inputs.size() - 1);
  };
  if (header_kind > 0) {
    lookups.push_back({kPrefixIncludesVat, {input(0, 0)}, ""});
    lookups.push_back({kConfiguracion, {input(1, 0), input(1, 1), input(1, 2)}, ""});
    if (header_kind > 1) lookups.push_back({kPointOfSaleWarehouse, {input(2, 0)}, ""});
  }
  for (size_t l = 0; l < lines; ++l) {
    const int base = static_cast<int>(lookups.size());
    const std::string article_id = Placeholder("", base, ".ID");
    const std::string list = Placeholder("", base + 3, ".LIPR_COD");
    const std::string code = input(base, 0);
    const std::string unit = input(base + 2, 1);
    const std::string nit = input(base + 3, 0);
    const std::string branch = input(base + 3, 1);
    lookups.push_back({kValideArticulo, {code}, ""});
    lookups.push_back({kImptosArticulo, {article_id}, "{k0} IS NOT NULL"});
    lookups.push_back({kFactorUnidad,
                         {article_id, "IIF(" + unit + " <> '', " + unit + ", " +
                                        Placeholder("", base, ".UNIDAD") + ")"},
                         "{k0} <> '' AND {k1} <> ''"});
    lookups.push_back({kPriceList, {nit, branch}, ""});
    lookups.push_back({kPriceListDiscounts, {article_id, "COALESCE(" + list + ", 1)"},
                         "{k0} IS NOT NULL"});
  }
  return CombinedLookups(std::move(lookups), std::move(inputs));
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

void Tfdm::Preload(const HeaderLookups* header, const std::vector<LineLookups>& lines) {
  answers_.clear();
  std::vector<fb::Value> inputs;
  int header_kind = 0;
  if (header) {
    header_kind = header->point_of_sale.empty() ? 1 : 2;
    for (std::string_view v :
         {header->prefix, std::string_view(kValidityModule), std::string_view(kValidityCategory),
          std::string_view(kValidityProperty)})
      inputs.push_back(Text(v));
    if (header_kind == 2) inputs.push_back(Text(header->point_of_sale));
  }
  size_t line_count = 0;
  for (const LineLookups& l : lines) {
    // A line without a code looks nothing up.
    if (l.code.empty() || line_count == kLinesPerRead) continue;
    for (std::string_view v : {l.code, l.unit, l.nit, l.branch}) inputs.push_back(Text(v));
    ++line_count;
  }
  if (header_kind == 0 && line_count == 0) return;
  std::unique_ptr<CombinedLookups>& combination = combined_[{header_kind, line_count}];
  if (!combination) combination = std::make_unique<CombinedLookups>(Combination(header_kind, line_count));
  try {
    answers_ = combination->Run(Norvela, inputs);
  } catch (const DatabaseFailure& failure) {
    // A key the columns' character set cannot hold fails the combination
    // as a whole; each lookup then runs by itself and answers for its own
    // keys.
    if (!failure.cannot_transliterate()) throw;
    answers_.clear();
    return;
  }
  answers_open_ = Norvela.opens();
}

bool Tfdm::Open(QuerySet& set, const char* sql, const std::vector<fb::Value>& params) {
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
  } catch (const DatabaseFailure& failure) {
    // A key that cannot be converted to its column's character set equals
    // nothing stored there: the lookup finds no row, as for any unknown
    // code. Keys of plain ASCII convert to every set, so with those the
    // text that failed is one read from the database, which stays a failure.
    if (!failure.cannot_transliterate() || !AnyNonAsciiText(params)) throw;
    set.OpenWithRows(Norvela.Prepared(sql).columns(), {});
    return false;
  }
  return true;
}

std::string Tfdm::configuracion(std::string_view module, std::string_view category,
                                std::string_view property) {
  CConfiguracion.Close();
  Open(CConfiguracion, kConfiguracion, {Text(module), Text(category), Text(property)});
  if (!CConfiguracion.IsEmpty()) return CConfiguracion.AsText(0);
  if (dialogs_) {
    answers_.clear();
    dialogs_->ShowError("No se encontró la configuración " + std::string(property));
  }
  return {};
}

bool Tfdm::valide_articulo(std::string_view code, Field& article_id, Field& desc, Field& unit) {
  if (code.empty()) return false;
  CValarticulo.Close();
  // A code the database's character set cannot hold is no article's.
  const bool convertible = Open(CValarticulo, kValideArticulo, {Text(code)});
  // A result without rows reads as an empty TIPO, which is not a number.
  const int32_t kind =
      convertible ? TextToInteger(CValarticulo.IsEmpty() ? "" : CValarticulo.AsText("TIPO")) : 0;
  if (kind == 0) {
    if (dialogs_) {
      answers_.clear();
      dialogs_->ShowMessage("Código " + QuoteSqlText(code) + " no encontrado.");
    }
    return false;
  }
  if (kind != 1 && kind != 2) return false;
  const Date today = Date::Today();
  article_id.SetText(CValarticulo.AsText("ID"), rs_, today);
  if (desc.AsText(rs_).empty()) desc.SetText(CValarticulo.AsText("DESCRIPCION"), rs_, today);
  if (unit.AsText(rs_).empty()) unit.SetText(CValarticulo.AsText("UNIDAD"), rs_, today);
  return true;
}

void Tfdm::imptos_articulo(std::string_view article, Field& vat_percent, Field& consumption) {
  CArticulo.Close();
  Open(CArticulo, kImptosArticulo, {Text(article)});
  const bool row = !CArticulo.IsEmpty();
  vat_percent.SetCurrency(row ? CArticulo.AsCurrency(0) : Currency());
  consumption.SetCurrency(row ? CArticulo.AsCurrency(1) : Currency());
}

Currency Tfdm::factor_unidad(std::string_view article, std::string_view unit) {
  if (article.empty() || unit.empty()) return Currency::FromUnits(1);
  CFactor.Close();
  Open(CFactor, kFactorUnidad, {Text(article), Text(unit)});
  if (CFactor.IsEmpty()) return Currency::FromUnits(1);
  return CFactor.AsCurrency("FACTOR");
}

std::string Tfdm::PrefixIncludesVat(std::string_view prefix) {
  CBorrar.Close();
  Open(CBorrar, kPrefixIncludesVat, {Text(prefix)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

bool Tfdm::PrefixExists(std::string_view prefix) {
  CBorrar.Close();
  Open(CBorrar, kPrefixExists, {Text(prefix)});
  const bool exists = !CBorrar.IsEmpty();
  CBorrar.Close();
  return exists;
}

std::string Tfdm::PointOfSaleWarehouse(std::string_view point_of_sale) {
  if (point_of_sale.empty()) return {};
  CBorrar.Close();
  // Bound as text: the server converts it to the integer key, so anything
  // but a number fails there instead of becoming part of the statement.
  Open(CBorrar, kPointOfSaleWarehouse, {Text(point_of_sale)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

std::string Tfdm::PriceList(std::string_view nit, std::string_view branch) {
  CBorrar.Close();
  Open(CBorrar, kPriceList, {Text(nit), Text(branch)});
  std::string value = CBorrar.IsEmpty() ? std::string() : CBorrar.AsText(0);
  CBorrar.Close();
  return value;
}

std::pair<std::string, std::string> Tfdm::PriceListDiscounts(std::string_view article,
                                                           int32_t price_list) {
  CBorrar.Close();
  Open(CBorrar, kPriceListDiscounts, {Text(article), fb::Value::Integer(price_list)});
  std::pair<std::string, std::string> value;
  if (!CBorrar.IsEmpty()) value = {CBorrar.AsText(0), CBorrar.AsText(1)};
  CBorrar.Close();
  return value;
}

}  // namespace imp
