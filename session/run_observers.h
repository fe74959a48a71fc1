#pragma once
// Passes each event of the run to every observer, in turn, under a lock
// that whoever reads the records while the run goes on (the report's
// rewrites, an immediate end) takes too: they always see the records
// between two events, never in the middle of one.

#include <mutex>
#include <string>
#include <vector>

#include "import/import_summary.h"

namespace imp {

class RunObservers final : public ImportObserver {
 public:
  // Adds `o` (nothing when null); it must outlive the run.
  void Add(ImportObserver* o);
  // The lock every event is passed under.
  std::mutex& mutex() { return mutex_; }

  void OnOrderWritten(const OrderWritten& p) override;
  void OnOrderDropped(const OrderDropped& p) override;
  void OnLineDropped(const LineDropped& l) override;
  void OnOrderSkipped(const OrderSkipped& p) override;
  void OnInterrupted(const std::string& f, const std::vector<LinePosition>& r) override;
  void OnStopped(const LinePosition& p) override;

 private:
  std::mutex mutex_;
  std::vector<ImportObserver*> observers_;
};

}  // namespace imp
