#include "import/valores_registro.h"

#include <climits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "import/campos_registro.h"
#include "import/importacion.h"
#include "import/lector_plano.h"
#include "tests/support/temp_folder.h"

namespace imp {
namespace {

ImportLayoutRow Row(std::string field_name, std::int32_t column, std::string import = "SI") {
  return {std::move(field_name), column, 0, std::move(import)};
}

TCamposRegistro Fields(const std::vector<std::string>& texts) {
  TCamposRegistro fields;
  for (std::size_t i = 0; i < texts.size(); ++i) fields.Set(static_cast<long long>(i + 1), texts[i]);
  return fields;
}

// The layout every company starts with (schema/20_config.sql, layout 23).
const std::pair<const char*, std::int32_t> kCompanyLayout[] = {
    {"PREF_PRE", 1},         {"PEDI_NUMERO", 2},      {"PEDI_FECHA", 3},  {"PEDI_CREDITO", 4},
    {"VEND_COD", 5},         {"PTVT_ID", 6},          {"TERC_NIT", 7},    {"PEDI_NOMTERC", 8},
    {"PEDI_SUCURSAL", 9},    {"PEDI_RTFTEMONTO", 10}, {"PEDI_RTIVAMONTO", 11},
    {"PEDI_RTICAMONTO", 12}, {"ARTI_COD", 13},        {"PEDE_CANT", 14},  {"PEDE_UNIDAD", 15},
    {"PEDE_PRUNIT", 16},     {"PEDE_DTOPORC", 17},
};

CImportacion CompanyLayout() {
  CImportacion import_layout;
  for (const auto& [field_name, column] : kCompanyLayout) import_layout.Add(Row(field_name, column));
  return import_layout;
}

// The values after each line of an order file with the company's layout,
// the file read by the real reader. Every field of the first line differs
// from every other, so a name that fills the wrong value, or none, shows.
TEST(ValoresRegistro, EachFieldOfAFileLineLandsWhereTheImportReadsIt) {
  const testing::TempFolder folder("valores_registro");
  const std::string path = folder.Write(
      "pedidos.csv",
      "PV,100,1/15/2026,2/14/2026,2,1,800100200,\"ACME, S.A.\",01,110,120,130,ART0004,3,KG,"
      "15300,5\r\n"
      ",,,,,,,,,,,,ART0012,1,CAJA,538800,\r\n");
  const CImportacion import_layout = CompanyLayout();
  std::vector<TValoresRegistro> after;
  TLectorPlano reader;
  ASSERT_TRUE(reader.lea_registros(
      path,
      [&](const TCamposRegistro& fields, const LinePosition&) {
        TValoresRegistro values = after.empty() ? TValoresRegistro() : after.back();
        asigne_valores(fields, import_layout, values);
        after.push_back(values);
      },
      {}));
  ASSERT_EQ(after.size(), 2u);
  const struct {
    const char* name;
    std::string TValoresRegistro::*value;
    const char* first;   // after line 1
    const char* second;  // after line 2: the order's values stay
  } expected[] = {
      {"PREF_PRE", &TValoresRegistro::PREF_PRE, "PV", "PV"},
      {"PEDI_NUMERO", &TValoresRegistro::PEDI_NUMERO, "100", "100"},
      {"PEDI_FECHA", &TValoresRegistro::PEDI_FECHA, "1/15/2026", "1/15/2026"},
      {"PEDI_CREDITO", &TValoresRegistro::PEDI_CREDITO, "2/14/2026", "2/14/2026"},
      {"VEND_COD", &TValoresRegistro::VEND_COD, "2", "2"},
      {"PTVT_ID", &TValoresRegistro::PTVT_ID, "1", "1"},
      {"TERC_NIT", &TValoresRegistro::TERC_NIT, "800100200", "800100200"},
      {"PEDI_NOMTERC", &TValoresRegistro::PEDI_NOMTERC, "ACME, S.A.", "ACME, S.A."},
      {"PEDI_SUCURSAL", &TValoresRegistro::PEDI_SUCURSAL, "01", "01"},
      {"PEDI_RTFTEMONTO", &TValoresRegistro::PEDI_RTFTEMONTO, "110", "110"},
      {"PEDI_RTIVAMONTO", &TValoresRegistro::PEDI_RTIVAMONTO, "120", "120"},
      {"PEDI_RTICAMONTO", &TValoresRegistro::PEDI_RTICAMONTO, "130", "130"},
      {"ARTI_COD", &TValoresRegistro::ARTI_COD, "ART0004", "ART0012"},
      {"PEDE_CANT", &TValoresRegistro::PEDE_CANT, "3", "1"},
      {"PEDE_UNIDAD", &TValoresRegistro::PEDE_UNIDAD, "KG", "CAJA"},
      {"PEDE_PRUNIT", &TValoresRegistro::PEDE_PRUNIT, "15300", "538800"},
      {"PEDE_DTOPORC", &TValoresRegistro::PEDE_DTOPORC, "5", "5"},  // an empty field keeps it
  };
  for (const auto& e : expected) {
    EXPECT_EQ(after[0].*e.value, e.first) << e.name;
    EXPECT_EQ(after[1].*e.value, e.second) << e.name;
  }
  EXPECT_EQ(after[1].RecordText(), "PV100 - ACME, S.A.");
}

// Only the exact names of the values are known: no other case, no blanks,
// no other column of the order tables, no name of another layout.
TEST(ValoresRegistro, OnlyTheExactNamesAreKnown) {
  for (const auto& [field_name, column] : kCompanyLayout) {
    EXPECT_NE(TValoresRegistro::ValueNamed(field_name), nullptr) << field_name;
  }
  for (const char* unknown : {"pref_pre", "Pref_Pre", "PREF_PRE ", " PREF_PRE", "PREF_PR", "",
                              "PEDI_IVAINC", "PEDI_TOTAL", "BODE_COD"}) {
    EXPECT_EQ(TValoresRegistro::ValueNamed(unknown), nullptr) << unknown;
  }
  EXPECT_EQ(TValoresRegistro::ValueNamed(std::string_view("PREF_PRE\0", 9)), nullptr);
}

TEST(ValoresRegistro, EntriesThatDoNotCount) {
  const ImportLayoutRow ignored[] = {
      Row("PREF_PRE", 1, "si"),  Row("PREF_PRE", 1, "Si"),  Row("PREF_PRE", 1, "S"),
      Row("PREF_PRE", 1, ""),    Row("PREF_PRE", 1, "SI "), Row("PREF_PRE", 1, "NO"),
      Row("PREF_PRE ", 1),       Row(" PREF_PRE", 1),       Row("pref_pre", 1),
      Row("PREF", 1),            Row("", 1),                Row("PREF_PRE", 0),
      Row("PREF_PRE", -1),       Row("PREF_PRE", 52),       Row("PREF_PRE", INT_MAX),
      Row("PREF_PRE", INT_MIN),
  };
  std::vector<std::string> texts(TCamposRegistro::kFieldCount, "texto");
  const TCamposRegistro fields = Fields(texts);
  for (const auto& row : ignored) {
    CImportacion import_layout;
    import_layout.Add(row);
    TValoresRegistro values;
    asigne_valores(fields, import_layout, values);
    EXPECT_EQ(values.PREF_PRE, "") << "'" << row.DATO << "' " << row.COLUMNA << " '"
                                    << row.IMPORTAR << "'";
    EXPECT_EQ(import_layout.size(), 1u);  // kept as a row all the same
  }
}

TEST(ValoresRegistro, ColumnsAtTheEnds) {
  CImportacion import_layout;
  import_layout.Add(Row("PREF_PRE", 1));
  import_layout.Add(Row("ARTI_COD", 51));
  std::vector<std::string> texts(TCamposRegistro::kFieldCount);
  texts.front() = "primero";
  texts.back() = "ultimo";
  TValoresRegistro values;
  asigne_valores(Fields(texts), import_layout, values);
  EXPECT_EQ(values.PREF_PRE, "primero");
  EXPECT_EQ(values.ARTI_COD, "ultimo");
}

TEST(Importacion, RowsInColumnOrder) {
  CImportacion import_layout;
  import_layout.Add(Row("C", 3));
  import_layout.Add(Row("A", 1));
  import_layout.Add(Row("B1", 2));
  import_layout.Add(Row("B2", 2));
  import_layout.Add(Row("Z", 0));
  import_layout.Add(Row("B3", 2));
  std::vector<std::string> order;
  for (const auto& row : import_layout) order.push_back(row.DATO);
  EXPECT_EQ(order, (std::vector<std::string>{"Z", "A", "B1", "B2", "B3", "C"}));
  import_layout.Clear();
  EXPECT_TRUE(import_layout.empty());
  EXPECT_TRUE(import_layout.mappings().empty());
}

// Rows added 3, 1, 2 for one value: the walk goes 1, 2, 3, so the value ends
// with the highest column whose field is not empty, whatever the order the
// rows were added in.
TEST(ValoresRegistro, SeveralEntriesForOneValue) {
  const struct {
    std::vector<std::string> texts;
    std::string expected_text;
  } cases[] = {
      {{"c1", "c2", "c3"}, "c3"},
      {{"c1", "c2", ""}, "c2"},
      {{"c1", "", ""}, "c1"},
      {{"", "", ""}, ""},
      {{"", "c2", " "}, " "},
  };
  CImportacion import_layout;
  import_layout.Add(Row("PEDE_CANT", 3));
  import_layout.Add(Row("PEDE_CANT", 1));
  import_layout.Add(Row("PEDE_CANT", 2));
  for (const auto& test_case : cases) {
    TValoresRegistro values;
    asigne_valores(Fields(test_case.texts), import_layout, values);
    EXPECT_EQ(values.PEDE_CANT, test_case.expected_text);
  }
}

TEST(ValoresRegistro, EntriesOfOneColumnInTheOrderAdded) {
  CImportacion import_layout;
  import_layout.Add(Row("PREF_PRE", 2));
  import_layout.Add(Row("PREF_PRE", 1));
  import_layout.Add(Row("PREF_PRE", 2, "no"));
  import_layout.Add(Row("PEDI_NOMTERC", 2));  // one field feeds two values
  TValoresRegistro values;
  asigne_valores(Fields({"uno", "dos"}), import_layout, values);
  EXPECT_EQ(values.PREF_PRE, "dos");
  EXPECT_EQ(values.PEDI_NOMTERC, "dos");
}

TEST(ValoresRegistro, ValuesCarryFromOneRecordToTheNext) {
  CImportacion import_layout;
  import_layout.Add(Row("PREF_PRE", 1));
  import_layout.Add(Row("PEDI_NUMERO", 2));
  import_layout.Add(Row("PEDI_NOMTERC", 3));
  import_layout.Add(Row("ARTI_COD", 4));
  const struct {
    std::vector<std::string> texts;
    std::vector<std::string> values;  // prefix, number, name, article after the record
  } records[] = {
      {{"PV", "100", "ACME", "A1"}, {"PV", "100", "ACME", "A1"}},
      {{"", "", "", "A2"}, {"PV", "100", "ACME", "A2"}},   // empty fields keep the values
      {{"", "", "", ""}, {"PV", "100", "ACME", "A2"}},
      {{"", "101", "  ", ""}, {"PV", "101", "  ", "A2"}},  // blanks replace
      {{"pv"}, {"pv", "101", "  ", "A2"}},
  };
  TValoresRegistro values;
  for (const auto& record : records) {
    asigne_valores(Fields(record.texts), import_layout, values);
    EXPECT_EQ((std::vector<std::string>{values.PREF_PRE, values.PEDI_NUMERO,
                                        values.PEDI_NOMTERC, values.ARTI_COD}),
              record.values);
  }
}

// A later text that differs from the value in a single byte, at any
// position and for any length, replaces it; an equal one leaves it equal.
TEST(ValoresRegistro, OneDifferentByteReplacesTheValue) {
  CImportacion import_layout;
  import_layout.Add(Row("TERC_NIT", 1));
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t i = 0; i < length; ++i) {
      std::string first_text(length, 'a');
      for (std::size_t k = 0; k < length; ++k) first_text[k] = static_cast<char>('a' + k % 26);
      std::string second_text = first_text;
      second_text[i] = 'Z';
      TValoresRegistro values;
      asigne_valores(Fields({first_text}), import_layout, values);
      asigne_valores(Fields({second_text}), import_layout, values);
      ASSERT_EQ(values.TERC_NIT, second_text) << length << " " << i;
      asigne_valores(Fields({second_text + "x"}), import_layout, values);
      ASSERT_EQ(values.TERC_NIT, second_text + "x");
      asigne_valores(Fields({first_text}), import_layout, values);
      ASSERT_EQ(values.TERC_NIT, first_text);
    }
  }
}

TEST(ValoresRegistro, EmptyLayoutChangesNothing) {
  const CImportacion import_layout;
  TValoresRegistro values;
  asigne_valores(Fields(std::vector<std::string>(TCamposRegistro::kFieldCount, "x")), import_layout,
                 values);
  for (const auto& [name_text, member] : kRecordValueNames) EXPECT_EQ(values.*member, "") << name_text;
}

TEST(ValoresRegistro, RecordText) {
  const struct {
    const char* prefix;
    const char* number;
    const char* name_text;
    const char* text;
  } cases[] = {
      {"PV", "123", "ACME", "PV123 - ACME"},
      {"", "", "", " - "},
      {"PV", "", "", "PV - "},
      {"", "123", "ACME, S.A.", "123 - ACME, S.A."},
      {" PV ", " 1 ", " X ", " PV  1  -  X "},
  };
  for (const auto& test_case : cases) {
    TValoresRegistro values;
    values.PREF_PRE = test_case.prefix;
    values.PEDI_NUMERO = test_case.number;
    values.PEDI_NOMTERC = test_case.name_text;
    values.ARTI_COD = "no aparece";
    EXPECT_EQ(values.RecordText(), test_case.text);
  }
}

}  // namespace
}  // namespace imp
