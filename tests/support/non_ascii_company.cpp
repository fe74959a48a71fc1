#include "tests/support/non_ascii_company.h"

#include <iconv.h>

#include <stdexcept>

namespace imp::testing {

void AddNonAsciiData(const FreshDatabase& db, const std::string& charset) {
  const std::string sql =
      "INSERT INTO ARTICULO (ARTI_COD, ARTI_DESC, ARTI_UNIDAD, TAIV_COD, ARTI_CONSUMO) "
      "VALUES ('Ñ01', 'PIÑA ÜBER € é', 'UND', (SELECT FIRST 1 TAIV_COD FROM TARIFA_IVA), 0);\n"
      "INSERT INTO PRECIOS_ARTICULO (ARTI_COD, LIPR_COD, PRAR_PRECIO) VALUES ('Ñ01', 1, 1000);\n"
      "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES ('900', 'PEÑA');\n"
      "INSERT INTO CLIENTE_SUCURSALES (TERC_NIT, CLCU_COD, CLCU_NOMBRE, LIPR_COD) "
      "VALUES ('900', 'SÑ', 'SUCURSAL Ñ', 1);\n";
  if (charset == "NONE") {
    db.Exec(ToWin1252(sql), "NONE");
  } else {
    db.Exec(sql, "UTF8");
  }
}

std::string NonAsciiOrders(int first) {
  std::string long_name;
  for (int i = 0; i < 70; ++i) long_name += "Ñ";
  const auto line = [](int number, const std::string& name, const std::string& nit,
                       const std::string& branch, const std::string& article) {
    return "PV," + std::to_string(number) + ",1/15/2026,1/15/2026,1,1," + nit + ",\"" + name +
           "\"," + branch + ",0,0,0," + article + ",1,UND,1000,0\r\n";
  };
  return line(first, "PEÑA é ü €", "900", "SÑ", "Ñ01") +
         line(first + 1, long_name, "900", "SÑ", "Ñ01") +
         line(first + 2, "ACME", "800100200", "01", "ART0004");
}

std::vector<std::string> ExpectedTexts(int first) {
  std::string long_name;
  for (int i = 0; i < 60; ++i) long_name += "Ñ";
  const std::string n = std::to_string(first);
  return {n + "|PEÑA é ü €|10|SÑ|S|Ñ01|PIÑA ÜBER € é",
          std::to_string(first + 1) + "|" + long_name + "|60|SÑ|S|Ñ01|PIÑA ÜBER € é",
          std::to_string(first + 2) + "|ACME|4|01|S|ART0004|CAFE CLASICO 004"};
}

std::vector<std::string> ImportedTexts(const FreshDatabase& db, const std::string& charset,
                                       const std::string& database,
                                       const std::string& password) {
  return db.Query(
      "SELECT P.PEDI_NUMERO || '|' || P.PEDI_NOMTERC || '|' || CHAR_LENGTH(P.PEDI_NOMTERC) || "
      "'|' || P.PEDI_SUCURSAL || '|' || P.PEDI_IVAINC || '|' || D.ARTI_COD || '|' || D.PEDE_DESC "
      "FROM PEDIDOS P JOIN PEDIDOS_DETALLE D ON D.PEDI_ID = P.PEDI_ID "
      "ORDER BY CAST(P.PEDI_NUMERO AS INTEGER);",
      charset, database, password);
}

std::string ToWin1252(const std::string& utf8) {
  iconv_t cd = iconv_open("CP1252", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open CP1252");
  std::string out(utf8.size(), '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* to = out.data();
  size_t out_left = out.size();
  const size_t r = iconv(cd, &in, &in_left, &to, &out_left);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) throw std::runtime_error("not representable in CP1252");
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace imp::testing
