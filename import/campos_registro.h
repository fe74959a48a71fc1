#pragma once
// The 51 text slots of the record being read, numbered 1 to 51 like the
// layout's COLUMNA: slot n holds field n of the line. The reader writes a slot
// only when a line has a field at that position and never clears one between
// lines, so a shorter line leaves the texts of a longer earlier line in the
// higher slots, and whoever maps the record sees them.
//
// Each slot is a fixed buffer of kMaxBytes bytes, so reading never allocates
// and the reader fills a slot in place, byte runs straight from its block.

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace imp {

class TCamposRegistro {
 public:
  static constexpr int kNumCampos = 51;
  static constexpr std::size_t kMaxBytes = 255;

  // True iff `n` names a slot (1..51).
  static constexpr bool es_campo(long long n) { return n >= 1 && n <= kNumCampos; }

  // Text of slot `n`, valid until the slot is next written; an empty text
  // for every `n` outside 1..51, so that no caller can read outside the slots.
  std::string_view campo(long long n) const {
    if (!es_campo(n)) return {};
    const Slot& s = slots_[static_cast<std::size_t>(n - 1)];
    return {s.bytes, s.largo};
  }

  // Sets slot `n` to `texto`, cut to kMaxBytes bytes. `n` outside 1..51 is
  // ignored.
  void asigne(long long n, std::string_view texto) {
    if (!es_campo(n)) return;
    Slot& s = slots_[static_cast<std::size_t>(n - 1)];
    s.largo = texto.size() < kMaxBytes ? texto.size() : kMaxBytes;
    if (s.largo > 0) std::memcpy(s.bytes, texto.data(), s.largo);
  }

  // Empties every slot (the state at the start of a run).
  void vacie() {
    for (auto& s : slots_) s.largo = 0;
  }

  // In-place writing, for the reader: the storage of slot `n` (1..51),
  // kMaxBytes bytes plus kRelleno bytes of slack that lets the reader copy
  // in whole 16-byte chunks, and the length that makes them its text.
  static constexpr std::size_t kRelleno = 16;
  char* bytes(int n) { return slots_[static_cast<std::size_t>(n - 1)].bytes; }
  void fije_largo(int n, std::size_t largo) { slots_[static_cast<std::size_t>(n - 1)].largo = largo; }

 private:
  struct Slot {
    std::size_t largo = 0;
    char bytes[kMaxBytes + kRelleno];
  };
  std::array<Slot, kNumCampos> slots_{};
};

}  // namespace imp
