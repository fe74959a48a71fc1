// The window in real use: a date typed as the regional short format writes
// it, the window keeps painting while a connection waits and while a long
// import runs, a close request during an import stops it between orders,
// and the closing box of a run with hundreds of dropped orders fits the
// screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QTranslator>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <optional>
#include <string>

#include "app/locale_regional_settings.h"
#include "app/modal_runner.h"
#include "app_window.h"
#include "tests/support/fresh_database.h"
#include "tests/support/rows_as_text.h"
#include "tests/support/silent_server.h"

namespace imp {
namespace {

using test::AppWindow;
using testing::FreshDatabase;

// Counts one widget's paint events.
class Paints final : public QObject {
 public:
  explicit Paints(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
  ~Paints() override {
    if (widget_) widget_->removeEventFilter(this);
  }
  int count() const { return count_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == widget_ && event->type() == QEvent::Paint) ++count_;
    return false;
  }

 private:
  QPointer<QWidget> widget_;
  int count_ = 0;
};

std::string SettingsFor(const FreshDatabase& db) {
  return db.server() + "\r\nSYSDBA\r\nmasterkey\r\n" + db.company() + "\r\n";
}

// `orders` orders of `lines` lines of the demo company, in the example
// file's format.
QByteArray Orders(int orders, int lines) {
  QByteArray text;
  for (int p = 1; p <= orders; ++p) {
    text += "PV," + QByteArray::number(p) +
            ",1/15/2026,2/14/2026,2,1,800100200,ACME,01,0,0,0,ART0004,2,KG,15300,0\r\n";
    for (int l = 1; l < lines; ++l) text += ",,,,,,,,,,,,ART0006,24,UND,2500,0\r\n";
  }
  return text;
}


TEST(WindowInUse, ADateTypedInTheRegionalShortFormatStaysInThePicker) {
  const struct {
    const char* locale;
    const char* typed;
  } cases[] = {{"es_CO", "15/01/24"}, {"C", "1/15/24"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    const UserLocaleOverride user{QLocale(QString::fromLatin1(c.locale))};
    AppWindow w(std::nullopt);
    w.Show();
    auto* date = w.find<QDateEdit>("EFecIni");
    date->setEnabled(true);
    date->setDate(QDate(2026, 12, 15));
    date->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    date->setSelectedSection(QDateTimeEdit::MonthSection);
    date->setSelectedSection(date->sectionAt(0));
    QTest::keyClicks(date, QString::fromLatin1(c.typed));
    // The separators moved between the sections; nothing escaped.
    EXPECT_EQ(date->date(), QDate(2024, 1, 15)) << date->text().toStdString();
    EXPECT_TRUE(w.edit("Ubicacion")->text().isEmpty()) << w.edit("Ubicacion")->text().toStdString();
    EXPECT_TRUE(date->hasFocus());
    // Tab leaves it, with the date kept.
    QTest::keyClick(date, Qt::Key_Tab);
    EXPECT_FALSE(date->hasFocus());
    EXPECT_EQ(date->date(), QDate(2024, 1, 15));
    EXPECT_EQ(w.window->FallbackDate(), *Date::FromYmd(2024, 1, 15));
  }
}

TEST(WindowInUse, TheWindowPaintsWhileAConnectionWaits) {
  // A server that takes the connection and never answers: the client waits
  // (here for three seconds, then fails).
  const testing::SilentServer silent;
  const std::string server = silent.server_line();

  AppWindow w(server + "\nSYSDBA\nclave\n\n");
  w.Show();
  w.fdm.Norvela.set_connect_timeout(3);
  Paints panel(w.find("Panel5"));
  Paints window(w.window.get());
  int panel_paints_while_waiting = 0;
  bool panel_visible_while_waiting = false;
  // While the connection waits, something uncovers the window now and
  // then; its paints are counted.
  QTimer uncover;
  QObject::connect(&uncover, &QTimer::timeout, [&] {
    w.window->update();
    panel_paints_while_waiting = panel.count();
    panel_visible_while_waiting = w.find("Panel5")->isVisible();
  });
  uncover.start(100);
  w.edit("Cia")->setText(QStringLiteral("01"));
  w.window->CiaExit();
  uncover.stop();
  EXPECT_TRUE(panel_visible_while_waiting);
  EXPECT_GT(panel_paints_while_waiting, 0);
  EXPECT_GT(window.count(), 3);  // repainted while it waited, not only once
  ASSERT_EQ(w.recorder.boxes().size(), 1u);  // the connection's failure
}

TEST(WindowInUse, ALongImportKeepsPaintingAndACloseRequestStopsItBetweenOrders) {
  FreshDatabase db(/*demo=*/true);
  QTemporaryDir dir;
  constexpr int kOrders = 1500, kLines = 5;
  AppWindow w(SettingsFor(db));
  w.Show();
  ASSERT_TRUE(w.connected());
  // Every box answered (before the window's recorder): the question to stop
  // with "Sí", the rest with OK.
  int questions = 0;
  std::vector<QString> texts;
  const ModalAnswerScope answers([&](QDialog& dialog) -> int {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    if (box == nullptr) return QDialog::Rejected;
    texts.push_back(box->text());
    if (box->objectName() == QStringLiteral("DetenerImportacion")) {
      ++questions;
      for (QAbstractButton* b : box->buttons()) {
        if (b->text() == QStringLiteral("Sí")) b->click();
      }
      return box->result();
    }
    return QMessageBox::Ok;
  });
  w.edit("Ubicacion")->setText(test::WriteTestFile(dir, "largo.csv", Orders(kOrders, kLines)));

  Paints window(w.window.get());
  int paints_during_run = 0;
  QTimer uncover;
  QObject::connect(&uncover, &QTimer::timeout, [&] { w.window->update(); });
  uncover.start(50);
  // The window manager's close button, some records into the import.
  QTimer close_button;
  bool keys_sent = false;
  QObject::connect(&close_button, &QTimer::timeout, [&] {
    const int64_t read = w.window->import_run().summary().records;
    if (read >= 50 && !keys_sent) {
      // Esc and F2 pressed during the run are not handled: Esc would close
      // (and ask), F2 would start a second import inside the first.
      keys_sent = true;
      for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_F2}) {
        QApplication::postEvent(w.edit("Ubicacion"), new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
      }
    }
    if (read < 200) return;
    close_button.stop();
    paints_during_run = window.count();
    // Under a real X server the screen as the operator sees it mid-import
    // (status panel, record text, progress bar) is kept for the records.
    const QByteArray folder = qgetenv("IMPORTA_SCREENSHOT_DIR");
    if (!folder.isEmpty() && QGuiApplication::platformName() == QStringLiteral("xcb")) {
      EXPECT_TRUE(w.window->screen()->grabWindow(0).save(QString::fromLocal8Bit(folder) +
                                                        QStringLiteral("/screenshot-import.png")));
    }
    EXPECT_TRUE(w.find("Panel5")->isVisible());
    EXPECT_FALSE(w.edit("Edit1")->text().isEmpty());
    EXPECT_GT(w.find<QProgressBar>("ProgressBar1")->value(), 0);
    w.window->close();
  });
  close_button.start(20);
  w.window->SpeedButton3Click();
  uncover.stop();
  QApplication::processEvents();

  EXPECT_GT(paints_during_run, 2);
  EXPECT_TRUE(keys_sent);
  EXPECT_EQ(questions, 1);
  const ImportSummary& r = w.window->import_run().summary();
  ASSERT_EQ(r.outcome, ImportSummary::Outcome::kStopped) << "the run ended first";
  EXPECT_GT(r.written_orders, 0);
  EXPECT_LT(r.written_orders, kOrders);
  // Every order written whole; the window closed after showing the stop.
  w.fdm.Norvela.Close();
  const auto rows = testing::RowsAsText(
      [&](Connection& c) { db.Configure(c); }, RegionalSettings(),
      "SELECT p.PEDI_ID, COUNT(d.PEDE_ITEM) AS N FROM PEDIDOS p LEFT JOIN PEDIDOS_DETALLE d ON "
      "d.PEDI_ID = p.PEDI_ID GROUP BY p.PEDI_ID");
  EXPECT_EQ(static_cast<int64_t>(rows.size()), r.written_orders);
  for (const auto& row : rows) EXPECT_EQ(row.at("N"), std::to_string(kLines));
  ASSERT_FALSE(texts.empty());
  EXPECT_TRUE(texts.back().startsWith(QStringLiteral("Importación detenida a pedido del usuario")))
      << texts.back().toStdString();
  EXPECT_EQ(w.closed, 1);
}

TEST(WindowInUse, TheClosingBoxOfTwoHundredDroppedOrdersFitsTheScreen) {
  FreshDatabase db(/*demo=*/true);
  // Every order's second line is refused by a check: 200 orders dropped.
  db.Exec("ALTER TABLE PEDIDOS_DETALLE ADD CONSTRAINT CK_NO_SEIS CHECK (ARTI_COD <> 'ART0006');");
  QTemporaryDir dir;
  AppWindow w(SettingsFor(db));
  w.Show();
  ASSERT_TRUE(w.connected());
  QSize shown;
  QString text, detail;
  const ModalAnswerScope answers([&](QDialog& dialog) -> int {
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
      box->adjustSize();
      shown = box->sizeHint().expandedTo(box->size());
      text = box->text();
      detail = box->detailedText();
    }
    return QMessageBox::Ok;
  });
  w.edit("Ubicacion")->setText(test::WriteTestFile(dir, "rechazos.csv", Orders(200, 2)));
  w.window->SpeedButton3Click();
  EXPECT_EQ(text, QStringLiteral("Importación finalizada."));
  EXPECT_TRUE(detail.startsWith(QStringLiteral("Pedidos no grabados (200):\n  PV 1: ")))
      << detail.left(200).toStdString();
  EXPECT_TRUE(detail.contains(QStringLiteral("CK_NO_SEIS")));
  EXPECT_LE(shown.width(), 1024);
  EXPECT_LE(shown.height(), 768);
}

// Qt's own words in Spanish (the system's translations, which the program
// loads at start) and a window icon of its own.
TEST(WindowInUse, QtSpeaksSpanishAndTheWindowHasItsIcon) {
  QTranslator spanish;
  ASSERT_TRUE(spanish.load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      << "the Debian package qt6-translations-l10n is missing";
  QCoreApplication::installTranslator(&spanish);
  QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancelar"));
  QCoreApplication::removeTranslator(&spanish);

  AppWindow w(std::nullopt);
  EXPECT_FALSE(w.window->windowIcon().isNull());
  EXPECT_FALSE(w.window->windowIcon().pixmap(32, 32).toImage().isNull());
}

}  // namespace
}  // namespace imp

