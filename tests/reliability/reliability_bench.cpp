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

std::string TestDataPath(const std::string& name) { return SourcePath("tests/data/" + name); }

ReliabilityBench::ReliabilityBench(std::optional<TestServer> server)
    : db_(/*demo=*/true), server_(std::move(server)) {
  database_ = server_ ? server_->host + ":" + db_.path() : db_.path();
  screen.date = *Date::FromYmd(2026, 1, 20);
  Configure(fdm.Norvela);
}

void ReliabilityBench::Configure(Connection& connection) const {
  connection.SetParam("Database", database_);
  connection.SetParam("User_Name", "SYSDBA");
  connection.SetParam("password", server_ ? server_->password : "masterkey");
}

void ReliabilityBench::LoadLayout() {
  QuerySet rows(fdm.Norvela, rs, "CImporinv");
  LoadImportLayout(rows, layout);
}

RunOutcome ReliabilityBench::Import(const std::string& path) {
  screen.location = path;
  screen.messages.clear();
  RunOutcome outcome;
  try {
    run.SpeedButton3Click();
  } catch (const Failure& failure) {
    outcome.failed = true;
    outcome.text = failure.what();
    return outcome;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "the run let through a foreign exception: " << e.what();
    outcome.failed = true;
    return outcome;
  }
  for (const std::string& m : screen.messages) {
    if (!outcome.text.empty()) outcome.text += "\n";
    outcome.text += m;
  }
  return outcome;
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
  std::vector<std::string> orders;
  for (const TextRow& p : Read(kOrderSummarySql)) {
    orders.push_back(p.at("PREF_PRE") + " " + p.at("PEDI_NUMERO") + ":" + p.at("N"));
  }
  return orders;
}

std::vector<std::string> ReliabilityBench::Inconsistencies() const {
  std::vector<std::string> problems;
  for (const TextRow& p : Read(kOrderSummarySql)) {
    const std::string order =
        p.at("PREF_PRE") + " " + p.at("PEDI_NUMERO") + " (PEDI_ID " + p.at("PEDI_ID") + ")";
    const std::string n = p.at("N");
    if (n != "0" && (p.at("PRIMERO") != "1" || p.at("ULTIMO") != n)) {
      problems.push_back(order + ": lines " + p.at("PRIMERO") + ".." + p.at("ULTIMO") + " for " +
                         n + " rows");
    }
    if (p.at("PEDI_TOTAL") != p.at("SUMA_TOTAL")) {
      problems.push_back(order + ": PEDI_TOTAL " + p.at("PEDI_TOTAL") + " but the lines sum " +
                         p.at("SUMA_TOTAL"));
    }
    if (p.at("PEDI_IVAMONTO") != p.at("SUMA_IVA")) {
      problems.push_back(order + ": PEDI_IVAMONTO " + p.at("PEDI_IVAMONTO") +
                         " but the lines sum " + p.at("SUMA_IVA"));
    }
  }
  return problems;
}

}  // namespace imp::testing
