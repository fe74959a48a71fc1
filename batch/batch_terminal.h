#pragma once
// The screen of an unattended import: what the window would show in a
// message box goes to standard error, one message per line, in the same
// words. When standard error is a terminal, a progress line (bar,
// percentage, lines per second) and the status captions are drawn there too;
// otherwise nothing but the messages is written.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "db/dialogs.h"
#include "import/screen.h"
#include "values/date.h"

namespace imp {

class BatchTerminal final : public ImportScreen, public Dialogs {
 public:
  // Writes to `err`; draws progress only when `terminal` is true.
  // `location` and `fallback_date` answer the run's questions.
  BatchTerminal(std::FILE* err, bool terminal, std::string location, Date fallback_date);

  // Size of the order file, to turn the reader's steps into a percentage
  // (0: unknown, no percentage).
  void set_file_size(int64_t bytes) { file_size_ = bytes; }

  // Records delivered so far (one per record text shown).
  int64_t records() const { return records_; }

  // Ends the progress line, unless the reader's last step already did:
  // draws it once more (at 100 % when `complete`) and moves to the next
  // line, so that nothing is left half-drawn.
  void FinishProgress(bool complete);

  // ImportScreen
  void ShowStatus(const std::string& caption) override;
  void HideStatus() override {}
  void ShowRecordBox() override;
  void SetRecordText(const std::string& text) override;
  void StepProgress() override;
  void ShowMessage(const std::string& text) override;
  void CloseWindow() override {}
  std::string FileLocation() override { return location_; }
  Date FallbackDate() override { return fallback_date_; }

  // Dialogs
  void ShowError(const std::string& text) override { ShowMessage(text); }

  // The progress line for a number of consumed steps, records and seconds,
  // without the leading carriage return.
  static std::string ProgressLine(int percent, int64_t records, double seconds);
  // Percentage of a file of `size` bytes read after `steps` steps of the
  // reader (a step is a hundredth of the file, at least a byte).
  static int Percent(int64_t steps, int64_t size);

 private:
  void MaybeRedraw();
  void Draw(int percent);
  void EraseProgress();

  std::FILE* err_;
  bool terminal_;
  std::string location_;
  Date fallback_date_;

  int64_t file_size_ = 0;
  int64_t steps_ = 0;
  int64_t records_ = 0;
  bool reading_ = false;   // the run reads and the progress line is not ended
  bool drawn_ = false;     // a progress line is on screen
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace imp
