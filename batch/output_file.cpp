#include "batch/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "values/failure.h"

namespace imp {
namespace {

[[noreturn]] void CannotWrite(const std::string& path) {
  throw Failure("No se pudo escribir el archivo " + path);
}

// A new file beside `path` (same folder, so that the rename stays on one
// file system), created 0600; its name in `temporary`.
std::FILE* CreateBeside(const std::string& path, std::string& temporary) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + name + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  // mkstemp creates the file 0600 with O_EXCL: nothing in its place is
  // followed or reused.
  const int fd = mkstemp(buffer.data());
  if (fd < 0) CannotWrite(path);
  temporary.assign(buffer.data());
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    close(fd);
    unlink(temporary.c_str());
    CannotWrite(path);
  }
  return file;
}

}  // namespace

OwnedFile CreateOutputFile(const std::string& path) {
  std::string temporary;
  OwnedFile file(CreateBeside(path, temporary));
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    CannotWrite(path);
  }
  return file;
}

void ReplaceOutputFile(const std::string& path, const std::function<void(std::FILE*)>& write) {
  std::string temporary;
  OwnedFile file(CreateBeside(path, temporary));
  try {
    write(file.get());
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) CannotWrite(path);
  } catch (...) {
    file.reset();
    unlink(temporary.c_str());
    throw;
  }
  file.reset();
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    CannotWrite(path);
  }
}

}  // namespace imp
