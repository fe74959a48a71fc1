#pragma once
// Files batch mode writes for its caller (the rejects, their log, the
// report). Each is made as a new file of its own, readable by its owner only
// (0600: it holds customer data), in the folder of its path, and then put in
// the path's place by a rename: whatever stood there before (a file, a
// symbolic link) is replaced as a whole, never written through, and a
// reader of the path sees either the old file or the new one.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace imp {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// A new, empty file put at `path` at once, open for writing: for files
// written as the run goes, so that a run killed half way leaves what it
// wrote. Fails with imp::Failure naming the path.
OwnedFile CreateOutputFile(const std::string& path);

// Writes the whole of `path` with `write` into a temporary file beside it,
// then renames it into place: a run killed while writing leaves the previous
// version whole. Fails with imp::Failure naming the path (the temporary file
// is removed).
void ReplaceOutputFile(const std::string& path, const std::function<void(std::FILE*)>& write);

}  // namespace imp
