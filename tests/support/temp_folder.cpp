#include "tests/support/temp_folder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace imp::testing {

TempFolder::TempFolder(const std::string& prefix) {
  const std::string pattern =
      (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = name.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::string& bytes) const {
  const std::string path = *this / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path;
}

std::size_t TempFolder::EntryCount() const {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path_),
                                                std::filesystem::directory_iterator()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace imp::testing
