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
#include <optional>
#include <string_view>

#include "values/failure.h"
#include "values/text_encoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imp {

namespace {

constexpr unsigned char kComma = 44;
constexpr unsigned char kQuote = 34;
constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;
constexpr std::size_t kMaxCharacters = TCamposRegistro::kMaxCharacters;
constexpr std::int64_t kBomLength = 3;

// Bytes that need a decision; every other byte is simply part of the field.
[[maybe_unused]] constexpr std::array<bool, 256> kDecisionByte = [] {
  std::array<bool, 256> e{};
  e[0] = e[kLF] = e[kCR] = e[kQuote] = e[kComma] = true;
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
std::size_t ReadBlock(int fd, char* dest, std::size_t n, std::int64_t from_offset) {
  for (;;) {
    const ssize_t bytes_read = ::read(fd, dest, n);
    if (bytes_read >= 0) return static_cast<std::size_t>(bytes_read);
    if (errno != EINTR) {
      throw Failure("Error al leer el archivo en el byte " + std::to_string(from_offset) +
                    ": " + std::strerror(errno) + ".");
    }
  }
}

// Bytes are classified a window at a time: one bit per byte that needs a
// decision. The parse then jumps from bit to bit and copies the plain runs
// between them whole, instead of testing byte after byte.
constexpr std::size_t kWindow = 64;
// Slack after the block: a window, or a 16-byte chunk of a plain run, may
// read past the bytes that were read from the file.
constexpr std::size_t kBlockPadding = kWindow;
static_assert(TCamposRegistro::kPadding >= 16, "a slot must take a whole chunk's excess");

// Bit i set iff byte p[i] (0 <= i < 64) is a decision byte. Reads all 64.
inline std::uint64_t DecisionMask(const char* p) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i comma = _mm_set1_epi8(static_cast<char>(kComma));
  const __m128i quote = _mm_set1_epi8(static_cast<char>(kQuote));
  const __m128i cr = _mm_set1_epi8(static_cast<char>(kCR));
  const __m128i lf = _mm_set1_epi8(static_cast<char>(kLF));
  std::uint64_t mask = 0;
  for (std::size_t k = 0; k < kWindow; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i e =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, comma)),
                     _mm_or_si128(_mm_cmpeq_epi8(v, quote),
                                  _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(e))) << k;
  }
  return mask;
#else
  std::uint64_t mask = 0;
  for (std::size_t k = 0; k < kWindow; ++k) {
    mask |= static_cast<std::uint64_t>(kDecisionByte[static_cast<unsigned char>(p[k])]) << k;
  }
  return mask;
#endif
}

[[noreturn]] void FailChanged(const std::string& path) {
  throw Failure("El archivo " + path + " cambió mientras se importaba.");
}

// The first bytes of the file, as many as `n` (fewer in a shorter file).
std::size_t ReadStart(int fd, unsigned char* start, std::size_t n) {
  ssize_t bytes_read;
  do {
    bytes_read = ::pread(fd, start, n, 0);
  } while (bytes_read < 0 && errno == EINTR);
  return bytes_read > 0 ? static_cast<std::size_t>(bytes_read) : 0;
}

bool StartsWithBom(const unsigned char* start, std::size_t n) {
  return n >= kBomLength && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF;
}

constexpr char kSaveAsText[] =
    "guárdelo como texto de un byte por carácter (Windows-1252) o UTF-8";

// A file that holds two bytes per character, read as lines of bytes, would
// give nonsense at every field. With a byte-order mark it says so itself;
// without one, text of the Latin alphabet shows a zero byte after (or
// before) every character of its first line.
void RefuseUtf16(const unsigned char* start, std::size_t n) {
  if (n < 2) return;
  const bool le = start[0] == 0xFF && start[1] == 0xFE;
  const bool be = start[0] == 0xFE && start[1] == 0xFF;
  if (le || be) {
    throw Failure(std::string("Línea 1: el archivo está en UTF-16 (empieza con la marca ") +
                  (le ? "FF FE" : "FE FF") + "); " + kSaveAsText);
  }
  // At least two characters, each a non-zero byte beside a zero one, up to
  // the first line end.
  std::size_t pairs = 0;
  bool little = true, big = true;
  for (std::size_t i = 0; i + 1 < n && (little || big); i += 2) {
    const unsigned char a = start[i], b = start[i + 1];
    little = little && a != 0 && b == 0;
    big = big && a == 0 && b != 0;
    ++pairs;
    if ((little && a == kLF) || (big && b == kLF)) break;
  }
  if ((little || big) && pairs >= 2) {
    throw Failure(std::string("Línea 1: el archivo parece estar en UTF-16 sin marca de orden de "
                              "bytes (") +
                  (little ? "un byte cero tras cada carácter" : "un byte cero antes de cada carácter") +
                  "); " + kSaveAsText);
  }
}

