// Batch mode end to end: the real importa-orders run as a subprocess
// against fresh embedded company databases, with its exit status, its
// standard error and its summary checked against what PEDIDOS and
// PEDIDOS_DETALLE hold afterwards.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/firebird.h"
#include "db/query_set.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/fresh_database.h"
#include "tests/support/non_ascii_company.h"
#include "values/date.h"

namespace imp::testing {
namespace {

constexpr char kExe[] = IMPORTA_PEDIDOS_EXE;
constexpr char kFinished[] = "Importación finalizada.";

void WriteFile(const std::string& path, const std::string& contents) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

// An order line for DISTRIBUIDORA EL SOL (point of sale 3, branch 02), VAT
// excluded. `date` is the order date field as the file gives it.
std::string Line(const std::string& number, const std::string& article,
                      const std::string& date = "1/16/2026") {
  return "FE," + number + "," + date + ",,4,3,830045678,DISTRIBUIDORA EL SOL LTDA,02,0,0,0," +
         article + ",10,UND,4860,0\r\n";
}
// A further line of the same order.
std::string More(const std::string& article) {
  return ",,,,,,,,,,,," + article + ",2,UND,2640,0\r\n";
}

// The figure after "label: " on its own line of the summary; nothing when
// the line is missing.
std::optional<long long> Figure(const std::string& summary, const std::string& label) {
  const std::string key = "\n" + label + ": ";
  const size_t at = ("\n" + summary).find(key);
  if (at == std::string::npos) return std::nullopt;
  return std::stoll(summary.substr(at + key.size() - 1));
}

// A company "demo" with the demo data, its settings file and a folder for
// order files; the batch runs happen in that folder.
class Company {
 public:
  explicit Company(const std::string& charset = "NONE") : db(/*demo=*/true, "demo", charset) {
    settings = db.server() + "/settings.conf";
    WriteFile(settings, db.server() + "\nSYSDBA\nmasterkey\ndemo\n");
  }

  std::string File(const std::string& contents, const std::string& name = "pedidos.csv") {
    const std::string path = db.server() + "/" + name;
    WriteFile(path, contents);
    return path;
  }

  // importa-orders with `args` under the C locale unless `env` says other.
  ProcessResult Run(const std::vector<std::string>& args, Environment env = {}) const {
    env.insert(env.begin(), {{"LC_ALL", "C"}, {"LANG", "C"}});
    return RunProcess(kExe, args, env, db.server());
  }
  // The batch import of `file` with this company's settings.
  ProcessResult Import(const std::string& file, std::vector<std::string> extra = {},
                       Environment env = {}) const {
    std::vector<std::string> args = {"--batch", "--settings", settings};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(file);
    return Run(args, std::move(env));
  }

  // The first column of every row of `sql`, as text.
  std::vector<std::string> Read(const std::string& sql) const {
    Connection connection;
    db.Configure(connection);
    RegionalSettings rs;
    QuerySet q(connection, rs, "QPrueba");
    q.SetCommandText(sql);
    q.Open();
    std::vector<std::string> values;
    for (q.First(); !q.Eof(); q.Next()) values.push_back(q.AsText(0));
    return values;
  }
  long long Count(const std::string& table) const {
    return std::stoll(Read("SELECT COUNT(*) FROM " + table).at(0));
  }
  std::string GeneratorValue() const {
    return Read("SELECT GEN_ID(GEN_PEDIDOS, 0) FROM RDB$DATABASE").at(0);
  }

