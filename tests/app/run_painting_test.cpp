// The record text and the progress bar while a run drives the window: their
// text and value change at every call, their painting is held to a few times
// a second, and whatever ends or interrupts the run first paints them as they
// stand. No case times anything: the paint counts only ask that 2000 calls
// in a tight loop take less than 5 s (fewer than 100 paints of 50 ms).

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/modal_runner.h"
#include "app_window.h"
#include "tests/support/fresh_database.h"

namespace imp {
namespace {

using test::AppWindow;
using testing::FreshDatabase;

// Counts the paint events of one control and keeps what it showed at the
// last one.
class PaintWatch final : public QObject {
 public:
  PaintWatch(QWidget* widget, std::function<QString()> shown)
      : widget_(widget), shown_(std::move(shown)) {
    widget_->installEventFilter(this);
  }
  ~PaintWatch() override {
    if (widget_) widget_->removeEventFilter(this);
  }

  int paints() const { return paints_; }
  // What the control held at its last paint.
  const QString& painted() const { return painted_; }
  // What it holds now.
  QString shown() const { return shown_(); }
  // Its last paint showed what it holds now.
  bool painted_as_shown() const { return paints_ > 0 && painted_ == shown_(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == widget_ && event->type() == QEvent::Paint) {
      ++paints_;
      painted_ = shown_();
    }
    return false;
  }

 private:
  QPointer<QWidget> widget_;
  std::function<QString()> shown_;
  int paints_ = 0;
  QString painted_;
};

// What the record text box and the progress bar showed at a moment.
struct Painted {
  QString record, progress;
  bool operator==(const Painted&) const = default;
};

void PrintTo(const Painted& p, std::ostream* os) {
  *os << "{\"" << p.record.toStdString() << "\", " << p.progress.toStdString() << "}";
}

// A shown window, the run's two controls watched.
struct RunWindow {
  explicit RunWindow(std::optional<std::string> settings = std::nullopt) : w(std::move(settings)) {
    w.Show();
  }

  ImportScreen& screen() { return *w.window; }

  // The start of a run, as the import calls it.
  void Start() {
    screen().ShowStatus("Importando pedidos. Espere un momento...");
    screen().ShowRecordBox();
  }

  // One record and one progress step.
  void Line() {
    ++lines;
    const std::string n = std::to_string(lines);
    screen().SetRecordText("PV" + n + " - CLIENTE " + n);
    screen().StepProgress();
  }

  // Lines until one whose record text and step both wait to be painted.
  bool LinesUntilOneIsHeldBack() {
    for (int i = 0; i < 1000; ++i) {
      Line();
      if (!record.painted_as_shown() && !progress.painted_as_shown()) return true;
    }
    return false;
  }

  Painted painted() const { return {record.painted(), progress.painted()}; }
  Painted shown() const { return {record.shown(), progress.shown()}; }

  AppWindow w;
  QLineEdit* edit = w.edit("Edit1");
  QProgressBar* bar = w.find<QProgressBar>("ProgressBar1");
  PaintWatch record{edit, [e = edit] { return e->text(); }};
  PaintWatch progress{bar, [b = bar] { return QString::number(b->value()); }};
  int lines = 0;
};

// While alive, every message box is answered with OK and what the two
// controls had painted, and held, when it appeared is kept.
class BoxWatch {
 public:
  explicit BoxWatch(const RunWindow& r)
      : scope_([this, &r](QDialog& dialog) -> int {
          auto* box = qobject_cast<QMessageBox*>(&dialog);
          if (box == nullptr) return QDialog::Rejected;
          texts.push_back(box->text());
          painted.push_back(r.painted());
          shown.push_back(r.shown());
          return QMessageBox::Ok;
        }) {}

  std::vector<QString> texts;
  std::vector<Painted> painted, shown;

