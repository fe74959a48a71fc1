// The batch command line and the progress percentage, without a database.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <optional>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "batch/batch_terminal.h"
#include "tests/support/temp_folder.h"

namespace imp {
namespace {

TEST(BatchOptions, ValidCommandLines) {
  struct Case {
    std::vector<std::string> args;
    std::string settings;
    std::optional<Date> fecha;
    std::string archivo;
  };
  const Case casos[] = {
      {{"--batch", "p.csv"}, "", std::nullopt, "p.csv"},
      {{"p.csv", "--batch"}, "", std::nullopt, "p.csv"},
      {{"--batch", "--settings", "a.conf", "p.csv"}, "a.conf", std::nullopt, "p.csv"},
      {{"--batch", "--settings=a.conf", "--fecha=2024-02-29", "p.csv"}, "a.conf",
       Date::FromYmd(2024, 2, 29), "p.csv"},
      {{"--batch", "--fecha", "2026-01-15", "p.csv"}, "", Date::FromYmd(2026, 1, 15), "p.csv"},
      // After "--" everything is a file name, even one that looks like an option.
      {{"--batch", "--", "--fecha"}, "", std::nullopt, "--fecha"},
      // A single dash is a file; a name starting with one dash is one after "--".
      {{"--batch", "-"}, "", std::nullopt, "-"},
      {{"--batch", "--", "-v"}, "", std::nullopt, "-v"},
      // The value of an option may itself start with dashes.
      {{"--batch", "--settings", "--raro", "p.csv"}, "--raro", std::nullopt, "p.csv"},
  };
  for (const Case& caso : casos) {
    SCOPED_TRACE(::testing::PrintToString(caso.args));
    const BatchOptions o = ParseBatchOptions(caso.args);
    EXPECT_TRUE(o.batch);
    EXPECT_FALSE(o.help);
    EXPECT_EQ(o.settings, caso.settings);
    EXPECT_EQ(o.date.has_value(), caso.fecha.has_value());
    if (o.date && caso.fecha) {
      EXPECT_EQ(o.date->days(), caso.fecha->days());
    }
    EXPECT_EQ(o.order_file, caso.archivo);
  }
}

TEST(BatchOptions, CommandLinesThatCannotRun) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case casos[] = {
      {{"p.csv"}, "Falta --batch"},
      {{"--batch"}, "Falta el archivo de pedidos"},
      {{"--batch", "a.csv", "b.csv"}, "Sobra el argumento: b.csv"},
      {{"--batch", "--dry", "p.csv"}, "Opción desconocida: --dry"},
      // A mistyped short option is not taken for the order file.
      {{"--batch", "-v", "p.csv"}, "Opción desconocida: -v"},
      {{"--batch", "-x=1", "p.csv"}, "Opción desconocida: -x"},
      {{"--batch", "--batch", "p.csv"}, "La opción --batch se dio dos veces"},
      {{"--batch", "--settings", "a", "--settings", "b", "p.csv"},
       "La opción --settings se dio dos veces"},
      {{"--batch", "p.csv", "--settings"}, "Falta el valor de --settings"},
      {{"--batch", "--settings=", "p.csv"}, "--settings necesita el nombre de un archivo"},
      {{"--batch=1", "p.csv"}, "La opción --batch no lleva valor"},
      {{"--batch", "--fecha", "15/01/2026", "p.csv"},
       "Fecha no válida en --fecha: '15/01/2026' (se espera AAAA-MM-DD)"},
  };
  for (const Case& caso : casos) {
    SCOPED_TRACE(::testing::PrintToString(caso.args));
    try {
      ParseBatchOptions(caso.args);
      ADD_FAILURE() << "accepted";
    } catch (const BatchUsageError& e) {
      EXPECT_EQ(std::string(e.what()), caso.error);
    }
  }
}

TEST(BatchOptions, ImportOptions) {
  struct Case {
    std::vector<std::string> args;
    bool dry_run;
    std::string rejects;
    bool skip_existing;
    std::string report;
  };
  const Case casos[] = {
      {{"--batch", "p.csv"}, false, "", false, ""},
      {{"--batch", "--dry-run", "p.csv"}, true, "", false, ""},
      {{"--batch", "--rejects", "r.csv", "p.csv"}, false, "r.csv", false, ""},
      {{"--batch", "--rejects=r.csv", "--skip-existing", "p.csv"}, false, "r.csv", true, ""},
      {{"--batch", "--report", "i.json", "--dry-run", "--skip-existing", "--rejects", "r.csv",
        "p.csv"},
       true, "r.csv", true, "i.json"},
  };
  for (const Case& caso : casos) {
    SCOPED_TRACE(::testing::PrintToString(caso.args));
    const BatchOptions o = ParseBatchOptions(caso.args);
    EXPECT_EQ(o.dry_run, caso.dry_run);
    EXPECT_EQ(o.rejects, caso.rejects);
    EXPECT_EQ(o.skip_existing, caso.skip_existing);
    EXPECT_EQ(o.report, caso.report);
    EXPECT_EQ(o.order_file, "p.csv");
  }
}

// Outputs that would overwrite the order file or each other.
TEST(BatchOptions, OutputsThatOverlap) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case casos[] = {
      {{"--batch", "--rejects", "p.csv", "p.csv"},
       "--rejects no puede escribir sobre el archivo de pedidos"},
      {{"--batch", "--report", "./p.csv", "p.csv"},
       "--report no puede escribir sobre el archivo de pedidos"},
      {{"--batch", "--rejects", "p", "p.log"},
       "--rejects (.log) no puede escribir sobre el archivo de pedidos"},
      {{"--batch", "--rejects", "r.csv", "--report", "r.csv", "p.csv"},
       "--rejects y --report no pueden escribir el mismo archivo"},
      {{"--batch", "--rejects", "r", "--report", "r.log", "p.csv"},
       "--rejects (.log) y --report no pueden escribir el mismo archivo"},
      {{"--batch", "--settings", "s.conf", "--report", "s.conf", "p.csv"},
       "--report no puede escribir sobre el archivo de configuración"},
      {{"--batch", "--settings", "./s.conf", "--rejects", "s.conf", "p.csv"},
       "--rejects no puede escribir sobre el archivo de configuración"},
      {{"--batch", "--settings", "x.log", "--rejects", "x", "p.csv"},
       "--rejects (.log) no puede escribir sobre el archivo de configuración"},
      {{"--batch", "--report", "/dev/null", "p.csv"},
       "--report no puede escribir en /dev/null: no es un archivo regular"},
      {{"--batch", "--separador-decimal", ";", "p.csv"},
       "Valor no válido en --separador-decimal: ';' (se espera , o .)"},
      {{"--batch", "--orden-fecha", "ymd", "p.csv"},
       "Valor no válido en --orden-fecha: 'ymd' (se espera dma, mda o amd)"},
      {{"--batch", "--separador-fecha=,", "p.csv"},
       "Valor no válido en --separador-fecha: ',' (se espera /, - o .)"},
      {{"--batch", "--codificacion", "LATIN9", "p.csv"},
       "Valor no válido en --codificacion: 'LATIN9' (se espera WIN1252, UTF8, ISO8859_1 o NONE)"},
      {{"--batch", "--espera-bloqueo", "0", "p.csv"},
       "Valor no válido en --espera-bloqueo: '0' (se esperan segundos, de 1 a 86400)"},
      {{"--batch", "--pedidos-por-transaccion", "0", "p.csv"},
       "Valor no válido en --pedidos-por-transaccion: '0' (se espera un número de pedidos, de 1 "
       "a 10000)"},
      {{"--batch", "--pedidos-por-transaccion=10001", "p.csv"},
       "Valor no válido en --pedidos-por-transaccion: '10001' (se espera un número de pedidos, "
       "de 1 a 10000)"},
      {{"--batch", "--pedidos-por-transaccion", "-5", "p.csv"},
       "Valor no válido en --pedidos-por-transaccion: '-5' (se espera un número de pedidos, de 1 "
       "a 10000)"},
      {{"--batch", "--estable", "1m", "p.csv"},
       "Valor no válido en --estable: '1m' (se esperan segundos, de 1 a 86400)"},
      {{"--batch", "--dry-run", "--dry-run", "p.csv"}, "La opción --dry-run se dio dos veces"},
      {{"--batch", "--skip-existing=1", "p.csv"}, "La opción --skip-existing no lleva valor"},
      {{"--batch", "--report=", "p.csv"}, "--report necesita el nombre de un archivo"},
  };
  for (const Case& caso : casos) {
    SCOPED_TRACE(::testing::PrintToString(caso.args));
    try {
      ParseBatchOptions(caso.args);
      ADD_FAILURE() << "accepted";
    } catch (const BatchUsageError& e) {
      EXPECT_EQ(std::string(e.what()), caso.error);
    }
  }
}

