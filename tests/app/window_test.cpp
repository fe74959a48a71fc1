// The main window without a company database: its controls, settings,
// keys, file dialog and the screen the import run drives.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QStyleOption>
#include <QTemporaryDir>

#include "app/locale_regional_settings.h"
#include "app_window.h"

namespace imp {
namespace {

using test::AppWindow;

const std::string kFourLines = "srv\r\nSYSDBA\r\nclave\r\n01\r\n";

TEST(Window, ControlsAsDesigned) {
  AppWindow w(std::nullopt);
  w.Show();
  Tfprincipal& f = *w.window;
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Importación de pedidos"));
  EXPECT_EQ(f.frameGeometry().size(), QSize(363, 359));

  const struct {
    const char* name;
    const char* caption;  // null: not checked
    int width, height;    // 0: not checked
    bool enabled, visible;
  } controls[] = {
      {"Panel2", nullptr, 0, 57, true, true},
      {"GroupBox1", "Origen:", 0, 105, true, true},
      {"Servidor", "", 253, 0, true, true},
      {"Tusua", "", 97, 0, true, true},
      {"TClave", "", 97, 0, true, true},
      {"Cia", "", 45, 0, true, true},
      {"GroupBox2", "Parámetros ", 0, 0, true, true},
      {"EFecIni", nullptr, 0, 0, false, true},
      {"Ubicacion", "", 201, 0, true, true},
      {"SpeedButton1", "Explorar", 67, 59, true, true},
      {"ProgressBar1", nullptr, 255, 17, true, true},
      {"Edit1", "", 254, 0, true, false},
      {"Panel1", nullptr, 0, 52, true, true},
      {"SpeedButton3", "F2: Generar", 65, 50, false, true},
      {"SpeedButton2", "Esc: Cancelar", 65, 50, true, true},
      {"Panel5", nullptr, 337, 41, true, false},
  };
  for (const auto& c : controls) {
    SCOPED_TRACE(c.name);
    QWidget* widget = w.find(c.name);
    ASSERT_NE(widget, nullptr);
    if (c.caption != nullptr) {
      QString caption;
      if (auto* e = qobject_cast<QLineEdit*>(widget)) caption = e->text();
      if (auto* b = qobject_cast<QToolButton*>(widget)) caption = b->text();
      if (auto* g = qobject_cast<QGroupBox*>(widget)) caption = g->title();
      EXPECT_EQ(caption, QString::fromUtf8(c.caption));
    }
    if (c.width != 0) {
      EXPECT_EQ(widget->width(), c.width);
    }
    if (c.height != 0) {
      EXPECT_EQ(widget->height(), c.height);
    }
    EXPECT_EQ(widget->isEnabled(), c.enabled);
    EXPECT_EQ(widget->isVisibleTo(&f), c.visible);
  }

  // The bands and groups take the full width, top to bottom.
  int y = 0;
  for (const char* name : {"Panel2", "GroupBox1", "GroupBox2", "Panel1"}) {
    QWidget* band = w.find(name);
    EXPECT_EQ(band->geometry(), QRect(0, y, f.width(), band->height())) << name;
    y += band->height();
  }
  EXPECT_EQ(y, f.height());
  EXPECT_TRUE(w.find<QLabel>("Label2")->wordWrap());
  EXPECT_TRUE(w.find<QLabel>("Label2")->text().startsWith(
      QStringLiteral("Este programa importa el archivo plano de pedidos generado por la "
                     "aplicación KPX a Norvela.")));
  auto* bar = w.find<QProgressBar>("ProgressBar1");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 0);
  for (const char* name : {"SpeedButton1", "SpeedButton2", "SpeedButton3"}) {
    auto* button = w.find<QToolButton>(name);
    EXPECT_TRUE(button->autoRaise()) << name;
    EXPECT_FALSE(button->icon().isNull()) << name;
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << name;
  }
  for (const char* name : {"Servidor", "Tusua", "TClave", "Cia", "Ubicacion", "Edit1"}) {
    EXPECT_FALSE(w.edit(name)->hasFrame()) << name;
  }
}

TEST(Window, PasswordShownAsStars) {
  AppWindow w(std::nullopt);
  QLineEdit* password = w.edit("TClave");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  QStyleOptionFrame option;
  option.initFrom(password);
  EXPECT_EQ(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, &option, password),
            int('*'));
}

