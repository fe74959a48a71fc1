#include "bench/import_bench_fases.h"

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

#ifdef IMPORTA_BENCH_BATCH
#include "batch/batch_mode.h"
#endif

namespace imp::bench {
namespace {

using Reloj = std::chrono::steady_clock;

double Segundos(Reloj::duration d) { return std::chrono::duration<double>(d).count(); }

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

#ifndef IMPORTA_BENCH_BATCH
// The screen and message boxes of an unattended run that paints nothing;
// it keeps the messages so that the phase can tell a complete run.
class PantallaSilenciosa : public ImportScreen, public Dialogs {
 public:
  explicit PantallaSilenciosa(std::string ruta) : ruta_(std::move(ruta)) {}
  void ShowStatus(const std::string&) override {}
  void HideStatus() override {}
  void ShowRecordBox() override {}
  void SetRecordText(const std::string&) override {}
  void StepProgress() override {}
  void ShowMessage(const std::string& text) override { mensajes += text + "\n"; }
  void ShowError(const std::string& text) override { mensajes += text + "\n"; }
  void CloseWindow() override {}
  std::string FileLocation() override { return ruta_; }
  Date FallbackDate() override { return *Date::FromYmd(2024, 3, 1); }

  std::string mensajes;

 private:
  std::string ruta_;
};
#endif

std::map<std::string, std::string> Opciones(const std::vector<std::string>& args) {
  std::map<std::string, std::string> o;
  for (size_t i = 0; i + 1 < args.size(); i += 2) o[args[i]] = args[i + 1];
  return o;
}

fb::AttachOptions Destino(const std::string& db, const std::string& usuario,
                          const std::string& clave) {
  fb::AttachOptions a;
  a.database = db;
  a.user = usuario;
  a.password = clave;
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

void Conecte(Tfdm& fdm, const fb::AttachOptions& destino) {
  fdm.Norvela.SetParam("Database", destino.database);
  fdm.Norvela.SetParam("User_Name", destino.user);
  fdm.Norvela.SetParam("password", destino.password);
}

#ifdef IMPORTA_BENCH_BATCH
// The import as batch mode runs it, from its command line on: settings
// file, connection, layout, the run, the summary.
bool Importe(const std::map<std::string, std::string>& o, const fb::AttachOptions&) {
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
  const int estado = RunBatch(static_cast<int>(args.size()), argv.data());
  std::fflush(stdout);
  return estado == kBatchAllWritten;
}
#else
// Without the front end's batch mode in the build: the same run, driven as
// batch mode drives it, with a screen that paints nothing.
bool Importe(const std::map<std::string, std::string>& o, const fb::AttachOptions& destino) {
  const RegionalSettings rs;
  PantallaSilenciosa pantalla(o.at("--file"));
  Tfdm fdm;
  fdm.set_dialogs(&pantalla);
  Conecte(fdm, destino);
  fdm.Norvela.Open();
  const CImportacion layout = Layout(fdm, rs);
  OrderStore store(fdm);
  ImportRun run(fdm, store, layout, rs, pantalla, pantalla);
  if (o.count("--orders-per-transaction"))
    run.set_orders_per_transaction(std::atoi(o.at("--orders-per-transaction").c_str()));
  run.SpeedButton3Click();
  const ImportSummary& r = run.summary();
  if (r.outcome != ImportSummary::Outcome::kComplete || !r.dropped_orders.empty() ||
      r.dropped_lines != 0) {
    std::fprintf(stderr, "%s", pantalla.mensajes.c_str());
    return false;
  }
  return true;
}
#endif

int64_t Contar(const fb::AttachOptions& destino, const char* sql) {
  fb::Attachment att = fb::Attachment::Attach(destino);
  fb::TransactionOptions lectura;
  lectura.read_only = true;
  fb::Transaction tra = fb::Transaction::Begin(att, lectura);
  fb::Statement st = fb::Statement::Prepare(att, tra, sql);
  fb::Cursor c = st.Open(tra);
  return c.Fetch() ? c.row().at(0).integer : -1;
}

// (b): the whole import of the file, timed from the command line to the
// end of the run; then, untimed, the count of written lines, whether the
// database forces its writes, and reading and mapping the file alone (as
// warm in the page cache as the import found it).
int FaseImportacion(const std::map<std::string, std::string>& o) {
  const fb::AttachOptions destino = Destino(o.at("--db"), o.at("--user"), o.at("--password"));
  const Reloj::time_point t0 = Reloj::now();
  const bool completa = Importe(o, destino);
  const double segundos = Segundos(Reloj::now() - t0);
  if (!completa) {
    std::fprintf(stderr, "the import did not write every order and line\n");
    return 1;
  }

  const int64_t lineas = Contar(destino, "SELECT COUNT(*) FROM PEDIDOS_DETALLE");
  const int64_t forzada = Contar(destino, "SELECT MON$FORCED_WRITES FROM MON$DATABASE");
  CImportacion layout;
  {
    Tfdm fdm;
    Conecte(fdm, destino);
    layout = Layout(fdm, RegionalSettings());
  }

  const Reloj::time_point t1 = Reloj::now();
  TValoresRegistro valores;
  int64_t registros = 0;
  TLectorPlano lector;
  lector.lea_registros(
      o.at("--file"),
      [&](const TCamposRegistro& campos, const LinePosition&) {
        asigne_valores(campos, layout, valores);
        ++registros;
      },
      [] {});
  const double lectura = Segundos(Reloj::now() - t1);

  std::printf("RESULT seconds=%.6f lines=%lld read_seconds=%.6f forced_writes=%lld records=%lld\n",
              segundos, static_cast<long long>(lineas), lectura, static_cast<long long>(forzada),
              static_cast<long long>(registros));
  return 0;
}

// The rows of a table as fetched, in key order.
struct Lote {
  std::vector<fb::Row> cabeceras;
  std::vector<std::vector<fb::Row>> lineas;
};

// (a): the rows (b) wrote, read back a batch of orders at a time (not
// timed) and inserted into a fresh company with prepared statements, one
// transaction per order, the identifier from the generator.
int FaseBase(const std::map<std::string, std::string>& o) {
  const fb::AttachOptions origen = Destino(o.at("--source"), o.at("--user"), o.at("--password"));
  const fb::AttachOptions destino = Destino(o.at("--db"), o.at("--user"), o.at("--password"));

  fb::Attachment src = fb::Attachment::Attach(origen);
  fb::TransactionOptions lectura;
  lectura.read_only = true;
  lectura.isolation = fb::TransactionOptions::Isolation::kSnapshot;
  fb::Transaction tsrc = fb::Transaction::Begin(src, lectura);
  fb::Statement qh = fb::Statement::Prepare(src, tsrc, "SELECT * FROM PEDIDOS ORDER BY PEDI_ID");
  fb::Statement ql = fb::Statement::Prepare(
      src, tsrc, "SELECT * FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM");
  fb::Cursor ch = qh.Open(tsrc);
  fb::Cursor cl = ql.Open(tsrc);
  size_t id_cabecera = 0, id_linea = 0;
  for (size_t i = 0; i < qh.columns().size(); ++i)
    if (qh.columns()[i].name == "PEDI_ID") id_cabecera = i;
  for (size_t i = 0; i < ql.columns().size(); ++i)
    if (ql.columns()[i].name == "PEDI_ID") id_linea = i;

  // Every column of the table; PEDI_ID drawn in the header's insert.
  std::string columnas, valores;
  for (size_t i = 0; i < qh.columns().size(); ++i) {
    columnas += (i ? ", " : "") + qh.columns()[i].name;
    valores += (i ? ", " : "") + std::string(i == id_cabecera ? "NEXT VALUE FOR GEN_PEDIDOS" : "?");
  }
  const std::string sql_cabecera =
      "INSERT INTO PEDIDOS (" + columnas + ") VALUES (" + valores + ") RETURNING PEDI_ID";
  columnas.clear();
  valores.clear();
  for (size_t i = 0; i < ql.columns().size(); ++i) {
    columnas += (i ? ", " : "") + ql.columns()[i].name;
    valores += i ? ", ?" : "?";
  }
  const std::string sql_linea =
      "INSERT INTO PEDIDOS_DETALLE (" + columnas + ") VALUES (" + valores + ")";

  bool hay_linea = cl.Fetch();
  Reloj::duration medido{};
  Reloj::time_point t = Reloj::now();
  fb::Attachment dst = fb::Attachment::Attach(destino);
  fb::Statement ins_h, ins_l;
  {
    fb::Transaction tp = fb::Transaction::Begin(dst);
    ins_h = fb::Statement::Prepare(dst, tp, sql_cabecera);
    ins_l = fb::Statement::Prepare(dst, tp, sql_linea);
    tp.Commit();
  }
  medido += Reloj::now() - t;

  int64_t escritas = 0;
  fb::TransactionOptions escritura;  // read committed, wait, write
  for (;;) {
    Lote lote;
    while (lote.cabeceras.size() < 1000 && ch.Fetch()) {
      lote.cabeceras.push_back(ch.row());
      std::vector<fb::Row>& lineas = lote.lineas.emplace_back();
      const int64_t id = ch.row()[id_cabecera].integer;
      while (hay_linea && cl.row()[id_linea].integer == id) {
        lineas.push_back(cl.row());
        hay_linea = cl.Fetch();
      }
    }
    if (lote.cabeceras.empty()) break;

    t = Reloj::now();
    for (size_t p = 0; p < lote.cabeceras.size(); ++p) {
      fb::Transaction tra = fb::Transaction::Begin(dst, escritura);
      const fb::Row& h = lote.cabeceras[p];
      for (size_t i = 0, k = 0; i < h.size(); ++i)
        if (i != id_cabecera) ins_h.SetParam(static_cast<int>(k++), h[i]);
      ins_h.ExecuteUncounted(tra);
      const fb::Value id = ins_h.outputs().at(0);
      for (const fb::Row& l : lote.lineas[p]) {
        for (size_t i = 0; i < l.size(); ++i)
          ins_l.SetParam(static_cast<int>(i), i == id_linea ? id : l[i]);
        ins_l.ExecuteUncounted(tra);
        ++escritas;
      }
      tra.Commit();
    }
    medido += Reloj::now() - t;
  }
  t = Reloj::now();
  dst.Detach();
  medido += Reloj::now() - t;

  std::printf("RESULT seconds=%.6f lines=%lld\n", Segundos(medido), static_cast<long long>(escritas));
  return 0;
}

}  // namespace

void CreeEmpresa(const std::string& ruta) {
  const std::string comando =
      ShellQuote(std::string(IMPORTA_SOURCE_DIR) + "/schema/create_db.sh") + " " + ShellQuote(ruta) +
      " >/dev/null";
  if (std::system(comando.c_str()) != 0) throw std::runtime_error("create_db.sh failed");
  fb::Attachment att = fb::Attachment::Attach(Destino(ruta, "SYSDBA", "masterkey"));
  generated::PopulateCompany(att);
}

int CorraFaseHija(const std::vector<std::string>& args) {
  const std::map<std::string, std::string> o = Opciones(args);
  try {
    const std::string& fase = o.at("--phase");
    if (fase == "import") return FaseImportacion(o);
    if (fase == "baseline") return FaseBase(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "import_bench phase: %s\n", e.what());
    return 1;
  }
  return 2;
}

}  // namespace imp::bench
