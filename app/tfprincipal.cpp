#include "app/tfprincipal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "app/app_icon.h"
#include "session/company_connection.h"
#include "app/date_picker.h"
#include "app/edit_bytes.h"
#include "app/install_directory.h"
#include "app/locale_regional_settings.h"
#include "app/modal_runner.h"
#include "session/settings_file.h"
#include "db/tfdm.h"
#include "values/failure.h"

namespace imp {

namespace {

const char kLayoutDesignSql[] =
    "select * from importacion_inventario where IMIN_TIPO = 0 order by imin_columna";

// Events that come from the operator's keyboard, mouse or touch.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: case QEvent::MouseMove: case QEvent::Wheel:
    case QEvent::TouchBegin: case QEvent::TouchUpdate: case QEvent::TouchEnd:
    case QEvent::ContextMenu: case QEvent::Drop: case QEvent::DragEnter: case QEvent::DragMove:
    case QEvent::TabletPress: case QEvent::TabletRelease: case QEvent::TabletMove:
      return true;
    default:
      return false;
  }
}

}  // namespace

Tfprincipal::Tfprincipal(Tfdm& fdm, QWidget* parent)
    : QWidget(parent),
      fdm_(fdm),
      session_(fdm, rs_, *this, run_dialogs_, kLayoutDesignSql) {
  BuildWidgets();
  setWindowIcon(AppIcon());
  ReadRegionalSettings();
  session_.AddObserver(&run_detail_);
  // Sees every key press (key preview) and the company edit losing focus.
  qApp->installEventFilter(this);
  FormCreate();
}

Tfprincipal::~Tfprincipal() = default;

void Tfprincipal::ReadRegionalSettings() {
  const QLocale locale = UserLocale();
  // The install directory's store may state the order file's format; the
  // regional settings decide the rest.
  FileFormat format;
  RunHandler([&format] { format = StoredFileFormat(); });
  rs_ = format.ApplyTo(RegionalSettingsFromLocale(locale));
  fdm_.set_regional_settings(rs_);
  if (EFecIni != nullptr) {
    // The picker shows dates as the order file writes them; the C locale
    // has no short date of its own worth showing.
    EFecIni->setDisplayFormat(locale.language() == QLocale::C
                                  ? QStringLiteral("M/d/yy")
                                  : locale.dateFormat(QLocale::ShortFormat));
  }
}

void Tfprincipal::FormCreate() {
  RunHandler([this] {
    const std::string directory = diraplicacion(messages_);
    // No separator check: an empty directory gives "/settings.conf".
    const SettingsFile settings = SettingsFile::Read(directory + "/settings.conf");
    SetBytes(Servidor, settings.server);
    SetBytes(Tusua, settings.user);
    SetBytes(TClave, settings.password);
    SetBytes(Cia, settings.company);
    auto_start_ = settings.auto_start;
  });
}

void Tfprincipal::FormActivate() {
  if (!Servidor->text().isEmpty() && !Tusua->text().isEmpty() && !TClave->text().isEmpty() &&
      !Cia->text().isEmpty()) {
    CiaExit();
  }
}

void Tfprincipal::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
  if (key == Qt::Key_F2) {
    SpeedButton3Click();
  } else if (key == Qt::Key_Escape) {
    SpeedButton2Click();
  }
}

void Tfprincipal::CiaExit() {
  // Events handled while a connection or an import runs may hold a queued
  // call of this one: it waits for its turn instead of running inside.
  if (busy_ != Busy::kNo) {
    QMetaObject::invokeMethod(
        this, [this] { if (!closing_) CiaExit(); }, Qt::QueuedConnection);
    return;
  }
  RunHandler([this] {
    SessionConnection connection;
    CompanyConnection& company = connection.company;
    company.company = Bytes(Cia);
    company.user = Bytes(Tusua);
    company.password = Bytes(TClave);
    if (company.company.empty() || company.user.empty() || company.password.empty()) return;
    company.server = Bytes(Servidor);

    {
      const BusyScope busy(busy_, Busy::kConnecting);
      session_.Connect(connection, [this](const std::function<void()>& work) {
        WhileResponsive(work);
      });
    }

    EFecIni->setEnabled(true);
    EFecIni->setDate(QDate::currentDate());
    Panel5->hide();
    EFecIni->setFocus();
    SpeedButton3->setEnabled(true);

    // Every connection reads its own company's layout: both sets are
    // closed and emptied first, so a second company never keeps the
    // first one's columns.
    session_.LoadLayout();

    if (auto_start_ == "1" && session_.connected()) SpeedButton3Click();
  });
}

