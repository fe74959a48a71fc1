#pragma once
// The window's edits hold the system's bytes (from settings.conf, a file
// name): an edit filled from bytes gives the same bytes back while the
// operator has not changed it, whatever character set they were shown in;
// text the operator typed is taken as UTF-8.

#include <string>

class QLineEdit;

namespace imp {

// Shows `bytes` in `edit` (DisplayText) and keeps them with it.
void SetBytes(QLineEdit* edit, const std::string& bytes);

// The bytes `edit` stands for: those it was filled with while its text is
// still the one shown for them, else its text in UTF-8.
std::string Bytes(const QLineEdit* edit);

}  // namespace imp