TEST(Window, StatusPanelLiesOverUserAndPasswordRows) {
  AppWindow w(std::nullopt);
  w.Show();
  QWidget* panel = w.find("Panel5");
  const QRect over = panel->geometry();
  for (const char* name : {"Tusua", "TClave"}) {
    QWidget* edit = w.edit(name);
    const QRect rect(edit->mapTo(w.window.get(), QPoint(0, 0)), edit->size());
    EXPECT_TRUE(over.intersects(rect)) << name;
  }
  EXPECT_TRUE(w.find("GroupBox1")->geometry().contains(over));
  EXPECT_EQ(over.center().x(), w.window->rect().center().x());
}

// The controls the Tab key visits, from the first focus on.
std::vector<QString> TabWalk() {
  std::vector<QString> names;
  QWidget* first = QApplication::focusWidget();
  if (first == nullptr) return names;
  QWidget* at = first;
  do {
    QWidget* named = at;
    while (named != nullptr && named->objectName().isEmpty()) named = named->parentWidget();
    names.push_back(named ? named->objectName() : QString());
    QTest::keyClick(at, Qt::Key_Tab);
    at = QApplication::focusWidget();
  } while (at != nullptr && at != first && names.size() < 12);
  return names;
}

TEST(Window, FirstFocusAndTabOrder) {
  AppWindow w(std::nullopt);
  w.Show();
  EXPECT_EQ(QApplication::focusWidget(), w.edit("Servidor"));
  const std::vector<QString> disabled = {"Servidor", "Tusua", "TClave", "Cia", "Ubicacion"};
  EXPECT_EQ(TabWalk(), disabled);

  // Leaving Cia with empty fields connects nothing; enable the date picker
  // as a connection would and walk again.
  w.edit("Servidor")->setFocus();
  w.find("EFecIni")->setEnabled(true);
  const std::vector<QString> enabled = {"Servidor", "Tusua", "TClave", "Cia", "EFecIni",
                                        "Ubicacion"};
  EXPECT_EQ(TabWalk(), enabled);
  EXPECT_TRUE(w.recorder.boxes().empty());
}

