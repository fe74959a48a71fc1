#pragma once
// Where the program is installed, read from the per-machine settings store:
// an INI store opened with QSettings at system scope, organisation "QRM",
// application "Quintavalle", value "Directorio" (by default
// /etc/xdg/QRM/Quintavalle.conf). The store is only read, never created.
//
// The environment variable IMPORTA_SYSTEM_CONFIG_DIR, when set and not
// empty, replaces /etc/xdg as the folder of the system-scope store (see
// UseSystemConfigDirFromEnvironment); tests may also call
// QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir).

#include <QString>
#include <string>

#include "values/file_format.h"

namespace imp {

class Dialogs;

// `diraplicacion`: the install directory as bytes. A store that does not
// exist (or cannot be read) shows "No se encontró la Clave
// HKEY_LOCAL_MACHINE\Software\QRM\Quintavalle\Directorio" in a plain box
// and gives an empty directory; an absent or empty value gives an empty
// directory. A value that is not a single text fails with
// "Tipo de dato inválido para 'Directorio'".
std::string diraplicacion(Dialogs& dialogs);

// The order file's format as the store states it, for the window: the
// optional values SeparadorDecimal ("," or "."), OrdenFecha ("dma", "mda"
// or "amd"), SeparadorFecha ("/", "-" or ".") and Codificacion (WIN1252,
// UTF8, ISO8859_1 or NONE). Absent values (or no store) leave the regional
// settings to decide, and the encoding Windows-1252; a value that is none of
// those fails with "Valor no válido para 'OrdenFecha' en …: '…'".
FileFormat StoredFileFormat();

// Applies IMPORTA_SYSTEM_CONFIG_DIR (see above). Call before the first read.
void UseSystemConfigDirFromEnvironment();

}  // namespace imp
