#include "import/valores_registro.h"

#include <cstdint>
#include <cstring>

#include "import/importacion.h"

namespace imp {

namespace {

template <typename T>
inline T Carga(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Values are a few bytes long and usually equal to the field: compared in
// words, inline, this costs less than a call to memcmp.
inline bool Iguales(const std::string& actual, std::string_view texto) {
  const std::size_t n = texto.size();
  if (actual.size() != n) return false;
  const char* a = actual.data();
  const char* b = texto.data();
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
      if (Carga<std::uint64_t>(a + i) != Carga<std::uint64_t>(b + i)) return false;
    }
    return Carga<std::uint64_t>(a + n - 8) == Carga<std::uint64_t>(b + n - 8);
  }
  if (n >= 4) {
    return Carga<std::uint32_t>(a) == Carga<std::uint32_t>(b) &&
           Carga<std::uint32_t>(a + n - 4) == Carga<std::uint32_t>(b + n - 4);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

TValoresRegistro::Value TValoresRegistro::ValueNamed(std::string_view dato) {
  for (const auto& [nombre, valor] : kRecordValueNames) {
    if (nombre == dato) return valor;
  }
  return nullptr;
}

std::string TValoresRegistro::RecordText() const {
  std::string texto;
  texto.reserve(PREF_PRE.size() + PEDI_NUMERO.size() + 3 + PEDI_NOMTERC.size());
  texto.append(PREF_PRE).append(PEDI_NUMERO).append(" - ").append(PEDI_NOMTERC);
  return texto;
}

void asigne_valores(const TCamposRegistro& campos, const CImportacion& importacion,
                    TValoresRegistro& valores) {
  for (const auto& [columna, valor] : importacion.mappings()) {
    const std::string_view texto = campos.Text(columna);
    if (texto.empty()) continue;
    // Most values repeat on every line of an order; leaving an equal text
    // alone is what keeps this cheap.
    std::string& actual = valores.*valor;
    if (!Iguales(actual, texto)) actual.assign(texto);
  }
}

}  // namespace imp