TEST(Window, SettingsFillTheEdits) {
  const struct {
    const char* name;
    std::optional<std::string> settings;
    const char *server, *user, *password, *company;
    std::string flag;
  } cases[] = {
      {"no file", std::nullopt, "", "", "", "", ""},
      {"four lines CR LF", kFourLines, "srv", "SYSDBA", "clave", "01", ""},
      {"LF only", "srv\nSYSDBA\nclave\n01\n", "srv", "SYSDBA", "clave", "01", ""},
      {"CR only", "srv\rSYSDBA\rclave\r01\r", "srv", "SYSDBA", "clave", "01", ""},
      {"last line without line end", "srv\r\nSYSDBA\r\nclave\r\n01", "srv", "SYSDBA", "clave",
       "01", ""},
      {"empty first line", "\r\nSYSDBA\r\nclave\r\n01\r\n", "", "SYSDBA", "clave", "01", ""},
      {"automatic start", "s\nu\nc\n01\n\n\n\n1", "s", "u", "c", "01", "1"},
      {"Windows-1252 bytes", "srv\nSYSDBA\nca\xF1" "a\nCompa\xF1\xED" "a\n", "srv", "SYSDBA",
       "caña", "Compañía", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AppWindow w(c.settings);
    EXPECT_EQ(w.edit("Servidor")->text(), QString::fromUtf8(c.server));
    EXPECT_EQ(w.edit("Tusua")->text(), QString::fromUtf8(c.user));
    EXPECT_EQ(w.edit("TClave")->text(), QString::fromUtf8(c.password));
    EXPECT_EQ(w.edit("Cia")->text(), QString::fromUtf8(c.company));
    EXPECT_EQ(w.window->auto_start(), c.flag);
    EXPECT_TRUE(w.recorder.boxes().empty());
  }
}

TEST(Window, IncompleteSettingsConnectNothingWhenShown) {
  const std::string cases[] = {
      "",                                  // no values
      "srv\r\nSYSDBA\r\nclave\r\n\r\n",    // no company
      "srv\r\nSYSDBA\r\n\r\n01\r\n",       // no password
  };
  for (const std::string& settings : cases) {
    AppWindow w(settings);
    w.Show();
    EXPECT_FALSE(w.connected());
    EXPECT_EQ(w.fdm.Norvela.GetParam("Database"), "C:\\NORVELA2009\\SOP\\NORVELA.FDB");
    EXPECT_FALSE(w.find("Panel5")->isVisible());
    EXPECT_FALSE(w.find("SpeedButton3")->isEnabled());
    EXPECT_TRUE(w.recorder.boxes().empty());
    w.LeaveCompany();
    EXPECT_FALSE(w.find("Panel5")->isVisible());
    EXPECT_TRUE(w.recorder.boxes().empty());
  }
}

TEST(Window, MissingStoreIsReportedAndStartUpGoesOn) {
  test::InstallFixture install;  // store folder without the store
  test::DialogRecorder recorder;
  MessageBoxes boxes;
  Tfdm fdm;
  Tfprincipal window(fdm);
  ASSERT_EQ(recorder.boxes().size(), 1u);
  EXPECT_EQ(recorder.boxes()[0].text,
            QStringLiteral("No se encontró la Clave "
                           "HKEY_LOCAL_MACHINE\\Software\\QRM\\Quintavalle\\Directorio"));
  EXPECT_EQ(recorder.boxes()[0].icon, QMessageBox::NoIcon);
  EXPECT_TRUE(window.findChild<QLineEdit*>(QStringLiteral("Servidor"))->text().isEmpty());
}

TEST(Window, OverlongSettingsLineRefusesTheFile) {
  AppWindow w("srv\r\nSYSDBA\r\nclave\r\n01\r\n\r\n" + std::string(256, 'x') + "\r\n");
  ASSERT_EQ(w.recorder.boxes().size(), 1u);
  const test::ShownBox& box = w.recorder.boxes()[0];
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.text, QStringLiteral("La línea 6 de ") +
                          QString::fromStdString(w.install.settings_path()) +
                          QStringLiteral(" tiene más de 255 caracteres."));
  for (const char* name : {"Servidor", "Tusua", "TClave", "Cia"}) {
    EXPECT_TRUE(w.edit(name)->text().isEmpty()) << name;
  }
}

TEST(Window, ModifiedKeysDoNothingAndKeysReachTheFocusedControl) {
  AppWindow w(std::nullopt);
  w.Show();
  QLineEdit* location = w.edit("Ubicacion");
  location->setFocus();
  int seen = 0;
  struct Counter : QObject {
    int* seen;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_F2 || key == Qt::Key_Escape) ++*seen;
      }
      return false;
    }
  } counter;
  counter.seen = &seen;
  location->installEventFilter(&counter);

  const Qt::KeyboardModifiers held[] = {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier,
                                        Qt::ShiftModifier | Qt::ControlModifier};
  int sent = 0;
  for (Qt::KeyboardModifiers m : held) {
    for (Qt::Key key : {Qt::Key_F2, Qt::Key_Escape}) {
      QTest::keyClick(location, key, m);
      ++sent;
    }
  }
  EXPECT_EQ(seen, sent);
  EXPECT_TRUE(w.window->isVisible());
  EXPECT_EQ(w.closed, 0);
  EXPECT_FALSE(w.find("Panel5")->isVisible());
  EXPECT_TRUE(w.recorder.boxes().empty());

  QTest::keyClick(location, Qt::Key_Escape);
  EXPECT_EQ(seen, sent + 1);
  EXPECT_FALSE(w.window->isVisible());
  EXPECT_EQ(w.closed, 1);
}

