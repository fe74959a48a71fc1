#include "bench/import_bench_phases.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/dialogs.h"
#include "db/firebird.h"
#include "db/order_store.h"
#include "db/query_set.h"
#include "db/tfdm.h"
#include "import/import_run.h"
#include "import/load_import_layout.h"
#include "import/importacion.h"
#include "import/lector_plano.h"
#include "import/screen.h"
#include "import/valores_registro.h"
#include "tests/support/generated_company.h"
#include "tests/support/recording_screen.h"

#ifdef IMPORTA_BENCH_BATCH
#include "batch/batch_mode.h"
#endif

namespace imp::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::map<std::string, std::string> Options(const std::vector<std::string>& args) {
  std::map<std::string, std::string> o;
  for (size_t i = 0; i + 1 < args.size(); i += 2) o[args[i]] = args[i + 1];
  return o;
}

fb::AttachOptions AttachTo(const std::string& db, const std::string& user,
                          const std::string& key) {
  fb::AttachOptions a;
  a.database = db;
  a.user = user;
  a.password = key;
  return a;
}

// The import layout of the company, read as every front end reads it.
CImportacion Layout(Tfdm& fdm, const RegionalSettings& rs) {
  CImportacion layout;
  QuerySet CImporinv(fdm.Norvela, rs, "CImporinv", {},
                     {"IMIN_TIPO", "IMIN_DATO", "IMIN_COLUMNA", "IMIN_ANCHO"});
  LoadImportLayout(CImporinv, layout);
  return layout;
}

void Connect(Tfdm& fdm, const fb::AttachOptions& target) {
  fdm.Norvela.SetParam("Database", target.database);
  fdm.Norvela.SetParam("User_Name", target.user);
  fdm.Norvela.SetParam("password", target.password);
}

#ifdef IMPORTA_BENCH_BATCH
// The import as batch mode runs it, from its command line on: settings
// file, connection, layout, the run, the summary.
bool Import(const std::map<std::string, std::string>& o, const fb::AttachOptions&) {
  std::vector<std::string> args = {"importa-pedidos", "--batch", "--settings", o.at("--settings"),
                                   "--fecha", "2024-03-01"};
  if (o.count("--orders-per-transaction")) {
    args.push_back("--pedidos-por-transaccion");
    args.push_back(o.at("--orders-per-transaction"));
  }
  args.push_back(o.at("--file"));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = RunBatch(static_cast<int>(args.size()), argv.data());
  std::fflush(stdout);
  return status == kBatchAllWritten;
}
#else
// Without the front end's batch mode in the build: the same run, driven as
// batch mode drives it, with a screen that paints nothing.
bool Import(const std::map<std::string, std::string>& o, const fb::AttachOptions& target) {
  const RegionalSettings rs;
  imp::testing::RecordingScreen screen;
  screen.location = o.at("--file");
  Tfdm fdm;
  fdm.set_dialogs(&screen);
  Connect(fdm, target);
  fdm.Norvela.Open();
  const CImportacion layout = Layout(fdm, rs);
  OrderStore store(fdm);
  ImportRun run(fdm, store, layout, rs, screen, screen);
  if (o.count("--orders-per-transaction"))
    run.set_orders_per_transaction(std::atoi(o.at("--orders-per-transaction").c_str()));
  run.SpeedButton3Click();
  const ImportSummary& r = run.summary();
  if (r.outcome != ImportSummary::Outcome::kComplete || !r.dropped_orders.empty() ||
      r.dropped_lines != 0) {
    for (const std::string& event : screen.events) std::fprintf(stderr, "%s\n", event.c_str());
    return false;
  }
  return true;
}
#endif

int64_t Count(const fb::AttachOptions& target, const char* sql) {
  fb::Attachment att = fb::Attachment::Attach(target);
  fb::TransactionOptions read;
  read.read_only = true;
  fb::Transaction tra = fb::Transaction::Begin(att, read);
  fb::Statement st = fb::Statement::Prepare(att, tra, sql);
  fb::Cursor c = st.Open(tra);
  return c.Fetch() ? c.row().at(0).integer : -1;
}

// (b): the whole import of the file, timed from the command line to the
// end of the run; then, untimed, the count of written lines, whether the
// database forces its writes, and reading and mapping the file alone (as
// warm in the page cache as the import found it).
int ImportPhase(const std::map<std::string, std::string>& o) {
  const fb::AttachOptions target = AttachTo(o.at("--db"), o.at("--user"), o.at("--password"));
  const Clock::time_point t0 = Clock::now();
  const bool complete = Import(o, target);
  const double seconds = Seconds(Clock::now() - t0);
  if (!complete) {
    std::fprintf(stderr, "the import did not write every order and line\n");
    return 1;
  }

  const int64_t lines = Count(target, "SELECT COUNT(*) FROM PEDIDOS_DETALLE");
  const int64_t forced = Count(target, "SELECT MON$FORCED_WRITES FROM MON$DATABASE");
  CImportacion layout;
  {
    Tfdm fdm;
    Connect(fdm, target);
    layout = Layout(fdm, RegionalSettings());
  }

  const Clock::time_point t1 = Clock::now();
  TValoresRegistro values;
  int64_t records = 0;
  TLectorPlano reader;
  reader.lea_registros(
      o.at("--file"),
      [&](const TCamposRegistro& fields, const LinePosition&) {
        asigne_valores(fields, layout, values);
        ++records;
      },
      [] {});
  const double read = Seconds(Clock::now() - t1);

  std::printf("RESULT seconds=%.6f lines=%lld read_seconds=%.6f forced_writes=%lld records=%lld\n",
              seconds, static_cast<long long>(lines), read, static_cast<long long>(forced),
              static_cast<long long>(records));
  return 0;
}

