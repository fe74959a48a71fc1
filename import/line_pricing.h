#pragma once
// The pricing steps of an order line over the line's own columns. Each step
// reads its operands from the columns at the moment it runs and stores its
// result into a column, so a later step sees what the column gives back
// (a decimal column read through its double path), not the exact
// intermediate. agregue_linea runs the steps in order on the store's line;
// tests run them on free-standing columns of the same types.

#include <cstdint>

#include "values/currency.h"
#include "values/field.h"

namespace imp {

class LinePricing {
 public:
  // The line's columns the pricing reads or writes; none may be null.
  struct Columns {
    Field* quantity;       // q    PEDE_CANT
    Field* unit_price;     // p    PEDE_PRUNIT
    Field* discount_rate;  // d    PEDE_DTOPORC
    Field* rate1;          // d1   PEDE_DTO1
    Field* rate2;          // d2   PEDE_DTO2
    Field* rate3;          // d3   PEDE_DTO3 (never set by the import: reads 0)
    Field* factor;         // f    PEDE_FACTOR
    Field* vat_rate;       // v    PEDE_IVAPORC
    Field* consumption;    // c    PEDE_CONSUMO: per unit, then for the line
    Field* unit_discount;  //      PEDE_DTOMONTO
    Field* amount1;        //      PEDE_DTOM1
    Field* amount2;        //      PEDE_DTOM2
    Field* amount3;        //      PEDE_DTOM3
    Field* vat_amount;     //      PEDE_IVAMONTO
    Field* total;          //      PEDE_TOTAL
  };

  explicit LinePricing(const Columns& columns) : c_(columns) {}

  // Replaces the per-unit consumption tax with the line's: c × q × f.
  void ApplyConsumptionTax();
  // PEDE_DTOMONTO := d × p / 100.
  void ApplyUnitDiscount();
  // Sets the three cascade discounts, each rounded to a multiple of
  // 10^exponent, and returns the line's net amount (never stored).
  Currency ApplyCascade(int8_t exponent);
  // Sets PEDE_IVAMONTO and PEDE_TOTAL from the net amount; `vat_included`
  // chooses the formulas for prices that contain the VAT.
  void ApplyVat(Currency net, bool vat_included);

 private:
  long double Base() const;

  Columns c_;
};

}  // namespace imp