  FreshDatabase db;
  std::string settings;
};

// The summary's counts are the tables' counts.
void ExpectCountsEqualToTables(const Company& c, const ProcessResult& r) {
  EXPECT_EQ(Figure(r.out, "Pedidos grabados"), c.Count("PEDIDOS")) << r.out;
  EXPECT_EQ(Figure(r.out, "Líneas grabadas"), c.Count("PEDIDOS_DETALLE")) << r.out;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs that reach the import: how they end, what they say and what they
// leave in the database.
TEST(BatchEndToEnd, ExitStatusesOfTheImport) {
  struct Case {
    const char* name;
    std::string contents;      // the order file; unused when `path` is set
    const char* path;           // a path of its own (relative to the company folder)
    const char* sql;            // prepared on the database before the run
    int status;
    std::vector<std::string> errors;  // standard error, line by line (prefixes)
    std::vector<std::string> details; // lines the summary must hold
    long long written, discarded, lines, discarded_lines;
  };
  const std::string example = [] {
    std::ifstream in(SourcePath("schema/examples/pedidos.csv"), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }();
  const Case cases[] = {
      {"archivo de ejemplo", example, nullptr, nullptr, 0, {kFinished}, {}, 5, 0, 14, 0},
      {"archivo vacío", "", nullptr, nullptr, 0, {kFinished}, {}, 0, 0, 0, 0},
      {"artículo desconocido",
       Line("1", "ART0013") + More("NOEXISTE") + More("ART0007") + Line("2", "ART0013"),
       nullptr, nullptr, 3,
       {"Código 'NOEXISTE' no encontrado.", kFinished},
       {"  línea 2: Artículo no válido: 'NOEXISTE'"}, 2, 0, 3, 1},
      {"pedido rechazado por la base de datos",
       Line("1", "ART0013") + Line("2", "ART0013") + More("ART0007") + Line("3", "ART0013"),
       nullptr,
       "ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_SIN_ART0007 CHECK (ARTI_COD <> 'ART0007');",
       3, {kFinished, "Pedido FE 2 no grabado: "}, {"  FE 2: "}, 2, 1, 2, 0},
      {"falla de conversión a mitad del archivo",
       Line("1", "ART0013") + More("ART0007") + Line("2", "ART0013", "13/45/2026") +
           Line("3", "ART0013"),
       nullptr, nullptr, 1,
       {"Línea 3: '13/45/2026' no es una fecha válida.",
        "Pedidos de esta importación ya grabados (quedan grabados): 1."},
       {"Resumen de la importación: interrumpida por una falla"}, 1, 0, 2, 0},
      {"archivo inexistente", "", "no-existe.csv", nullptr, 1,
       {"No se encontró el archivo a importar."}, {}, 0, 0, 0, 0},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    Company c;
    if (test_case.sql) c.db.Exec(test_case.sql);
    const std::string file =
        test_case.path ? c.db.server() + "/" + test_case.path : c.File(test_case.contents);
    const ProcessResult r = c.Import(file);

    EXPECT_EQ(r.status, test_case.status) << r.err;
    // Standard error is not a terminal: only the messages, one per line.
    std::vector<std::string> lines;
    for (size_t i = 0; i < r.err.size();) {
      const size_t end = r.err.find('\n', i);
      lines.push_back(r.err.substr(i, end - i));
      if (end == std::string::npos) break;
      i = end + 1;
    }
    ASSERT_EQ(lines.size(), test_case.errors.size()) << r.err;
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind(test_case.errors[i], 0), 0u) << lines[i];
    }
    EXPECT_FALSE(Contains(r.err, "\r")) << r.err;
    EXPECT_FALSE(Contains(r.err, "%")) << r.err;

    EXPECT_EQ(Figure(r.out, "Pedidos grabados"), test_case.written) << r.out;
    EXPECT_EQ(Figure(r.out, "Pedidos descartados"), test_case.discarded) << r.out;
    EXPECT_EQ(Figure(r.out, "Líneas grabadas"), test_case.lines) << r.out;
    EXPECT_EQ(Figure(r.out, "Líneas descartadas"), test_case.discarded_lines) << r.out;
    EXPECT_TRUE(Figure(r.out, "Líneas por segundo").has_value()) << r.out;
    EXPECT_TRUE(Contains(r.out, "\nTiempo transcurrido: ")) << r.out;
    for (const std::string& d : test_case.details) EXPECT_TRUE(Contains(r.out, d + "")) << r.out;
    ExpectCountsEqualToTables(c, r);
  }
}

// The dropped order's reason is the database's, on one line of the summary,
// and the discarded line's detail sits under its own heading.
TEST(BatchEndToEnd, SummaryDetailsUnderTheirHeading) {
  Company c;
  c.db.Exec("ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_SIN_ART0007 CHECK (ARTI_COD <> 'ART0007');");
  const ProcessResult r = c.Import(c.File(Line("1", "ART0007") + Line("2", "ART0013") +
                                          More("NOEXISTE")));
  EXPECT_EQ(r.status, 3);
  const size_t discarded = r.out.find("Pedidos descartados: 1\n");
  const size_t order = r.out.find("  FE 1: ");
  const size_t lines = r.out.find("Líneas descartadas: 1\n");
  const size_t line = r.out.find("  línea 3: Artículo no válido: 'NOEXISTE'\n");
  ASSERT_NE(order, std::string::npos) << r.out;
  ASSERT_NE(line, std::string::npos) << r.out;
  EXPECT_LT(discarded, order);
  EXPECT_LT(order, lines);
  EXPECT_LT(lines, line);
  const std::string reason = r.out.substr(order, r.out.find('\n', order) - order);
  EXPECT_TRUE(Contains(reason, "CK_SIN_ART0007")) << reason;
  ExpectCountsEqualToTables(c, r);
}

// Runs that stop before importing: nothing is written and no identifier is
// drawn.
TEST(BatchEndToEnd, NothingImportedEndsWithStatus2) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // "{settings}" and "{archivo}" are filled in
    const char* settings;           // contents of the settings file used; null: the company's
    std::string error;              // standard error begins with this
  };
  const Case cases[] = {
      {"opción desconocida", {"--batch", "--settings", "{settings}", "--dry-runx", "{archivo}"},
       nullptr, "importa-pedidos: Opción desconocida: --dry-runx\n"},
      {"fecha inexistente", {"--batch", "--settings", "{settings}", "--fecha", "2026-02-30", "{archivo}"},
       nullptr, "importa-pedidos: Fecha no válida en --fecha: '2026-02-30'"},
      {"sin archivo de pedidos", {"--batch", "--settings", "{settings}"}, nullptr,
       "importa-pedidos: Falta el archivo de pedidos\n"},
      {"archivo de configuración ausente", {"--batch", "--settings", "no-existe.conf", "{archivo}"},
       nullptr, "No se pudo leer el archivo de configuración no-existe.conf.\n"},
      {"configuración sin compañía", {"--batch", "--settings", "{settings}", "{archivo}"},
       "/srv\nSYSDBA\nmasterkey\n", "El archivo de configuración "},
      {"compañía sin base de datos", {"--batch", "--settings", "{settings}", "{archivo}"},
       "{server}\nSYSDBA\nmasterkey\notra\n", ""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    Company c;
    const std::string file = c.File(Line("1", "ART0013"));
    std::string settings = c.settings;
    if (test_case.settings) {
      settings = c.db.server() + "/otra.conf";
      std::string text = test_case.settings;
      if (const size_t at = text.find("{server}"); at != std::string::npos) {
        text.replace(at, 8, c.db.server());
      }
      WriteFile(settings, text);
    }
    std::vector<std::string> args;
    for (const std::string& a : test_case.args) {
      args.push_back(a == "{settings}" ? settings : a == "{archivo}" ? file : a);
    }
    const ProcessResult r = c.Run(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err.rfind(test_case.error, 0), 0u) << r.err;
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(c.Count("PEDIDOS"), 0);
    EXPECT_EQ(c.GeneratorValue(), "0");
  }
}

// The fallback order date is --date (YYYY-MM-DD whatever the locale), or
// today; dates in the file follow the locale's regional settings.
TEST(BatchEndToEnd, OrderDate) {
  struct Case {
    const char* number;
    const char* locale;
    const char* file_date;
    const char* option_date;  // null: no --date
    std::string expected_date;      // PEDI_FECHA as yyyy-mm-dd
  };
  const Date today = Date::Today();
  char today_text[16];
  std::snprintf(today_text, sizeof today_text, "%04d-%02d-%02d", today.year(), today.month(), today.day());
  const Case cases[] = {
      {"1", "C", "", "2026-03-05", "2026-03-05"},
      {"2", "de_DE.UTF-8", "", "2026-03-05", "2026-03-05"},
      {"3", "C", "1/15/2026", "2026-03-05", "2026-01-15"},
      {"4", "de_DE.UTF-8", "15.1.2026", nullptr, "2026-01-15"},
      {"5", "C", "", nullptr, today_text},
  };
  Company c;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.number);
    std::vector<std::string> extra;
    if (test_case.option_date) extra = {"--fecha", test_case.option_date};
    const ProcessResult r =
        c.Import(c.File(Line(test_case.number, "ART0013", test_case.file_date)), extra,
                 {{"LC_ALL", test_case.locale}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(c.Read("SELECT CAST(PEDI_FECHA AS VARCHAR(10)) FROM PEDIDOS WHERE PEDI_NUMERO = '" +
                     std::string(test_case.number) + "'"),
              std::vector<std::string>{test_case.expected_date});
  }
}

// Without --settings the settings file is the install directory's, which
// the per-machine store names; without the store, the window's message.
TEST(BatchEndToEnd, InstallDirectorySettings) {
  Company c;
  const std::string install = c.db.server() + "/instalacion";
  const std::string store = c.db.server() + "/xdg";
  WriteFile(install + "/settings.conf", c.db.server() + "\r\nSYSDBA\r\nmasterkey\r\ndemo\r\n");
  const std::string file = c.File(Line("1", "ART0013"));

  const ProcessResult without_store =
      c.Run({"--batch", file}, {{"IMPORTA_SYSTEM_CONFIG_DIR", store}});
  EXPECT_EQ(without_store.status, 2);
  EXPECT_EQ(without_store.err.rfind(
                "No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\QRM\\Quintavalle\\Directorio\n",
                0),
            0u)
      << without_store.err;
  EXPECT_EQ(c.Count("PEDIDOS"), 0);

  WriteFile(store + "/QRM/Quintavalle.conf", "[General]\nDirectorio=" + install + "\n");
  const ProcessResult r = c.Run({"--batch", file}, {{"IMPORTA_SYSTEM_CONFIG_DIR", store}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, std::string(kFinished) + "\n");
  ExpectCountsEqualToTables(c, r);
  EXPECT_EQ(c.Count("PEDIDOS"), 1);

  // The install directory's settings file (it holds the password) is no
  // place for the report.
  const std::string configuracion = ReadFile(install + "/settings.conf");
  const ProcessResult over =
      c.Run({"--batch", "--report", install + "/settings.conf", file},
            {{"IMPORTA_SYSTEM_CONFIG_DIR", store}});
  EXPECT_EQ(over.status, 2) << over.err;
  EXPECT_TRUE(Contains(over.err, "--report no puede escribir sobre el archivo de configuración"))
      << over.err;
  EXPECT_EQ(ReadFile(install + "/settings.conf"), configuracion);
  EXPECT_EQ(c.Count("PEDIDOS"), 1);
}

// On a terminal the progress line is drawn on standard error; the summary
// on standard output is the same.
TEST(BatchEndToEnd, ProgressBarOnlyOnATerminal) {
  Company c;
  const ProcessResult r = RunProcessOnTerminal(
      kExe, {"--batch", "--settings", c.settings, c.File(Line("1", "ART0013") + More("ART0007"))},
      {{"LC_ALL", "C"}}, c.db.server());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "] 100 %  ")) << r.err;
  EXPECT_TRUE(Contains(r.err, " líneas/s")) << r.err;
  // The progress line is ended before the closing message.
  EXPECT_LT(r.err.find("100 %"), r.err.find(kFinished)) << r.err;
  EXPECT_EQ(Figure(r.out, "Líneas grabadas"), 2) << r.out;
  ExpectCountsEqualToTables(c, r);
}

