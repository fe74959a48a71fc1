#include "import/lector_plano.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "values/failure.h"
#include "values/text_encoding.h"

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
[[maybe_unused]] constexpr std::array<bool, 256> kEspecial = [] {
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

// Bytes are classified a window at a time: one bit per byte that needs a
// decision. The parse then jumps from bit to bit and copies the plain runs
// between them whole, instead of testing byte after byte.
constexpr std::size_t kVentana = 64;
// Slack after the block: a window, or a 16-byte chunk of a plain run, may
// read past the bytes that were read from the file.
constexpr std::size_t kRellenoBloque = kVentana;
static_assert(TCamposRegistro::kPadding >= 16, "a slot must take a whole chunk's excess");

// Bit i set iff byte p[i] (0 <= i < 64) is a decision byte. Reads all 64.
inline std::uint64_t MascaraEspeciales(const char* p) {
#if defined(__SSE2__)
  const __m128i cero = _mm_setzero_si128();
  const __m128i coma = _mm_set1_epi8(static_cast<char>(kComa));
  const __m128i comilla = _mm_set1_epi8(static_cast<char>(kComilla));
  const __m128i cr = _mm_set1_epi8(static_cast<char>(kCR));
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLF));
  std::uint64_t mascara = 0;
  for (std::size_t k = 0; k < kVentana; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i e =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cero), _mm_cmpeq_epi8(v, coma)),
                     _mm_or_si128(_mm_cmpeq_epi8(v, comilla),
                                  _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
    mascara |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(e))) << k;
  }
  return mascara;
#else
  std::uint64_t mascara = 0;
  for (std::size_t k = 0; k < kVentana; ++k) {
    mascara |= static_cast<std::uint64_t>(kEspecial[static_cast<unsigned char>(p[k])]) << k;
  }
  return mascara;
#endif
}

