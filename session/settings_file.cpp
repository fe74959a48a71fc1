#include "session/settings_file.h"

#include <fstream>
#include <iterator>

#include "values/failure.h"

namespace imp {

SettingsFile SettingsFile::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  return Parse(bytes, path);
}

SettingsFile SettingsFile::Parse(const std::string& bytes, const std::string& path) {
  SettingsFile settings;
  std::string* const targets[] = {&settings.server, &settings.user,
                                  &settings.password,    &settings.company,
                                  nullptr,            nullptr,
                                  nullptr,            &settings.auto_start};
  size_t line = 0;
  // A UTF-8 byte-order mark (an editor's way of saving "UTF-8") is no part
  // of the server's name.
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  const size_t n = bytes.size();
  while (start < n) {
    size_t end = start;
    while (end < n && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    ++line;
    if (end - start > kMaxLine) {
      throw Failure(FormatText("La línea %s de %s tiene más de 255 caracteres",
                               {std::to_string(line), path}));
    }
    if (line <= std::size(targets) && targets[line - 1] != nullptr) {
      targets[line - 1]->assign(bytes, start, end - start);
    }
    if (end == n) break;
    // CR LF is one line end; a CR followed by anything else ends the line
    // by itself and the next byte starts the following line.
    start = end + 1;
    if (bytes[end] == '\r' && start < n && bytes[start] == '\n') ++start;
  }
  return settings;
}

}  // namespace imp
