#include "import/line_pricing.h"

#include "import/pricing.h"

namespace imp {

void LinePricing::ApplyConsumptionTax() {
  c_.consumption->SetCurrency(LineConsumptionTax(
      c_.consumption->AsCurrency(), c_.quantity->AsCurrency(), c_.factor->AsCurrency()));
}

void LinePricing::ApplyUnitDiscount() {
  c_.unit_discount->SetCurrency(
      UnitDiscount(c_.discount_rate->AsCurrency(), c_.unit_price->AsCurrency()));
}

long double LinePricing::Base() const {
  return DiscountBase(c_.discount_rate->AsCurrency(), c_.unit_price->AsCurrency(),
                      c_.quantity->AsCurrency());
}

Currency LinePricing::ApplyCascade(int8_t exponent) {
  // Each discount is taken off the base as its column gives it back.
  long double base = Base();
  c_.amount1->SetCurrency(CascadeDiscount(c_.rate1->AsCurrency(), base, exponent));
  base = RemainingBase(base, c_.amount1->AsCurrency());
  c_.amount2->SetCurrency(CascadeDiscount(c_.rate2->AsCurrency(), base, exponent));
  base = RemainingBase(base, c_.amount2->AsCurrency());
  c_.amount3->SetCurrency(CascadeDiscount(c_.rate3->AsCurrency(), base, exponent));

  // The net amount starts again from the columns.
  long double net = Base();
  net = RemainingBase(net, c_.amount1->AsCurrency());
  net = RemainingBase(net, c_.amount2->AsCurrency());
  net = RemainingBase(net, c_.amount3->AsCurrency());
  return LineNet(net);
}

void LinePricing::ApplyVat(Currency net, bool vat_included) {
  if (vat_included) {
    c_.vat_amount->SetCurrency(
        VatIncluded(c_.vat_rate->AsCurrency(), net, c_.consumption->AsCurrency()));
    c_.total->SetCurrency(net);
    return;
  }
  c_.vat_amount->SetCurrency(
      VatExcluded(c_.vat_rate->AsCurrency(), net, c_.consumption->AsCurrency()));
  c_.total->SetCurrency(
      TotalVatExcluded(c_.vat_amount->AsCurrency(), net, c_.consumption->AsCurrency()));
}

}  // namespace imp
