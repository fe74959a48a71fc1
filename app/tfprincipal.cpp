#include "app/tfprincipal.h"

#include <QApplication>
#include <QDateTime>
#include <QCloseEvent>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <functional>
#include <future>

#include "app/app_icon.h"
#include "app/display_text.h"
#include "app/install_directory.h"
#include "app/locale_regional_settings.h"
#include "app/modal_runner.h"
#include "app/run_detail.h"
#include "app/settings_file.h"
#include "db/tfdm.h"
#include "import/load_import_layout.h"
#include "values/failure.h"

namespace imp {

namespace {

constexpr int kWidth = 363;
constexpr int kHeight = 359;
constexpr int kStatusWidth = 337;
constexpr int kStatusHeight = 41;
constexpr int kDescriptionHeight = 57;
constexpr int kOriginHeight = 105;
constexpr int kButtonBandHeight = 52;

const char kLayoutDesignSql[] =
    "select * from importacion_inventario where IMIN_TIPO = 0 order by imin_columna";

// Edits filled from bytes give the same bytes back while the operator has
// not changed them, whatever character set they were shown in; typed text
// is taken as UTF-8.
const char kBytesProperty[] = "importa_bytes";
const char kShownProperty[] = "importa_shown";

void SetBytes(QLineEdit* edit, const std::string& bytes) {
  const QString shown = DisplayText(bytes);
  edit->setText(shown);
  edit->setProperty(kBytesProperty, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  edit->setProperty(kShownProperty, shown);
}

std::string Bytes(const QLineEdit* edit) {
  QByteArray bytes;
  if (edit->property(kShownProperty).toString() == edit->text() &&
      edit->property(kBytesProperty).isValid()) {
    bytes = edit->property(kBytesProperty).toByteArray();
  } else {
    bytes = edit->text().toUtf8();
  }
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// A date picker that Tab and Shift+Tab leave, like every other control,
// instead of walking through its day, month and year. Only those keys: the
// date's own separator still moves between its sections, so a date typed
// as the regional short format writes it ("15/01/24") lands whole.
class DatePicker final : public QDateEdit {
 public:
  using QDateEdit::QDateEdit;

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
      if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
        QWidget::focusNextPrevChild(key->key() == Qt::Key_Tab &&
                                    !(key->modifiers() & Qt::ShiftModifier));
        return true;
      }
    }
    return QDateEdit::event(event);
  }

  void keyPressEvent(QKeyEvent* key) override {
    // A section typed full moves on by itself; the separator the operator
    // types after it must not move on once more (to the year, or out).
    const bool separator = !key->text().isEmpty() && !key->text().at(0).isLetterOrNumber() &&
                           key->text().at(0).isPrint() && key->text() != QStringLiteral(" ");
    if (separator && moved_on_) {
      moved_on_ = false;
      return;
    }
    const Section before = currentSection();
    QDateEdit::keyPressEvent(key);
    moved_on_ = !separator && !key->text().isEmpty() && key->text().at(0).isDigit() &&
                currentSection() != before;
  }

  void focusInEvent(QFocusEvent* event) override {
    moved_on_ = false;
    QDateEdit::focusInEvent(event);
  }

  // Two-digit years are read as the nearest one: within 80 years back and
  // 19 ahead of today, as the operator means "24".
  QDateTime dateTimeFromText(const QString& text) const override {
    QDateTime value = QDateEdit::dateTimeFromText(text);
    const QString format = displayFormat();
    if (!value.isValid() || !format.contains(QStringLiteral("yy")) ||
        format.contains(QStringLiteral("yyyy"))) {
      return value;
    }
    const int today = QDate::currentDate().year();
    int year = today - today % 100 + value.date().year() % 100;
    if (year > today + 19) year -= 100;
    if (year <= today - 81) year += 100;
    const QDate date(year, value.date().month(),
                     std::min(value.date().day(), QDate(year, value.date().month(), 1).daysInMonth()));
    value.setDate(date);
    return value;
  }

 private:
  bool moved_on_ = false;  // the last digit filled its section and moved on
};

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

// The designed faces first, then look-alikes found on Linux desktops.
QFont WindowFont(int points) {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  font.setPointSize(points);
  return font;
}

QFont CaptionFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow"),
                    QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
  font.setStretch(QFont::Condensed);
  font.setPointSize(8);
  return font;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int x, int y, int width) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFrame(false);
  edit->setGeometry(x, y, width, 19);
  return edit;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int x, int y) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(x, y + 2);
  label->adjustSize();
  return label;
}

QToolButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        QStyle::StandardPixmap picture, int width, int height) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(caption);
  button->setIcon(parent->style()->standardIcon(picture));
  button->setIconSize(QSize(24, 24));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);  // flat
  button->setFocusPolicy(Qt::NoFocus);
  button->setFixedSize(width, height);
  button->setFont(CaptionFont());
  return button;
}

}  // namespace

Tfprincipal::Tfprincipal(Tfdm& fdm, QWidget* parent)
    : QWidget(parent),
      fdm_(fdm),
      CImporinv(fdm.Norvela, rs_, "CImporinv", kLayoutDesignSql,
                {"IMIN_TIPO", "IMIN_DATO", "IMIN_COLUMNA", "IMIN_ANCHO"}),
      CFacturas(fdm),
      run_(fdm, CFacturas, CImportacion_, rs_, *this, run_dialogs_) {
  BuildWidgets();
  setWindowIcon(AppIcon());
  ReadRegionalSettings();
  run_.set_observer(&run_detail_);
  // Sees every key press (key preview) and the company edit losing focus.
  qApp->installEventFilter(this);
  FormCreate();
}

Tfprincipal::~Tfprincipal() = default;

void Tfprincipal::BuildWidgets() {
  setObjectName(QStringLiteral("fprincipal"));
  setWindowTitle(QStringLiteral("Importación de pedidos"));
  setFont(WindowFont(8));
  resize(kWidth, kHeight);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Description band.
  Panel2 = new QFrame(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFixedHeight(kDescriptionHeight);
  auto* band = new QVBoxLayout(Panel2);
  band->setContentsMargins(6, 2, 6, 2);
  Label2 = new QLabel(
      QStringLiteral("Este programa importa el archivo plano de pedidos generado por la "
                     "aplicación KPX a Norvela. Indique el archivo a importar y presione F2, "
                     "luego sobre la nueva ventana presione F2 para generar los archivos."),
      Panel2);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  band->addWidget(Label2);
  column->addWidget(Panel2);

  // "Origen:" group: the company fields.
  GroupBox1 = new QGroupBox(QStringLiteral("Origen:"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setFixedHeight(kOriginHeight);
  MakeLabel(GroupBox1, "Label1", QStringLiteral("Servidor : "), 8, 18);
  Servidor = MakeEdit(GroupBox1, "Servidor", 72, 18, 253);
  MakeLabel(GroupBox1, "Label3", QStringLiteral("Usuario : "), 8, 39);
  Tusua = MakeEdit(GroupBox1, "Tusua", 72, 39, 97);
  MakeLabel(GroupBox1, "Label4", QStringLiteral("Clave : "), 8, 60);
  TClave = MakeEdit(GroupBox1, "TClave", 72, 60, 97);
  TClave->setEchoMode(QLineEdit::Password);
  TClave->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  MakeLabel(GroupBox1, "Label5", QStringLiteral("Compañía:"), 8, 81);
  Cia = MakeEdit(GroupBox1, "Cia", 72, 81, 45);
  column->addWidget(GroupBox1);

  // "Parámetros " group: date, file, progress.
  GroupBox2 = new QGroupBox(QStringLiteral("Parámetros "), this);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  MakeLabel(GroupBox2, "Label6", QStringLiteral("Fecha:"), 8, 20);
  EFecIni = new DatePicker(QDate::currentDate(), GroupBox2);
  EFecIni->setObjectName(QStringLiteral("EFecIni"));
  EFecIni->setCalendarPopup(true);
  EFecIni->setGeometry(72, 20, 97, 21);
  EFecIni->setEnabled(false);
  MakeLabel(GroupBox2, "Label7", QStringLiteral("Ubicación:"), 8, 46);
  Ubicacion = MakeEdit(GroupBox2, "Ubicacion", 72, 46, 201);
  SpeedButton1 = MakeButton(GroupBox2, "SpeedButton1", QStringLiteral("Explorar"),
                            QStyle::SP_DirOpenIcon, 67, 59);
  SpeedButton1->move(280, 12);
  ProgressBar1 = new QProgressBar(GroupBox2);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setGeometry(16, 74, 255, 17);
  Edit1 = MakeEdit(GroupBox2, "Edit1", 16, 96, 254);
  Edit1->setFocusPolicy(Qt::NoFocus);
  Edit1->hide();
  column->addWidget(GroupBox2, 1);

  // Button band.
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(kButtonBandHeight);
  auto* buttons = new QHBoxLayout(Panel1);
  buttons->setContentsMargins(8, 1, 8, 1);
  SpeedButton3 = MakeButton(Panel1, "SpeedButton3", QStringLiteral("F2: Generar"),
                            QStyle::SP_DialogApplyButton, 65, 50);
  SpeedButton3->setEnabled(false);
  SpeedButton2 = MakeButton(Panel1, "SpeedButton2", QStringLiteral("Esc: Cancelar"),
                            QStyle::SP_DialogCancelButton, 65, 50);
  buttons->addWidget(SpeedButton3);
  buttons->addStretch(1);
  buttons->addWidget(SpeedButton2);
  column->addWidget(Panel1);

  // Status panel, over the user and password rows of "Origen:".
  Panel5 = new QLabel(this);
  Panel5->setObjectName(QStringLiteral("Panel5"));
  Panel5->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel5->setLineWidth(1);
  Panel5->setAlignment(Qt::AlignCenter);
  Panel5->setAutoFillBackground(true);
  Panel5->setFont(WindowFont(10));
  QPalette navy = Panel5->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  Panel5->setPalette(navy);
  Panel5->resize(kStatusWidth, kStatusHeight);
  Panel5->hide();
  PlaceStatusPanel();

  setTabOrder(Servidor, Tusua);
  setTabOrder(Tusua, TClave);
  setTabOrder(TClave, Cia);
  setTabOrder(Cia, EFecIni);
  setTabOrder(EFecIni, Ubicacion);
  Servidor->setFocus();

  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
}

void Tfprincipal::PlaceStatusPanel() {
  Panel5->move((width() - kStatusWidth) / 2, kDescriptionHeight + 34);
  Panel5->raise();
}

void Tfprincipal::ReadRegionalSettings() {
  const QLocale locale = UserLocale();
  // The install directory's store may state the order file's format; the
  // regional settings decide the rest.
  FileFormat format;
  RunHandler([&format] { format = FormatoDelAlmacen(); });
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
    SetBytes(Servidor, settings.servidor);
    SetBytes(Tusua, settings.usuario);
    SetBytes(TClave, settings.clave);
    SetBytes(Cia, settings.compania);
    inicio_automatico_ = settings.inicio_automatico;
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
    const std::string compania = Bytes(Cia);
    const std::string usuario = Bytes(Tusua);
    const std::string clave = Bytes(TClave);
    if (compania.empty() || usuario.empty() || clave.empty()) return;

    Connection& norvela = fdm_.Norvela;
    {
      const BusyScope busy(busy_, Busy::kConnecting);
      ShowStatus("Conectando a la base de datos " + compania + " ...");
      norvela.Close();
      norvela.SetParam("Database", Bytes(Servidor) + "/datos/" + compania + "/norvela.fdb");
      norvela.SetParam("User_Name", usuario);
      norvela.SetParam("password", clave);
      norvela.SetParam("ServerCharSet", EncodingName(rs_.text_encoding));
      WhileResponsive([&norvela] { norvela.Open(); });
    }

    EFecIni->setEnabled(true);
    EFecIni->setDate(QDate::currentDate());
    Panel5->hide();
    EFecIni->setFocus();
    SpeedButton3->setEnabled(true);

    // Every connection reads its own company's layout: both sets are
    // closed and emptied first, so a second company never keeps the
    // first one's columns.
    LoadImportLayout(CImporinv, CImportacion_);

    if (inicio_automatico_ == "1" && norvela.connected()) SpeedButton3Click();
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

void Tfprincipal::SpeedButton3Click() {
  if (busy_ != Busy::kNo) return;
  RunHandler([this] {
    const BusyScope busy(busy_, Busy::kImporting);
    run_.ClearStopRequest();
    close_after_run_ = false;
    run_detail_.Clear();
    try {
      run_.SpeedButton3Click();
    } catch (const Failure& failure) {
      // The failure's box shows over the last record and step painted,
      // with what the run did before it in its detail area.
      FlushRunProgress();
      MessageBoxes::ShowWithDetail(RunDetail::WithoutDroppedOrders(failure.what()),
                                   run_detail_.Text(), /*error=*/true);
      if (close_after_run_) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
      return;
    } catch (...) {
      FlushRunProgress();
      if (close_after_run_) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
      throw;
    }
    FlushRunProgress();
    // A close asked for during the run, once the run has stopped after
    // its order and shown what it wrote.
    if (close_after_run_) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
  });
}

// ImportScreen ---------------------------------------------------------------

void Tfprincipal::ShowStatus(const std::string& caption) {
  FlushRunProgress();
  Panel5->setText(DisplayText(caption));
  Panel5->show();
  Panel5->raise();
  // A child just shown is not painted by its window's repaint: the panel
  // paints itself, over the window painted first.
  repaint();
  Panel5->repaint();
  KeepPainting(/*now=*/true);
}

void Tfprincipal::HideStatus() {
  FlushRunProgress();
  Panel5->hide();
  repaint();
}

void Tfprincipal::ShowRecordBox() {
  FlushRunProgress();
  Edit1->show();
  Edit1->repaint();
}

void Tfprincipal::SetRecordText(const std::string& text) {
  Edit1->setText(DisplayText(text));
  record_paint_pending_ = true;
  RunProgressChanged();
}

void Tfprincipal::StepProgress() {
  // Like a progress control's step: past the end it starts over.
  int next = ProgressBar1->value() + 1;
  if (next > ProgressBar1->maximum()) next = ProgressBar1->minimum();
  // The bar repaints itself at once whenever its filled part moves; here
  // it is painted at the pace of RunProgressChanged instead.
  ProgressBar1->setUpdatesEnabled(false);
  ProgressBar1->setValue(next);
  ProgressBar1->setUpdatesEnabled(true);
  progress_paint_pending_ = true;
  RunProgressChanged();
}

void Tfprincipal::ShowMessage(const std::string& text) {
  FlushRunProgress();
  if (busy_ == Busy::kImporting && !run_detail_.empty()) {
    // The run's closing box: its own words, and what the run did in a
    // detail area that scrolls.
    MessageBoxes::ShowWithDetail(RunDetail::WithoutDroppedOrders(text), run_detail_.Text(),
                                 /*error=*/false);
    return;
  }
  messages_.ShowMessage(text);
}

void Tfprincipal::CloseWindow() {
  FlushRunProgress();
  // The run's own close at its end is not a request to stop it.
  run_closing_ = true;
  close();
  run_closing_ = false;
}

std::string Tfprincipal::FileLocation() { return Bytes(Ubicacion); }

Date Tfprincipal::FallbackDate() {
  const QDate date = EFecIni->date();
  return Date::FromYmd(date.year(), date.month(), date.day()).value_or(Date::Today());
}

// Painting during a run ------------------------------------------------------

void Tfprincipal::RunProgressChanged() {
  if (run_paint_clock_.isValid() && run_paint_clock_.elapsed() < kRunPaintInterval) return;
  PaintRunProgress();
  run_paint_clock_.start();
  KeepPainting(/*now=*/false);
}

void Tfprincipal::KeepPainting(bool now) {
  // Uncovered areas, the window manager's pings and a close request are
  // handled; keys and clicks on the window are not (see eventFilter), so
  // the order of the run's steps is never changed by them. Qt's own
  // ExcludeUserInputEvents would hold back the window manager's close
  // request too: on X11 it counts as user input.
  if (!now && events_clock_.isValid() && events_clock_.elapsed() < kRunPaintInterval) return;
  events_clock_.start();
  QCoreApplication::processEvents();
}

void Tfprincipal::WhileResponsive(const std::function<void()>& work) {
  // The work runs in a thread of its own while this one keeps the window
  // painted; its failure is raised here.
  auto done = std::async(std::launch::async, work);
  while (done.wait_for(std::chrono::milliseconds(kRunPaintInterval)) != std::future_status::ready) {
    QCoreApplication::processEvents();
  }
  done.get();
}

void Tfprincipal::FlushRunProgress() {
  PaintRunProgress();
  run_paint_clock_.invalidate();
}

void Tfprincipal::PaintRunProgress() {
  if (record_paint_pending_) {
    record_paint_pending_ = false;
    Edit1->repaint();
  }
  if (progress_paint_pending_) {
    progress_paint_pending_ = false;
    ProgressBar1->repaint();
  }
}

void Tfprincipal::RunDialogs::ShowMessage(const std::string& text) {
  window_.FlushRunProgress();
  window_.messages_.ShowMessage(text);
}

void Tfprincipal::RunDialogs::ShowError(const std::string& text) {
  window_.FlushRunProgress();
  window_.messages_.ShowError(text);
}

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

void Tfprincipal::FitOuterSize() {
  // The designed size is the outer one, frame included, where the platform
  // tells the frame; centred on the desktop.
  const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  resize(kWidth - frame.left() - frame.right(), kHeight - frame.top() - frame.bottom());
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kWidth / 2, kHeight / 2));
  }
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

bool Tfprincipal::AskStopImport() {
  QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(),
                  QStringLiteral("¿Detener la importación?"), QMessageBox::NoButton, this);
  QPushButton* si = box.addButton(QStringLiteral("Sí"), QMessageBox::YesRole);
  box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
  box.setObjectName(QStringLiteral("DetenerImportacion"));
  RunModal(box);
  return box.clickedButton() == si;
}

void Tfprincipal::closeEvent(QCloseEvent* event) {
  if (busy_ == Busy::kImporting && !run_closing_) {
    // The window manager's close button during an import: the run may
    // stop, but only between two orders, never in the middle of one.
    event->ignore();
    if (!close_after_run_ && AskStopImport()) {
      close_after_run_ = true;
      run_.RequestStop();
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
