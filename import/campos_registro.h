#pragma once
// The 51 text slots of the record being read, numbered 1 to 51 like the
// layout's COLUMNA: slot n holds field n of the line. The reader writes a slot
// only when a line has a field at that position and never clears one between
// lines, so a shorter line leaves the texts of a longer earlier line in the
// higher slots, and whoever maps the record sees them.
//
// A field holds at most kMaxCharacters characters; in UTF-8 a character may
// take up to four bytes, so each slot is a fixed buffer of kMaxBytes bytes.
// Reading never allocates: the reader fills a slot in place, byte runs
// straight from its block.

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace imp {

class TCamposRegistro {
 public:
  static constexpr int kFieldCount = 51;
  static constexpr std::size_t kMaxCharacters = 255;
  static constexpr std::size_t kMaxBytes = 4 * kMaxCharacters;

  // True iff `n` names a slot (1..51).
  static constexpr bool IsField(long long n) { return n >= 1 && n <= kFieldCount; }

  // Text of slot `n`, valid until the slot is next written; an empty text
  // for every `n` outside 1..51, so that no caller can read outside the slots.
  std::string_view Text(long long n) const {
    if (!IsField(n)) return {};
    const Slot& s = slots_[static_cast<std::size_t>(n - 1)];
    return {s.bytes, s.length};
  }

  // Sets slot `n` to `text`, cut to kMaxBytes bytes. `n` outside 1..51 is
  // ignored.
  void Set(long long n, std::string_view text) {
    if (!IsField(n)) return;
    Slot& s = slots_[static_cast<std::size_t>(n - 1)];
    s.length = text.size() < kMaxBytes ? text.size() : kMaxBytes;
    if (s.length > 0) std::memcpy(s.bytes, text.data(), s.length);
  }

  // Empties every slot (the state at the start of a run).
  void Clear() {
    for (auto& s : slots_) s.length = 0;
  }

  // In-place writing, for the reader: the storage of slot `n` (1..51),
  // kMaxBytes bytes plus kPadding bytes of slack that lets the reader copy
  // in whole 16-byte chunks, and the length that makes them its text.
  static constexpr std::size_t kPadding = 16;
  char* bytes(int n) { return slots_[static_cast<std::size_t>(n - 1)].bytes; }
  void set_length(int n, std::size_t length) {
    slots_[static_cast<std::size_t>(n - 1)].length = length;
  }

 private:
  struct Slot {
    std::size_t length = 0;
    char bytes[kMaxBytes + kPadding];
  };
  std::array<Slot, kFieldCount> slots_{};
};

}  // namespace imp