TEST(BatchEndToEnd, HelpDescribesOptionsAndStatuses) {
  Company c;
  const ProcessResult r = c.Run({"--help"}, {{"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (const char* part : {"--batch", "--settings ARCHIVO", "--fecha AAAA-MM-DD", "--help",
                            "--dry-run", "--rejects ARCHIVO", "ARCHIVO.log", "--skip-existing",
                            "--report ARCHIVO", "Estado de salida", "\n  0  ", "\n  1  ", "\n  2  ", "\n  3  "}) {
    EXPECT_TRUE(Contains(r.out, part)) << part;
  }
}


std::string Replaced(std::string text, const std::string& from, const std::string& a) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + a.size())) {
    text.replace(at, from.size(), a);
  }
  return text;
}

// A further line whose quantity the database refuses (CK_CANTIDAD below).
std::string Overlong(const std::string& article) {
  return Replaced(More(article), ",2,UND,", ",5000,UND,");
}
constexpr char kQuantityLimit[] =
    "ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_CANTIDAD CHECK (PEDE_CANT < 1000);";

// A dry run says what the real run will do, and leaves the database as it
// was: same rows, same generator. Each company already holds one order, so
// stand-in identifiers have a real one to keep clear of.
TEST(BatchEndToEnd, DryRunChangesNothingAndPredictsTheRealRun) {
  struct Case {
    const char* name;
    std::string contents;
    const char* sql;
    std::vector<std::string> extra;
    int status;
  };
  const Case cases[] = {
      {"todo se graba", Line("1", "ART0013") + More("ART0007") + Line("2", "ART0013"), nullptr,
       {}, 0},
      {"artículo desconocido", Line("1", "ART0013") + More("NOEXISTE"), nullptr, {}, 3},
      {"pedido rechazado", Line("1", "ART0013") + Overlong("ART0007") + Line("2", "ART0013"),
       kQuantityLimit, {}, 3},
      {"falla a mitad", Line("1", "ART0013") + Line("2", "ART0013", "13/45/2026") +
                            Line("3", "ART0013"),
       nullptr, {}, 1},
      // The refused FE 2 leaves nothing behind in the dry run's transaction,
      // so its second appearance is written, as in the real run.
      {"rechazado y repetido, sin repetir lo ya grabado",
       Line("2", "ART0013") + Overlong("ART0007") + Line("3", "ART0013") +
           Line("2", "ART0013") + Line("3", "ART0013"),
       kQuantityLimit, {"--skip-existing"}, 3},
      {"pedido ya grabado", Line("90", "ART0013"), nullptr, {"--skip-existing"}, 3},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    Company c;
    ASSERT_EQ(c.Import(c.File(Line("90", "ART0013"), "previo.csv")).status, 0);
    if (test_case.sql) c.db.Exec(test_case.sql);
    const std::string file = c.File(test_case.contents);
    const std::string generator = c.GeneratorValue();
    const std::string rejects = c.db.server() + "/rechazos.csv";

    std::vector<std::string> dry_run_args = test_case.extra;
    dry_run_args.insert(dry_run_args.end(), {"--dry-run", "--rejects", rejects});
    const ProcessResult dry_run = c.Import(file, dry_run_args);
    EXPECT_EQ(dry_run.status, test_case.status) << dry_run.err;
    EXPECT_EQ(dry_run.out.rfind("SIMULACIÓN (--dry-run): ", 0), 0u) << dry_run.out;
    EXPECT_TRUE(Contains(dry_run.out, "\nSIMULACIÓN: nada quedó grabado.\n")) << dry_run.out;
    EXPECT_EQ(dry_run.err.rfind("Simulación (--dry-run): ", 0), 0u) << dry_run.err;
    // Nothing of a dry run stays written, not even in a failure's count.
    EXPECT_FALSE(Contains(dry_run.err, "quedan grabados")) << dry_run.err;
    if (test_case.status == 1) {
      EXPECT_TRUE(Contains(dry_run.err, "\nPedidos de esta importación grabados en la simulación "
                                         "(se deshacen): 1.\n"))
          << dry_run.err;
    }
    EXPECT_EQ(c.Count("PEDIDOS"), 1);
    EXPECT_EQ(c.Count("PEDIDOS_DETALLE"), 1);
    EXPECT_EQ(c.GeneratorValue(), generator);
    const std::string dry_run_rejects = ReadFile(rejects);

    std::vector<std::string> real_args = test_case.extra;
    real_args.insert(real_args.end(), {"--rejects", rejects});
    const ProcessResult real = c.Import(file, real_args);
    EXPECT_EQ(real.status, test_case.status) << real.err;
    for (const char* figure : {"Pedidos grabados", "Pedidos descartados", "Líneas grabadas",
                              "Líneas descartadas", "Líneas leídas"}) {
      EXPECT_EQ(Figure(dry_run.out, figure), Figure(real.out, figure)) << figure << "\n" << real.out;
    }
    EXPECT_EQ(Figure(dry_run.out, "Pedidos ya importados (omitidos)"),
              Figure(real.out, "Pedidos ya importados (omitidos)"));
    EXPECT_EQ(dry_run_rejects, ReadFile(rejects));
    EXPECT_EQ(c.Count("PEDIDOS"), 1 + *Figure(real.out, "Pedidos grabados"));
  }
}

