#include "app/install_directory.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include "db/dialogs.h"
#include "values/failure.h"

namespace imp {

std::string diraplicacion(Dialogs& dialogs) {
  QSettings store(QSettings::NativeFormat, QSettings::SystemScope,
                  QStringLiteral("QRM"), QStringLiteral("Quintavalle"));
  // Only our own key counts, not an organisation-wide file beside it.
  store.setFallbacksEnabled(false);
  const QFileInfo file(store.fileName());
  if (!file.exists() || !file.isReadable() || store.status() != QSettings::NoError) {
    dialogs.ShowMessage(
        "No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\QRM\\Quintavalle\\Directorio");
    return {};
  }
  const QVariant value = store.value(QStringLiteral("Directorio"));
  if (!value.isValid()) return {};
  if (value.typeId() != QMetaType::QString) {
    throw Failure("Tipo de dato inválido para 'Directorio'");
  }
  const QByteArray bytes = QFile::encodeName(value.toString());
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

FileFormat StoredFileFormat() {
  QSettings store(QSettings::NativeFormat, QSettings::SystemScope,
                  QStringLiteral("QRM"), QStringLiteral("Quintavalle"));
  store.setFallbacksEnabled(false);
  FileFormat format;
  auto read = [&store](const char* key, auto parse, auto& into) {
    const QVariant value = store.value(QString::fromLatin1(key));
    if (!value.isValid()) return;
    // An unquoted comma makes the INI reader see a list: "," is two
    // empty items.
    const std::string text = (value.typeId() == QMetaType::QStringList
                                  ? value.toStringList().join(QLatin1Char(','))
                                  : value.toString())
                                 .toStdString();
    into = parse(text);
    if (!into) {
      throw Failure(std::string("Valor no válido para '") + key + "' en " +
                    store.fileName().toStdString() + ": '" + text + "'");
    }
  };
  read("SeparadorDecimal", ParseDecimalSeparator, format.decimal_separator);
  read("OrdenFecha", ParseDateOrder, format.short_date_format);
  read("SeparadorFecha", ParseDateSeparator, format.date_separator);
  read("Codificacion", ParseTextEncoding, format.encoding);
  return format;
}

void UseSystemConfigDirFromEnvironment() {
  const QByteArray dir = qgetenv("IMPORTA_SYSTEM_CONFIG_DIR");
  if (!dir.isEmpty()) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, QFile::decodeName(dir));
  }
}

}  // namespace imp
