#pragma once
// Order identifiers: new ones from the database's procedure (or stand-ins
// that leave its generator alone), and those of orders already written.

#include <cstdint>
#include <optional>
#include <string>

namespace imp {

class Connection;

// The order store's identifier source; OrderStore::SCambieidpedido,
// UseStandInIds and FindWrittenOrder state the contracts.
class OrderIds {
 public:
  // `connection` must outlive this.
  explicit OrderIds(Connection& connection) : connection_(connection) {}

  // The next identifier as decimal text ("" when the procedure gave none).
  std::string Next();
  // Next gives `first`, first - 1, ... from now on.
  void UseStandIns(int32_t first) {
    stand_in_id_ = first;
    first_stand_in_ = first;
  }
  // True iff `id` (decimal text) is a stand-in that Next has given out.
  bool IsStandIn(const std::string& id) const;
  // The identifier of the written order of document type 34 with this key.
  std::optional<std::string> FindWritten(const std::string& prefix, const std::string& number);

 private:
  Connection& connection_;
  bool needs_write_ = false;            // the procedure writes: a transaction of its own
  std::optional<int32_t> stand_in_id_;  // the next stand-in identifier
  int32_t first_stand_in_ = 0;
};

}  // namespace imp