// The way back from a failed run: the rejects hold every line not
// imported, byte for byte; once mended and imported with --skip-existing,
// every order is in the database exactly once. Feeding the whole file
// again with --skip-existing then writes nothing and draws no identifier.
TEST(BatchEndToEnd, CorrectedRejectsFinishTheJob) {
  Company c;
  c.db.Exec(kQuantityLimit);
  const std::string fe1 = Line("1", "ART0013") + More("ART0007");
  const std::string fe2 = Line("2", "ART0013") + Overlong("ART0007");
  const std::string fe3 = Line("3", "ART0013", "13/45/2026") + More("ART0007");
  // LF alone and no line end at the end of the file: copied as they are.
  const std::string fe4 = Replaced(Line("4", "ART0013"), "\r\n", "\n");
  const std::string fe5 = Line("5", "ART0013") + Replaced(More("ART0007"), "\r\n", "");
  const std::string rejects = c.db.server() + "/rechazos.csv";

  const ProcessResult failed = c.Import(c.File(fe1 + fe2 + fe3 + fe4 + fe5),
                                         {"--rejects", rejects});
  EXPECT_EQ(failed.status, 1) << failed.err;
  EXPECT_EQ(c.Read("SELECT PEDI_NUMERO FROM PEDIDOS"), std::vector<std::string>{"1"});
  EXPECT_EQ(ReadFile(rejects), fe2 + fe3 + fe4 + fe5);
  const std::string log = ReadFile(rejects + ".log");
  const std::vector<std::string> expected = {
      "línea 3: pedido FE 2 rechazado por la base de datos: ",
      "línea 4: pedido FE 2 rechazado por la base de datos: ",
      "línea 5: pedido cortado por la falla: '13/45/2026' no es una fecha válida\n",
      "línea 6: no leída, la importación se detuvo en la línea 5\n",
      "línea 7: no leída, la importación se detuvo en la línea 5\n",
      "línea 8: no leída, la importación se detuvo en la línea 5\n",
      "línea 9: no leída, la importación se detuvo en la línea 5\n"};
  size_t at = 0;
  for (const std::string& line : expected) {
    EXPECT_EQ(log.compare(at, line.size(), line), 0) << log;
    at = log.find('\n', at) + 1;
  }
  EXPECT_EQ(at, log.size()) << log;
  EXPECT_TRUE(Contains(log.substr(0, log.find('\n')), "CK_CANTIDAD")) << log;

  // The operator mends the rejects and imports them.
  const std::string corrected = c.File(
      Replaced(Replaced(ReadFile(rejects), "5000", "3"), "13/45/2026", "1/17/2026"),
      "corregido.csv");
  const ProcessResult second = c.Import(corrected, {"--skip-existing", "--rejects", rejects});
  EXPECT_EQ(second.status, 0) << second.err << second.out;
  EXPECT_EQ(ReadFile(rejects), "");
  EXPECT_EQ(c.Read("SELECT PEDI_NUMERO || ':' || COUNT(*) FROM PEDIDOS GROUP BY PEDI_NUMERO"),
            (std::vector<std::string>{"1:1", "2:1", "3:1", "4:1", "5:1"}));
  EXPECT_EQ(c.Count("PEDIDOS_DETALLE"), 9);

  const std::string generator = c.GeneratorValue();
  const ProcessResult again = c.Import(
      c.File(fe1 + Replaced(fe2, "5000", "3") + Replaced(fe3, "13/45/2026", "1/17/2026") +
                    fe4 + fe5,
                "original-corregido.csv"),
      {"--skip-existing"});
  EXPECT_EQ(again.status, 3) << again.err;
  EXPECT_EQ(Figure(again.out, "Pedidos ya importados (omitidos)"), 5) << again.out;
  EXPECT_EQ(Figure(again.out, "Pedidos grabados"), 0) << again.out;
  EXPECT_TRUE(Contains(again.out, "\n  FE 3: ya grabado con el identificador ")) << again.out;
  EXPECT_EQ(c.Count("PEDIDOS"), 5);
  EXPECT_EQ(c.Count("PEDIDOS_DETALLE"), 9);
  EXPECT_EQ(c.GeneratorValue(), generator);
}

// Every row of `sql` as written: each value with its kind, digits and
// scale, texts and blobs as their bytes.
std::vector<std::string> WrittenRows(const Company& c, const std::string& sql) {
  Connection connection;
  c.db.Configure(connection);
  std::vector<std::string> rows;
  for (const fb::Row& row : connection.Query(connection.Prepared(sql))) {
    std::string text;
    for (const fb::Value& v : row) {
      text += std::to_string(static_cast<int>(v.kind)) + ":" + std::to_string(v.integer) + "e" +
               std::to_string(v.scale) + ":" + v.bytes + ":" + std::to_string(v.date.days()) + "|";
    }
    rows.push_back(std::move(text));
  }
  return rows;
}

// A file of `orders` orders of 1 to 12 lines; every 17th order has a line
// whose article does not exist (dropped, and with it the order's rejects),
// every 23rd a quantity the company's constraint refuses.
std::string VariedOrderFile(int orders, int first_number) {
  std::string file;
  for (int i = 0; i < orders; ++i) {
    const std::string number = std::to_string(first_number + i);
    char article[16];
    for (int j = 0; j <= i % 12; ++j) {
      std::snprintf(article, sizeof article, "ART%04d", (i * 7 + j * 13) % 300 + 1);
      if (j == 0) {
        file += Line(number, article);
      } else if (j == 1 && i % 17 == 5) {
        file += More("NOEXISTE");
      } else if (j == 2 && i % 23 == 7) {
        file += Overlong(article);
      } else {
        file += More(article);
      }
    }
  }
  return file;
}

// What is written does not depend on how it is sent: one INSERT a row, one
// statement an order, or fifty orders a transaction give the same rows,
// the same summary, rejects and report.
TEST(BatchEndToEnd, WhatIsWrittenDoesNotDependOnHowItIsSent) {
  struct Route {
    const char* name;
    std::vector<std::string> options;
    Environment environment;
  };
  const std::vector<Route> routes = {
      {"una sentencia por fila", {}, {{"IMPORTA_ESCRITURA", "filas"}}},
      {"una sentencia por pedido", {}, {{"IMPORTA_ESCRITURA", "bloques"}}},
      {"50 pedidos por transacción", {"--pedidos-por-transaccion", "50"}, {}},
      {"50 por transacción, en bloques", {"--pedidos-por-transaccion", "50"},
       {{"IMPORTA_ESCRITURA", "bloques"}}},
  };
  std::vector<std::string> headers, lines;
  std::string rejects, log_text, summary;
  for (const Route& route : routes) {
    SCOPED_TRACE(route.name);
    Company c;
    c.db.Exec(kQuantityLimit);
    const std::string file = c.File(VariedOrderFile(130, 2000));
    const std::string rejects_path = c.db.server() + "/rechazos.csv";
    std::vector<std::string> options = route.options;
    options.insert(options.end(), {"--rejects", rejects_path, "--fecha", "2026-01-16"});
    const ProcessResult r = c.Import(file, options, route.environment);
    EXPECT_EQ(r.status, 3) << r.err;
    ExpectCountsEqualToTables(c, r);
    const std::vector<std::string> h = WrittenRows(c, "SELECT * FROM PEDIDOS ORDER BY PEDI_ID");
    const std::vector<std::string> l =
        WrittenRows(c, "SELECT * FROM PEDIDOS_DETALLE ORDER BY PEDI_ID, PEDE_ITEM");
    // The summary without its times.
    std::string figures;
    for (const char* figure_label : {"Pedidos grabados", "Pedidos descartados", "Líneas grabadas",
                                 "Líneas descartadas", "Líneas leídas"}) {
      figures += std::to_string(Figure(r.out, figure_label).value_or(-1)) + " ";
    }
    if (headers.empty()) {
      headers = h;
      lines = l;
      rejects = ReadFile(rejects_path);
      log_text = ReadFile(rejects_path + ".log");
      summary = figures;
      // Orders refused and lines dropped, so that both paths are taken.
      EXPECT_EQ(Figure(r.out, "Pedidos descartados"), 6) << r.out;
      EXPECT_GT(h.size(), 100u);
      continue;
    }
    EXPECT_EQ(h, headers);
    EXPECT_EQ(l, lines);
    EXPECT_EQ(ReadFile(rejects_path), rejects);
    EXPECT_EQ(ReadFile(rejects_path + ".log"), log_text);
    EXPECT_EQ(figures, summary);
  }
}

