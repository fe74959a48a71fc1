#include "import/lector_plano.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "values/failure.h"

namespace imp {

namespace {

constexpr unsigned char kComa = 44;
constexpr unsigned char kComilla = 34;
constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;
constexpr std::size_t kMaxBytesCampo = 255;
constexpr std::int64_t kLargoBom = 3;

// Bytes that need a decision; every other byte is simply part of the field.
constexpr std::array<bool, 256> kEspecial = [] {
  std::array<bool, 256> e{};
  e[0] = e[kLF] = e[kCR] = e[kComilla] = e[kComa] = true;
  return e;
}();

// Owns the descriptor; closing it also drops the flock lock, so a failure
// anywhere in the run leaves the file free for the next one.
class Descriptor final {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Reads up to `n` bytes, retrying interrupted calls. Returns 0 at the end of
// the file.
std::size_t LeaBloque(int fd, char* destino, std::size_t n, std::int64_t desde) {
  for (;;) {
    const ssize_t leidos = ::read(fd, destino, n);
    if (leidos >= 0) return static_cast<std::size_t>(leidos);
    if (errno != EINTR) {
      throw Failure("Error al leer el archivo en el byte " + std::to_string(desde) +
                    ": " + std::strerror(errno) + ".");
    }
  }
}

bool EmpiezaConBom(int fd, std::int64_t tamano) {
  if (tamano < kLargoBom) return false;
  unsigned char inicio[kLargoBom];
  ssize_t leidos;
  do {
    leidos = ::pread(fd, inicio, sizeof inicio, 0);
  } while (leidos < 0 && errno == EINTR);
  return leidos == kLargoBom && inicio[0] == 0xEF && inicio[1] == 0xBB && inicio[2] == 0xBF;
}

// The byte state machine of one run. Bytes are fed in pieces of any size
// together with the file offset of the piece's first byte; no state depends
// on where a piece ends, so block boundaries are invisible.
class Tokenizador final {
 public:
  Tokenizador(TCamposRegistro& campos, const TLectorPlano::ManejadorRegistro& manejador,
              std::int64_t inicio)
      : campos_(campos), manejador_(manejador), inicio_linea_(inicio) {}

  void Procese(const char* p, const char* fin, std::int64_t desplazamiento) {
    const char* const base = p;
    while (p < fin) {
      const auto c = static_cast<unsigned char>(*p);
      if (!kEspecial[c]) {
        const char* q = p + 1;
        while (q < fin && !kEspecial[static_cast<unsigned char>(*q)]) ++q;
        tras_cr_ = false;
        Agregue(p, static_cast<std::size_t>(q - p));
        p = q;
        continue;
      }
      const std::int64_t posicion = desplazamiento + (p - base);
      switch (c) {
        case kComilla:
          en_comillas_ = !en_comillas_;
          tras_cr_ = false;
          break;
        case kComa:
          tras_cr_ = false;
          if (en_comillas_) {
            Agregue(p, 1);
          } else {
            if (indice_ == TCamposRegistro::kNumCampos) FalleCampos();
            CierreCampo();
            ++indice_;
          }
          break;
        case kLF:
          if (tras_cr_) {
            // Second half of CR LF: the line already ended at the CR.
            tras_cr_ = false;
            inicio_linea_ = posicion + 1;
          } else {
            FinDeLinea(posicion);
          }
          break;
        case kCR:
          FinDeLinea(posicion);
          tras_cr_ = true;
          break;
        default:  // zero byte: ends the text, still counts towards the length
          tras_cr_ = false;
          if (corte_ == kSinCorte) corte_ = largo_;
          Agregue(p, 1);
          break;
      }
      ++p;
    }
  }

  // End of the file at offset `fin`: a last line without a line end is
  // still a record.
  void Termine(std::int64_t fin) {
    if (fin > inicio_linea_) {
      en_comillas_ = false;
      CierreCampo();
      Entregue(fin);
    }
  }

 private:
  static constexpr std::size_t kSinCorte = static_cast<std::size_t>(-1);

  void Agregue(const char* p, std::size_t n) {
    if (n > kMaxBytesCampo - largo_) {
      throw Failure("Línea " + std::to_string(linea_) + ": el campo " +
                    std::to_string(indice_) + " tiene más de " +
                    std::to_string(kMaxBytesCampo) + " caracteres.");
    }
    std::memcpy(campo_ + largo_, p, n);
    largo_ += n;
  }

