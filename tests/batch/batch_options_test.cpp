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
    std::optional<Date> date;
    std::string file;
  };
  const Case cases[] = {
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
  for (const Case& test_case : cases) {
    SCOPED_TRACE(::testing::PrintToString(test_case.args));
    const BatchOptions o = ParseBatchOptions(test_case.args);
    EXPECT_TRUE(o.batch);
    EXPECT_FALSE(o.help);
    EXPECT_EQ(o.settings, test_case.settings);
    EXPECT_EQ(o.date.has_value(), test_case.date.has_value());
    if (o.date && test_case.date) {
      EXPECT_EQ(o.date->days(), test_case.date->days());
    }
    EXPECT_EQ(o.order_file, test_case.file);
  }
}

TEST(BatchOptions, CommandLinesThatCannotRun) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
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
  for (const Case& test_case : cases) {
    SCOPED_TRACE(::testing::PrintToString(test_case.args));
    try {
      ParseBatchOptions(test_case.args);
      ADD_FAILURE() << "accepted";
    } catch (const BatchUsageError& e) {
      EXPECT_EQ(std::string(e.what()), test_case.error);
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
  const Case cases[] = {
      {{"--batch", "p.csv"}, false, "", false, ""},
      {{"--batch", "--dry-run", "p.csv"}, true, "", false, ""},
      {{"--batch", "--rejects", "r.csv", "p.csv"}, false, "r.csv", false, ""},
      {{"--batch", "--rejects=r.csv", "--skip-existing", "p.csv"}, false, "r.csv", true, ""},
      {{"--batch", "--report", "i.json", "--dry-run", "--skip-existing", "--rejects", "r.csv",
        "p.csv"},
       true, "r.csv", true, "i.json"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(::testing::PrintToString(test_case.args));
    const BatchOptions o = ParseBatchOptions(test_case.args);
    EXPECT_EQ(o.dry_run, test_case.dry_run);
    EXPECT_EQ(o.rejects, test_case.rejects);
    EXPECT_EQ(o.skip_existing, test_case.skip_existing);
    EXPECT_EQ(o.report, test_case.report);
    EXPECT_EQ(o.order_file, "p.csv");
  }
}

// Outputs that would overwrite the order file or each other.
TEST(BatchOptions, OutputsThatOverlap) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
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
  for (const Case& test_case : cases) {
    SCOPED_TRACE(::testing::PrintToString(test_case.args));
    try {
      ParseBatchOptions(test_case.args);
      ADD_FAILURE() << "accepted";
    } catch (const BatchUsageError& e) {
      EXPECT_EQ(std::string(e.what()), test_case.error);
    }
  }
}

// A symbolic link planted where an output goes is refused, its target
// untouched.
TEST(BatchOptions, OutputThatIsALink) {
  const testing::TempFolder folder("opciones");
  const std::string dir = folder.path();
  const std::string target = dir + "/ajeno.txt";
  std::ofstream(target) << "ajeno\n";
  for (const char* output : {"r.csv.log", "r.csv", "informe.json"}) {
    SCOPED_TRACE(output);
    const std::string link = dir + "/" + output;
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    const std::string option = std::string(output) == "informe.json" ? "--report" : "--rejects";
    const std::string value = option == "--report" ? link : dir + "/r.csv";
    try {
      ParseBatchOptions({"--batch", option, value, "p.csv"});
      ADD_FAILURE() << "accepted";
    } catch (const BatchUsageError& e) {
      EXPECT_NE(std::string(e.what()).find(link + ": es un enlace simbólico"), std::string::npos)
          << e.what();
    }
    unlink(link.c_str());
  }
  std::ifstream in(target);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "ajeno");
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

TEST(BatchOptions, IsoDate) {
  struct Case {
    const char* text;
    std::optional<Date> date;
  };
  const Case cases[] = {
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
  for (const Case& test_case : cases) {
    const std::optional<Date> date = ParseIsoDate(test_case.text);
    ASSERT_EQ(date.has_value(), test_case.date.has_value()) << test_case.text;
    if (date) {
      EXPECT_EQ(date->days(), test_case.date->days()) << test_case.text;
    }
  }
}

// The reader steps once per hundredth of the file (once per byte under 200
// bytes); its last step means the whole file was read, even when the size
// is not a multiple of the step.
TEST(BatchTerminal, PercentOfTheReaderSteps) {
  struct Case {
    int64_t steps, size;
    int percent;
  };
  const Case cases[] = {
      {0, 1000, 0},   {1, 1000, 1},    {50, 1000, 50}, {99, 1000, 99}, {100, 1000, 100},
      {108, 1099, 98}, {109, 1099, 100}, {1, 150, 0},   {75, 150, 50},  {150, 150, 100},
      {1, 1, 100},    {0, 0, 0},       {5, 0, 0},
      // A file of 40 GB: the product of steps and step does not overflow.
      {99, 40'000'000'000, 99},
  };
  for (const Case& test_case : cases) {
    EXPECT_EQ(BatchTerminal::Percent(test_case.steps, test_case.size), test_case.percent)
        << test_case.steps << " of " << test_case.size;
  }
}

}  // namespace
}  // namespace imp
