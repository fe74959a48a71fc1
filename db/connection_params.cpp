#include "db/connection_params.h"

#include <algorithm>

#include "values/conversions.h"

namespace imp {

ConnectionParams ConnectionParams::Defaults() {
  ConnectionParams p;
  p.entries_ = {
      {"BlobSize", "-1"},
      {"CommitRetain", "False"},
      {"Database", "C:\\NORVELA2009\\SOP\\NORVELA.FDB"},
      {"DriverName", "Interbase"},
      {"ErrorResourceFile", ""},
      {"LocaleCode", "0000"},
      {"Password", "bluefinch"},
      {"RoleName", "RoleName"},
      {"ServerCharSet", ""},
      {"SQLDialect", "3"},
      {"Interbase TransIsolation", "ReadCommited"},
      {"User_Name", "sysdba"},
      {"WaitOnLocks", "True"},
  };
  return p;
}

void ConnectionParams::Set(std::string_view name, std::string_view value) {
  for (Entry& e : entries_) {
    if (SameNameIgnoringCase(e.first, name)) {
      e.first.assign(name);
      e.second.assign(value);
      return;
    }
  }
  entries_.emplace_back(std::string(name), std::string(value));
}

std::string ConnectionParams::Get(std::string_view name) const {
  for (const Entry& e : entries_)
    if (SameNameIgnoringCase(e.first, name)) return e.second;
  return {};
}

bool ConnectionParams::Has(std::string_view name) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const Entry& e) { return SameNameIgnoringCase(e.first, name); });
}

void ConnectionParams::Remove(std::string_view name) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return SameNameIgnoringCase(e.first, name); });
  if (it != entries_.end()) entries_.erase(it);
}

}  // namespace imp
