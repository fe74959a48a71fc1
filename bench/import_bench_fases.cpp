#include "bench/import_bench_fases.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/import_bench_datos.h"
#include "db/connection.h"
#include "db/dialogs.h"
#include "db/firebird.h"
#include "db/order_store.h"
#include "db/query_set.h"
#include "db/tfdm.h"
#include "import/import_run.h"
#include "import/importacion.h"
#include "import/lector_plano.h"
#include "import/screen.h"
#include "import/valores_registro.h"

namespace imp::bench {
namespace {

using Reloj = std::chrono::steady_clock;

double Segundos(Reloj::duration d) { return std::chrono::duration<double>(d).count(); }

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

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

bool EscrituraForzada(const fb::AttachOptions& destino) {
  fb::Attachment att = fb::Attachment::Attach(destino);
  fb::TransactionOptions lectura;
  lectura.read_only = true;
  fb::Transaction tra = fb::Transaction::Begin(att, lectura);
  fb::Statement st =
      fb::Statement::Prepare(att, tra, "SELECT MON$FORCED_WRITES FROM MON$DATABASE");
  fb::Cursor c = st.Open(tra);
  return c.Fetch() && c.row().at(0).integer != 0;
}

// (b): the whole import of the file, as an unattended run drives it: the
// connection, the import layout of the company, the run.
int FaseImportacion(const std::map<std::string, std::string>& o) {
  const std::string& archivo = o.at("--file");
  const RegionalSettings rs;
  PantallaSilenciosa pantalla(archivo);

  const Reloj::time_point t0 = Reloj::now();
  Tfdm fdm;
  fdm.Norvela.SetParam("Database", o.at("--db"));
  fdm.Norvela.SetParam("User_Name", o.at("--user"));
  fdm.Norvela.SetParam("Password", o.at("--password"));
  CImportacion layout;
  {
    QuerySet capas(fdm.Norvela, rs, "CImporinv",
                   "select * from importacion_inventario where IMIN_TIPO = 23 order by imin_columna");
    capas.Open();
    for (capas.First(); !capas.Eof(); capas.Next()) {
      layout.agregue(TFilaImportacion{capas.AsText("IMIN_DATO"), capas.AsInteger("IMIN_COLUMNA"),
                                      capas.AsInteger("IMIN_ANCHO"), "SI"});
    }
  }
  OrderStore store(fdm);
  ImportRun run(fdm, store, layout, rs, pantalla, pantalla);
  run.SpeedButton3Click();
  fdm.Norvela.Close();
  const double segundos = Segundos(Reloj::now() - t0);

  const ResumenImportacion& r = run.resumen();
  if (r.fin != ResumenImportacion::Fin::kCompleta || !r.pedidos_descartados.empty() ||
      r.lineas_descartadas != 0) {
    std::fprintf(stderr, "the import did not complete cleanly:\n%s", pantalla.mensajes.c_str());
    return 1;
  }
  const bool forzada = EscrituraForzada(Destino(o.at("--db"), o.at("--user"), o.at("--password")));

  // Reading and mapping alone, the file as warm in the page cache as the
  // import found it.
  const Reloj::time_point t1 = Reloj::now();
  TValoresRegistro valores;
  int64_t registros = 0;
  TLectorPlano lector;
  lector.lea_registros(
      archivo,
      [&](const TCamposRegistro& campos, const TPosicionLinea&) {
        asigne_valores(campos, layout, valores);
        ++registros;
      },
      [] {});
  const double lectura = Segundos(Reloj::now() - t1);
  if (registros != r.registros) return 1;

  std::printf("RESULT seconds=%.6f lines=%lld read_seconds=%.6f forced_writes=%d\n", segundos,
              static_cast<long long>(r.lineas_grabadas), lectura, forzada ? 1 : 0);
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
      ins_h.Execute(tra);
      const fb::Value id = ins_h.outputs().at(0);
      for (const fb::Row& l : lote.lineas[p]) {
        for (size_t i = 0; i < l.size(); ++i)
          ins_l.SetParam(static_cast<int>(i), i == id_linea ? id : l[i]);
        ins_l.Execute(tra);
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
  PuebleEmpresa(att);
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