TEST(Window, CancelButtonAndCloseBoxEndTheProgram) {
  {
    AppWindow w(kFourLines);
    w.window->show();
    w.find<QToolButton>("SpeedButton2")->click();
    EXPECT_FALSE(w.window->isVisible());
    EXPECT_EQ(w.closed, 1);
  }
  {
    AppWindow w(std::nullopt);
    w.window->show();
    w.window->close();
    EXPECT_EQ(w.closed, 1);
  }
}

TEST(Window, F2BeforeAnyConnectionUsesTheModuleParameters) {
  QTemporaryDir nowhere;
  AppWindow w(std::nullopt);
  w.Show();
  w.fdm.Norvela.SetParam("Database", (nowhere.path() + "/sin/norvela.fdb").toStdString());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
  ASSERT_EQ(w.recorder.boxes().size(), 1u);
  EXPECT_EQ(w.recorder.boxes()[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(w.recorder.boxes()[0].text.startsWith(QStringLiteral("dbExpress Error: ")));
  // The failure ended the run where it stood: the window stays open with
  // the run's status panel.
  EXPECT_TRUE(w.window->isVisible());
  EXPECT_TRUE(w.find("Panel5")->isVisible());
  EXPECT_EQ(w.find<QLabel>("Panel5")->text(),
            QStringLiteral("Importando pedidos. Espere un momento..."));
}

TEST(Window, BrowseOffersTheFiltersAndKeepsTheTextWhenCancelled) {
  QTemporaryDir dir;
  const QString chosen = dir.path() + QStringLiteral("/pedidos.csv");
  QFile(chosen).open(QIODevice::WriteOnly);

  QStringList filters;
  QStringList shown_filters;  // as the dialog lists them
  int selected_filter = -1;
  bool accept = false;
  AppWindow w(std::nullopt, [&](QDialog& dialog) -> int {
    auto* files = qobject_cast<QFileDialog*>(&dialog);
    if (files == nullptr) return QDialog::Rejected;
    filters = files->nameFilters();
    shown_filters.clear();
    if (auto* combo = files->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
      for (int i = 0; i < combo->count(); ++i) shown_filters << combo->itemText(i);
      selected_filter = combo->currentIndex();
    }
    if (!accept) return QDialog::Rejected;
    files->selectFile(chosen);
    return QDialog::Accepted;
  });
  QLineEdit* location = w.edit("Ubicacion");
  location->setText(QStringLiteral("/antes/pedidos.txt"));

  w.find<QToolButton>("SpeedButton1")->click();
  EXPECT_EQ(filters, QStringList({QStringLiteral("Archivos de texto (*.txt)"),
                                  QStringLiteral("Archivos de valores separados por comas (*.csv)")}));
  EXPECT_EQ(shown_filters, QStringList({QStringLiteral("Archivos de texto"),
                                        QStringLiteral("Archivos de valores separados por comas")}));
  EXPECT_EQ(selected_filter, 0);
  EXPECT_EQ(location->text(), QStringLiteral("/antes/pedidos.txt"));

  accept = true;
  w.find<QToolButton>("SpeedButton1")->click();
  EXPECT_EQ(location->text(), chosen);
  EXPECT_EQ(w.window->FileLocation(), chosen.toStdString());
}

TEST(Window, ScreenOfTheImportRun) {
  AppWindow w(std::nullopt);
  w.Show();
  ImportScreen& screen = *w.window;
  screen.ShowStatus("Importando pedidos. Espere un momento...");
  EXPECT_TRUE(w.find("Panel5")->isVisible());
  screen.HideStatus();
  EXPECT_FALSE(w.find("Panel5")->isVisible());

  screen.ShowRecordBox();
  screen.SetRecordText("PV100 - ACME, S.A.");
  EXPECT_TRUE(w.edit("Edit1")->isVisible());
  EXPECT_EQ(w.edit("Edit1")->text(), QStringLiteral("PV100 - ACME, S.A."));
  screen.SetRecordText("FE200 - PE\xD1" "A");
  EXPECT_EQ(w.edit("Edit1")->text(), QStringLiteral("FE200 - PEÑA"));

  auto* bar = w.find<QProgressBar>("ProgressBar1");
  const struct {
    int steps, position;
  } progress[] = {{1, 1}, {99, 100}, {1, 0}, {5, 5}};
  for (const auto& p : progress) {
    for (int i = 0; i < p.steps; ++i) screen.StepProgress();
    EXPECT_EQ(bar->value(), p.position);
  }

  auto* date = w.find<QDateEdit>("EFecIni");
  date->setDate(QDate(2024, 1, 15));
  EXPECT_EQ(screen.FallbackDate(), *Date::FromYmd(2024, 1, 15));

  // Bytes put in an edit come back unchanged while the operator leaves it
  // alone; typed text is UTF-8.
  w.edit("Ubicacion")->setText(QStringLiteral("/datos/año.csv"));
  EXPECT_EQ(screen.FileLocation(), "/datos/a\xC3\xB1o.csv");

  screen.ShowMessage("Importación finalizada.");
  ASSERT_EQ(w.recorder.boxes().size(), 1u);
  EXPECT_EQ(w.recorder.boxes()[0].icon, QMessageBox::NoIcon);
  screen.CloseWindow();
  EXPECT_EQ(w.closed, 1);
}

TEST(Window, SettingsBytesReachTheConnectionUnchanged) {
  AppWindow w("srv\nSYSDBA\nca\xF1" "a\n01\n");
  EXPECT_EQ(w.edit("TClave")->text(), QStringLiteral("caña"));
  // Nothing is typed: leaving the company edit sends the file's bytes.
  w.fdm.Norvela.SetParam("password", "");
  w.Show();  // connects; the server does not exist
  ASSERT_EQ(w.recorder.boxes().size(), 1u);
  EXPECT_EQ(w.fdm.Norvela.GetParam("password"), "ca\xF1" "a");
}

// The install directory's store may state the order file's format: it
// replaces those parts of the regional settings, whatever the locale.
TEST(Window, FileFormatFromTheStore) {
  const std::optional<UserLocaleOverride> user(QLocale(QStringLiteral("es_CO")));
  test::InstallFixture install;
  install.WriteStore(QStringLiteral("[General]\nDirectorio=") + install.install_dir() +
                     QStringLiteral("\nSeparadorDecimal=.\nOrdenFecha=mda\nSeparadorFecha=/\n"
                                    "Codificacion=UTF8\n"));
  test::DialogRecorder recorder;
  MessageBoxes boxes;
  Tfdm fdm;
  Tfprincipal window(fdm);
  const RegionalSettings rs = window.regional_settings();
  EXPECT_EQ(rs.decimal_separator, '.');
  EXPECT_EQ(rs.short_date_format, "m/d/yy");
  EXPECT_EQ(rs.date_separator, '/');
  EXPECT_EQ(rs.text_encoding, TextEncoding::kUtf8);
  // A quoted comma is the comma; no encoding stated is Windows-1252.
  install.WriteStore(QStringLiteral("[General]\nSeparadorDecimal=\",\"\n"));
  Tfprincipal other(fdm);
  EXPECT_EQ(other.regional_settings().decimal_separator, ',');
  EXPECT_EQ(other.regional_settings().text_encoding, TextEncoding::kWin1252);
}

TEST(Window, RegionalSettingsFollowLocaleChanges) {
  AppWindow w(std::nullopt);
  EXPECT_EQ(w.window->regional_settings().decimal_separator, '.');
  // The user picks other regional settings while the program runs: the
  // system locale changes and the application is told so.
  std::optional<UserLocaleOverride> user(QLocale(QStringLiteral("de_DE")));
  QEvent change(QEvent::LocaleChange);
  QApplication::sendEvent(qApp, &change);
  const RegionalSettings rs = w.window->regional_settings();
  EXPECT_EQ(rs.decimal_separator, ',');
  EXPECT_EQ(rs.date_separator, '.');
  EXPECT_EQ(w.fdm.regional_settings().decimal_separator, ',');
  EXPECT_EQ(w.find<QDateEdit>("EFecIni")->displayFormat(),
            QLocale(QStringLiteral("de_DE")).dateFormat(QLocale::ShortFormat));
  user.reset();
  QApplication::sendEvent(qApp, &change);
  EXPECT_EQ(w.window->regional_settings().decimal_separator, '.');
}

}  // namespace
}  // namespace imp
