#pragma once
// settings.conf in the install directory: up to eight meaningful lines,
// taken as bytes (no character-set conversion, no trimming).
//   1 server part of the database path   2 user   3 password   4 company
//   5-7 without meaning                  8 automatic-start flag ("1")
// CR LF, LF and CR alone each end one line and no byte is swallowed; text
// after the last line end is a line too. The program never writes the file.

#include <string>

namespace imp {

struct SettingsFile {
  std::string server;
  std::string user;
  std::string password;
  std::string company;
  std::string auto_start;  // line 8

  // Longest line accepted, in bytes.
  static constexpr size_t kMaxLine = 255;

  // Reads the file at `path`. A file that cannot be opened gives empty
  // settings without a word. A line longer than kMaxLine refuses the whole
  // file: fails with "La línea %s de %s tiene más de 255 caracteres".
  static SettingsFile Read(const std::string& path);

  // Same rules over bytes already in memory; `path` only names the file in
  // the failure text.
  static SettingsFile Parse(const std::string& bytes, const std::string& path);
};

}  // namespace imp
