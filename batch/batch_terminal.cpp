#include "batch/batch_terminal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "values/control_text.h"

namespace imp {
namespace {

// Redraws are rare enough not to slow the import: at most one per interval,
// and the clock is read only at the reader's steps and every so many records.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int64_t kRecordsBetweenClockReads = 1024;
constexpr int kBarWidth = 30;

}  // namespace

BatchTerminal::BatchTerminal(std::FILE* err, bool terminal, std::string location,
                             Date fallback_date)
    : err_(err),
      terminal_(terminal),
      location_(std::move(location)),
      fallback_date_(fallback_date),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

int BatchTerminal::Percent(int64_t steps, int64_t size) {
  if (size <= 0) return 0;
  const int64_t step = std::max<int64_t>(1, size / 100);
  // steps * step can only overflow for absurd sizes; long double keeps it
  // exact enough for a percentage.
  // The reader's last step comes when less than a step of the file is
  // left: the whole file has been read.
  if (steps >= size / step) return 100;
  const long double consumed = static_cast<long double>(steps) * static_cast<long double>(step);
  const long double percent = consumed * 100.0L / static_cast<long double>(size);
  return static_cast<int>(std::clamp<long double>(std::floor(percent), 0.0L, 100.0L));
}

std::string BatchTerminal::ProgressLine(int percent, int64_t records, double seconds) {
  percent = std::clamp(percent, 0, 100);
  const int filled = percent * kBarWidth / 100;
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(kBarWidth - filled), '-');
  line += "] ";
  char figures[96];
  const double rate = seconds > 0 ? static_cast<double>(records) / seconds : 0.0;
  std::snprintf(figures, sizeof figures, "%3d %%  %lld líneas  %.0f líneas/s", percent,
                static_cast<long long>(records), rate);
  return line + figures;
}

void BatchTerminal::ShowStatus(const std::string& caption) {
  if (!terminal_) return;
  EraseProgress();
  std::fprintf(err_, "%s\n", EscapeControls(caption).c_str());
  std::fflush(err_);
}

void BatchTerminal::ShowRecordBox() {
  // The run starts timing here: the lines-per-second figure is the
  // import's, not the connection's.
  start_ = last_draw_ = std::chrono::steady_clock::now();
  steps_ = 0;
  records_ = 0;
  reading_ = true;
}

void BatchTerminal::SetRecordText(const std::string&) {
  ++records_;
  if (terminal_ && reading_ && records_ % kRecordsBetweenClockReads == 0) MaybeRedraw();
}

void BatchTerminal::StepProgress() {
  ++steps_;
  if (!terminal_ || !reading_) return;
  if (Percent(steps_, file_size_) == 100) {
    // The whole file is read: the line is drawn complete and kept above
    // the closing messages.
    Draw(100);
    std::fputc('\n', err_);
    std::fflush(err_);
    drawn_ = false;
    reading_ = false;
    return;
  }
  MaybeRedraw();
}

void BatchTerminal::ShowMessage(const std::string& message) {
  EraseProgress();
  // The file's text is in many messages (codes, names, reasons).
  const std::string text = EscapeControls(message);
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

void BatchTerminal::FinishProgress(bool complete) {
  if (!terminal_ || !reading_) return;
  Draw(complete ? 100 : Percent(steps_, file_size_));
  std::fputc('\n', err_);
  std::fflush(err_);
  drawn_ = false;
  reading_ = false;
}

void BatchTerminal::MaybeRedraw() {
  const auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  Draw(Percent(steps_, file_size_));
}

void BatchTerminal::Draw(int percent) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  // "\033[K" clears what a longer earlier line left to the right.
  std::fprintf(err_, "\r%s\033[K", ProgressLine(percent, records_, seconds).c_str());
  std::fflush(err_);
  drawn_ = true;
}

void BatchTerminal::EraseProgress() {
  if (!drawn_) return;
  std::fputs("\r\033[K", err_);
  drawn_ = false;
}

}  // namespace imp