[[noreturn]] void FalleCambio(const std::string& ruta) {
  throw Failure("El archivo " + ruta + " cambió mientras se importaba.");
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

// A file that begins with a UTF-16 byte-order mark holds two bytes per
// character: read as lines of bytes it would give nonsense at every field.
void RehuseUtf16(int fd, std::int64_t tamano) {
  if (tamano < 2) return;
  unsigned char inicio[2];
  ssize_t leidos;
  do {
    leidos = ::pread(fd, inicio, sizeof inicio, 0);
  } while (leidos < 0 && errno == EINTR);
  if (leidos != 2) return;
  const bool le = inicio[0] == 0xFF && inicio[1] == 0xFE;
  const bool be = inicio[0] == 0xFE && inicio[1] == 0xFF;
  if (le || be) {
    throw Failure(std::string("Línea 1: el archivo está en UTF-16 (empieza con la marca ") +
                  (le ? "FF FE" : "FE FF") +
                  "); guárdelo como texto de un byte por carácter (Windows-1252) o UTF-8");
  }
}

// The byte state machine of one run. Bytes are fed in pieces of any size
// together with the file offset of the piece's first byte; no state depends
// on where a piece ends, so block boundaries are invisible. Fields are
// written in place into their slots: a slot's old text is only ever
// overwritten by the line that has that field, and the handler sees the slots
// only at line ends, when every field of the line is complete.
class Tokenizador final {
 public:
  Tokenizador(TCamposRegistro& campos, const TLectorPlano::RecordHandler& manejador,
              std::int64_t inicio)
      : campos_(campos), manejador_(manejador), destino_(campos.bytes(1)), inicio_linea_(inicio) {}

  // `fin` must be followed by kRellenoBloque readable bytes.
  void Procese(const char* p, const char* fin, std::int64_t desplazamiento) {
    const char* const base = p;
    while (p < fin) {
      const char* const ventana = p;
      const auto disponibles = std::min<std::size_t>(static_cast<std::size_t>(fin - p), kVentana);
      std::uint64_t mascara = MascaraEspeciales(ventana);
      if (disponibles < kVentana) mascara &= (std::uint64_t{1} << disponibles) - 1;
      while (mascara != 0) {
        const char* const especial = ventana + __builtin_ctzll(mascara);
        mascara &= mascara - 1;
        if (especial > p) CopiePlanos(p, static_cast<std::size_t>(especial - p));
        Decida(static_cast<unsigned char>(*especial), desplazamiento + (especial - base));
        p = especial + 1;
      }
      const char* const fin_ventana = ventana + disponibles;
      if (fin_ventana > p) CopiePlanos(p, static_cast<std::size_t>(fin_ventana - p));
      p = fin_ventana;
    }
  }

  // End of the file at offset `fin`: a last line without a line end is
  // still a record. One with fewer fields than the record before it is
  // most likely a line its writer had not finished: it is delivered marked
  // as such, since its missing fields would read as the previous line's.
  // A last line of nothing but Ctrl-Z (0x1A) is the end-of-file mark old
  // DOS programs write: no record either.
  void Termine(std::int64_t fin) {
    if (fin > inicio_linea_) {
      en_comillas_ = false;
      CierreCampo();
      if (indice_ == 1 &&
          static_cast<std::int64_t>(campos_.Text(1).size()) == fin - inicio_linea_ &&
          campos_.Text(1).find_first_not_of('\x1a') == std::string_view::npos) {
        ++omitidas_;
        return;
      }
      incompleta_ = indice_ < campos_anterior_;
      Entregue(fin);
    }
  }

  // Lines that were no record: empty, or with every field empty.
  std::int64_t omitidas() const { return omitidas_; }

 private:
  static constexpr std::size_t kSinCorte = static_cast<std::size_t>(-1);

  // Plain bytes: straight into the slot, in 16-byte chunks (the block and
  // the slot both have the slack for the last chunk's excess).
  void CopiePlanos(const char* p, std::size_t n) {
    tras_cr_ = false;
    if (n > kMaxBytesCampo - largo_) FalleLargo();
    char* const d = destino_ + largo_;
    for (std::size_t i = 0; i < n; i += 16) std::memcpy(d + i, p + i, 16);
    largo_ += n;
  }

  // A decision byte at file offset `posicion`.
  void Decida(unsigned char c, std::int64_t posicion) {
    switch (c) {
      case kComa:
        tras_cr_ = false;
        if (en_comillas_) {
          Agregue(static_cast<char>(c));
        } else {
          if (indice_ == TCamposRegistro::kFieldCount) FalleCampos();
          CierreCampo();
          destino_ = campos_.bytes(++indice_);
        }
        break;
      case kComilla:
        en_comillas_ = !en_comillas_;
        tras_cr_ = false;
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
        Agregue(static_cast<char>(c));
        break;
    }
  }

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
                  std::to_string(TCamposRegistro::kFieldCount + 1) + " excede el máximo de " +
                  std::to_string(TCamposRegistro::kFieldCount) + " campos por línea.");
  }

  void CierreCampo() {
    const std::size_t largo = corte_ == kSinCorte ? largo_ : corte_;
    con_texto_ |= largo != 0;
    campos_.set_length(indice_, largo);
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
    } else {
      ++omitidas_;
    }
    indice_ = 1;
    destino_ = campos_.bytes(1);
    ++linea_;
    inicio_linea_ = posicion + 1;
  }

  // A line whose every field is empty (only commas, quotes or zero bytes)
  // is no record either: its empty fields change no value, so it would
  // repeat the previous record just like an empty line. The slots it
  // emptied held nothing the values do not already hold.
  void Entregue(std::int64_t fin_linea) {
    if (!con_texto_) {
      ++omitidas_;
      return;
    }
    con_texto_ = false;
    campos_anterior_ = indice_;
    if (!manejador_) return;
    const LinePosition posicion{linea_, inicio_linea_, fin_linea - inicio_linea_, incompleta_};
    manejador_(campos_, posicion);
  }

  TCamposRegistro& campos_;
  const TLectorPlano::RecordHandler& manejador_;
  char* destino_;                  // bytes of the slot being filled
  std::size_t largo_ = 0;          // bytes of the field so far
  std::size_t corte_ = kSinCorte;  // where a zero byte cut the text
  int indice_ = 1;                 // slot of the field being read
  bool en_comillas_ = false;
  bool tras_cr_ = false;  // the previous byte was a CR that ended a line
  bool con_texto_ = false;   // a field of the current line has text
  bool incompleta_ = false;  // the last line, cut off before its end
  int campos_anterior_ = 0;  // fields of the last record delivered
  std::int64_t omitidas_ = 0;
  std::int64_t linea_ = 1;
  std::int64_t inicio_linea_;
};

