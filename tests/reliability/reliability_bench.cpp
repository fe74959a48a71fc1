#include "tests/reliability/reliability_bench.h"

#include <gtest/gtest.h>

#include <exception>
#include <utility>

#include "db/connection.h"
#include "db/query_set.h"
#include "import/load_import_layout.h"
#include "tests/support/rows_as_text.h"
#include "values/failure.h"

namespace imp::testing {

std::string TestDataPath(const std::string& nombre) { return SourcePath("tests/data/" + nombre); }

ReliabilityBench::ReliabilityBench(std::optional<TestServer> servidor)
    : db_(/*demo=*/true), servidor_(std::move(servidor)) {
  cadena_ = servidor_ ? servidor_->host + ":" + db_.path() : db_.path();
  Configure(fdm.Norvela);
}

void ReliabilityBench::Configure(Connection& conexion) const {
  conexion.SetParam("Database", cadena_);
  conexion.SetParam("User_Name", "SYSDBA");
  conexion.SetParam("password", servidor_ ? servidor_->password : "masterkey");
}

void ReliabilityBench::LoadLayout() {
  QuerySet filas(fdm.Norvela, rs, "CImporinv");
  LoadImportLayout(filas, diseno);
}

RunOutcome ReliabilityBench::Import(const std::string& ruta) {
  pantalla.ubicacion = ruta;
  pantalla.mensajes.clear();
  RunOutcome desenlace;
  try {
    run.SpeedButton3Click();
  } catch (const Failure& falla) {
    desenlace.fallo = true;
    desenlace.texto = falla.what();
    return desenlace;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "the run let through a foreign exception: " << e.what();
    desenlace.fallo = true;
    return desenlace;
  }
  for (const std::string& m : pantalla.mensajes) {
    if (!desenlace.texto.empty()) desenlace.texto += "\n";
    desenlace.texto += m;
  }
  return desenlace;
}

std::vector<TextRow> ReliabilityBench::Read(const std::string& sql) const {
  return RowsAsText([this](Connection& c) { Configure(c); }, rs, sql);
}

namespace {

constexpr char kOrderSummarySql[] =
    "SELECT p.PEDI_ID, p.PREF_PRE, p.PEDI_NUMERO, p.PEDI_TOTAL, p.PEDI_IVAMONTO, "
    "  (SELECT COUNT(*) FROM PEDIDOS_DETALLE d WHERE d.PEDI_ID = p.PEDI_ID) AS N, "
    "  (SELECT MIN(d.PEDE_ITEM) FROM PEDIDOS_DETALLE d WHERE d.PEDI_ID = p.PEDI_ID) AS PRIMERO, "
    "  (SELECT MAX(d.PEDE_ITEM) FROM PEDIDOS_DETALLE d WHERE d.PEDI_ID = p.PEDI_ID) AS ULTIMO, "
    "  (SELECT SUM(d.PEDE_TOTAL) FROM PEDIDOS_DETALLE d WHERE d.PEDI_ID = p.PEDI_ID) AS SUMA_TOTAL, "
    "  (SELECT SUM(d.PEDE_IVAMONTO) FROM PEDIDOS_DETALLE d WHERE d.PEDI_ID = p.PEDI_ID) AS SUMA_IVA "
    "FROM PEDIDOS p ORDER BY p.PEDI_ID";

}  // namespace

std::vector<std::string> ReliabilityBench::WrittenOrders() const {
  std::vector<std::string> pedidos;
  for (const TextRow& p : Read(kOrderSummarySql)) {
    pedidos.push_back(p.at("PREF_PRE") + " " + p.at("PEDI_NUMERO") + ":" + p.at("N"));
  }
  return pedidos;
}

std::vector<std::string> ReliabilityBench::Inconsistencies() const {
  std::vector<std::string> problemas;
  for (const TextRow& p : Read(kOrderSummarySql)) {
    const std::string pedido = p.at("PREF_PRE") + " " + p.at("PEDI_NUMERO") + " (PEDI_ID " +
                               p.at("PEDI_ID") + ")";
    const std::string n = p.at("N");
    if (n != "0" && (p.at("PRIMERO") != "1" || p.at("ULTIMO") != n)) {
      problemas.push_back(pedido + ": lines " + p.at("PRIMERO") + ".." + p.at("ULTIMO") + " for " +
                          n + " rows");
    }
    if (p.at("PEDI_TOTAL") != p.at("SUMA_TOTAL")) {
      problemas.push_back(pedido + ": PEDI_TOTAL " + p.at("PEDI_TOTAL") + " but the lines sum " +
                          p.at("SUMA_TOTAL"));
    }
    if (p.at("PEDI_IVAMONTO") != p.at("SUMA_IVA")) {
      problemas.push_back(pedido + ": PEDI_IVAMONTO " + p.at("PEDI_IVAMONTO") +
                          " but the lines sum " + p.at("SUMA_IVA"));
    }
  }
  return problemas;
}

}  // namespace imp::testing
