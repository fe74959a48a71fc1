// importa-pedidos: imports the sales orders of a flat file into a company's
// business database.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <langinfo.h>

#include <clocale>
#include <string>
#include <vector>

#include "app/app_icon.h"
#include "app/command_line.h"
#include "app/install_directory.h"
#include "app/message_boxes.h"
#include "app/tfprincipal.h"
#include "db/tfdm.h"

namespace {

// File names on Linux are UTF-8 bytes. The database client converts a
// database string to the character set of the process's LC_CTYPE before it
// opens the file, so a company folder such as "compañía" needs a locale
// that can hold it: the environment's, or UTF-8 when the environment's is
// plain ASCII (the C locale, as under cron).
void UseFileNameLocale() {
  std::setlocale(LC_CTYPE, "");
  const std::string codeset = nl_langinfo(CODESET);
  if (codeset == "ANSI_X3.4-1968" || codeset == "ASCII") std::setlocale(LC_CTYPE, "C.UTF-8");
}

}  // namespace

int main(int argc, char** argv) {
  UseFileNameLocale();
  // Batch mode, help, the version and every mistake on the command line are
  // answered without a window (and without a display).
  const imp::StartupChoice choice =
      imp::ChooseStartup(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (choice.action != imp::StartupAction::kWindow) {
    return imp::RunWithoutWindow(choice, argc, argv);
  }

  QApplication application(argc, argv);
  imp::UseSystemConfigDirFromEnvironment();
  // The program speaks Spanish, whatever the locale: so do Qt's own
  // dialogs and buttons (the file dialog, "Sí"/"No"), from the system's Qt
  // translations.
  QTranslator qt_spanish;
  if (qt_spanish.load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    application.installTranslator(&qt_spanish);
  }
  application.setWindowIcon(imp::AppIcon());

  // The database module exists before the window: the window's sets read
  // through the module's connection.
  imp::MessageBoxes boxes;
  imp::Tfdm fdm;
  fdm.set_dialogs(&boxes);

  imp::Tfprincipal fprincipal(fdm);
  QObject::connect(&fprincipal, &imp::Tfprincipal::closed, &application,
                   &QApplication::quit, Qt::QueuedConnection);
  fprincipal.show();
  return application.exec();
}