// With several orders a transaction, an order is written only once its
// transaction commits: a commit the database refuses sends its whole group
// to the rejects, and the run ends there naming why.
TEST(BatchEndToEnd, GroupThatDoesNotCommitGoesWholeToTheRejects) {
  Company c;
  c.db.Exec(
      "CREATE EXCEPTION E_CONFIRMACION 'confirmación rechazada';\n"
      "SET TERM ^ ;\n"
      "CREATE TRIGGER T_MARCA FOR PEDIDOS AFTER INSERT AS BEGIN\n"
      "  IF (NEW.PEDI_NUMERO = '1013') THEN\n"
      "    RDB$SET_CONTEXT('USER_TRANSACTION', 'RECHACE', '1');\n"
      "END^\n"
      "CREATE TRIGGER T_CONFIRMACION ON TRANSACTION COMMIT AS BEGIN\n"
      "  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'RECHACE') = '1') THEN\n"
      "    EXCEPTION E_CONFIRMACION;\n"
      "END^\n"
      "SET TERM ; ^\n");
  std::string file;
  for (int i = 1000; i < 1030; ++i) file += Line(std::to_string(i), "ART0013") + More("ART0007");
  const std::string rejects = c.db.server() + "/rechazos.csv";
  const std::string report = c.db.server() + "/informe.json";
  const ProcessResult r =
      c.Import(c.File(file),
               {"--pedidos-por-transaccion", "10", "--rejects", rejects, "--report", report});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(Contains(r.err, "confirmación rechazada")) << r.err;
  EXPECT_TRUE(Contains(r.err, "Pedidos de esta importación ya grabados (quedan grabados): 10."))
      << r.err;
  std::vector<std::string> first;
  for (int i = 1000; i < 1010; ++i) first.push_back(std::to_string(i));
  EXPECT_EQ(c.Read("SELECT PEDI_NUMERO FROM PEDIDOS ORDER BY PEDI_NUMERO"), first);
  ExpectCountsEqualToTables(c, r);
  // Every order not written is in the rejects, each of its lines once.
  EXPECT_EQ(ReadFile(rejects), file.substr(file.find("FE,1010,")));
  const std::string log = ReadFile(rejects + ".log");
  EXPECT_TRUE(Contains(log, "línea 21: pedido FE 1010 rechazado por la base de datos: no se "
                            "confirmó la transacción de su grupo de pedidos "
                            "(--pedidos-por-transaccion): "))
      << log;
  EXPECT_TRUE(Contains(log, "línea 40: pedido FE 1019 rechazado")) << log;
  EXPECT_TRUE(Contains(log, "línea 41: pedido cortado por la falla")) << log;
  const QJsonObject json =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(report))).object();
  EXPECT_EQ(json["totales"].toObject()["pedidos_grabados"].toInt(), 10);
}

// The example file states one format; given it, every locale reads it the
// same. Without it the regional settings decide, as they always did: a
// Spanish locale reads 1/15/2026 as day 1 of month 15.
TEST(BatchEndToEnd, GivenFileFormatSameInAnyLocale) {
  const std::string example = testing::SourcePath("schema/examples/pedidos.csv");
  const std::vector<std::string> format = {"--separador-decimal", ".", "--orden-fecha", "mda",
                                            "--separador-fecha", "/"};
  const char* kRows =
      "SELECT PREF_PRE || ' ' || PEDI_NUMERO || ' ' || CAST(PEDI_FECHA AS VARCHAR(10)) || ' ' || "
      "CAST(PEDI_TOTAL AS VARCHAR(24)) || ' ' || CAST(PEDI_IVAMONTO AS VARCHAR(24)) FROM PEDIDOS "
      "ORDER BY PEDI_ID";
  std::optional<std::vector<std::string>> en_c;
  for (const char* locale : {"C", "es_CO.UTF-8", "de_DE.UTF-8"}) {
    SCOPED_TRACE(locale);
    Company c;
    const ProcessResult r = c.Import(example, format, {{"LC_ALL", locale}, {"LANG", locale}});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> rows = c.Read(kRows);
    EXPECT_EQ(rows.size(), 5u);
    if (!en_c) {
      en_c = rows;
    } else {
      EXPECT_EQ(rows, *en_c);
    }
  }
  Company c;
  const ProcessResult regional = c.Import(example, {}, {{"LC_ALL", "es_CO.UTF-8"}});
  EXPECT_EQ(regional.status, 1) << regional.err;
  EXPECT_TRUE(Contains(regional.err, "no es una fecha válida")) << regional.err;
}

// The same orders, in Windows-1252 and in UTF-8 with the matching
// --encoding, into companies of each default character set: read back
// through isql, every database holds the same characters; a name of 70 "Ñ"
// is cut to its column's 60 characters, CHAR(1) flags read as one letter
// and the article "Ñ01" is found. A NONE database has no character set to
// convert into: it keeps the file's Windows-1252 bytes, as its own programs
// write them.
TEST(BatchEndToEnd, SameTextsInEachCharacterSet) {
  struct Case {
    const char* charset;
    const char* encoding;  // nullptr: not given (Windows-1252)
  } cases[] = {{"WIN1252", nullptr}, {"WIN1252", "UTF8"}, {"UTF8", nullptr},
               {"UTF8", "UTF8"},     {"NONE", nullptr},   {"NONE", "NONE"}};
  for (const Case& test_case : cases) {
    SCOPED_TRACE(std::string(test_case.charset) + " / " + (test_case.encoding ? test_case.encoding : "-"));
    Company c(test_case.charset);
    AddNonAsciiData(c.db, test_case.charset);
    const bool utf8 = test_case.encoding && std::string(test_case.encoding) == "UTF8";
    const std::string text = NonAsciiOrders(1);
    std::vector<std::string> extra;
    if (test_case.encoding) extra = {"--codificacion", test_case.encoding};
    const ProcessResult r = c.Import(c.File(utf8 ? text : ToWin1252(text)), extra);
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    if (std::string(test_case.charset) == "NONE") {
      std::vector<std::string> expected_texts;
      for (const std::string& e : ExpectedTexts(1)) expected_texts.push_back(ToWin1252(e));
      EXPECT_EQ(ImportedTexts(c.db, "NONE"), expected_texts);
    } else {
      EXPECT_EQ(ImportedTexts(c.db, "UTF8"), ExpectedTexts(1));
    }
  }
}

