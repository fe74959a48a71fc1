#pragma once
// A new folder under the system's temporary directory for one test, removed
// with everything in it when the object goes away.

#include <cstddef>
#include <string>

namespace imp::testing {

class TempFolder {
 public:
  // `prefix` starts the folder's name ("rechazos" gives /tmp/rechazos-XXXXXX).
  // Throws std::runtime_error when the folder cannot be made.
  explicit TempFolder(const std::string& prefix = "importa");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Writes `bytes` to `name` inside the folder (replacing it); its path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  // Names in the folder, to see that nothing is left behind.
  std::size_t EntryCount() const;

 private:
  std::string path_;
};

// The bytes of the file at `path`, as they are; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace imp::testing
