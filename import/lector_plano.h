#pragma once
// TLectorPlano reads the flat order file: one pass over the bytes, comma
// separated fields, double quotes that switch the comma off and on, CR, LF
// or CR LF line ends. At every line that holds at least one byte it hands
// the 51 field slots to a record handler; while it reads it reports progress
// in steps of a hundredth of the file.
//
// Byte rules, for whoever has to reason about a strange file:
//  - Byte 44 (comma) outside quotes ends a field. Byte 34 (double quote)
//    toggles "in quotes" anywhere in a field and is never stored; so a field
//    can never contain a double quote.
//  - CR, LF and CR LF each end one line, in quotes or not; a line end also
//    leaves the quotes. A CR followed by any other byte ends the line and
//    that byte starts the next one. No byte is ever dropped.
//  - A line without bytes (two line ends in a row) is not a record, nor is
//    a line whose every field is empty (commas, quotes, zero bytes only).
//    Any other byte makes the line data.
//    A last line without a line end is a record, delivered at the end of
//    the file; marked `cut_off` when it has fewer fields than the record
//    before it. A last line of only Ctrl-Z bytes (0x1A, the old DOS
//    end-of-file mark) is no record.
//  - A file whose size or modification time changes while it is read, or
//    that ends before the size measured at open, fails the run
//    ("El archivo … cambió mientras se importaba.") before its last line is
//    delivered.
//  - A UTF-8 byte-order mark at the very start of the file is skipped when
//    the file is read as UTF-8 or as bytes (NONE); read as a single-byte code
//    page it fails the read at line 1, naming the encoding to declare. A
//    UTF-16 file, with its mark (FF FE or FE FF) or without one (a zero byte
//    beside every character of its first line), fails the read at line 1.
//  - A zero byte in a line that holds any other text fails the read at that
//    line, naming the field, the byte's place in it and its offset in the
//    file: no value is ever cut or changed by one.
//  - Slots are written only for the fields a line has and are never cleared
//    between lines (see TCamposRegistro). All slots start empty in each run.
//  - When the file is declared UTF-8 (set_text_encoding), a line whose
//    fields are not well-formed UTF-8 fails the read at that line, naming
//    the first bad byte, its position in the line and its offset in the
//    file.
//  - A field of more than 255 characters (quotes not counted; in UTF-8 a
//    character is a code point, up to four bytes) or a line of more than 51
//    fields fails the run with imp::Failure naming line and field.
//
// Memory stays flat: one block of the file and 51 slots, whatever the size.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "import/campos_registro.h"
#include "values/text_encoding.h"

namespace imp {

// Where the record just delivered sits in the file. Lines are counted
// physically (1-based): empty lines count, and a skipped byte-order mark
// counts as bytes, so `offset`/`length` copy the line out of the
// file byte for byte (without its line end).
struct LinePosition {
  std::int64_t number = 0;  // line number, from 1
  std::int64_t offset = 0;  // offset of the line's first byte
  std::int64_t length = 0;  // bytes of the line, line end excluded
  // The last line of the file, without a line end and with fewer fields
  // than the record before it: cut off by whoever wrote the file.
  bool cut_off = false;
};

class TLectorPlano {
 public:
  // Called once per record with read access to the slots. May throw: the
  // failure leaves lea_registros at once, after the file has been closed.
  using RecordHandler = std::function<void(const TCamposRegistro&, const LinePosition&)>;
  // Called once each time the count of consumed bytes reaches a multiple of
  // the step (file size / 100, at least 1): once per byte for files under
  // 200 bytes, size / step times in all.
  using ProgressHook = std::function<void()>;

  static constexpr std::size_t kDefaultBlockSize = 256 * 1024;

  // `block_size` is how many bytes one read asks for (at least 1).
  explicit TLectorPlano(std::size_t block_size = kDefaultBlockSize);

  // Opens `path` for reading and takes an exclusive advisory lock on it,
  // then reads the whole file, calling `handler` per record and `progress`
  // per step (either may be empty). Returns false, having read nothing, when
  // the file cannot be opened: missing, not a regular file, no permission,
  // or locked by another reader. Returns true once every byte up to the size
  // measured at open has been read. Throws imp::Failure on a field or line
  // beyond the format's limits or a read error, and lets the handler's
  // failures through; on every path the file is closed and unlocked.
  bool lea_registros(const std::string& path, const RecordHandler& handler,
                     const ProgressHook& progress);

  // The encoding the file is declared in (see above): UTF-8 requires every
  // line to be well-formed and counts characters as code points; a
  // single-byte code page refuses a file that declares itself UTF-8. NONE by
  // default: bytes are bytes.
  void set_text_encoding(TextEncoding encoding) { encoding_ = encoding; }

  // Lines of the last complete read that were no record (empty, or every
  // field empty).
  std::int64_t skipped_lines() const { return skipped_lines_; }

 private:
  std::size_t block_size_;
  std::int64_t skipped_lines_ = 0;
  TextEncoding encoding_ = TextEncoding::kNone;
};

}  // namespace imp