// A file declared UTF-8 that is not fails at its line, naming the byte and
// where it is, like any line the reader cannot take: the orders before the
// one in hand stay written; that one (its end never seen) and the bad line
// go to the rejects, nothing of them to the database.
TEST(BatchEndToEnd, FileThatIsNotUtf8FailsAtItsLine) {
  Company c("UTF8");
  const std::string before = Line("1", "ART0013") + Line("2", "ART0013");
  const std::string bad_line = Replaced(Line("3", "ART0013"), "EL SOL", "EL S\xD3L");
  const std::string rejects = c.db.server() + "/rechazos.csv";
  const ProcessResult r =
      c.Import(c.File(before + bad_line), {"--codificacion", "UTF8", "--rejects", rejects});
  EXPECT_EQ(r.status, 1) << r.err;
  const size_t pos_in_line = bad_line.find('\xD3');
  EXPECT_TRUE(Contains(r.err, "Línea 3: el texto no es UTF-8 válido: byte 0xD3 en la posición " +
                                  std::to_string(pos_in_line + 1) + " de la línea (desplazamiento " +
                                  std::to_string(before.size() + pos_in_line) + " del archivo)."))
      << r.err;
  EXPECT_EQ(c.Read("SELECT PEDI_NUMERO FROM PEDIDOS ORDER BY PEDI_ID"),
            (std::vector<std::string>{"1"}));
  EXPECT_EQ(ReadFile(rejects), Line("2", "ART0013") + bad_line);
  ExpectCountsEqualToTables(c, r);
}

