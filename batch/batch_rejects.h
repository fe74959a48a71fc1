#pragma once
// The rejects of an unattended import (--rejects FILE): every line of the
// order file that was not imported, copied byte for byte with its own line
// end (CR LF, LF or CR, as the file has it; none for a last line without
// one), in file order, into FILE; and one line per rejected line in
// FILE.log: "línea N: reason", N being the line's number in the order file,
// so that the k-th line of FILE.log speaks of the k-th line of FILE.
//
// Rejected are: every line of an order the database refused; every line of
// the order a failure cut off; after a failure or a stop, every line the
// run never read ("línea N: no leída, la importación se detuvo en la línea
// M", M the last line it read), also past the point where the file leaves
// its format, each line under its own entry; and every line of an order
// written without a line whose article was not valid (the order is
// incomplete in the database). Whether an order's lines go is decided by
// its outcome alone: a written order is never listed.
//
// Both files replace whatever was at their paths when the run starts
// (created 0600, see output_file.h) and take each order's lines as soon as
// the order is settled, flushed: a run that is killed leaves every order
// refused up to then in them. Orders are
// copied whole, beginning with the line that began them, so the lines that
// leave the order columns empty (the values carry over from the lines
// before) find them again when FILE is imported.
//
// Memory holds at most the discarded lines of one order.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "batch/output_file.h"
#include "import/import_summary.h"
#include "values/text_encoding.h"

namespace imp {

class BatchRejects final : public ImportObserver {
 public:
  // Creates `path` and `path + ".log"` anew; the lines are copied
  // from `order_file`. Fails with imp::Failure naming the file
  // that cannot be written.
  BatchRejects(std::string order_file, const std::string& path);

  // The order file's declared encoding: the lines never read are then
  // found by the same rules as the run's (a line that is not UTF-8, or a
  // byte-order mark the encoding contradicts, stops the reader there).
  void set_text_encoding(TextEncoding encoding) { encoding_ = encoding; }

  void OnOrderWritten(const OrderWritten& order) override;
  void OnOrderDropped(const OrderDropped& order) override;
  void OnLineDropped(const LineDropped& line) override;
  void OnOrderSkipped(const OrderSkipped& order) override;
  void OnInterrupted(const std::string& failure,
                       const std::vector<LinePosition>& records) override;
  void OnStopped(const LinePosition& first_unread) override;

  // Completes both files once the run is over: after a failure or a stop,
  // the lines it never read. Fails with imp::Failure when a file cannot be
  // written.
  void Finish();

  // Lines written to the rejects file so far.
  int64_t lines() const { return lines_; }

  // The line end that follows a line of `length` bytes at `offset`
  // in `file`: "\r\n", "\n", "\r" or "" at the end of the file.
  static std::string LineEnd(std::FILE* file, int64_t offset, int64_t length);

 private:
  using File = OwnedFile;

  // Copies one line of the order file and logs it (kept until Flush).
  void Reject(const LinePosition& position, const std::string& reason);
  // Writes what Reject kept to both files, each in one write, and flushes
  // them: the files always end at an order's end.
  void Flush();
  // Notes the lines the run has read.
  void NoteRead(const std::vector<LinePosition>& records);
  // The reason of a discarded line of the current order, or "".
  std::string PendingReason(int64_t number) const;
  void CopyRestUnread();
  // Copies the file from `from` to its end line by line, the first line
  // numbered `number`, each with its own entry in the log.
  void CopyBytesUnread(int64_t from, int64_t number, const std::string& reason,
                       const std::string& first_entry);

  std::string order_file_;
  TextEncoding encoding_ = TextEncoding::kNone;
  std::string path_;
  File source_;
  File rejects_;
  File log_;
  std::string to_write_;                  // rejected lines not yet written
  std::string to_log_;                    // their log lines
  std::vector<LineDropped> pending_;  // discarded lines of the current order
  bool interrupted_ = false;
  int64_t last_read_ = 0;  // the last line the run read (0: none)
  int64_t lines_ = 0;
};

}  // namespace imp
