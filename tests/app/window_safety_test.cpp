// The window after a run that failed on its file: the status panel no
// longer claims an import, the record text and the progress bar stay where
// the run stopped, and the operator can run again with a corrected file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "app/modal_runner.h"
#include "app_window.h"
#include "tests/support/fresh_database.h"
#include "tests/support/rows_as_text.h"

namespace imp {
namespace {

using test::AppWindow;
using testing::FreshDatabase;

std::string SettingsFor(const FreshDatabase& db) {
  return db.server() + "\r\nSYSDBA\r\nmasterkey\r\n" + db.company() + "\r\n";
}

// Two orders of the demo company, in the example file's format; `line2` is
// the first order's second line.
QByteArray TwoOrders(const QByteArray& line2) {
  return "PV,1,1/15/2026,2/14/2026,2,1,800100200,ACME,01,0,0,0,ART0004,2,KG,15300,0\r\n" + line2 +
         "\r\n"
         "PV,2,1/15/2026,2/14/2026,2,1,800100200,ACME,01,0,0,0,ART0004,3,KG,15300,0\r\n";
}

const QByteArray kGoodLine = ",,,,,,,,,,,,ART0006,24,UND,2500,0";

// One box as the run showed it, with the status panel as it stood then.
struct SeenBox {
  QString text;
  QMessageBox::Icon icon;
  bool panel_visible;
};

TEST(WindowAfterAFailure, ThePanelGoesAndACorrectedFileImportsWithF2) {
  const struct {
    const char* what;
    QByteArray bad_line;
    const char* failure_start;
  } cases[] = {
      {"a quantity the record refuses", ",,,,,,,,,,,,ART0006,1a,UND,2500,0", "Línea 2: "},
      {"a line the reader refuses", ",,,,,,,,,,,," + QByteArray(256, 'X') + ",24,UND,2500,0",
       "Línea 2: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshDatabase db(/*demo=*/true);
    QTemporaryDir dir;
    AppWindow w(SettingsFor(db));
    std::vector<SeenBox> boxes;
    const ModalAnswerScope answers([&](QDialog& dialog) -> int {
      if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
        boxes.push_back({box->text(), box->icon(), w.find("Panel5")->isVisible()});
      }
      return QMessageBox::Ok;
    });
    w.Show();
    ASSERT_TRUE(w.connected());
    w.edit("Ubicacion")->setText(test::WriteTestFile(dir, "malo.csv", TwoOrders(c.bad_line)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[0].text.startsWith(QString::fromUtf8(c.failure_start)))
        << boxes[0].text.toStdString();
    EXPECT_FALSE(boxes[0].panel_visible) << "the box shows over a panel claiming to import";
    // The run stopped: no panel, the record text and the bar where it left
    // them, the window open and F2 ready.
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_FALSE(w.find("Panel5")->isVisible());
    EXPECT_TRUE(w.edit("Edit1")->isVisible());
    EXPECT_FALSE(w.edit("Edit1")->text().isEmpty());
    EXPECT_GT(w.find<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_TRUE(w.find("SpeedButton3")->isEnabled());
    EXPECT_EQ(w.window->import_run().summary().written_orders, 0);

    // The operator mends the file and presses F2 again, from the keyboard.
    w.edit("Ubicacion")->setText(test::WriteTestFile(dir, "bueno.csv", TwoOrders(kGoodLine)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, QStringLiteral("Importación finalizada."));
    EXPECT_EQ(w.closed, 1);
    w.fdm.Norvela.Close();
    const auto rows = testing::RowsAsText(
        [&](Connection& conn) { db.Configure(conn); }, RegionalSettings(),
        "SELECT p.PEDI_NUMERO, COUNT(d.PEDE_ITEM) AS N FROM PEDIDOS p JOIN PEDIDOS_DETALLE d ON "
        "d.PEDI_ID = p.PEDI_ID GROUP BY p.PEDI_NUMERO ORDER BY p.PEDI_NUMERO");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("N"), "2");
    EXPECT_EQ(rows[1].at("N"), "1");
  }
}

}  // namespace
}  // namespace imp