  [[noreturn]] void FalleCampos() const {
    throw Failure("Línea " + std::to_string(linea_) + ": el campo " +
                  std::to_string(TCamposRegistro::kNumCampos + 1) +
                  " excede el máximo de " + std::to_string(TCamposRegistro::kNumCampos) +
                  " campos por línea.");
  }

  void CierreCampo() {
    campos_.asigne(indice_, std::string_view(campo_, corte_ == kSinCorte ? largo_ : corte_));
    largo_ = 0;
    corte_ = kSinCorte;
  }

  // The line end byte at `posicion`. A line without bytes is no record: it
  // would repeat the previous record's values.
  void FinDeLinea(std::int64_t posicion) {
    en_comillas_ = false;
    if (posicion > inicio_linea_) {
      CierreCampo();
      Entregue(posicion);
    }
    indice_ = 1;
    ++linea_;
    inicio_linea_ = posicion + 1;
  }

  void Entregue(std::int64_t fin_linea) {
    if (!manejador_) return;
    const TPosicionLinea posicion{linea_, inicio_linea_, fin_linea - inicio_linea_};
    manejador_(campos_, posicion);
  }

  TCamposRegistro& campos_;
  const TLectorPlano::ManejadorRegistro& manejador_;
  char campo_[kMaxBytesCampo];
  std::size_t largo_ = 0;          // bytes of the field so far
  std::size_t corte_ = kSinCorte;  // where a zero byte cut the text
  int indice_ = 1;                 // slot of the field being read
  bool en_comillas_ = false;
  bool tras_cr_ = false;  // the previous byte was a CR that ended a line
  std::int64_t linea_ = 1;
  std::int64_t inicio_linea_;
};

}  // namespace

TLectorPlano::TLectorPlano(std::size_t tamano_bloque)
    : tamano_bloque_(std::max<std::size_t>(tamano_bloque, 1)) {}

bool TLectorPlano::lea_registros(const std::string& ruta, const ManejadorRegistro& manejador,
                                 const GanchoProgreso& progreso) {
  // O_NONBLOCK keeps a FIFO from hanging the open; it changes nothing for
  // regular files, the only kind read.
  Descriptor archivo(::open(ruta.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (archivo.fd() < 0) return false;
  if (::flock(archivo.fd(), LOCK_EX | LOCK_NB) != 0) return false;
  struct stat estado;
  if (::fstat(archivo.fd(), &estado) != 0 || !S_ISREG(estado.st_mode)) return false;
  ::posix_fadvise(archivo.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

  const std::int64_t tamano = estado.st_size;
  const std::int64_t paso = std::max<std::int64_t>(tamano / 100, 1);
  std::int64_t proximo_paso = paso;
  std::int64_t consumidos = 0;
  const bool bom = EmpiezaConBom(archivo.fd(), tamano);
  std::int64_t por_omitir = bom ? kLargoBom : 0;

  TCamposRegistro campos;
  Tokenizador tokenizador(campos, manejador, por_omitir);
  const std::unique_ptr<char[]> bloque(new char[tamano_bloque_]);

  while (consumidos < tamano) {
    const auto pedir =
        static_cast<std::size_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(tamano_bloque_), tamano - consumidos));
    const std::size_t leidos = LeaBloque(archivo.fd(), bloque.get(), pedir, consumidos);
    if (leidos == 0) break;  // cut short by another writer: take what is there
    const char* p = bloque.get();
    const char* const fin = p + leidos;
    // Pieces end at the next progress step, so the hook is called after
    // exactly the byte that reaches it.
    while (p < fin) {
      const char* const fin_pieza = p + std::min<std::int64_t>(fin - p, proximo_paso - consumidos);
      const char* q = p;
      if (por_omitir > 0) {
        const std::int64_t omitidos = std::min<std::int64_t>(por_omitir, fin_pieza - q);
        q += omitidos;
        por_omitir -= omitidos;
      }
      tokenizador.Procese(q, fin_pieza, consumidos + (q - p));
      consumidos += fin_pieza - p;
      p = fin_pieza;
      if (consumidos == proximo_paso) {
        proximo_paso += paso;
        if (progreso) progreso();
      }
    }
  }
  tokenizador.Termine(consumidos);
  return true;
}

}  // namespace imp
