// The program's command line: what each one asks for, and the real
// importa-pedidos answering help, version and mistakes with no display at
// all (a window would abort there).

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace imp::testing {
namespace {

constexpr char kExe[] = IMPORTA_PEDIDOS_EXE;

TEST(ChooseStartup, WhatEachCommandLineAsksFor) {
  struct Case {
    std::vector<std::string> args;
    StartupAction action;
    std::string error;
  };
  const Case cases[] = {
      {{}, StartupAction::kWindow, ""},
      // Qt's own options are the window's, with one dash or two.
      {{"-platform", "offscreen"}, StartupAction::kWindow, ""},
      {{"--platform=offscreen", "-reverse"}, StartupAction::kWindow, ""},
      {{"-style", "fusion", "-qwindowtitle", "x"}, StartupAction::kWindow, ""},
      {{"--"}, StartupAction::kWindow, ""},
      {{"--version"}, StartupAction::kVersion, ""},
      {{"--batch", "p.csv", "--version"}, StartupAction::kVersion, ""},
      {{"-h"}, StartupAction::kHelp, ""},
      {{"--help"}, StartupAction::kHelp, ""},
      {{"--batch", "-h"}, StartupAction::kHelp, ""},
      {{"--batch", "p.csv"}, StartupAction::kBatch, ""},
      // Mistakes in batch mode are the batch parser's to name.
      {{"--batch", "-v", "p.csv"}, StartupAction::kBatch, ""},
      // After "--" nothing is an option.
      {{"--batch", "--", "--version"}, StartupAction::kBatch, ""},
      {{"--", "--help"}, StartupAction::kRefuse, "Sobra el argumento: --help"},
      {{"-v"}, StartupAction::kRefuse, "Opción desconocida: -v"},
      {{"--verbose=1"}, StartupAction::kRefuse, "Opción desconocida: --verbose"},
      {{"-platform"}, StartupAction::kRefuse, "Falta el valor de -platform"},
      {{"pedidos.csv"}, StartupAction::kRefuse,
       "Sobra el argumento: pedidos.csv (para importar un archivo sin ventana: --batch)"},
      {{"-platform", "offscreen", "-x"}, StartupAction::kRefuse, "Opción desconocida: -x"},
  };
  for (const Case& test_case : cases) {
    std::string line;
    for (const std::string& a : test_case.args) line += a + ' ';
    SCOPED_TRACE(line);
    const StartupChoice choice = ChooseStartup(test_case.args);
    EXPECT_EQ(choice.action, test_case.action);
    EXPECT_EQ(choice.error, test_case.error);
  }
}

// No display: the xcb platform with an X server that does not exist. The
// window cannot open here, so whatever answers did so without one.
const Environment kNoDisplay = {
    {"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":54321"}, {"WAYLAND_DISPLAY", ""}};

std::string WorkFolder() {
  return std::filesystem::temp_directory_path().string();
}

TEST(CommandLine, AnswersWithoutADisplay) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_begins;  // standard output begins so
    std::string err;         // standard error, exactly
  };
  const std::string hint = "Pruebe 'importa-pedidos --help'.\n";
  const Case cases[] = {
      {{"--version"}, 0, "importa-pedidos " IMPORTA_VERSION "\nCliente Firebird: ", ""},
      {{"-h"}, 0, "Uso: importa-pedidos --batch", ""},
      {{"--help"}, 0, "Uso: importa-pedidos --batch", ""},
      {{"-v"}, 2, "", "importa-pedidos: Opción desconocida: -v\n" + hint},
      {{"--nada"}, 2, "", "importa-pedidos: Opción desconocida: --nada\n" + hint},
      {{"pedidos.csv"}, 2, "",
       "importa-pedidos: Sobra el argumento: pedidos.csv (para importar un archivo sin "
       "ventana: --batch)\n" + hint},
      {{"--batch", "-v", "p.csv"}, 2, "", "importa-pedidos: Opción desconocida: -v\n" + hint},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.args.front());
    const ProcessResult r = RunProcess(kExe, test_case.args, kNoDisplay, WorkFolder());
    EXPECT_EQ(r.status, test_case.status) << r.err;
    EXPECT_EQ(r.out.substr(0, test_case.out_begins.size()), test_case.out_begins) << r.out;
    EXPECT_EQ(r.err, test_case.err);
  }
}

TEST(CommandLine, VersionNamesTheClientLibraryLoaded) {
  const ProcessResult r = RunProcess(kExe, {"--version"}, kNoDisplay, WorkFolder());
  ASSERT_EQ(r.status, 0);
  // Major.minor.release.build, then the library's own words:
  // "3.0.11.33637 (LI-V6.3.11.33637 Firebird 3.0)".
  const std::regex shape(
      "importa-pedidos [0-9.]+\nCliente Firebird: [1-9][0-9]*\\.[0-9]+\\.[0-9]+\\.[0-9]+ "
      "\\([A-Z]{2}-V[0-9.]+ Firebird [0-9.]+\\)\n");
  EXPECT_TRUE(std::regex_match(r.out, shape)) << r.out;
}

// The environment above really has no display: the window, asked for, does
// not open (Qt aborts when no platform plugin can start).
TEST(CommandLine, TheWindowIndeedNeedsTheDisplay) {
  const ProcessResult r = RunProcess(kExe, {}, kNoDisplay, WorkFolder());
  EXPECT_NE(r.status, 0);
}

}  // namespace
}  // namespace imp::testing
