#pragma once
// The input message of a statement: its bound values laid out as the client
// sends them. For db/*.cpp only: it brings in the client's own headers.

#include <firebird/Interface.h>

#include <vector>

#include "db/fb_owner.h"
#include "db/fb_value.h"

namespace imp::fb {

// The message carrying a statement's parameter values, each with its own
// type (the server converts). Its layout is kept from one execution to the
// next while the values keep their types and every text fits its field, so
// a statement run for every line does not describe a new message to the
// server each time. Owns its layout; moves, never copies.
class InputMessage {
 public:
  // Lays the message out when `values` need another layout, then fills it.
  // A text longer than a message field holds becomes a blob (its kind in
  // `values` changes); blobs are created on `att` in `tra`, texts are taken
  // to be in the character set numbered `charset_id`. Fails with
  // DatabaseFailure ("Unable to bind parameters", "Unable to write blob").
  void Encode(std::vector<Value>& values, Firebird::IAttachment* att, Firebird::ITransaction* tra,
              unsigned charset_id);

  // The layout and the bytes to send; both null before the first Encode.
  Firebird::IMessageMetadata* metadata() const { return meta_.get(); }
  unsigned char* data() { return buffer_.empty() ? nullptr : buffer_.data(); }

 private:
  // What one field was laid out as.
  struct Shape {
    unsigned type = 0;
    unsigned length = 0;
    int scale = 0;
  };

  // The shape each value needs; true when the current layout holds them all.
  bool Fits(std::vector<Value>& values, std::vector<Shape>& wanted) const;
  void Layout(Firebird::ThrowStatusWrapper& s, std::vector<Shape> wanted, unsigned charset_id);

  FbRef<Firebird::IMessageMetadata> meta_;
  std::vector<unsigned char> buffer_;
  std::vector<Shape> shapes_;
};

}  // namespace imp::fb
