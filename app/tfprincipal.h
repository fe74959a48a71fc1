#pragma once
// Tfprincipal: the program's one window. It shows the company fields read
// from settings.conf, connects to the company database when the company
// field is left (or at once when the settings fill all four fields), loads
// the company's import layout, and runs the import on F2. It is also the
// screen the import run drives: status panel, record text, progress bar,
// messages and closing. The run does not go back to the event loop while it
// reads the file, so the window paints itself: the status panel at once, the
// record text and the progress bar (changed once per file line) together at
// most about every 50 ms. Their text and value are always current, and
// whatever shows next (status panel, a message box, a failure, closing)
// first paints them as they stand, so the run never stops on a stale one.
//
// Every handler runs under the general error display: a failure ends the
// handler where it stands, is shown, and the window stays open with
// whatever the handler had already changed.

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "app/message_boxes.h"
#include "app/run_detail.h"
#include "import/screen.h"
#include "session/import_session.h"
#include "values/regional_settings.h"

class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QToolButton;
class QVBoxLayout;

namespace imp {

class Tfdm;

class Tfprincipal final : public QWidget, public ImportScreen {
  Q_OBJECT

 public:
  // Builds the window and runs FormCreate (reads the install directory and
  // settings.conf). `fdm` must outlive the window.
  explicit Tfprincipal(Tfdm& fdm, QWidget* parent = nullptr);
  ~Tfprincipal() override;

  // Handlers, named after their control and event. Each shows its own
  // failure through the general error display.

  // Reads settings.conf into the four edits and the automatic-start flag.
  void FormCreate();
  // First time the window is shown: connects when the four fields hold text.
  void FormActivate();
  // Key preview: F2 runs the import and Esc closes, only without Shift, Ctrl
  // and Alt. Returns nothing: the key still reaches the focused control.
  void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  // Connects to the company named by the four fields and loads its layout;
  // starts the import when the automatic-start flag is exactly "1".
  void CiaExit();
  // "Explorar": picks the order file.
  void SpeedButton1Click();
  // "Esc: Cancelar": closes the window.
  void SpeedButton2Click();
  // "F2: Generar": the import run, inside this call.
  void SpeedButton3Click();

  // The first activation (the automatic connection, when the settings
  // allow it) has run.
  bool first_activation_done() const { return first_activation_done_; }

  // The eighth settings line.
  const std::string& auto_start() const { return auto_start_; }
  // The user's regional settings, read again when the locale changes.
  const RegionalSettings& regional_settings() const { return rs_; }
  // The company's import layout as last loaded.
  const imp::CImportacion& import_layout() const { return session_.layout(); }
  // The layout source set.
  const QuerySet& layout_set() const { return session_.layout_set(); }
  // The import run F2 starts (its summary tells what the last run did).
  const ImportRun& import_run() const { return session_.run(); }

  // ImportScreen
  void ShowStatus(const std::string& caption) override;
  void HideStatus() override;
  void ShowRecordBox() override;
  void SetRecordText(const std::string& text) override;
  void StepProgress() override;
  void ShowMessage(const std::string& text) override;
  void CloseWindow() override;
  std::string FileLocation() override;
  Date FallbackDate() override;

 signals:
  // The window was closed: the program ends.
  void closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The run's message boxes (its own and the lookups'): the window's,
  // each shown after the record text and progress bar were painted.
  class RunDialogs final : public Dialogs {
   public:
    explicit RunDialogs(Tfprincipal& window) : window_(window) {}
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;

   private:
    Tfprincipal& window_;
  };

  void BuildWidgets();
  void BuildDescriptionBand(QVBoxLayout* column);
  void BuildOriginGroup(QVBoxLayout* column);
  void BuildParametersGroup(QVBoxLayout* column);
  void BuildButtonBand(QVBoxLayout* column);
  void BuildStatusPanel();
  void PlaceStatusPanel();
  void FitOuterSize();
  void ReadRegionalSettings();
  // The record text or the progress bar changed: both are painted now when
  // they were last painted at least kRunPaintInterval ms ago (or not since
  // the last flush), else the change waits.
  void RunProgressChanged();
  // Paints a waiting change of the record text and progress bar now; the
  // next change is painted at once.
  void FlushRunProgress();
  void PaintRunProgress();
  // Lets the window paint itself and answer the window manager (pending
  // events; keys and clicks on the window are dropped while busy), now or
  // when kRunPaintInterval ms have passed since it last did.
  void KeepPainting(bool now);
  // Runs `work` (a connection) in a thread of its own, keeping the window
  // painted meanwhile; raises its failure.
  void WhileResponsive(const std::function<void()>& work);
  // The automatic connection at start, once the window is on the screen.
  void ActivateWhenPainted(int tries);
  // After a failure of the run: the status panel is hidden once the run
  // had begun on the file.
  void HideStatusOfStoppedRun();
  // "¿Detener la importación?" Sí/No; true on Sí.
  bool AskStopImport();

  Tfdm& fdm_;
  MessageBoxes messages_;
  RunDialogs run_dialogs_{*this};
  RegionalSettings rs_;
  std::string auto_start_;
  bool activated_ = false;
  bool first_activation_done_ = false;
  bool closing_ = false;

  // What the window is doing inside a handler, while it still handles
  // painting and window-manager events.
  enum class Busy { kNo, kConnecting, kImporting };
  struct BusyScope {
    BusyScope(Busy& state, Busy now) : state_(state) { state_ = now; }
    ~BusyScope() { state_ = Busy::kNo; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    Busy& state_;
  };
  Busy busy_ = Busy::kNo;
  bool close_after_run_ = false;  // a close was asked for during the run
  bool run_closing_ = false;      // the run closes the window at its end
  bool run_shown_records_ = false;  // the current run showed its record box
  QElapsedTimer events_clock_;    // since pending events were last handled

  // The company's import session: its layout, order store and run.
  ImportSession session_;
  RunDetail run_detail_;  // what the current run did, for its closing box

  QWidget* Panel2 = nullptr;
  QLabel* Label2 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLineEdit* Servidor = nullptr;
  QLineEdit* Tusua = nullptr;
  QLineEdit* TClave = nullptr;
  QLineEdit* Cia = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QDateEdit* EFecIni = nullptr;
  QLineEdit* Ubicacion = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QWidget* Panel1 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QLabel* Panel5 = nullptr;

  // Painting Edit1 and ProgressBar1 during a run.
  static constexpr qint64 kRunPaintInterval = 50;
  QElapsedTimer run_paint_clock_;  // since the last paint; invalid after a flush
  bool record_paint_pending_ = false;
  bool progress_paint_pending_ = false;
};

}  // namespace imp
