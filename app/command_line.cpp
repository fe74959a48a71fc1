#include "app/command_line.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "batch/batch_mode.h"
#include "app/install_directory.h"
#include "app/locale_regional_settings.h"
#include "db/client_version.h"

#ifndef IMPORTA_VERSION
#error "IMPORTA_VERSION must be defined by the build"
#endif

namespace imp {
namespace {

// The options QApplication itself takes (Qt accepts them with one dash or
// two); the window passes them on untouched.
constexpr std::string_view kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "display", "geometry", "style", "stylesheet",
    "session", "name", "title", "visual", "qmljsdebugger",
};
constexpr std::string_view kQtFlags[] = {
    "reverse", "nograb", "dograb", "sync", "widgetcount", "testability",
};

// The name of a Qt option without its dashes and any "=value"; empty for an
// argument that is not an option.
std::string_view QtName(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return {};
  arg.remove_prefix(arg[1] == '-' ? 2 : 1);
  return arg.substr(0, arg.find('='));
}

bool Contains(const auto& list, std::string_view name) {
  for (std::string_view item : list) {
    if (item == name) return true;
  }
  return false;
}

// Batch mode reads the locale and the install directory as the window does.
BatchEnvironment BatchEnvironmentFromSystem() {
  BatchEnvironment environment;
  environment.regional_settings = RegionalSettingsFromLocale(QLocale::system());
  environment.install_directory = [](Dialogs& dialogs) {
    UseSystemConfigDirFromEnvironment();
    return diraplicacion(dialogs);
  };
  return environment;
}

StartupChoice Refuse(std::string text) { return {StartupAction::kRefuse, std::move(text)}; }

StartupChoice ChooseForWindow(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      if (i + 1 < args.size()) return Refuse("Sobra el argumento: " + args[i + 1]);
      break;
    }
    const std::string_view name = QtName(arg);
    if (name.empty()) {
      return Refuse("Sobra el argumento: " + arg + " (para importar un archivo sin ventana: --batch)");
    }
    if (Contains(kQtFlags, name)) continue;
    if (Contains(kQtOptionsWithValue, name)) {
      if (arg.find('=') == std::string::npos) {
        if (i + 1 >= args.size()) return Refuse("Falta el valor de " + arg);
        ++i;
      }
      continue;
    }
    return Refuse("Opción desconocida: " + arg.substr(0, arg.find('=')));
  }
  return {};
}

}  // namespace

StartupChoice ChooseStartup(const std::vector<std::string>& args) {
  bool batch = false;
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--version") return {StartupAction::kVersion, {}};
    if (arg == "-h" || arg == "--help") return {StartupAction::kHelp, {}};
    if (arg == "--batch") batch = true;
  }
  if (batch) return {StartupAction::kBatch, {}};
  return ChooseForWindow(args);
}

std::string VersionText() {
  return std::string("importa-pedidos ") + IMPORTA_VERSION + "\nCliente Firebird: " +
         FirebirdClientVersion() + "\n";
}

int RunWithoutWindow(const StartupChoice& choice, int argc, char** argv) {
  switch (choice.action) {
    case StartupAction::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? kBatchAllWritten : kBatchFailure;
    case StartupAction::kRefuse:
      std::fprintf(stderr, "importa-pedidos: %s\nPruebe 'importa-pedidos --help'.\n",
                   choice.error.c_str());
      return kBatchUsage;
    case StartupAction::kHelp:
    case StartupAction::kBatch:
      return RunBatch(argc, argv, BatchEnvironmentFromSystem());
    case StartupAction::kWindow:
      break;
  }
  // The window is main()'s to open; nothing was asked of this function.
  return kBatchUsage;
}

}  // namespace imp