 private:
  ModalAnswerScope scope_;
};

TEST(RunPainting, ManyLinesArePaintedFarFewerTimesThanTheyChange) {
  RunWindow r;
  r.Start();

  // The first record of a run is painted at once.
  r.screen().SetRecordText("PV1 - CLIENTE 1");
  EXPECT_EQ(r.record.painted(), QStringLiteral("PV1 - CLIENTE 1"));
  r.screen().StepProgress();
  r.lines = 1;

  const int record_paints = r.record.paints();
  const int progress_paints = r.progress.paints();
  int stale = 0;
  for (int i = 2; i <= 2000; ++i) {
    r.Line();
    // Text and value are current at every call, painted or not.
    if (r.shown() != Painted{QStringLiteral("PV%1 - CLIENTE %1").arg(i), QString::number(i % 101)}) {
      ++stale;
    }
  }
  EXPECT_EQ(stale, 0);
  EXPECT_LT(r.record.paints() - record_paints, 100);
  EXPECT_LT(r.progress.paints() - progress_paints, 100);

  // Steps past the end start over: 2000 steps from 0 over 0..100.
  EXPECT_EQ(r.edit->text(), QStringLiteral("PV2000 - CLIENTE 2000"));
  EXPECT_EQ(r.bar->value(), 81);

  // A run that goes on is painted again once the interval has passed: lines
  // until one is (the bound only keeps a broken build from hanging).
  const int paints_before = r.record.paints();
  QElapsedTimer waited;
  waited.start();
  while (r.record.paints() == paints_before && waited.elapsed() < 10000) r.Line();
  EXPECT_GT(r.record.paints(), paints_before);
  EXPECT_TRUE(r.record.painted_as_shown());

  // The last record's text keeps the display conversion.
  r.screen().SetRecordText("FE200 - PE\xD1" "A");
  EXPECT_EQ(r.edit->text(), QStringLiteral("FE200 - PEÑA"));

  // The end of the run paints the last state.
  const QString last_step = QString::number(r.lines % 101);
  r.screen().HideStatus();
  EXPECT_EQ(r.painted(), (Painted{"FE200 - PEÑA", last_step}));

  // The next run's first change is painted at once again.
  r.Start();
  r.screen().StepProgress();
  EXPECT_EQ(r.progress.painted(), QString::number((r.lines + 1) % 101));
}

TEST(RunPainting, WhateverEndsOrInterruptsTheRunPaintsTheLastLineFirst) {
  const struct {
    const char* name;
    // Called before the run starts (null: nothing).
    std::function<void(RunWindow&)> before;
    std::function<void(RunWindow&)> end;
    bool box;  // the end shows a message box
  } ends[] = {
      {"HideStatus", nullptr, [](RunWindow& r) { r.screen().HideStatus(); }, false},
      {"ShowStatus", nullptr, [](RunWindow& r) { r.screen().ShowStatus("Otro estado"); }, false},
      {"ShowRecordBox", nullptr, [](RunWindow& r) { r.screen().ShowRecordBox(); }, false},
      {"ShowMessage", nullptr,
       [](RunWindow& r) { r.screen().ShowMessage("Importación finalizada."); }, true},
      // A lookup's box goes through the module's boxes, which a run points
      // at the window's; F2 without a connection does that and fails.
      {"lookup ShowError", [](RunWindow& r) { r.w.window->SpeedButton3Click(); },
       [](RunWindow& r) {
         ASSERT_NE(r.w.fdm.dialogs(), nullptr);
         ASSERT_NE(r.w.fdm.dialogs(), &r.w.boxes);
         r.w.fdm.dialogs()->ShowError("Error de consulta");
       },
       true},
      {"lookup ShowMessage", [](RunWindow& r) { r.w.window->SpeedButton3Click(); },
       [](RunWindow& r) {
         ASSERT_NE(r.w.fdm.dialogs(), nullptr);
         ASSERT_NE(r.w.fdm.dialogs(), &r.w.boxes);
         r.w.fdm.dialogs()->ShowMessage("Aviso de consulta");
       },
       true},
      {"CloseWindow", nullptr, [](RunWindow& r) { r.screen().CloseWindow(); }, false},
  };
  for (const auto& e : ends) {
    SCOPED_TRACE(e.name);
    RunWindow r;
    if (e.before) e.before(r);
    r.Start();
    for (int i = 0; i < 2000; ++i) r.Line();
    ASSERT_TRUE(r.LinesUntilOneIsHeldBack());
    const Painted last = r.shown();
    ASSERT_NE(r.painted(), last);

    // What was painted when the window closed, if it did.
    std::optional<Painted> at_closing;
    QObject::connect(r.w.window.get(), &Tfprincipal::closed,
                     [&] { at_closing = r.painted(); });
    const int record_paints = r.record.paints();
    BoxWatch boxes(r);
    e.end(r);

    EXPECT_GT(r.record.paints(), record_paints);
    EXPECT_EQ(r.painted(), last);
    EXPECT_EQ(r.shown(), last);
    if (e.box) {
      ASSERT_EQ(boxes.painted.size(), 1u);
      EXPECT_EQ(boxes.painted[0], last);
    } else {
      EXPECT_TRUE(boxes.painted.empty());
    }
    EXPECT_EQ(at_closing.has_value(), std::string(e.name) == "CloseWindow");
    if (at_closing) {
      EXPECT_EQ(*at_closing, last);
    }
  }
}

// settings.conf naming `db`.
std::string SettingsFor(const FreshDatabase& db) {
  return db.server() + "\r\nSYSDBA\r\nmasterkey\r\n" + db.company() + "\r\n";
}

QByteArray ReadSource(const std::string& relative) {
  QFile file(QString::fromStdString(testing::SourcePath(relative)));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}


TEST(RunPainting, ImportBoxesShowOverTheLastLinePainted) {
  FreshDatabase db(/*demo=*/true);
  RunWindow r(SettingsFor(db));
  ASSERT_TRUE(r.w.connected());
  QTemporaryDir dir;
  const QByteArray orders = ReadSource("schema/examples/pedidos.csv");

  // A file whose last line has a field too long: the run fails on it, the
  // failure shown by the general error display.
  BoxWatch boxes(r);
  r.w.edit("Ubicacion")->setText(
      test::WriteTestFile(dir, "largo.csv", orders + QByteArray(300, 'X') + ",1\r\n"));
  r.w.window->SpeedButton3Click();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Línea 15: el campo 1 tiene más de 255")))
      << boxes.texts[0].toStdString();
  EXPECT_EQ(boxes.shown[0].record, QStringLiteral("PV102 - CLIENTES VARIOS"));
  EXPECT_EQ(boxes.painted[0], boxes.shown[0]);
  EXPECT_EQ(r.w.closed, 0);

  // The whole file: the closing message, then the window closes.
  r.w.edit("Ubicacion")->setText(test::WriteTestFile(dir, "pedidos.csv", orders));
  r.w.window->SpeedButton3Click();
  ASSERT_EQ(boxes.texts.size(), 2u);
  // (The orders the failed run wrote may be reported after the text.)
  EXPECT_TRUE(boxes.texts[1].startsWith(QStringLiteral("Importación finalizada.")))
      << boxes.texts[1].toStdString();
  EXPECT_EQ(boxes.shown[1].record, QStringLiteral("PV102 - CLIENTES VARIOS"));
  EXPECT_EQ(boxes.painted[1], boxes.shown[1]);
  EXPECT_EQ(r.w.closed, 1);
}

}  // namespace
}  // namespace imp