// The rows of a table as fetched, in key order.
struct Batch {
  std::vector<fb::Row> headers;
  std::vector<std::vector<fb::Row>> lines;
};

// (a): the rows (b) wrote, read back a batch of orders at a time (not
// timed) and inserted into a fresh company with prepared statements, one
// transaction per order, the identifier from the generator.
int BaselinePhase(const std::map<std::string, std::string>& o) {
  const fb::AttachOptions source = AttachTo(o.at("--source"), o.at("--user"), o.at("--password"));
  const fb::AttachOptions target = AttachTo(o.at("--db"), o.at("--user"), o.at("--password"));

  fb::Attachment src = fb::Attachment::Attach(source);
  fb::TransactionOptions read;
  read.read_only = true;
  read.isolation = fb::TransactionOptions::Isolation::kSnapshot;
  fb::Transaction tsrc = fb::Transaction::Begin(src, read);
  fb::Statement qh = fb::Statement::Prepare(src, tsrc, "SELECT * FROM PEDIDOS ORDER BY PEDI_ID");
  fb::Statement ql = fb::Statement::Prepare(
      src, tsrc, "SELECT * FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM");
  fb::Cursor ch = qh.Open(tsrc);
  fb::Cursor cl = ql.Open(tsrc);
  size_t header_id = 0, line_id = 0;
  for (size_t i = 0; i < qh.columns().size(); ++i)
    if (qh.columns()[i].name == "PEDI_ID") header_id = i;
  for (size_t i = 0; i < ql.columns().size(); ++i)
    if (ql.columns()[i].name == "PEDI_ID") line_id = i;

  // Every column of the table; PEDI_ID drawn in the header's insert.
  std::string columns, values;
  for (size_t i = 0; i < qh.columns().size(); ++i) {
    columns += (i ? ", " : "") + qh.columns()[i].name;
    values += (i ? ", " : "") + std::string(i == header_id ? "NEXT VALUE FOR GEN_PEDIDOS" : "?");
  }
  const std::string sql_header =
      "INSERT INTO PEDIDOS (" + columns + ") VALUES (" + values + ") RETURNING PEDI_ID";
  columns.clear();
  values.clear();
  for (size_t i = 0; i < ql.columns().size(); ++i) {
    columns += (i ? ", " : "") + ql.columns()[i].name;
    values += i ? ", ?" : "?";
  }
  const std::string sql_line =
      "INSERT INTO PEDIDOS_DETALLE (" + columns + ") VALUES (" + values + ")";

  bool has_line = cl.Fetch();
  Clock::duration measured{};
  Clock::time_point t = Clock::now();
  fb::Attachment dst = fb::Attachment::Attach(target);
  fb::Statement ins_h, ins_l;
  {
    fb::Transaction tp = fb::Transaction::Begin(dst);
    ins_h = fb::Statement::Prepare(dst, tp, sql_header);
    ins_l = fb::Statement::Prepare(dst, tp, sql_line);
    tp.Commit();
  }
  measured += Clock::now() - t;

  int64_t written = 0;
  fb::TransactionOptions write;  // read committed, wait, write
  for (;;) {
    Batch batch;
    while (batch.headers.size() < 1000 && ch.Fetch()) {
      batch.headers.push_back(ch.row());
      std::vector<fb::Row>& lines = batch.lines.emplace_back();
      const int64_t id = ch.row()[header_id].integer;
      while (has_line && cl.row()[line_id].integer == id) {
        lines.push_back(cl.row());
        has_line = cl.Fetch();
      }
    }
    if (batch.headers.empty()) break;

    t = Clock::now();
    for (size_t p = 0; p < batch.headers.size(); ++p) {
      fb::Transaction tra = fb::Transaction::Begin(dst, write);
      const fb::Row& h = batch.headers[p];
      for (size_t i = 0, k = 0; i < h.size(); ++i)
        if (i != header_id) ins_h.SetParam(static_cast<int>(k++), h[i]);
      ins_h.ExecuteUncounted(tra);
      const fb::Value id = ins_h.outputs().at(0);
      for (const fb::Row& l : batch.lines[p]) {
        for (size_t i = 0; i < l.size(); ++i)
          ins_l.SetParam(static_cast<int>(i), i == line_id ? id : l[i]);
        ins_l.ExecuteUncounted(tra);
        ++written;
      }
      tra.Commit();
    }
    measured += Clock::now() - t;
  }
  t = Clock::now();
  dst.Detach();
  measured += Clock::now() - t;

  std::printf("RESULT seconds=%.6f lines=%lld\n", Seconds(measured), static_cast<long long>(written));
  return 0;
}

}  // namespace

void CreateCompany(const std::string& path) {
  const std::string command =
      ShellQuote(std::string(IMPORTA_SOURCE_DIR) + "/schema/create_db.sh") + " " + ShellQuote(path) +
      " >/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("create_db.sh failed");
  fb::Attachment att = fb::Attachment::Attach(AttachTo(path, "SYSDBA", "masterkey"));
  generated::PopulateCompany(att);
}

int RunChildPhase(const std::vector<std::string>& args) {
  const std::map<std::string, std::string> o = Options(args);
  try {
    const std::string& phase = o.at("--phase");
    if (phase == "import") return ImportPhase(o);
    if (phase == "baseline") return BaselinePhase(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import_bench phase: %s\n", e.what());
    return 1;
  }
  return 2;
}

}  // namespace imp::bench
