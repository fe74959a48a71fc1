// The window as the import run's screen: F2's run, the status panel, the
// record text and progress bar painted at their pace, the run's message
// boxes, and the question a close during the run asks.

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QDateEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <chrono>
#include <functional>
#include <future>

#include "app/display_text.h"
#include "app/edit_bytes.h"
#include "app/modal_runner.h"
#include "app/tfprincipal.h"
#include "values/failure.h"

namespace imp {

void Tfprincipal::SpeedButton3Click() {
  if (busy_ != Busy::kNo) return;
  RunHandler([this] {
    const BusyScope busy(busy_, Busy::kImporting);
    session_.run().ClearStopRequest();
    close_after_run_ = false;
    run_detail_.Clear();
    run_shown_records_ = false;
    try {
      session_.Run();
    } catch (const Failure& failure) {
      // The failure's box shows over the last record and step painted,
      // with what the run did before it in its detail area.
      FlushRunProgress();
      HideStatusOfStoppedRun();
      MessageBoxes::ShowWithDetail(RunDetail::WithoutDroppedOrders(failure.what()),
                                   run_detail_.Text(), /*error=*/true);
      if (close_after_run_) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
      return;
    } catch (...) {
      FlushRunProgress();
      HideStatusOfStoppedRun();
      if (close_after_run_) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
      throw;
    }
    FlushRunProgress();
    // A close asked for during the run, once the run has stopped after
    // its order and shown what it wrote.
    if (close_after_run_) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
  });
}

void Tfprincipal::HideStatusOfStoppedRun() {
  // A run that failed once it had begun on the file has stopped: the
  // panel no longer claims it is importing, while the record text and the
  // progress bar stay where the run left them and F2 or Esc may follow.
  // A failure of the company before that (no database to import into)
  // leaves the panel as a failed connection does.
  if (!run_shown_records_) return;
  Panel5->hide();
  repaint();
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
  run_shown_records_ = true;
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

bool Tfprincipal::AskStopImport() {
  QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(),
                  QStringLiteral("¿Detener la importación?"), QMessageBox::NoButton, this);
  QPushButton* yes = box.addButton(QStringLiteral("Sí"), QMessageBox::YesRole);
  box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
  box.setObjectName(QStringLiteral("DetenerImportacion"));
  RunModal(box);
  return box.clickedButton() == yes;
}

}  // namespace imp