namespace imp {
namespace {

using test::AppWindow;
using testing::FreshDatabase;

// The window reads the order file by batch mode's rules: a UTF-8 file with
// its byte-order mark, read in the default Windows-1252, is refused in the
// failure's box naming the encoding to declare, and nothing is written; so
// is a zero byte inside a line.
TEST(WindowInUse, AFileReadWithTheWrongEncodingOrAZeroByteIsRefused) {
  const struct {
    const char* name;
    QByteArray bytes;
    QString message;
  } cases[] = {
      {"marca UTF-8", QByteArray("\xEF\xBB\xBFPV,100,1/15/2024,,1,1,900123456,PE\xC3\x91" "A,01,0,0,0,"
                                 "ART0001,1,UND,1000,0\r\n"),
       QStringLiteral("Impórtelo como UTF-8 (--codificacion UTF8; en la ventana, "
                      "Codificacion=UTF8 en el almacén de configuración).")},
      {"byte cero", QByteArray::fromStdString(std::string("PV,10\0" "0,1/15/2024,,1,1,900123456,"
                                                          "ACME,01,0,0,0,ART0001,1,UND,1000,0\r\n",
                                                          69)),
       QStringLiteral("Línea 1: el campo 2 contiene un byte cero en la posición 3")},
  };
  for (const auto& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    FreshDatabase db(/*demo=*/true);
    QTemporaryDir dir;
    AppWindow w(SettingsFor(db));
    w.Show();
    ASSERT_TRUE(w.connected());
    std::vector<QString> texts;
    const ModalAnswerScope answers([&](QDialog& dialog) -> int {
      if (auto* box = qobject_cast<QMessageBox*>(&dialog)) texts.push_back(box->text());
      return QMessageBox::Ok;
    });
    w.edit("Ubicacion")->setText(test::WriteTestFile(dir, "pedidos.csv", test_case.bytes));
    w.window->SpeedButton3Click();
    QApplication::processEvents();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].contains(test_case.message)) << texts[0].toStdString();
    EXPECT_EQ(w.closed, 0);
    w.fdm.Norvela.Close();
    EXPECT_TRUE(testing::RowsAsText([&](Connection& c) { db.Configure(c); }, RegionalSettings(),
                                    "SELECT PEDI_ID FROM PEDIDOS")
                    .empty());
  }
}

}  // namespace
}  // namespace imp