// A text the database's character set cannot hold: in a name, the order is
// refused with the database's reason; as an article code, no article has
// it. The other orders are written.
TEST(BatchEndToEnd, TextWithNoPlaceInTheDatabaseCharacterSet) {
  Company c("WIN1252");
  AddNonAsciiData(c.db, "WIN1252");
  const std::string text = Replaced(NonAsciiOrders(1), "PEÑA é ü €", "OMEGA Ω") +
                            Replaced(NonAsciiOrders(4), "Ñ01", "Ω01");
  const ProcessResult r = c.Import(c.File(text), {"--codificacion", "UTF8"});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_TRUE(Contains(r.out, "\n  PV 1: Línea 1: ")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Cannot transliterate character between character sets")) << r.out;
  EXPECT_TRUE(Contains(r.out, "línea 4: Artículo no válido: 'Ω01'")) << r.out;
  EXPECT_TRUE(Contains(r.out, "línea 5: Artículo no válido: 'Ω01'")) << r.out;
  EXPECT_EQ(c.Read("SELECT COUNT(*) FROM PEDIDOS WHERE PEDI_NUMERO = '1'"),
            (std::vector<std::string>{"0"}));
  EXPECT_EQ(c.Read("SELECT COUNT(*) FROM PEDIDOS_DETALLE"), (std::vector<std::string>{"3"}));
  ExpectCountsEqualToTables(c, r);
}

// A company folder whose name is not ASCII, and a settings file saved with
// a byte-order mark, open under any locale: the database string goes to
// the file system as the UTF-8 it is.
TEST(BatchEndToEnd, FolderWithANonAsciiNameOpens) {
  Company c;
  const std::string folder = c.db.server() + "/compa\xC3\xB1\xC3\xAD" "a";
  std::filesystem::create_directories(folder + "/datos/demo");
  std::filesystem::copy_file(c.db.path(), folder + "/datos/demo/norvela.fdb");
  const std::string settings = c.db.server() + "/con_bom.conf";
  WriteFile(settings, "\xEF\xBB\xBF" + folder + "\nSYSDBA\nmasterkey\ndemo\n");
  for (const char* locale : {"C", "C.UTF-8"}) {
    SCOPED_TRACE(locale);
    const ProcessResult r =
        c.Run({"--batch", "--settings", settings, c.File(Line("1", "ART0013"))},
              {{"LC_ALL", locale}});
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

// A reader of the messages that goes away (a pipe into `head`, a dropped
// ssh session) does not end the run: every order is still written.
TEST(BatchEndToEnd, MessageReaderThatGoesAwayDoesNotCutTheRun) {
  Company c;
  std::string contents;
  for (int p = 1; p <= 150; ++p) {
    contents += Line(std::to_string(p), "ART0013") + More("NOEXISTE");
  }
  const std::string file = c.File(contents);
  const ProcessResult r = RunProcess(
      "/bin/bash",
      {"-c", "\"$0\" \"$@\" 2>&1 >/dev/null | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}",
       kExe, "--batch", "--settings", c.settings, file},
      {{"LC_ALL", "C"}}, c.db.server());
  EXPECT_EQ(r.status, 3) << r.err << r.out;
  EXPECT_EQ(c.Count("PEDIDOS"), 150);
}

// Without an index for the existence check, --skip-existing warns once.
TEST(BatchEndToEnd, MissingKeyIndexWarns) {
  Company c;
  const std::string file = c.File(Line("1", "ART0013") + Line("2", "ART0013"));
  const std::string warning = "Aviso: PEDIDOS no tiene un índice que empiece por PREF_PRE y PEDI_NUMERO";
  const ProcessResult with_index = c.Import(file, {"--skip-existing"});
  EXPECT_EQ(with_index.status, 0) << with_index.err;
  EXPECT_FALSE(Contains(with_index.err, warning)) << with_index.err;
  c.db.Exec("DROP INDEX IX_PEDIDOS_DOCUMENTO;");
  const ProcessResult without_index = c.Import(file, {"--skip-existing"});
  EXPECT_EQ(without_index.status, 3) << without_index.err;
  EXPECT_EQ(without_index.err.find(warning), without_index.err.rfind(warning)) << without_index.err;
  EXPECT_TRUE(Contains(without_index.err, warning)) << without_index.err;
  // Without --skip-existing there is no check to make, and no warning.
  const ProcessResult without_skip = c.Import(file);
  EXPECT_FALSE(Contains(without_skip.err, warning)) << without_skip.err;
}

// Control bytes of the file (a terminal's escape sequences) never reach
// the terminal, the summary or the log raw; the rejects keep the file's
// bytes.
TEST(BatchEndToEnd, ControlsOfTheFileAreShownEscaped) {
  Company c;
  const std::string rejects = c.db.server() + "/rechazos.csv";
  const std::string hostile = "\x1b]0;pwned\x07\x1b[2J";
  const std::string contents = Line("1", "ART0013") + More("X" + hostile);
  const ProcessResult r = c.Import(c.File(contents), {"--rejects", rejects});
  EXPECT_EQ(r.status, 3) << r.err;
  for (const std::string* text : {&r.err, &r.out}) {
    EXPECT_EQ(text->find('\x1b'), std::string::npos) << *text;
    EXPECT_EQ(text->find('\x07'), std::string::npos) << *text;
  }
  EXPECT_TRUE(Contains(r.err, "X\\x1b]0;pwned\\x07\\x1b[2J")) << r.err;
  const std::string log = ReadFile(rejects + ".log");
  EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
  EXPECT_TRUE(Contains(log, "\\x1b]0;pwned")) << log;
  EXPECT_EQ(ReadFile(rejects), contents);
}

// The report tells the caller, order by order, what the tables now hold.
TEST(BatchEndToEnd, JsonReportEqualsTheTables) {
  Company c;
  c.db.Exec(kQuantityLimit);
  const std::string report = c.db.server() + "/informe.json";
  // A Windows-1252 article code reaches the report's reason as text.
  const ProcessResult r = c.Import(
      c.File(Line("1", "ART0013") + More("ART0007") + More("ARTI\xD1O") +
             Line("2", "ART0013") + Overlong("ART0007") + Line("3", "ART0013")),
      {"--report", report});
  EXPECT_EQ(r.status, 3) << r.err;

  QJsonParseError error;
  const QJsonDocument doc =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(report)), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << ReadFile(report);
  const QJsonObject root = doc.object();
  EXPECT_FALSE(root.value("simulacion").toBool());
  EXPECT_EQ(root.value("fin").toString(), "completa");
  EXPECT_TRUE(root.value("falla").isNull());
  EXPECT_EQ(root.value("estado_salida").toInt(), 3);
  EXPECT_TRUE(root.value("senal").isNull());
  // The run is named: file, company (never the password), user, times.
  const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
  EXPECT_TRUE(root.value("archivo").toString().endsWith("/pedidos.csv"));
  EXPECT_EQ(root.value("compania").toString(), "demo");
  EXPECT_EQ(root.value("usuario").toString(), "SYSDBA");
  EXPECT_EQ(root.value("base_de_datos").toString().toStdString(),
            c.db.server() + "/datos/demo/norvela.fdb");
  EXPECT_TRUE(std::regex_match(root.value("inicio").toString().toStdString(), iso));
  EXPECT_TRUE(std::regex_match(root.value("termino").toString().toStdString(), iso));
  EXPECT_FALSE(Contains(ReadFile(report), "masterkey"));
  for (const std::string& line :
       {"\nCompañía: demo (" + c.db.server() + "/datos/demo/norvela.fdb)\n",
        std::string("\nUsuario: SYSDBA\n")}) {
    EXPECT_TRUE(Contains(r.out, line)) << r.out;
  }
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nArchivo: [^\n]*/pedidos.csv\nCompañía: ")))
      << r.out;
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex(R"(\nInicio: \d{4}-\d\d-\d\dT[0-9:]{8}[+-]\d\d:\d\d\nFin: \d{4}-)")))
      << r.out;
  const QJsonObject totals = root.value("totales").toObject();
  EXPECT_EQ(totals.value("pedidos_grabados").toInt(), c.Count("PEDIDOS"));
  EXPECT_EQ(totals.value("pedidos_descartados").toInt(), 1);
  EXPECT_EQ(totals.value("lineas_grabadas").toInt(), c.Count("PEDIDOS_DETALLE"));
  EXPECT_EQ(totals.value("lineas_descartadas").toInt(), 1);
  EXPECT_EQ(totals.value("lineas_leidas").toInt(), 6);
  EXPECT_EQ(QString::number(totals.value("total").toDouble(), 'f', 2).toStdString(),
            c.Read("SELECT CAST(SUM(PEDI_TOTAL) AS VARCHAR(20)) FROM PEDIDOS").at(0));

  const QJsonArray orders = root.value("pedidos").toArray();
  ASSERT_EQ(orders.size(), 3);
  const char* states[] = {"grabado", "descartado", "grabado"};
  for (int i = 0; i < 3; ++i) {
    const QJsonObject p = orders[i].toObject();
    const std::string number = p.value("numero").toString().toStdString();
    SCOPED_TRACE(number);
    EXPECT_EQ(p.value("prefijo").toString(), "FE");
    EXPECT_EQ(number, std::to_string(i + 1));
    EXPECT_EQ(p.value("estado").toString(), states[i]);
    if (i == 1) {
      EXPECT_TRUE(p.value("motivo").toString().contains("CK_CANTIDAD"));
      EXPECT_EQ(p.value("lineas").toInt(), 2);
      continue;
    }
    const std::string where = " FROM PEDIDOS WHERE PEDI_NUMERO = '" + number + "'";
    EXPECT_EQ(std::to_string(p.value("identificador").toInt()),
              c.Read("SELECT PEDI_ID" + where).at(0));
    EXPECT_EQ(QString::number(p.value("total").toDouble(), 'f', 2).toStdString(),
              c.Read("SELECT CAST(PEDI_TOTAL AS VARCHAR(20))" + where).at(0));
    EXPECT_EQ(QString::number(p.value("iva").toDouble(), 'f', 2).toStdString(),
              c.Read("SELECT CAST(PEDI_IVAMONTO AS VARCHAR(20))" + where).at(0));
    EXPECT_EQ(std::to_string(p.value("lineas").toInt()),
              c.Read("SELECT COUNT(*) FROM PEDIDOS_DETALLE D JOIN PEDIDOS P ON P.PEDI_ID = "
                     "D.PEDI_ID WHERE P.PEDI_NUMERO = '" + number + "'").at(0));
  }
  const QJsonArray lines = root.value("lineas_descartadas").toArray();
  ASSERT_EQ(lines.size(), 1);
  EXPECT_EQ(lines[0].toObject().value("linea").toInt(), 3);
  EXPECT_EQ(lines[0].toObject().value("motivo").toString(),
            QString::fromUtf8("Artículo no válido: 'ARTIÑO'"));

  // A dry run's report says so and gives no identifiers.
  const ProcessResult dry_run = c.Import(c.File(Line("7", "ART0013"), "otro.csv"),
                                          {"--dry-run", "--report", report});
  EXPECT_EQ(dry_run.status, 0) << dry_run.err;
  const QJsonObject sim =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(report))).object();
  EXPECT_TRUE(sim.value("simulacion").toBool());
  EXPECT_TRUE(sim.value("pedidos").toArray()[0].toObject().value("identificador").isNull());
  EXPECT_EQ(sim.value("totales").toObject().value("pedidos_grabados").toInt(), 1);
}

}  // namespace
}  // namespace imp::testing