// A UTF-8 byte-order mark is the file declaring its encoding. Read as a
// single-byte code page, every accented letter of it would be written as two
// wrong ones (Ñ as Ã‘): it is refused unless the run reads UTF-8, or bytes as
// they are.
void RefuseMisdeclaredUtf8(TextEncoding encoding) {
  if (encoding == TextEncoding::kUtf8 || encoding == TextEncoding::kNone) return;
  throw Failure(std::string("Línea 1: el archivo empieza con la marca de UTF-8 (EF BB BF), pero "
                            "se está leyendo como ") +
                EncodingName(encoding) +
                ": sus letras con tilde se grabarían mal. Impórtelo como UTF-8 "
                "(--codificacion UTF8; en la ventana, Codificacion=UTF8 en el almacén de "
                "configuración).");
}

// The byte state machine of one run. Bytes are fed in pieces of any size
// together with the file offset of the piece's first byte; no state depends
// on where a piece ends, so block boundaries are invisible. Fields are
// written in place into their slots: a slot's old text is only ever
// overwritten by the line that has that field, and the handler sees the slots
// only at line ends, when every field of the line is complete.
class Tokenizer final {
 public:
  // `utf8`: characters are code points, up to four bytes each; otherwise
  // one byte is one character.
  Tokenizer(TCamposRegistro& fields, const TLectorPlano::RecordHandler& handler,
            std::int64_t start, bool utf8)
      : fields_(fields),
        handler_(handler),
        dest_(fields.bytes(1)),
        max_bytes_(utf8 ? TCamposRegistro::kMaxBytes : kMaxCharacters),
        utf8_(utf8),
        line_start_(start) {}

  // `end` must be followed by kBlockPadding readable bytes.
  void Feed(const char* p, const char* end, std::int64_t offset) {
    const char* const base = p;
    while (p < end) {
      const char* const window = p;
      const auto available = std::min<std::size_t>(static_cast<std::size_t>(end - p), kWindow);
      std::uint64_t mask = DecisionMask(window);
      if (available < kWindow) mask &= (std::uint64_t{1} << available) - 1;
      while (mask != 0) {
        const char* const decision = window + __builtin_ctzll(mask);
        mask &= mask - 1;
        if (decision > p) CopyPlain(p, static_cast<std::size_t>(decision - p));
        Decide(static_cast<unsigned char>(*decision), offset + (decision - base));
        p = decision + 1;
      }
      const char* const window_end = window + available;
      if (window_end > p) CopyPlain(p, static_cast<std::size_t>(window_end - p));
      p = window_end;
    }
  }

  // End of the file at offset `end`: a last line without a line end is
  // still a record. One with fewer fields than the record before it is
  // most likely a line its writer had not finished: it is delivered marked
  // as such, since its missing fields would read as the previous line's.
  // A last line of nothing but Ctrl-Z (0x1A) is the end-of-file mark old
  // DOS programs write: no record either.
  void Finish(std::int64_t end) {
    if (end > line_start_) {
      in_quotes_ = false;
      CloseField();
      if (index_ == 1 &&
          static_cast<std::int64_t>(fields_.Text(1).size()) == end - line_start_ &&
          fields_.Text(1).find_first_not_of('\x1a') == std::string_view::npos) {
        ++skipped_;
        return;
      }
      cut_off_ = index_ < previous_fields_;
      Deliver(end);
    }
  }

  // Lines that were no record: empty, or with every field empty.
  std::int64_t skipped() const { return skipped_; }

 private:
  // The first zero byte of the line being read.
  struct ZeroByte {
    int field;              // its field, from 1
    std::size_t in_field;   // its position in the field, from 1, quotes not counted
    std::int64_t offset;    // its offset in the file
  };

  // Plain bytes: straight into the slot, in 16-byte chunks (the block and
  // the slot both have the slack for the last chunk's excess).
  void CopyPlain(const char* p, std::size_t n) {
    after_cr_ = false;
    if (n > max_bytes_ - length_) FailTooLong();
    char* const d = dest_ + length_;
    for (std::size_t i = 0; i < n; i += 16) std::memcpy(d + i, p + i, 16);
    length_ += n;
    field_has_text_ = true;
  }

