// The window's controls: their places and sizes as designed, their fonts,
// and the window's outer size.

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "app/date_picker.h"
#include "app/tfprincipal.h"

namespace imp {

namespace {

constexpr int kWidth = 363;
constexpr int kHeight = 359;
constexpr int kStatusWidth = 337;
constexpr int kStatusHeight = 41;
constexpr int kDescriptionHeight = 57;
constexpr int kOriginHeight = 105;
constexpr int kButtonBandHeight = 52;

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

void Tfprincipal::BuildWidgets() {
  setObjectName(QStringLiteral("fprincipal"));
  setWindowTitle(QStringLiteral("Importación de pedidos"));
  setFont(WindowFont(8));
  resize(kWidth, kHeight);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  BuildDescriptionBand(column);
  BuildOriginGroup(column);
  BuildParametersGroup(column);
  BuildButtonBand(column);
  BuildStatusPanel();

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

// The description band at the top.
void Tfprincipal::BuildDescriptionBand(QVBoxLayout* column) {
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
}

// "Origen:": the company fields.
void Tfprincipal::BuildOriginGroup(QVBoxLayout* column) {
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
}

// "Parámetros ": date, file, progress.
void Tfprincipal::BuildParametersGroup(QVBoxLayout* column) {
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
}

// The button band at the bottom.
void Tfprincipal::BuildButtonBand(QVBoxLayout* column) {
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
}

// The status panel, over the user and password rows of "Origen:".
void Tfprincipal::BuildStatusPanel() {
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
}

void Tfprincipal::PlaceStatusPanel() {
  Panel5->move((width() - kStatusWidth) / 2, kDescriptionHeight + 34);
  Panel5->raise();
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

}  // namespace imp
