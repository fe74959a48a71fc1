#include "app/batch_observers.h"

namespace imp {

void BatchObservers::Add(ImportObserver* o) {
  if (o) observers_.push_back(o);
}

void BatchObservers::OnOrderWritten(const OrderWritten& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnOrderWritten(p);
}

void BatchObservers::OnOrderDropped(const OrderDropped& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnOrderDropped(p);
}

void BatchObservers::OnLineDropped(const LineDropped& l) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnLineDropped(l);
}

void BatchObservers::OnOrderSkipped(const OrderSkipped& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnOrderSkipped(p);
}

void BatchObservers::OnInterrupted(const std::string& f, const std::vector<LinePosition>& r) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnInterrupted(f, r);
}

void BatchObservers::OnStopped(const LinePosition& p) {
  const std::lock_guard<std::mutex> held(mutex_);
  for (auto* o : observers_) o->OnStopped(p);
}

}  // namespace imp