  // A decision byte at file offset `position`.
  void Decide(unsigned char c, std::int64_t position) {
    switch (c) {
      case kComma:
        after_cr_ = false;
        if (in_quotes_) {
          Append(static_cast<char>(c));
          field_has_text_ = true;
        } else {
          if (index_ == TCamposRegistro::kFieldCount) FailTooManyFields();
          CloseField();
          dest_ = fields_.bytes(++index_);
        }
        break;
      case kQuote:
        in_quotes_ = !in_quotes_;
        after_cr_ = false;
        break;
      case kLF:
        if (after_cr_) {
          // Second half of CR LF: the line already ended at the CR.
          after_cr_ = false;
          line_start_ = position + 1;
        } else {
          EndLine(position);
        }
        break;
      case kCR:
        EndLine(position);
        after_cr_ = true;
        break;
      default:  // zero byte: no text holds one (see Deliver)
        after_cr_ = false;
        if (!zero_) zero_ = ZeroByte{index_, length_ + 1, position};
        Append(static_cast<char>(c));
        break;
    }
  }

  void Append(char byte) {
    if (length_ == max_bytes_) FailTooLong();
    dest_[length_++] = byte;
  }

  [[noreturn]] void FailTooLong() const {
    throw Failure("Línea " + std::to_string(line_) + ": el campo " + std::to_string(index_) +
                  " tiene más de " + std::to_string(kMaxCharacters) + " caracteres.");
  }

  // Characters of the field so far: in UTF-8, the bytes that begin one
  // (a malformed field fails the line later, whatever it counts here).
  std::size_t Characters() const {
    if (!utf8_) return length_;
    std::size_t n = 0;
    for (std::size_t i = 0; i < length_; ++i) {
      n += (static_cast<unsigned char>(dest_[i]) & 0xC0) != 0x80;
    }
    return n;
  }

  [[noreturn]] void FailTooManyFields() const {
    throw Failure("Línea " + std::to_string(line_) + ": el campo " +
                  std::to_string(TCamposRegistro::kFieldCount + 1) + " excede el máximo de " +
                  std::to_string(TCamposRegistro::kFieldCount) + " campos por línea.");
  }

  // A field of nothing but zero bytes is empty: if its line is no record,
  // the slot must not keep bytes no text holds.
  void CloseField() {
    if (utf8_ && length_ > kMaxCharacters && Characters() > kMaxCharacters) FailTooLong();
    has_text_ |= field_has_text_;
    fields_.set_length(index_, field_has_text_ ? length_ : 0);
    length_ = 0;
    field_has_text_ = false;
  }

  // The line end byte at `position`. A line without bytes is no record: it
  // would repeat the previous record's values.
  void EndLine(std::int64_t position) {
    in_quotes_ = false;
    if (position > line_start_) {
      CloseField();
      Deliver(position);
    } else {
      ++skipped_;
    }
    index_ = 1;
    dest_ = fields_.bytes(1);
    ++line_;
    line_start_ = position + 1;
  }

  // A line whose every field is empty (only commas, quotes or zero bytes)
  // is no record either: its empty fields change no value, so it would
  // repeat the previous record just like an empty line. The slots it
  // emptied held nothing the values do not already hold.
  //
  // A zero byte in a line that holds text is refused with the line: text
  // never holds one, so it is no part of any value, and dropping it, or
  // cutting the field there, would import a value the file does not have.
  void Deliver(std::int64_t line_end) {
    const std::optional<ZeroByte> zero = zero_;
    zero_.reset();
    if (!has_text_) {
      ++skipped_;
      return;
    }
    has_text_ = false;
    if (zero) {
      throw Failure("Línea " + std::to_string(line_) + ": el campo " +
                    std::to_string(zero->field) + " contiene un byte cero en la posición " +
                    std::to_string(zero->in_field) + " (desplazamiento " +
                    std::to_string(zero->offset) +
                    " del archivo): un archivo de texto no los trae, y el valor no se puede "
                    "importar tal como está.");
    }
    previous_fields_ = index_;
    if (!handler_) return;
    const LinePosition position{line_, line_start_, line_end - line_start_, cut_off_};
    handler_(fields_, position);
  }

  TCamposRegistro& fields_;
  const TLectorPlano::RecordHandler& handler_;
  char* dest_;                  // bytes of the slot being filled
  const std::size_t max_bytes_;  // bytes a field may take
  const bool utf8_;
  std::size_t length_ = 0;          // bytes of the field so far
  bool field_has_text_ = false;  // the field holds a byte other than a zero
  std::optional<ZeroByte> zero_;
  int index_ = 1;                 // slot of the field being read
  bool in_quotes_ = false;
  bool after_cr_ = false;  // the previous byte was a CR that ended a line
  bool has_text_ = false;   // a field of the current line has text
  bool cut_off_ = false;  // the last line, cut off before its end
  int previous_fields_ = 0;  // fields of the last record delivered
  std::int64_t skipped_ = 0;
  std::int64_t line_ = 1;
  std::int64_t line_start_;
};

