#pragma once
// A dry run: every order is written in one transaction of the connection
// that is always rolled back (also when the run is left by an exception),
// and the identifiers are stand-ins below every PEDI_ID in the table, so
// the generator does not move and no stand-in meets a real order.

namespace imp {

class Connection;
class OrderStore;

class Simulacion {
 public:
  // Gives `store` its stand-in identifiers and begins the transaction;
  // a failure of either is raised.
  Simulacion(Connection& conexion, OrderStore& store);
  Simulacion(const Simulacion&) = delete;
  Simulacion& operator=(const Simulacion&) = delete;
  // Rolls back whatever the run wrote.
  ~Simulacion();

 private:
  Connection& conexion_;
};

}  // namespace imp
