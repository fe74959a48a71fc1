#pragma once
// The connection's name=value parameter list. Names are compared without
// regard to case wherever the list is read or changed; the list keeps the
// order in which entries were added.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace imp {

class ConnectionParams {
 public:
  using Entry = std::pair<std::string, std::string>;

  // The thirteen defaults, in order: BlobSize, CommitRetain, Database,
  // DriverName, ErrorResourceFile, LocaleCode, Password, RoleName,
  // ServerCharSet, SQLDialect, Interbase TransIsolation, User_Name,
  // WaitOnLocks.
  static ConnectionParams Defaults();

  ConnectionParams() = default;  // empty list

  // Replaces the value of the first entry whose name matches (the entry
  // keeps its position and takes `name`'s spelling), or appends a new entry.
  void Set(std::string_view name, std::string_view value);
  // The value of the first matching entry, or empty text.
  std::string Get(std::string_view name) const;
  bool Has(std::string_view name) const;
  // Removes the first matching entry, if any.
  void Remove(std::string_view name);

  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

}  // namespace imp
