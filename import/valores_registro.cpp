#include "import/valores_registro.h"

#include <cstdint>
#include <cstring>

#include "import/importacion.h"

namespace imp {

namespace {

template <typename T>
inline T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Values are a few bytes long and usually equal to the field: compared in
// words, inline, this costs less than a call to memcmp.
inline bool Equal(const std::string& actual, std::string_view text) {
  const std::size_t n = text.size();
  if (actual.size() != n) return false;
  const char* a = actual.data();
  const char* b = text.data();
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
      if (Load<std::uint64_t>(a + i) != Load<std::uint64_t>(b + i)) return false;
    }
    return Load<std::uint64_t>(a + n - 8) == Load<std::uint64_t>(b + n - 8);
  }
  if (n >= 4) {
    return Load<std::uint32_t>(a) == Load<std::uint32_t>(b) &&
           Load<std::uint32_t>(a + n - 4) == Load<std::uint32_t>(b + n - 4);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

TValoresRegistro::Value TValoresRegistro::ValueNamed(std::string_view field_name) {
  for (const auto& [name, value] : kRecordValueNames) {
    if (name == field_name) return value;
  }
  return nullptr;
}

std::string TValoresRegistro::RecordText() const {
  std::string text;
  text.reserve(PREF_PRE.size() + PEDI_NUMERO.size() + 3 + PEDI_NOMTERC.size());
  text.append(PREF_PRE).append(PEDI_NUMERO).append(" - ").append(PEDI_NOMTERC);
  return text;
}

void asigne_valores(const TCamposRegistro& fields, const CImportacion& import_layout,
                    TValoresRegistro& values) {
  for (const auto& [column, value] : import_layout.mappings()) {
    const std::string_view text = fields.Text(column);
    if (text.empty()) continue;
    // Most values repeat on every line of an order; leaving an equal text
    // alone is what keeps this cheap.
    std::string& actual = values.*value;
    if (!Equal(actual, text)) actual.assign(text);
  }
}

}  // namespace imp
