#pragma once
// Sole owner of one interface of the Firebird client. The client hands out
// interfaces already counted (an attachment, a transaction, a statement, a
// cursor, a blob, a metadata or its builder, a provider) or already made for
// the caller alone (a status, a parameter-block builder): the caller must
// end each exactly once, by release() or by dispose(). An owner does that
// when it is destroyed or reset, and never twice: it cannot be copied, and a
// move leaves the source empty.
//
// The calls that end an interface's work (commit, rollback, close, free,
// detach) also release it when they succeed, and only then; after such a
// success the owner is told to forget the interface. When they fail the
// reference is still the caller's, and the owner drops it as usual.
//
// The template sees nothing of the client's headers: any type with the
// policy's method will do.

#include <utility>

namespace imp::fb {

// Ends a reference-counted interface: gives back the caller's reference.
struct ReleaseReference {
  template <typename T>
  static void End(T* object) noexcept {
    object->release();
  }
};

// Ends an interface made for the caller alone: destroys it.
struct DisposeObject {
  template <typename T>
  static void End(T* object) noexcept {
    object->dispose();
  }
};

// Owns one `T*` and ends it with `Ending::End` (see above).
template <typename T, typename Ending>
class FbOwner {
 public:
  FbOwner() noexcept = default;
  // Adopts `object` (null: owns nothing), which must come already counted.
  explicit FbOwner(T* object) noexcept : object_(object) {}
  ~FbOwner() { reset(); }

  FbOwner(FbOwner&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  FbOwner& operator=(FbOwner&& other) noexcept {
    if (this != &other) reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  FbOwner(const FbOwner&) = delete;
  FbOwner& operator=(const FbOwner&) = delete;

  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // Ends what it owned, then adopts `object`.
  void reset(T* object = nullptr) noexcept {
    T* old = std::exchange(object_, object);
    if (old) Ending::End(old);
  }

  // Lets go of the interface without ending it: a successful commit,
  // rollback, close, free or detach already did.
  void forget() noexcept { object_ = nullptr; }

 private:
  T* object_ = nullptr;
};

// A reference-counted interface (IAttachment, ITransaction, IStatement,
// IResultSet, IBlob, IMessageMetadata, IMetadataBuilder, IProvider).
template <typename T>
using FbRef = FbOwner<T, ReleaseReference>;

// An interface destroyed by its owner (IStatus, IXpbBuilder).
template <typename T>
using FbDisposable = FbOwner<T, DisposeObject>;

}  // namespace imp::fb