void Tfprincipal::SpeedButton1Click() {
  RunHandler([this] {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The list shows each filter's description alone, as the operator
    // knows it; the patterns still select the files.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters({QStringLiteral("Archivos de texto (*.txt)"),
                           QStringLiteral("Archivos de valores separados por comas (*.csv)")});
    dialog.selectNameFilter(QStringLiteral("Archivos de texto (*.txt)"));
    if (RunModal(dialog) != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return;
    const QByteArray path = QFile::encodeName(files.first());
    SetBytes(Ubicacion, std::string(path.constData(), static_cast<size_t>(path.size())));
  });
}

void Tfprincipal::SpeedButton2Click() { close(); }

// Events ---------------------------------------------------------------------

bool Tfprincipal::eventFilter(QObject* watched, QEvent* event) {
  // While a connection or an import runs inside a handler, keys and clicks
  // on the window are not handled: nothing the operator does can start a
  // second step inside the first. Boxes the run opens are windows of their
  // own and take them.
  if (busy_ != Busy::kNo && IsUserInput(event->type())) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->window() == this) return true;
  }
  if (event->type() == QEvent::KeyPress && !closing_) {
    // Key preview: the key is seen once, by the window, before the control
    // that has the focus; propagation to parents must not act again.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->window() == this) {
      QWidget* first = QApplication::focusWidget();
      if (first == nullptr || first->window() != this) first = focusWidget();
      if (first == nullptr) first = this;
      if (widget == first) {
        const auto* key = static_cast<QKeyEvent*>(event);
        FormKeyDown(key->key(), key->modifiers());
      }
    }
  } else if (watched == Cia && event->type() == QEvent::FocusOut && !closing_) {
    // Leaving the company field for another control connects; the window
    // losing activation, or a popup, is not leaving it. The connection runs
    // once the focus change is complete, so that it may move the focus.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      QMetaObject::invokeMethod(
          this, [this] { if (!closing_) CiaExit(); }, Qt::QueuedConnection);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Tfprincipal::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (activated_) return;
  activated_ = true;
  FitOuterSize();
  // The first activation connects; it runs once the window has appeared
  // and been painted, so that the operator sees it, not a black square,
  // while a slow server answers.
  ActivateWhenPainted(0);
}

void Tfprincipal::ActivateWhenPainted(int tries) {
  QTimer::singleShot(tries == 0 ? 0 : 10, this, [this, tries] {
    if (closing_) return;
    const bool exposed = windowHandle() != nullptr && windowHandle()->isExposed();
    // A window that never becomes exposed (no window manager, minimised)
    // is not waited for more than about two seconds.
    if (!exposed && tries < 200) {
      ActivateWhenPainted(tries + 1);
      return;
    }
    repaint();
    FormActivate();
    first_activation_done_ = true;
  });
}

void Tfprincipal::closeEvent(QCloseEvent* event) {
  if (busy_ == Busy::kImporting && !run_closing_) {
    // The window manager's close button during an import: the run may
    // stop, but only between two orders, never in the middle of one.
    event->ignore();
    if (!close_after_run_ && AskStopImport()) {
      close_after_run_ = true;
      session_.run().RequestStop();
    }
    return;
  }
  if (busy_ == Busy::kConnecting) {
    // The connection cannot be cut short; the window stays until it ends.
    event->ignore();
    return;
  }
  // Nothing is asked or saved; closing ends the program.
  closing_ = true;
  QWidget::closeEvent(event);
  emit closed();
}

void Tfprincipal::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LocaleChange) ReadRegionalSettings();
  QWidget::changeEvent(event);
}

void Tfprincipal::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceStatusPanel();
}

}  // namespace imp
