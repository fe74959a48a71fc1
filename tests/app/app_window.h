#pragma once
// A main window for one test: its own install-directory store, settings file
// and database module, every dialog answered by a recorder.

#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <optional>
#include <string>

#include "app/tfprincipal.h"
#include "app_test_support.h"
#include "db/tfdm.h"

namespace imp::test {

class AppWindow {
 public:
  // `settings`: the bytes of settings.conf, or nothing for no file.
  explicit AppWindow(std::optional<std::string> settings,
                     std::function<int(QDialog&)> other_dialogs = {})
      : recorder(std::move(other_dialogs)) {
    install.WriteStoreForInstallDir();
    if (settings) install.WriteSettings(*settings);
    fdm.set_dialogs(&boxes);
    window = std::make_unique<Tfprincipal>(fdm);
    QObject::connect(window.get(), &Tfprincipal::closed, [this] { ++closed; });
  }

  template <typename W = QWidget>
  W* find(const char* name) const {
    W* w = window->findChild<W*>(QString::fromLatin1(name));
    if (w == nullptr) ADD_FAILURE() << "no control named " << name;
    return w;
  }
  QLineEdit* edit(const char* name) const { return find<QLineEdit>(name); }

  // Shows the window, makes it active and runs what its first showing
  // queued (the first activation).
  void Show() {
    window->show();
    window->activateWindow();
    // The first activation may already have closed it (automatic start).
    EXPECT_TRUE(QTest::qWaitFor([this] { return window->isActiveWindow() || closed > 0; }));
    // The first activation waits for the window to be painted.
    EXPECT_TRUE(QTest::qWaitFor([this] { return closed > 0 || window->first_activation_done(); }));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }

  // Moves the focus from the company edit to the next control, as Tab does,
  // and runs the handler that leaving it queued.
  void LeaveCompany() {
    edit("Cia")->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    edit("Ubicacion")->setFocus(Qt::TabFocusReason);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }

  bool connected() const { return fdm.Norvela.connected(); }

  InstallFixture install;
  DialogRecorder recorder;
  MessageBoxes boxes;
  Tfdm fdm;
  std::unique_ptr<Tfprincipal> window;
  int closed = 0;
};

}  // namespace imp::test