// The line at `position` holds a field that is not UTF-8: the failure names
// the first bad byte of the line as it is in the file, quotes included.
[[noreturn]] void FailUtf8(int fd, const LinePosition& position) {
  std::string line(static_cast<std::size_t>(position.length), '\0');
  const ssize_t bytes_read = ::pread(fd, line.data(), line.size(), position.offset);
  line.resize(bytes_read > 0 ? static_cast<std::size_t>(bytes_read) : 0);
  const std::size_t in_line = FirstInvalidUtf8(line).value_or(0);
  char byte[8] = "";
  if (in_line < line.size()) {
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(line[in_line]));
  }
  throw Failure(
      "Línea " + std::to_string(position.number) + ": el texto no es UTF-8 válido: byte " + byte +
      " en la posición " + std::to_string(in_line + 1) + " de la línea (desplazamiento " +
      std::to_string(position.offset + static_cast<std::int64_t>(in_line)) + " del archivo).");
}

}  // namespace

TLectorPlano::TLectorPlano(std::size_t block_size)
    : block_size_(std::max<std::size_t>(block_size, 1)) {}

bool TLectorPlano::lea_registros(const std::string& path, const RecordHandler& handler,
                                 const ProgressHook& progress) {
  // O_NONBLOCK keeps a FIFO from hanging the open; it changes nothing for
  // regular files, the only kind read.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.fd() < 0) return false;
  if (::flock(file.fd(), LOCK_EX | LOCK_NB) != 0) return false;
  struct stat info;
  if (::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

  const std::int64_t file_size = info.st_size;
  const std::int64_t step = std::max<std::int64_t>(file_size / 100, 1);
  std::int64_t next_step = step;
  std::int64_t consumed = 0;
  skipped_lines_ = 0;
  unsigned char start[512];
  const std::size_t start_size = ReadStart(file.fd(), start, sizeof start);
  RefuseUtf16(start, start_size);
  const bool has_bom = StartsWithBom(start, start_size);
  if (has_bom) RefuseMisdeclaredUtf8(encoding_);
  std::int64_t to_skip = has_bom ? kBomLength : 0;
  const bool utf8 = encoding_ == TextEncoding::kUtf8;

  TCamposRegistro fields;
  const int fd = file.fd();
  const RecordHandler check_utf8 = [&handler, fd](const TCamposRegistro& c, const LinePosition& p) {
    for (int n = 1; n <= TCamposRegistro::kFieldCount; ++n) {
      if (FirstInvalidUtf8(c.Text(n))) FailUtf8(fd, p);
    }
    if (handler) handler(c, p);
  };
  Tokenizer tokenizer(fields, utf8 ? check_utf8 : handler, to_skip, utf8);
  const std::unique_ptr<char[]> block(new char[block_size_ + kBlockPadding]());

  // A writer that appends to the file, cuts it or rewrites it while it is
  // read: what is read may be half of a line, or lines of two versions of
  // the file. Seen at every block and once more at the end, before the line
  // being built is delivered.
  auto changed = [&file, &info] {
    struct stat now;
    return ::fstat(file.fd(), &now) != 0 || now.st_size != info.st_size ||
           now.st_mtim.tv_sec != info.st_mtim.tv_sec ||
           now.st_mtim.tv_nsec != info.st_mtim.tv_nsec;
  };
  while (consumed < file_size) {
    const auto request = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(block_size_), file_size - consumed));
    const std::size_t bytes_read = ReadBlock(file.fd(), block.get(), request, consumed);
    if (bytes_read == 0 || changed()) FailChanged(path);
    const char* p = block.get();
    const char* const end = p + bytes_read;
    // Pieces end at the next progress step, so the hook is called after
    // exactly the byte that reaches it.
    while (p < end) {
      const char* const piece_end = p + std::min<std::int64_t>(end - p, next_step - consumed);
      const char* q = p;
      if (to_skip > 0) {
        const std::int64_t skipped_now = std::min<std::int64_t>(to_skip, piece_end - q);
        q += skipped_now;
        to_skip -= skipped_now;
      }
      tokenizer.Feed(q, piece_end, consumed + (q - p));
      consumed += piece_end - p;
      p = piece_end;
      if (consumed == next_step) {
        next_step += step;
        if (progress) progress();
      }
    }
  }
  if (changed()) FailChanged(path);
  tokenizer.Finish(consumed);
  skipped_lines_ = tokenizer.skipped();
  return true;
}

}  // namespace imp
