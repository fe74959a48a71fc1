#include "import/precio_linea.h"

#include "import/pricing.h"

namespace imp {

void PrecioLinea::Consumo() {
  c_.consumo->SetCurrency(
      ConsumoLinea(c_.consumo->AsCurrency(), c_.cant->AsCurrency(), c_.factor->AsCurrency()));
}

void PrecioLinea::DescuentoUnitario() {
  c_.dtomonto->SetCurrency(
      imp::DescuentoUnitario(c_.dtoporc->AsCurrency(), c_.prunit->AsCurrency()));
}

long double PrecioLinea::Base() const {
  return BaseDescuento(c_.dtoporc->AsCurrency(), c_.prunit->AsCurrency(),
                       c_.cant->AsCurrency());
}

Currency PrecioLinea::Cascada(int8_t exponente) {
  // Each discount is taken off the base as its column gives it back.
  long double base = Base();
  c_.dtom1->SetCurrency(MontoCascada(c_.dto1->AsCurrency(), base, exponente));
  base = BaseRestante(base, c_.dtom1->AsCurrency());
  c_.dtom2->SetCurrency(MontoCascada(c_.dto2->AsCurrency(), base, exponente));
  base = BaseRestante(base, c_.dtom2->AsCurrency());
  c_.dtom3->SetCurrency(MontoCascada(c_.dto3->AsCurrency(), base, exponente));

  // The net amount starts again from the columns.
  long double neto = Base();
  neto = BaseRestante(neto, c_.dtom1->AsCurrency());
  neto = BaseRestante(neto, c_.dtom2->AsCurrency());
  neto = BaseRestante(neto, c_.dtom3->AsCurrency());
  return NetoLinea(neto);
}

void PrecioLinea::Iva(Currency neto, bool iva_incluido) {
  if (iva_incluido) {
    c_.ivamonto->SetCurrency(
        IvaIncluido(c_.ivaporc->AsCurrency(), neto, c_.consumo->AsCurrency()));
    c_.total->SetCurrency(neto);
    return;
  }
  c_.ivamonto->SetCurrency(IvaExcluido(c_.ivaporc->AsCurrency(), neto, c_.consumo->AsCurrency()));
  c_.total->SetCurrency(
      TotalExcluido(c_.ivamonto->AsCurrency(), neto, c_.consumo->AsCurrency()));
}

}  // namespace imp