namespace imp::testing {
namespace {

// Files with bytes no text holds, or an encoding other than the one they
// are read in: each order is written with the file's own values or refused
// with its lines in the rejects, byte for byte, and the refusal names the
// line. Orders are numbered 21.. so that a value cut short (2 of 2<NUL>2)
// would show as a number the file does not have.
TEST(BatchEndToEnd, HostileBytesNeverChangeAValueInSilence) {
  using namespace std::string_literals;
  const std::string fe21 = Line("21", "ART0013") + More("ART0007");
  const std::string fe23 = Line("23", "ART0013");
  const std::string utf16 = "F\0E\0,\0" "2\0" "1\0\r\0\n\0"s;
  struct Case {
    const char* name;
    std::string contents;
    std::vector<std::string> extra;
    int status;
    std::vector<std::string> written;  // PEDI_NUMERO of the orders written
    std::string rejects;               // the rejects file, byte for byte
    std::string message;                // in standard error
  };
  const Case cases[] = {
      {"cero en medio del número", fe21 + Line("2\0" "2"s, "ART0013") + fe23, {}, 1, {},
       fe21 + Line("2\0" "2"s, "ART0013") + fe23,
       "Línea 3: el campo 2 contiene un byte cero en la posición 2"},
      {"cero en el nombre, tras un pedido completo",
       fe21 + Line("22", "ART0013") + Replaced(Line("23", "ART0013"), "EL SOL", "EL\0SOL"s), {}, 1,
       {"21"}, Line("22", "ART0013") + Replaced(Line("23", "ART0013"), "EL SOL", "EL\0SOL"s),
       "Línea 4: el campo 8 contiene un byte cero en la posición 17"},
      {"cada campo empieza con un cero",
       fe21 + "\0FE,\0" "22,\0" "1/16/2026,,\0" "4,\0" "3,\0" "830045678,\0" "X,\0" "02,0,0,0,\0"
              "ART0013,\0" "1,UND,\0" "1,0\r\n"s,
       {}, 1, {},
       fe21 + "\0FE,\0" "22,\0" "1/16/2026,,\0" "4,\0" "3,\0" "830045678,\0" "X,\0" "02,0,0,0,\0"
              "ART0013,\0" "1,UND,\0" "1,0\r\n"s,
       "Línea 3: el campo 1 contiene un byte cero en la posición 1"},
      {"cero en la fecha de crédito",
       Replaced(fe21, "1/16/2026,,", "1/16/2026,2/1\0" "6/2026,"s), {}, 1, {},
       Replaced(fe21, "1/16/2026,,", "1/16/2026,2/1\0" "6/2026,"s),
       "Línea 1: el campo 4 contiene un byte cero en la posición 4"},
      {"líneas de solo ceros y comas se omiten", fe21 + "\0\0,,\0\r\n"s + fe23, {}, 0,
       {"21", "23"}, "", ""},
      {"UTF-16 sin marca", utf16, {}, 1, {}, utf16,
       "Línea 1: el archivo parece estar en UTF-16 sin marca de orden de bytes"},
      {"marca UTF-8 sin declarar UTF-8", "\xEF\xBB\xBF" + fe21, {}, 1, {}, "\xEF\xBB\xBF" + fe21,
       "Impórtelo como UTF-8 (--codificacion UTF8"},
      {"marca UTF-8 declarada", "\xEF\xBB\xBF" + fe21 + fe23, {"--codificacion", "UTF8"}, 0,
       {"21", "23"}, "", ""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    Company c;
    const std::string rejects = c.db.server() + "/rechazos.csv";
    std::vector<std::string> extra = test_case.extra;
    extra.insert(extra.end(), {"--rejects", rejects, "--codificacion"});
    if (test_case.extra.empty()) extra.push_back("WIN1252");
    else extra.pop_back();
    const ProcessResult r = c.Import(c.File(test_case.contents), extra);
    EXPECT_EQ(r.status, test_case.status) << r.err << r.out;
    EXPECT_EQ(c.Read("SELECT PEDI_NUMERO FROM PEDIDOS ORDER BY PEDI_NUMERO"), test_case.written);
    EXPECT_EQ(ReadFile(rejects), test_case.rejects);
    EXPECT_TRUE(Contains(r.err, test_case.message)) << r.err;
    ExpectCountsEqualToTables(c, r);
  }
}

// What the file declares is honoured, and a field's limit is counted in
// its characters: a UTF-8 file with its byte-order mark and a name of 128
// "Ñ" (256 bytes) imports as the same file in Windows-1252 does, the name
// cut to its column's 60 characters.
TEST(BatchEndToEnd, UnicodeFileWithItsMarkAndLongNames) {
  std::string long_names = NonAsciiOrders(1);
  std::string seventy, hundred_twenty_eight;
  for (int i = 0; i < 70; ++i) seventy += "Ñ";
  for (int i = 0; i < 128; ++i) hundred_twenty_eight += "Ñ";
  long_names = Replaced(long_names, seventy, hundred_twenty_eight);
  ASSERT_NE(long_names, NonAsciiOrders(1));
  for (const bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8 ? "UTF-8 con marca" : "Windows-1252");
    Company c("UTF8");
    AddNonAsciiData(c.db, "UTF8");
    const std::string contents = utf8 ? "\xEF\xBB\xBF" + long_names : ToWin1252(long_names);
    const ProcessResult r =
        c.Import(c.File(contents), {"--codificacion", utf8 ? "UTF8" : "WIN1252"});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(ImportedTexts(c.db, "UTF8"), ExpectedTexts(1));
  }
}

// A trial says what the real run would, refusals included: beside another
// importer, --skip-existing refuses to start in both; the index warning is
// the same; an order the trial itself wrote earlier has no identifier.
TEST(BatchEndToEnd, DryRunRefusesAndWarnsAsTheRealRun) {
  Company c;
  const std::string order_file = c.File(Line("1", "ART0013") + Line("2", "ART0013") +
                                     Line("1", "ART0013"));
  c.db.Exec("DROP INDEX IX_PEDIDOS_DOCUMENTO;");
  const std::string warning = "Aviso: PEDIDOS no tiene un índice que empiece por PREF_PRE y PEDI_NUMERO";
  const std::string report = c.db.server() + "/informe.json";
  const ProcessResult trial = c.Import(order_file, {"--dry-run", "--skip-existing", "--report", report});
  EXPECT_EQ(trial.status, 3) << trial.err;
  EXPECT_TRUE(Contains(trial.err, warning)) << trial.err;
  EXPECT_TRUE(Contains(trial.out, "FE 1: ya grabado antes en esta simulación")) << trial.out;
  EXPECT_FALSE(Contains(trial.out, "identificador -")) << trial.out;
  const std::string json = ReadFile(report);
  EXPECT_FALSE(Contains(json, "\"identificador\": -")) << json;
  EXPECT_TRUE(Contains(json, "\"identificador\": null, \"lineas\": 1, \"iva\": 2262.35, "
                             "\"total\": 47509.35, \"estado\": \"existente\""))
      << json;
  EXPECT_EQ(c.Count("PEDIDOS"), 0);

  const ProcessResult real = c.Import(order_file, {"--skip-existing"});
  EXPECT_EQ(real.status, 3) << real.err;
  EXPECT_TRUE(Contains(real.err, warning)) << real.err;
  for (const char* figure : {"Pedidos grabados", "Pedidos ya importados (omitidos)"}) {
    EXPECT_EQ(Figure(trial.out, figure), Figure(real.out, figure)) << figure;
  }
}

}  // namespace
}  // namespace imp::testing
