// importa-pedidos: imports the sales orders of a flat file into a company's
// business database.

#include <QApplication>

#include "app/batch_mode.h"
#include "app/batch_options.h"
#include "app/install_directory.h"
#include "app/message_boxes.h"
#include "app/tfprincipal.h"
#include "db/tfdm.h"

int main(int argc, char** argv) {
  // Batch mode and its help run without a window (and without a display).
  if (imp::IsBatchInvocation(argc, argv)) return imp::RunBatch(argc, argv);

  QApplication application(argc, argv);
  imp::UseSystemConfigDirFromEnvironment();

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
