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

class PrecioLinea {
 public:
  // The line's columns the pricing reads or writes; none may be null.
  struct Columnas {
    Field* cant;      // q    PEDE_CANT
    Field* prunit;    // p    PEDE_PRUNIT
    Field* dtoporc;   // d    PEDE_DTOPORC
    Field* dto1;      // d1   PEDE_DTO1
    Field* dto2;      // d2   PEDE_DTO2
    Field* dto3;      // d3   PEDE_DTO3 (never set by the import: reads 0)
    Field* factor;    // f    PEDE_FACTOR
    Field* ivaporc;   // v    PEDE_IVAPORC
    Field* consumo;   // c    PEDE_CONSUMO: per unit, then for the line
    Field* dtomonto;  //      PEDE_DTOMONTO
    Field* dtom1;     //      PEDE_DTOM1
    Field* dtom2;     //      PEDE_DTOM2
    Field* dtom3;     //      PEDE_DTOM3
    Field* ivamonto;  //      PEDE_IVAMONTO
    Field* total;     //      PEDE_TOTAL
  };

  explicit PrecioLinea(const Columnas& columnas) : c_(columnas) {}

  // Replaces the per-unit consumption tax with the line's: c × q × f.
  void Consumo();
  // PEDE_DTOMONTO := d × p / 100.
  void DescuentoUnitario();
  // Sets the three cascade discounts, each rounded to a multiple of
  // 10^exponente, and returns the line's net amount (never stored).
  Currency Cascada(int8_t exponente);
  // Sets PEDE_IVAMONTO and PEDE_TOTAL from the net amount; `iva_incluido`
  // chooses the formulas for prices that contain the VAT.
  void Iva(Currency neto, bool iva_incluido);

 private:
  long double Base() const;

  Columnas c_;
};

}  // namespace imp
