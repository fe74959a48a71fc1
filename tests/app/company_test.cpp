// The window against fresh embedded company databases: connecting, the
// import layout, the automatic start and a whole import through the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <map>

#include "app_window.h"
#include "db/connection.h"
#include "db/query_set.h"
#include "tests/support/fresh_database.h"

namespace imp {
namespace {

using test::AppWindow;
using testing::FreshDatabase;

// settings.conf naming `db`, with `flag` as the eighth line when given.
std::string SettingsFor(const FreshDatabase& db, std::optional<std::string> flag = {}) {
  std::string s = db.server() + "\r\nSYSDBA\r\nmasterkey\r\n" + db.company() + "\r\n";
  if (flag) s += "\r\n\r\n\r\n" + *flag + "\r\n";
  return s;
}

// Replaces the type-23 layout of `db` by `rows` ("(23, 'A', 1, 4)"...).
void SetLayout(const FreshDatabase& db, const std::vector<std::string>& rows) {
  std::string sql = "DELETE FROM IMPORTACION_INVENTARIO;\n";
  for (const std::string& row : rows) {
    sql += "INSERT INTO IMPORTACION_INVENTARIO (IMIN_TIPO, IMIN_DATO, IMIN_COLUMNA, IMIN_ANCHO) "
           "VALUES " + row + ";\n";
  }
  db.Exec(sql);
}

struct LayoutRow {
  std::string field_name;
  int32_t column, width;
  bool operator==(const LayoutRow&) const = default;
};

std::vector<LayoutRow> Layout(const Tfprincipal& window) {
  std::vector<LayoutRow> rows;
  for (const ImportLayoutRow& f : window.import_layout()) {
    EXPECT_EQ(f.IMPORTAR, "SI");
    rows.push_back({f.DATO, f.COLUMNA, f.ANCHO});
  }
  return rows;
}

bool FocusIn(QWidget* widget) {
  QWidget* focus = QApplication::focusWidget();
  return focus != nullptr && (focus == widget || widget->isAncestorOf(focus));
}

TEST(CompanyConnection, CompleteSettingsConnectWhenShown) {
  FreshDatabase db;
  AppWindow w(SettingsFor(db));
  EXPECT_FALSE(w.connected());  // not before the window is shown
  w.Show();
  EXPECT_TRUE(w.recorder.boxes().empty());
  EXPECT_TRUE(w.connected());

  auto* date = w.find<QDateEdit>("EFecIni");
  EXPECT_TRUE(date->isEnabled());
  EXPECT_EQ(date->date(), QDate::currentDate());
  EXPECT_TRUE(FocusIn(date));
  EXPECT_TRUE(w.find("SpeedButton3")->isEnabled());
  EXPECT_FALSE(w.find("Panel5")->isVisible());

  // The three parameters, in place and spelled as set, and the connection's
  // character set: the file's encoding, Windows-1252 when nothing states it.
  EXPECT_EQ(w.fdm.Norvela.GetParam("Database"), db.path());
  const auto& entries = w.fdm.Norvela.params().entries();
  const ConnectionParams defaults = ConnectionParams::Defaults();
  ASSERT_EQ(entries.size(), defaults.entries().size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = defaults.entries()[i].first;
    if (name == "Password") {
      EXPECT_EQ(entries[i], (ConnectionParams::Entry{"password", "masterkey"}));
    } else if (name == "User_Name") {
      EXPECT_EQ(entries[i], (ConnectionParams::Entry{"User_Name", "SYSDBA"}));
    } else if (name == "ServerCharSet") {
      EXPECT_EQ(entries[i], (ConnectionParams::Entry{"ServerCharSet", "WIN1252"}));
    } else if (name != "Database") {
      EXPECT_EQ(entries[i], defaults.entries()[i]);
    }
  }

  EXPECT_EQ(w.window->layout_set().command_text(),
            "select * from importacion_inventario where IMIN_TIPO = 23 order by imin_columna");
  const std::vector<LayoutRow> layout = Layout(*w.window);
  ASSERT_EQ(layout.size(), 17u);
  EXPECT_EQ(layout.front(), (LayoutRow{"PREF_PRE", 1, 4}));
  EXPECT_EQ(layout.back().column, 17);
}

TEST(CompanyConnection, LayoutOrderedByColumnWithNullsAsEmpty) {
  FreshDatabase db;
  SetLayout(db, {"(23, 'TERC_NIT', 3, 20)", "(23, 'PREF_PRE', 1, NULL)", "(23, 'PEDI_NUMERO', 2, 6)",
                 "(0, 'ARTI_COD', 4, 20)", "(23, NULL, 5, 1)"});
  AppWindow w(SettingsFor(db));
  w.Show();
  EXPECT_EQ(Layout(*w.window), (std::vector<LayoutRow>{{"PREF_PRE", 1, 0},
                                                      {"PEDI_NUMERO", 2, 6},
                                                      {"TERC_NIT", 3, 20},
                                                      {"", 5, 1}}));
}

TEST(CompanyConnection, FailedConnectionLeavesThePanelAndTheButtons) {
  FreshDatabase db;
  AppWindow w(db.server() + "\r\nSYSDBA\r\nmasterkey\r\nnoexiste\r\n");
  w.Show();
  ASSERT_EQ(w.recorder.boxes().size(), 1u);
  EXPECT_EQ(w.recorder.boxes()[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(w.recorder.boxes()[0].text.startsWith(QStringLiteral("dbExpress Error: ")));
  EXPECT_FALSE(w.connected());
  EXPECT_TRUE(w.find("Panel5")->isVisible());
  EXPECT_EQ(w.find<QLabel>("Panel5")->text(),
            QStringLiteral("Conectando a la base de datos noexiste ..."));
  EXPECT_FALSE(w.find("SpeedButton3")->isEnabled());
  EXPECT_FALSE(w.find("EFecIni")->isEnabled());
  EXPECT_TRUE(w.window->import_layout().empty());

  // The operator corrects the company and leaves the field again.
  w.edit("Cia")->setText(QString::fromStdString(db.company()));
  w.LeaveCompany();
  EXPECT_EQ(w.recorder.boxes().size(), 1u);
  EXPECT_TRUE(w.connected());
  EXPECT_FALSE(w.find("Panel5")->isVisible());
  EXPECT_TRUE(w.find("SpeedButton3")->isEnabled());
  EXPECT_EQ(w.window->import_layout().size(), 17u);
}

TEST(CompanyConnection, EmptyServerTriesAPathFromTheRoot) {
  AppWindow w("\r\nSYSDBA\r\nmasterkey\r\nsin_servidor_xyz\r\n");
  w.Show();  // server empty: not connected at start
  EXPECT_TRUE(w.recorder.boxes().empty());
  w.LeaveCompany();
  EXPECT_EQ(w.fdm.Norvela.GetParam("Database"), "/datos/sin_servidor_xyz/norvela.fdb");
  ASSERT_EQ(w.recorder.boxes().size(), 1u);
  EXPECT_FALSE(w.connected());
}

TEST(CompanyConnection, LaterConnectionLoadsTheOtherCompanysLayout) {
  FreshDatabase first;
  FreshDatabase second(false, "segunda");
  SetLayout(second, {"(23, 'PEDI_NUMERO', 2, 8)", "(23, 'PREF_PRE', 1, 3)"});
  AppWindow w(SettingsFor(first));
  w.Show();
  ASSERT_EQ(w.window->import_layout().size(), 17u);

  w.edit("Servidor")->setText(QString::fromStdString(second.server()));
  w.edit("Cia")->setText(QString::fromStdString(second.company()));
  w.LeaveCompany();
  EXPECT_TRUE(w.recorder.boxes().empty());
  EXPECT_EQ(w.fdm.Norvela.GetParam("Database"), second.path());
  EXPECT_EQ(Layout(*w.window), (std::vector<LayoutRow>{{"PREF_PRE", 1, 3}, {"PEDI_NUMERO", 2, 8}}));

  // A later attempt that fails keeps the connected state and the layout.
  w.edit("Cia")->setText(QStringLiteral("noexiste"));
  w.LeaveCompany();
  EXPECT_EQ(w.recorder.boxes().size(), 1u);
  EXPECT_TRUE(w.find("SpeedButton3")->isEnabled());
  EXPECT_TRUE(w.find("EFecIni")->isEnabled());
  EXPECT_EQ(w.window->import_layout().size(), 2u);
}

TEST(CompanyConnection, MissingUserPasswordOrCompanyConnectsNothing) {
  FreshDatabase db;
  const struct {
    const char* name;
    const char *user, *password, *company;
  } cases[] = {
      {"no password", "SYSDBA", "", "prueba"},
      {"no user", "", "masterkey", "prueba"},
      {"no company", "SYSDBA", "masterkey", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AppWindow w(std::nullopt);
    w.Show();
    w.edit("Servidor")->setText(QString::fromStdString(db.server()));
    w.edit("Tusua")->setText(QString::fromUtf8(c.user));
    w.edit("TClave")->setText(QString::fromUtf8(c.password));
    w.edit("Cia")->setText(QString::fromUtf8(c.company));
    w.LeaveCompany();
    EXPECT_FALSE(w.connected());
    EXPECT_FALSE(w.find("Panel5")->isVisible());
    EXPECT_TRUE(w.recorder.boxes().empty());
    EXPECT_EQ(w.fdm.Norvela.GetParam("Database"), "C:\\NORVELA2009\\SOP\\NORVELA.FDB");
  }
}

TEST(CompanyConnection, AutomaticStartOnlyWithExactlyOne) {
  FreshDatabase db;
  const struct {
    std::optional<std::string> flag;
    bool starts;
  } cases[] = {{"1", true}, {"1 ", false}, {"01", false}, {"", false}, {std::nullopt, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag.value_or("(no eighth line)"));
    AppWindow w(SettingsFor(db, c.flag));
    w.Show();
    EXPECT_TRUE(w.connected());
    if (c.starts) {
      // The location is empty: the run says so and closes the window.
      EXPECT_EQ(w.recorder.texts(), std::vector<QString>{QStringLiteral(
                                        "Debe indicar antes el archivo con los datos a importar.")});
      EXPECT_EQ(w.closed, 1);
      EXPECT_FALSE(w.window->isVisible());
    } else {
      EXPECT_TRUE(w.recorder.boxes().empty());
      EXPECT_EQ(w.closed, 0);
      EXPECT_TRUE(w.window->isVisible());
    }
  }
}

TEST(CompanyConnection, F2WithShiftCtrlOrAltDoesNothingWhenConnected) {
  FreshDatabase db;
  AppWindow w(SettingsFor(db));
  w.Show();
  ASSERT_TRUE(w.connected());
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  for (Qt::KeyboardModifiers m : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
    QTest::keyClick(focus, Qt::Key_F2, m);
  }
  EXPECT_TRUE(w.recorder.boxes().empty());
  EXPECT_FALSE(w.find("Panel5")->isVisible());
  EXPECT_TRUE(w.window->isVisible());

  QTest::keyClick(focus, Qt::Key_F2);
  EXPECT_EQ(w.recorder.texts(), std::vector<QString>{QStringLiteral(
                                    "Debe indicar antes el archivo con los datos a importar.")});
  EXPECT_EQ(w.closed, 1);
}

// One written order as read back from the tables.
struct WrittenOrder {
  std::string key;  // prefix + number
  int lines;
  bool sums_match;
  bool operator==(const WrittenOrder&) const = default;
};

std::vector<WrittenOrder> ReadOrders(const FreshDatabase& db) {
  Connection connection;
  db.Configure(connection);
  RegionalSettings rs;
  QuerySet orders(connection, rs, "orders",
                  "select p.PREF_PRE || p.PEDI_NUMERO, "
                  "(select count(*) from PEDIDOS_DETALLE d where d.PEDI_ID = p.PEDI_ID), "
                  "case when p.PEDI_TOTAL = (select sum(d.PEDE_TOTAL) from PEDIDOS_DETALLE d "
                  "  where d.PEDI_ID = p.PEDI_ID) "
                  " and p.PEDI_IVAMONTO = (select sum(d.PEDE_IVAMONTO) from PEDIDOS_DETALLE d "
                  "  where d.PEDI_ID = p.PEDI_ID) then 1 else 0 end "
                  "from PEDIDOS p where p.TIDO_COD = 34 order by p.PEDI_ID");
  orders.Open();
  std::vector<WrittenOrder> out;
  for (orders.First(); !orders.Eof(); orders.Next()) {
    out.push_back({orders.AsText(0), orders.AsInteger(1), orders.AsInteger(2) == 1});
  }
  orders.Close();
  connection.Close();
  return out;
}

TEST(CompanyConnection, WholeImportThroughTheWindow) {
  FreshDatabase db(/*demo=*/true);
  AppWindow w(SettingsFor(db));
  w.Show();
  ASSERT_TRUE(w.connected());
  ASSERT_TRUE(w.recorder.boxes().empty());
  w.edit("Ubicacion")->setText(
      QString::fromStdString(testing::SourcePath("schema/examples/pedidos.csv")));

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);

  EXPECT_EQ(w.recorder.texts(), std::vector<QString>{QStringLiteral("Importación finalizada.")});
  EXPECT_EQ(w.closed, 1);
  EXPECT_TRUE(w.edit("Edit1")->isVisibleTo(w.window.get()));
  EXPECT_EQ(w.edit("Edit1")->text(), QStringLiteral("PV102 - CLIENTES VARIOS"));
  EXPECT_FALSE(w.find("Panel5")->isVisibleTo(w.window.get()));

  w.fdm.Norvela.Close();
  EXPECT_EQ(ReadOrders(db), (std::vector<WrittenOrder>{{"PV100", 4, true},
                                                       {"PV101", 2, true},
                                                       {"FE200", 3, true},
                                                       {"FE201", 3, true},
                                                       {"PV102", 2, true}}));
}

}  // namespace
}  // namespace imp
