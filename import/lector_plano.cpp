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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imp {

namespace {

constexpr unsigned char kComa = 44;
constexpr unsigned char kComilla = 34;
constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;
constexpr std::size_t kMaxBytesCampo = TCamposRegistro::kMaxBytes;
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

// Copies the run of plain bytes that starts at `p` (its first byte is
// plain) to `d`, at most `cabe` of them, and returns how many it copied.
// Works in 16-byte chunks: it may read up to 15 bytes past p + cabe and
// write up to 15 past d + cabe, so both areas carry kRelleno bytes of slack.
inline std::size_t CopieBytesPlanos(const char* p, char* d, std::size_t cabe) {
#if defined(__SSE2__)
  const __m128i cero = _mm_setzero_si128();
  const __m128i coma = _mm_set1_epi8(static_cast<char>(kComa));
  const __m128i comilla = _mm_set1_epi8(static_cast<char>(kComilla));
  const __m128i cr = _mm_set1_epi8(static_cast<char>(kCR));
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLF));
  std::size_t n = 0;
  for (;;) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n), v);
    const __m128i especiales =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cero), _mm_cmpeq_epi8(v, coma)),
                     _mm_or_si128(_mm_cmpeq_epi8(v, comilla),
                                  _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
    const auto bits = static_cast<unsigned>(_mm_movemask_epi8(especiales));
    if (bits != 0) {
      n += static_cast<std::size_t>(__builtin_ctz(bits));
      break;
    }
    n += 16;
    if (n >= cabe) break;
  }
  return std::min(n, cabe);
#else
  std::size_t n = 1;
  while (n < cabe && !kEspecial[static_cast<unsigned char>(p[n])]) ++n;
  std::memcpy(d, p, n);
  return n;
#endif
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
// on where a piece ends, so block boundaries are invisible. Fields are
// written in place into their slots: a slot's old text is only ever
// overwritten by the line that has that field, and the handler sees the slots
// only at line ends, when every field of the line is complete.
class Tokenizador final {
 public:
  Tokenizador(TCamposRegistro& campos, const TLectorPlano::ManejadorRegistro& manejador,
              std::int64_t inicio)
      : campos_(campos),
        manejador_(manejador),
        destino_(campos.bytes(1)),
        inicio_linea_(inicio) {}

  void Procese(const char* p, const char* fin, std::int64_t desplazamiento) {
    const char* const base = p;
    while (p < fin) {
      const auto c = static_cast<unsigned char>(*p);
      if (!kEspecial[c]) {
        // A run of plain bytes, copied straight into the slot. A full slot
        // fails on the next plain byte, here or in the next piece.
        tras_cr_ = false;
        if (largo_ == kMaxBytesCampo) FalleLargo();
        const auto cabe = std::min<std::size_t>(static_cast<std::size_t>(fin - p),
                                                kMaxBytesCampo - largo_);
        const std::size_t n = CopieBytesPlanos(p, destino_ + largo_, cabe);
        largo_ += n;
        p += n;
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
            Agregue(*p);
          } else {
            if (indice_ == TCamposRegistro::kNumCampos) FalleCampos();
            CierreCampo();
            destino_ = campos_.bytes(++indice_);
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
          Agregue(*p);
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

  void Agregue(char byte) {
    if (largo_ == kMaxBytesCampo) FalleLargo();
    destino_[largo_++] = byte;
  }

  [[noreturn]] void FalleLargo() const {
    throw Failure("Línea " + std::to_string(linea_) + ": el campo " + std::to_string(indice_) +
                  " tiene más de " + std::to_string(kMaxBytesCampo) + " caracteres.");
  }

  [[noreturn]] void FalleCampos() const {
    throw Failure("Línea " + std::to_string(linea_) + ": el campo " +
                  std::to_string(TCamposRegistro::kNumCampos + 1) +
                  " excede el máximo de " + std::to_string(TCamposRegistro::kNumCampos) +
                  " campos por línea.");
  }

  void CierreCampo() {
    campos_.fije_largo(indice_, corte_ == kSinCorte ? largo_ : corte_);
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
    destino_ = campos_.bytes(1);
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
  char* destino_;                  // bytes of the slot being filled
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
  // The slack after the block lets the plain-byte copy read whole chunks.
  const std::unique_ptr<char[]> bloque(new char[tamano_bloque_ + TCamposRegistro::kRelleno]());

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
