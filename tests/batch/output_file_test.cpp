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

void WriteFile(const std::string& ruta, const std::string& texto) {
  std::ofstream(ruta, std::ios::binary) << texto;
}

mode_t Permissions(const std::string& ruta) {
  struct stat st {};
  lstat(ruta.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(OutputFile, ANewFileOfItsOwnReplacesWhateverWasThere) {
  enum class Before { kNothing, kFile0644, kLink };
  for (const bool de_una_vez : {false, true}) {
    for (const Before antes : {Before::kNothing, Before::kFile0644, Before::kLink}) {
      SCOPED_TRACE(::testing::Message() << (de_una_vez ? "replaced whole" : "written as it goes")
                                        << ", before: " << static_cast<int>(antes));
      const TempFolder carpeta("salida");
      const std::string ruta = carpeta / "salida.csv";
      const std::string ajeno = carpeta / "ajeno.conf";
      WriteFile(ajeno, "clave secreta\n");
      if (antes == Before::kFile0644) {
        WriteFile(ruta, "viejo contenido más largo\n");
        chmod(ruta.c_str(), 0644);
      }
      if (antes == Before::kLink) {
        ASSERT_EQ(symlink(ajeno.c_str(), ruta.c_str()), 0);
      }

      if (de_una_vez) {
        ReplaceOutputFile(ruta, [](std::FILE* f) { std::fputs("nuevo\n", f); });
      } else {
        OwnedFile f = CreateOutputFile(ruta);
        std::fputs("nuevo\n", f.get());
      }
      EXPECT_EQ(ReadFile(ruta), "nuevo\n");
      EXPECT_FALSE(std::filesystem::is_symlink(ruta));
      EXPECT_EQ(Permissions(ruta), 0600u);
      EXPECT_EQ(ReadFile(ajeno), "clave secreta\n");
      EXPECT_EQ(carpeta.EntryCount(), 2u);
    }
  }
}

TEST(OutputFile, AFailedRewriteLeavesThePreviousFileWhole) {
  const TempFolder carpeta("salida");
  const std::string ruta = carpeta / "informe.json";
  ReplaceOutputFile(ruta, [](std::FILE* f) { std::fputs("{\"fin\": \"en_curso\"}\n", f); });
  EXPECT_THROW(ReplaceOutputFile(ruta,
                                 [](std::FILE* f) {
                                   std::fputs("{\"fin\": ", f);
                                   throw Failure("a medias");
                                 }),
               Failure);
  EXPECT_EQ(ReadFile(ruta), "{\"fin\": \"en_curso\"}\n");
  EXPECT_EQ(carpeta.EntryCount(), 1u);

  // A folder that is not there: the failure names the path.
  const std::string lejos = carpeta / "no/existe.json";
  try {
    ReplaceOutputFile(lejos, [](std::FILE*) {});
    ADD_FAILURE() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(std::string(f.what()), "No se pudo escribir el archivo " + lejos);
  }
}

}  // namespace
}  // namespace imp
