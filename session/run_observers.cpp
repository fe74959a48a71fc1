#include "session/run_observers.h"

namespace imp {

void RunObservers::Add(ImportObserver* o) {
  if (o) observers_.push_back(o);
}

void RunObservers::OnOrderWritten(const OrderWritten& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnOrderWritten(p);
}

void RunObservers::OnOrderDropped(const OrderDropped& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnOrderDropped(p);
}

void RunObservers::OnLineDropped(const LineDropped& l) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnLineDropped(l);
}

void RunObservers::OnOrderSkipped(const OrderSkipped& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnOrderSkipped(p);
}

void RunObservers::OnInterrupted(const std::string& f, const std::vector<LinePosition>& r) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnInterrupted(f, r);
}

void RunObservers::OnStopped(const LinePosition& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnStopped(p);
}

}  // namespace imp
