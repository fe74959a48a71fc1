#pragma once
// How the db layer calls the Firebird client: the one master interface, a
// call whose failure becomes DatabaseFailure, and a call whose failure is
// only reported (while ending things, where nothing may throw). For db/*.cpp
// only: it brings in the client's own headers.

#include <firebird/Interface.h>

#include <cstdint>
#include <utility>

#include "db/fb_owner.h"

namespace imp::fb {

// The client's master interface (never released: it lives as the process).
Firebird::IMaster* Master();

// Days between 17 November 1858 (the client's day 0) and 1 January 1970.
constexpr int64_t kClientDayOf1970 = 40587;

// Fails as any use of what a detach ended: "Connection closed".
[[noreturn]] void RaiseClosed();

// Turns the status the client failed with into DatabaseFailure, `what`
// describing the step ("Unable to connect").
[[noreturn]] void RaiseClientFailure(const char* what, const Firebird::IStatus* status);

// Runs a client call with a throwing status and turns the client's
// exception into the system's failure, `what` describing the step.
template <typename F>
auto Call(const char* what, F&& f) -> decltype(f(std::declval<Firebird::ThrowStatusWrapper&>())) {
  FbDisposable<Firebird::IStatus> owned(Master()->getStatus());
  Firebird::ThrowStatusWrapper status(owned.get());
  try {
    return f(status);
  } catch (const Firebird::FbException& e) {
    RaiseClientFailure(what, e.getStatus());
  }
}

// Runs a client call whose failure is only reported: true when it worked.
template <typename F>
bool Quietly(F&& f) {
  FbDisposable<Firebird::IStatus> owned(Master()->getStatus());
  Firebird::CheckStatusWrapper status(owned.get());
  f(status);
  return !(status.getState() & Firebird::IStatus::STATE_ERRORS);
}

// Ends `owned` with `end(T*, CheckStatusWrapper*)` (a rollback, close, free
// or detach), which releases the interface when it works; when it fails,
// failures being ignored here, the reference is released instead.
template <typename T, typename F>
void EndQuietly(FbRef<T>& owned, F&& end) noexcept {
  if (!owned) return;
  if (Quietly([&](Firebird::CheckStatusWrapper& s) { end(owned.get(), &s); })) {
    owned.forget();
  } else {
    owned.reset();
  }
}

}  // namespace imp::fb
