#pragma once
// The 51 text slots of the record being read, numbered 1 to 51 like the
// layout's COLUMNA: slot n holds field n of the line. The reader writes a slot
// only when a line has a field at that position and never clears one between
// lines, so a shorter line leaves the texts of a longer earlier line in the
// higher slots, and whoever maps the record sees them.

#include <array>
#include <string>
#include <string_view>

namespace imp {

class TCamposRegistro {
 public:
  static constexpr int kNumCampos = 51;

  // True iff `n` names a slot (1..51).
  static constexpr bool es_campo(long long n) { return n >= 1 && n <= kNumCampos; }

  // Text of slot `n`; an empty text for every `n` outside 1..51, so that no
  // caller can read outside the slots.
  const std::string& campo(long long n) const {
    return es_campo(n) ? campos_[static_cast<std::size_t>(n - 1)] : vacio_;
  }

  // Sets slot `n` (1..51) to `texto`. Reuses the slot's storage, so steady
  // reading does not allocate. `n` outside 1..51 is ignored.
  void asigne(long long n, std::string_view texto) {
    if (es_campo(n)) campos_[static_cast<std::size_t>(n - 1)].assign(texto);
  }

  // Empties every slot (the state at the start of a run).
  void vacie() {
    for (auto& c : campos_) c.clear();
  }

 private:
  std::array<std::string, kNumCampos> campos_;
  static inline const std::string vacio_;
};

}  // namespace imp
