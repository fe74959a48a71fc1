#include "import/valores_registro.h"

#include <utility>

#include "import/importacion.h"

namespace imp {

namespace {

using Valor = TValoresRegistro::Valor;

constexpr std::pair<std::string_view, Valor> kNombres[] = {
    {"PREF_PRE", &TValoresRegistro::PREF_PRE},
    {"PEDI_NUMERO", &TValoresRegistro::PEDI_NUMERO},
    {"PEDI_FECHA", &TValoresRegistro::PEDI_FECHA},
    {"PEDI_CREDITO", &TValoresRegistro::PEDI_CREDITO},
    {"VEND_COD", &TValoresRegistro::VEND_COD},
    {"PTVT_ID", &TValoresRegistro::PTVT_ID},
    {"TERC_NIT", &TValoresRegistro::TERC_NIT},
    {"PEDI_NOMTERC", &TValoresRegistro::PEDI_NOMTERC},
    {"PEDI_SUCURSAL", &TValoresRegistro::PEDI_SUCURSAL},
    {"PEDI_RTFTEMONTO", &TValoresRegistro::PEDI_RTFTEMONTO},
    {"PEDI_RTIVAMONTO", &TValoresRegistro::PEDI_RTIVAMONTO},
    {"PEDI_RTICAMONTO", &TValoresRegistro::PEDI_RTICAMONTO},
    {"ARTI_COD", &TValoresRegistro::ARTI_COD},
    {"PEDE_CANT", &TValoresRegistro::PEDE_CANT},
    {"PEDE_UNIDAD", &TValoresRegistro::PEDE_UNIDAD},
    {"PEDE_PRUNIT", &TValoresRegistro::PEDE_PRUNIT},
    {"PEDE_DTOPORC", &TValoresRegistro::PEDE_DTOPORC},
};

}  // namespace

Valor TValoresRegistro::valor_de(std::string_view dato) {
  for (const auto& [nombre, valor] : kNombres) {
    if (nombre == dato) return valor;
  }
  return nullptr;
}

std::string TValoresRegistro::texto_registro() const {
  std::string texto;
  texto.reserve(PREF_PRE.size() + PEDI_NUMERO.size() + 3 + PEDI_NOMTERC.size());
  texto.append(PREF_PRE).append(PEDI_NUMERO).append(" - ").append(PEDI_NOMTERC);
  return texto;
}

void asigne_valores(const TCamposRegistro& campos, const CImportacion& importacion,
                    TValoresRegistro& valores) {
  for (const auto& [columna, valor] : importacion.asignaciones()) {
    const std::string& texto = campos.campo(columna);
    if (!texto.empty()) valores.*valor = texto;
  }
}

}  // namespace imp
