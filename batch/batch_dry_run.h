#pragma once
// A dry run: every order is written in one transaction of the connection
// that is always rolled back (also when the run is left by an exception),
// and the identifiers are stand-ins below every PEDI_ID in the table, so
// the generator does not move and no stand-in meets a real order.

namespace imp {

class Connection;
class OrderStore;

class BatchDryRun {
 public:
  // Gives `store` its stand-in identifiers and begins the transaction;
  // a failure of either is raised.
  BatchDryRun(Connection& connection, OrderStore& store);
  BatchDryRun(const BatchDryRun&) = delete;
  BatchDryRun& operator=(const BatchDryRun&) = delete;
  // Rolls back whatever the run wrote.
  ~BatchDryRun();

 private:
  Connection& connection_;
};

}  // namespace imp