// The line at `posicion` holds a field that is not UTF-8: the failure names
// the first bad byte of the line as it is in the file, quotes included.
[[noreturn]] void FalleUtf8(int fd, const LinePosition& posicion) {
  std::string linea(static_cast<std::size_t>(posicion.length), '\0');
  const ssize_t leidos = ::pread(fd, linea.data(), linea.size(), posicion.offset);
  linea.resize(leidos > 0 ? static_cast<std::size_t>(leidos) : 0);
  const std::size_t en_linea = FirstInvalidUtf8(linea).value_or(0);
  char byte[8] = "";
  if (en_linea < linea.size()) {
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(linea[en_linea]));
  }
  throw Failure(
      "Línea " + std::to_string(posicion.number) + ": el texto no es UTF-8 válido: byte " + byte +
      " en la posición " + std::to_string(en_linea + 1) + " de la línea (desplazamiento " +
      std::to_string(posicion.offset + static_cast<std::int64_t>(en_linea)) + " del archivo).");
}

}  // namespace

TLectorPlano::TLectorPlano(std::size_t block_size)
    : block_size_(std::max<std::size_t>(block_size, 1)) {}

bool TLectorPlano::lea_registros(const std::string& path, const RecordHandler& handler,
                                 const ProgressHook& progress) {
  // O_NONBLOCK keeps a FIFO from hanging the open; it changes nothing for
  // regular files, the only kind read.
  Descriptor archivo(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (archivo.fd() < 0) return false;
  if (::flock(archivo.fd(), LOCK_EX | LOCK_NB) != 0) return false;
  struct stat estado;
  if (::fstat(archivo.fd(), &estado) != 0 || !S_ISREG(estado.st_mode)) return false;
  ::posix_fadvise(archivo.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

  const std::int64_t tamano = estado.st_size;
  const std::int64_t paso = std::max<std::int64_t>(tamano / 100, 1);
  std::int64_t proximo_paso = paso;
  std::int64_t consumidos = 0;
  skipped_lines_ = 0;
  RehuseUtf16(archivo.fd(), tamano);
  const bool bom = EmpiezaConBom(archivo.fd(), tamano);
  std::int64_t por_omitir = bom ? kLargoBom : 0;

  TCamposRegistro campos;
  const int fd = archivo.fd();
  const RecordHandler con_utf8 = [&handler, fd](const TCamposRegistro& c, const LinePosition& p) {
    for (int n = 1; n <= TCamposRegistro::kFieldCount; ++n) {
      if (FirstInvalidUtf8(c.Text(n))) FalleUtf8(fd, p);
    }
    if (handler) handler(c, p);
  };
  Tokenizador tokenizador(campos, require_utf8_ ? con_utf8 : handler, por_omitir);
  const std::unique_ptr<char[]> bloque(new char[block_size_ + kRellenoBloque]());

  // A writer that appends to the file, cuts it or rewrites it while it is
  // read: what is read may be half of a line, or lines of two versions of
  // the file. Seen at every block and once more at the end, before the line
  // being built is delivered.
  auto cambio = [&archivo, &estado] {
    struct stat ahora;
    return ::fstat(archivo.fd(), &ahora) != 0 || ahora.st_size != estado.st_size ||
           ahora.st_mtim.tv_sec != estado.st_mtim.tv_sec ||
           ahora.st_mtim.tv_nsec != estado.st_mtim.tv_nsec;
  };
  while (consumidos < tamano) {
    const auto pedir = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(block_size_), tamano - consumidos));
    const std::size_t leidos = LeaBloque(archivo.fd(), bloque.get(), pedir, consumidos);
    if (leidos == 0 || cambio()) FalleCambio(path);
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
        if (progress) progress();
      }
    }
  }
  if (cambio()) FalleCambio(path);
  tokenizador.Termine(consumidos);
  skipped_lines_ = tokenizador.omitidas();
  return true;
}

}  // namespace imp