// A symbolic link planted where an output goes is refused, its target
// untouched.
TEST(BatchOptions, OutputThatIsALink) {
  const testing::TempFolder folder("opciones");
  const std::string carpeta = folder.path();
  const std::string objetivo = carpeta + "/ajeno.txt";
  std::ofstream(objetivo) << "ajeno\n";
  for (const char* salida : {"r.csv.log", "r.csv", "informe.json"}) {
    SCOPED_TRACE(salida);
    const std::string enlace = carpeta + "/" + salida;
    ASSERT_EQ(symlink(objetivo.c_str(), enlace.c_str()), 0);
    const std::string opcion = std::string(salida) == "informe.json" ? "--report" : "--rejects";
    const std::string valor = opcion == "--report" ? enlace : carpeta + "/r.csv";
    try {
      ParseBatchOptions({"--batch", opcion, valor, "p.csv"});
      ADD_FAILURE() << "accepted";
    } catch (const BatchUsageError& e) {
      EXPECT_NE(std::string(e.what()).find(enlace + ": es un enlace simbólico"), std::string::npos)
          << e.what();
    }
    unlink(enlace.c_str());
  }
  std::ifstream in(objetivo);
  std::string texto;
  std::getline(in, texto);
  EXPECT_EQ(texto, "ajeno");
}

