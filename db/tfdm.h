#pragma once
// The database module: the program's one connection `Norvela` and the
// lookups the import asks of the company database. main() creates the one
// instance (`fdm`) and hands references to whoever needs it.
//
// Every lookup runs a statement prepared once per connection with bound
// parameters, in the connection's read transaction, opening the connection
// first when it is closed, and leaves its result in its own set until it
// runs again. Database failures are raised to the caller.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/combined_lookups.h"
#include "db/connection.h"
#include "db/dialogs.h"
#include "db/query_set.h"
#include "values/currency.h"
#include "values/field.h"
#include "values/regional_settings.h"

namespace imp {

class Tfdm {
 public:
  Tfdm();
  Tfdm(const Tfdm&) = delete;
  Tfdm& operator=(const Tfdm&) = delete;

  Connection Norvela;

  // Message boxes asked for by the lookups; null shows nothing.
  void set_dialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
  Dialogs* dialogs() const { return dialogs_; }

  // The regional settings used for decimal texts (the front end sets them).
  void set_regional_settings(const RegionalSettings& rs) { rs_ = rs; }
  const RegionalSettings& regional_settings() const { return rs_; }

  // Statements executed on the connection so far.
  uint64_t statements_executed() const { return Norvela.statements_executed(); }

  // CONF_VALOR of the first row with the three keys, as text. Without a row
  // shows the error box "No se encontró la configuración " + property and
  // gives empty text.
  std::string configuracion(std::string_view module, std::string_view category,
                            std::string_view property);

  // Validates an article code with VALIDE_ARTICULO. Empty code: false, no
  // statement. TIPO (read by TextToInteger, whose failure is raised) 0: the
  // plain box "Código '<code>' no encontrado." and false; 1 or 2: `article_id`
  // takes ID, an empty `desc` takes DESCRIPCION, an empty `unit` takes
  // UNIDAD, true; anything else: false, nothing changed.
  bool valide_articulo(std::string_view code, Field& article_id, Field& desc, Field& unit);

  // The article's VAT percent and consumption tax per unit (0 when the
  // article or its VAT rate has no row, or the column is null).
  void imptos_articulo(std::string_view article, Field& vat_percent, Field& consumption);

  // The unit's conversion factor. Empty article or unit: 1.0000 without a
  // statement; no row: 1.0000; a null FACTOR: 0.0000.
  Currency factor_unidad(std::string_view article, std::string_view unit);

  // PREF_IVAINC of document type 34 and the prefix; empty without a row.
  std::string PrefixIncludesVat(std::string_view prefix);
  // Whether document type 34 has the prefix (to explain a failure; not on
  // the way of every order).
  bool PrefixExists(std::string_view prefix);

  // BODE_COD of the point of sale. The text is bound to the integer key, so
  // a text that is not a number fails as the server's conversion error.
  // Empty text (an order without point of sale): empty, no statement.
  std::string PointOfSaleWarehouse(std::string_view point_of_sale);

  // LIPR_COD of the customer's branch as text; empty without a row or null.
  std::string PriceList(std::string_view nit, std::string_view branch);

  // PRAR_DTO1 and PRAR_DTO2 of the article in the price list, as texts
  // (decimal texts in the regional form); empty for null or without a row.
  std::pair<std::string, std::string> PriceListDiscounts(std::string_view article,
                                                      int32_t price_list);

  // What an order header asks of the lookups: its prefix's VAT mode, the
  // days of validity and, for a point of sale, its warehouse.
  struct HeaderLookups {
    std::string_view prefix;
    std::string_view point_of_sale;
  };
  // What adding a line asks of them: the article behind `code`, its taxes,
  // the factor of its unit (the record's `unit` when given, else the
  // article's), the price list of the customer's branch and the article's
  // two discounts in that list.
  struct LineLookups {
    std::string_view code;
    std::string_view unit;
    std::string_view nit;
    std::string_view branch;
  };
  // Reads, in one statement, what a header (when given) and the lines that
  // follow it will ask of the lookups above. Those lookups then answer from
  // it when asked with the same keys, giving exactly what their own
  // statements give; one asked anything else runs its statement and drops
  // the answers still waiting, and so does a message box shown by a lookup
  // (the operator may change the data meanwhile). At most kLinesPerRead
  // lines are read at once.
  static constexpr size_t kLinesPerRead = 16;
  void Preload(const HeaderLookups* header, const std::vector<LineLookups>& lines);

  // The lookups' sets, readable after a lookup ran.
  QuerySet CConfiguracion;
  QuerySet CValarticulo;
  QuerySet CArticulo;
  QuerySet CFactor;
  QuerySet CBorrar;  // the scratch lookups' set

 private:
  // Opens `set` from a waiting answer to (sql, params), or by running sql.
  // False, with the set open and empty, when a key cannot be converted to
  // the character set of what it is compared with.
  bool Open(QuerySet& set, const char* sql, const std::vector<fb::Value>& params);

  // The combinations in use, by header kind (0 none, 1 without and 2
  // with a point of sale) and number of lines.
  std::map<std::pair<int, size_t>, std::unique_ptr<CombinedLookups>> combined_;
  std::vector<LookupAnswer> answers_;
  uint64_t answers_open_ = 0;  // the open of the connection they belong to

  RegionalSettings rs_;
  Dialogs* dialogs_ = nullptr;
};

}  // namespace imp
