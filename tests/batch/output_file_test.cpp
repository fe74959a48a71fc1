// Output files of batch mode: made new (0600), put in place by a rename, so
// that nothing at the path is written through and a failed rewrite leaves
// the previous file whole.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "batch/output_file.h"
#include "tests/support/temp_folder.h"
#include "values/failure.h"

namespace imp {
namespace {

using testing::ReadFile;
using testing::TempFolder;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

mode_t Permissions(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(OutputFile, ANewFileOfItsOwnReplacesWhateverWasThere) {
  enum class Before { kNothing, kFile0644, kLink };
  for (const bool at_once : {false, true}) {
    for (const Before before : {Before::kNothing, Before::kFile0644, Before::kLink}) {
      SCOPED_TRACE(::testing::Message() << (at_once ? "replaced whole" : "written as it goes")
                                        << ", before: " << static_cast<int>(before));
      const TempFolder folder("salida");
      const std::string path = folder / "salida.csv";
      const std::string foreign = folder / "ajeno.conf";
      WriteFile(foreign, "clave secreta\n");
      if (before == Before::kFile0644) {
        WriteFile(path, "viejo contenido más largo\n");
        chmod(path.c_str(), 0644);
      }
      if (before == Before::kLink) {
        ASSERT_EQ(symlink(foreign.c_str(), path.c_str()), 0);
      }

      if (at_once) {
        ReplaceOutputFile(path, [](std::FILE* f) { std::fputs("nuevo\n", f); });
      } else {
        OwnedFile f = CreateOutputFile(path);
        std::fputs("nuevo\n", f.get());
      }
      EXPECT_EQ(ReadFile(path), "nuevo\n");
      EXPECT_FALSE(std::filesystem::is_symlink(path));
      EXPECT_EQ(Permissions(path), 0600u);
      EXPECT_EQ(ReadFile(foreign), "clave secreta\n");
      EXPECT_EQ(folder.EntryCount(), 2u);
    }
  }
}

TEST(OutputFile, AFailedRewriteLeavesThePreviousFileWhole) {
  const TempFolder folder("salida");
  const std::string path = folder / "informe.json";
  ReplaceOutputFile(path, [](std::FILE* f) { std::fputs("{\"fin\": \"en_curso\"}\n", f); });
  EXPECT_THROW(ReplaceOutputFile(path,
                                 [](std::FILE* f) {
                                   std::fputs("{\"fin\": ", f);
                                   throw Failure("a medias");
                                 }),
               Failure);
  EXPECT_EQ(ReadFile(path), "{\"fin\": \"en_curso\"}\n");
  EXPECT_EQ(folder.EntryCount(), 1u);

  // A folder that is not there: the failure names the path.
  const std::string far = folder / "no/existe.json";
  try {
    ReplaceOutputFile(far, [](std::FILE*) {});
    ADD_FAILURE() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(std::string(f.what()), "No se pudo escribir el archivo " + far);
  }
}

}  // namespace
}  // namespace imp