TEST(BatchOptions, FormatAndWaits) {
  const BatchOptions o = ParseBatchOptions({"--batch", "--separador-decimal", ",", "--orden-fecha=DMA",
                                            "--separador-fecha", "-", "--estable", "120",
                                            "--espera-bloqueo", "300", "--espera-conexion=5",
                                            "--codificacion=utf-8", "--pedidos-por-transaccion",
                                            "100", "p.csv"});
  EXPECT_EQ(o.file_format.decimal_separator, ',');
  EXPECT_EQ(o.file_format.short_date_format, "d/m/yy");
  EXPECT_EQ(o.file_format.date_separator, '-');
  EXPECT_EQ(o.stable_seconds, 120);
  EXPECT_EQ(o.lock_wait, 300);
  EXPECT_EQ(o.connect_wait, 5);
  EXPECT_EQ(o.file_format.encoding, TextEncoding::kUtf8);
  EXPECT_EQ(o.orders_per_transaction, 100);
  const BatchOptions sin = ParseBatchOptions({"--batch", "p.csv"});
  EXPECT_TRUE(sin.file_format.empty());
  EXPECT_FALSE(sin.stable_seconds);
  EXPECT_FALSE(sin.lock_wait);
  EXPECT_EQ(sin.connect_wait, 30);
  EXPECT_EQ(sin.orders_per_transaction, 1);
}

TEST(BatchOptions, HelpWinsOverEverythingElse) {
  EXPECT_TRUE(ParseBatchOptions({"--help"}).help);
  EXPECT_TRUE(ParseBatchOptions({"--batch", "--nada", "--help"}).help);
  EXPECT_TRUE(ParseBatchOptions({"--batch", "p.csv", "-h"}).help);
  // After "--" it is a file name.
  EXPECT_FALSE(ParseBatchOptions({"--batch", "--", "--help"}).help);
}

TEST(BatchOptions, WhichCommandLineOpensTheWindow) {
  struct Case {
    std::vector<const char*> args;
    bool lote;
  };
  const Case casos[] = {
      {{"importa-pedidos"}, false},
      {{"importa-pedidos", "-platform", "offscreen"}, false},
      {{"importa-pedidos", "--batch", "p.csv"}, true},
      {{"importa-pedidos", "p.csv", "--help"}, true},
      {{"importa-pedidos", "--", "--batch"}, false},
      {{"importa-pedidos", "--batchx"}, false},
  };
  for (const Case& caso : casos) {
    std::vector<char*> argv;
    for (const char* a : caso.args) argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    EXPECT_EQ(IsBatchInvocation(static_cast<int>(caso.args.size()), argv.data()), caso.lote)
        << ::testing::PrintToString(std::vector<std::string>(caso.args.begin(), caso.args.end()));
  }
}

TEST(BatchOptions, IsoDate) {
  struct Case {
    const char* texto;
    std::optional<Date> fecha;
  };
  const Case casos[] = {
      {"2026-01-15", Date::FromYmd(2026, 1, 15)},
      {"2024-02-29", Date::FromYmd(2024, 2, 29)},
      {"0001-01-01", Date::FromYmd(1, 1, 1)},
      {"2023-02-29", std::nullopt},
      {"2026-13-01", std::nullopt},
      {"2026-00-10", std::nullopt},
      {"2026-1-15", std::nullopt},
      {"2026/01/15", std::nullopt},
      {"2026-01-15 ", std::nullopt},
      {"+026-01-15", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& caso : casos) {
    const std::optional<Date> fecha = ParseIsoDate(caso.texto);
    ASSERT_EQ(fecha.has_value(), caso.fecha.has_value()) << caso.texto;
    if (fecha) {
      EXPECT_EQ(fecha->days(), caso.fecha->days()) << caso.texto;
    }
  }
}

// The reader steps once per hundredth of the file (once per byte under 200
// bytes); its last step means the whole file was read, even when the size
// is not a multiple of the step.
TEST(BatchTerminal, PercentOfTheReaderSteps) {
  struct Case {
    int64_t pasos, tamano;
    int porcentaje;
  };
  const Case casos[] = {
      {0, 1000, 0},   {1, 1000, 1},    {50, 1000, 50}, {99, 1000, 99}, {100, 1000, 100},
      {108, 1099, 98}, {109, 1099, 100}, {1, 150, 0},   {75, 150, 50},  {150, 150, 100},
      {1, 1, 100},    {0, 0, 0},       {5, 0, 0},
      // A file of 40 GB: the product of steps and step does not overflow.
      {99, 40'000'000'000, 99},
  };
  for (const Case& caso : casos) {
    EXPECT_EQ(BatchTerminal::Percent(caso.pasos, caso.tamano), caso.porcentaje)
        << caso.pasos << " of " << caso.tamano;
  }
}

}  // namespace
}  // namespace imp
