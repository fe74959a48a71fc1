#include "batch/batch_options.h"

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>

namespace imp {
namespace {

bool SameFile(const std::string& a, const std::string& b);
bool AllDigits(std::string_view text);

struct Option {
  const char* name;
  bool takes_value;
  // Whether the option was already given (repeating one is a mistake worth
  // stopping for: which of two settings files was meant?).
  bool (*given)(const BatchOptions&);
  void (*apply)(BatchOptions&, const std::string& value);
};

// Whole seconds, 1 to a day, for the waiting options.
int Seconds(const char* option, const std::string& v) {
  if (!AllDigits(v) || v.size() > 5 || std::stoi(v) < 1 || std::stoi(v) > 86400) {
    throw BatchUsageError(std::string("Valor no válido en ") + option + ": '" + v +
                          "' (se esperan segundos, de 1 a 86400)");
  }
  return std::stoi(v);
}

int OrdersPerTransaction(const std::string& v) {
  if (!AllDigits(v) || v.size() > 5 || std::stoi(v) < 1 || std::stoi(v) > 10000) {
    throw BatchUsageError("Valor no válido en --pedidos-por-transaccion: '" + v +
                          "' (se espera un número de pedidos, de 1 a 10000)");
  }
  return std::stoi(v);
}

// A format option's value as parsed, or the refusal that names what it takes.
template <typename T>
T Stated(const char* option, const std::string& v, const std::optional<T>& parsed,
         const char* expected) {
  if (!parsed) {
    throw BatchUsageError(std::string("Valor no válido en ") + option + ": '" + v +
                          "' (se espera " + expected + ")");
  }
  return *parsed;
}

// The "--help" text. Its first lines are the synopsis.
constexpr char kUsage[] = R"(Uso: importa-pedidos --batch [--settings ARCHIVO] [--fecha AAAA-MM-DD] [--dry-run]
                       [--rejects ARCHIVO] [--skip-existing] [--report ARCHIVO]
                       [--estable S] [--espera-bloqueo S] [--espera-conexion S]
                       [--separador-decimal C] [--orden-fecha dma|mda|amd]
                       [--separador-fecha C] [--codificacion CONJUNTO]
                       [--pedidos-por-transaccion N] PEDIDOS
       importa-pedidos -h | --help
       importa-pedidos --version
       importa-pedidos                (abre la ventana)

Importa sin ventana el archivo plano de pedidos PEDIDOS a la base de datos de
la compañía, con el mismo proceso que la tecla F2 de la ventana.

Opciones:
  --batch               importación desatendida (obligatoria en este modo)
  --settings ARCHIVO    archivo de configuración con servidor (línea 1),
                        usuario (2), clave (3) y compañía (4); por omisión
                        settings.conf del directorio de instalación
  --fecha AAAA-MM-DD    fecha de los pedidos que no traen la suya; por
                        omisión, la de hoy
  --dry-run             simulación: lee, valida, calcula y graba cada pedido
                        en una transacción que siempre se deshace; no toma
                        identificadores (el generador no se mueve) y la base
                        de datos queda como estaba. Mensajes, resumen y
                        estado de salida son los de una importación real,
                        marcados como simulación
  --rejects ARCHIVO     escribe en ARCHIVO, byte por byte y en el orden del
                        archivo de pedidos, cada línea que no se importó
                        (artículo no válido, pedido rechazado, pedido cortado
                        por una falla, líneas no leídas tras la falla), y en
                        ARCHIVO.log el número de línea y el motivo de cada
                        una; corregido ARCHIVO, se importa de nuevo
  --skip-existing       no graba un pedido cuyo tipo 34, prefijo y número ya
                        están en PEDIDOS; lo informa como ya importado
                        (estado 3). Úsela al importar de nuevo un archivo
                        tras una falla
  --report ARCHIVO      informe JSON para otra aplicación: cada pedido con
                        prefijo, número, identificador, líneas, IVA, total y
                        estado, los totales y el estado de salida; se
                        reescribe mientras la importación avanza
  --separador-decimal , | .
  --orden-fecha dma | mda | amd
  --separador-fecha / | - | .
                        el formato de números y fechas del archivo (día, mes,
                        año en el orden dado), en lugar del de la
                        configuración regional
  --codificacion WIN1252 | UTF8 | ISO8859_1 | NONE
                        la codificación de los textos del archivo (por
                        omisión WIN1252, la de la aplicación que lo escribe);
                        la conexión la usa, y el servidor convierte cada
                        texto al juego de caracteres de su columna. NONE:
                        los bytes pasan como están
  --estable SEGUNDOS    no importa (estado 2) un archivo modificado hace
                        menos de SEGUNDOS: puede estar escribiéndose todavía
  --espera-bloqueo SEGUNDOS
                        cuánto espera una transacción por filas que otra
                        tiene bloqueadas; pasado ese tiempo la importación
                        termina (estado 1). Por omisión espera sin límite
  --pedidos-por-transaccion N
                        confirma N pedidos en una transacción (por omisión
                        1: cada pedido se confirma solo). Cada pedido sigue
                        grabándose entero o nada, y cuenta como grabado (en
                        el resumen, el informe y los rechazos) solo cuando
                        su transacción se confirmó; si la confirmación falla,
                        todo el grupo va a los rechazos. Más rápido en
                        archivos grandes; a cambio, si el proceso muere o la
                        máquina se apaga, los pedidos del grupo sin confirmar
                        no quedan ni grabados ni en los rechazos: importe de
                        nuevo el archivo con --skip-existing
  --espera-conexion SEGUNDOS
                        cuánto se espera a que el servidor responda al
                        conectar (por omisión 30); pasado ese tiempo, estado 2
  -h, --help            muestra esta ayuda
  --version             muestra la versión del programa y la del cliente
                        Firebird

La base de datos es servidor + "/datos/" + compañía + "/norvela.fdb": una ruta
local abre el archivo sin servidor; "equipo:/carpeta" va al servidor Firebird
de ese equipo.

Los mensajes que la ventana mostraría en un cuadro salen por la salida de
errores, uno por línea, con las mismas palabras. Si la salida de errores es
una terminal, se dibuja allí una barra de progreso con el porcentaje y las
líneas por segundo. Al terminar, la salida estándar recibe un resumen: pedidos
grabados, pedidos descartados (prefijo, número y motivo), líneas grabadas,
líneas descartadas (número de línea del archivo y motivo), tiempo transcurrido
y líneas por segundo, con el archivo, la compañía, el usuario y las horas de
inicio y fin.

Números y fechas del archivo se leen con la configuración regional (LANG,
LC_ALL), salvo lo que fijen --separador-decimal, --orden-fecha y
--separador-fecha; sin ella (locale C) el separador decimal es "." y las
fechas son mes/día/año con "/".

Estado de salida:
  0  todos los pedidos y líneas quedaron grabados
  1  una falla terminó la importación (su texto va a la salida de errores);
     los pedidos grabados antes de ella quedan grabados
  2  uso incorrecto, configuración ilegible o sin conexión posible
  3  la importación terminó, pero algo no se importó (un pedido descartado,
     una línea descartada o un pedido ya importado que se omitió)
  130, 143, 129
     interrumpida por SIGINT (Ctrl-C), SIGTERM o SIGHUP: la importación se
     detuvo entre dos pedidos; las líneas no grabadas van a --rejects. Una
     segunda señal la termina de inmediato (ningún pedido queda a medias);
     luego importe de nuevo el archivo completo con --skip-existing
)";

// In the order of the synopsis (--help, the manual page, the README), which
// a test holds to this table.
const Option kOptions[] = {
    {"--batch", false, [](const BatchOptions& o) { return o.batch; },
     [](BatchOptions& o, const std::string&) { o.batch = true; }},
    {"--help", false, [](const BatchOptions& o) { return o.help; },
     [](BatchOptions& o, const std::string&) { o.help = true; }},
    {"--settings", true, [](const BatchOptions& o) { return !o.settings.empty(); },
     [](BatchOptions& o, const std::string& v) {
       if (v.empty()) throw BatchUsageError("--settings necesita el nombre de un archivo");
       o.settings = v;
     }},
    {"--fecha", true, [](const BatchOptions& o) { return o.date.has_value(); },
     [](BatchOptions& o, const std::string& v) {
       o.date = ParseIsoDate(v);
       if (!o.date) {
         throw BatchUsageError("Fecha no válida en --fecha: '" + v + "' (se espera AAAA-MM-DD)");
       }
     }},
    {"--dry-run", false, [](const BatchOptions& o) { return o.dry_run; },
     [](BatchOptions& o, const std::string&) { o.dry_run = true; }},
    {"--rejects", true, [](const BatchOptions& o) { return !o.rejects.empty(); },
     [](BatchOptions& o, const std::string& v) {
       if (v.empty()) throw BatchUsageError("--rejects necesita el nombre de un archivo");
       o.rejects = v;
     }},
    {"--skip-existing", false, [](const BatchOptions& o) { return o.skip_existing; },
     [](BatchOptions& o, const std::string&) { o.skip_existing = true; }},
    {"--report", true, [](const BatchOptions& o) { return !o.report.empty(); },
     [](BatchOptions& o, const std::string& v) {
       if (v.empty()) throw BatchUsageError("--report necesita el nombre de un archivo");
       o.report = v;
     }},
    {"--estable", true, [](const BatchOptions& o) { return o.stable_seconds.has_value(); },
     [](BatchOptions& o, const std::string& v) { o.stable_seconds = Seconds("--estable", v); }},
    {"--espera-bloqueo", true, [](const BatchOptions& o) { return o.lock_wait.has_value(); },
     [](BatchOptions& o, const std::string& v) { o.lock_wait = Seconds("--espera-bloqueo", v); }},
    {"--espera-conexion", true, [](const BatchOptions& o) { return o.connect_wait_given; },
     [](BatchOptions& o, const std::string& v) {
       o.connect_wait = Seconds("--espera-conexion", v);
       o.connect_wait_given = true;
     }},
    {"--separador-decimal", true,
     [](const BatchOptions& o) { return o.file_format.decimal_separator.has_value(); },
     [](BatchOptions& o, const std::string& v) {
       o.file_format.decimal_separator =
           Stated("--separador-decimal", v, ParseDecimalSeparator(v), ", o .");
     }},
    {"--orden-fecha", true,
     [](const BatchOptions& o) { return o.file_format.short_date_format.has_value(); },
     [](BatchOptions& o, const std::string& v) {
       o.file_format.short_date_format =
           Stated("--orden-fecha", v, ParseDateOrder(v), "dma, mda o amd");
     }},
    {"--separador-fecha", true,
     [](const BatchOptions& o) { return o.file_format.date_separator.has_value(); },
     [](BatchOptions& o, const std::string& v) {
       o.file_format.date_separator =
           Stated("--separador-fecha", v, ParseDateSeparator(v), "/, - o .");
     }},
    {"--codificacion", true,
     [](const BatchOptions& o) { return o.file_format.encoding.has_value(); },
     [](BatchOptions& o, const std::string& v) {
       o.file_format.encoding =
           Stated("--codificacion", v, ParseTextEncoding(v), "WIN1252, UTF8, ISO8859_1 o NONE");
     }},
    {"--pedidos-por-transaccion", true,
     [](const BatchOptions& o) { return o.orders_per_transaction_given; },
     [](BatchOptions& o, const std::string& v) {
       o.orders_per_transaction = OrdersPerTransaction(v);
       o.orders_per_transaction_given = true;
     }},
};

}  // namespace

// Two outputs on one file would overwrite each other, and writing either
// over the order file or the settings file (which holds the password)
// would destroy an input. An output is a new file put in place of the path,
// so a symbolic link or something that is not a regular file there is a
// mistake of the caller's: refused rather than replaced.
void CheckOutputFiles(const BatchOptions& o, const std::string& settings_path) {
  const std::string rejects_log = o.rejects.empty() ? std::string() : o.rejects + ".log";
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--rejects", &o.rejects}, {"--rejects (.log)", &rejects_log}, {"--report", &o.report}};
  for (size_t i = 0; i < std::size(outputs); ++i) {
    const std::string& a = *outputs[i].second;
    if (a.empty()) continue;
    if (SameFile(a, o.order_file)) {
      throw BatchUsageError(std::string(outputs[i].first) + " no puede escribir sobre el archivo de pedidos");
    }
    if (SameFile(a, settings_path)) {
      throw BatchUsageError(std::string(outputs[i].first) +
                            " no puede escribir sobre el archivo de configuración");
    }
    std::error_code error;
    const std::filesystem::file_status st = std::filesystem::symlink_status(a, error);
    if (std::filesystem::is_symlink(st)) {
      throw BatchUsageError(std::string(outputs[i].first) + " no puede escribir en " + a +
                            ": es un enlace simbólico");
    }
    if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
      throw BatchUsageError(std::string(outputs[i].first) + " no puede escribir en " + a +
                            ": no es un archivo regular");
    }
    for (size_t j = i + 1; j < std::size(outputs); ++j) {
      if (SameFile(a, *outputs[j].second)) {
        throw BatchUsageError(std::string(outputs[i].first) + " y " + outputs[j].first +
                              " no pueden escribir el mismo archivo");
      }
    }
  }
}

namespace {

const Option* FindOption(std::string_view name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// Whether two paths name one file: the same text, or the same existing file
// reached another way.
bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  auto normal = [](const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return std::filesystem::path(path).lexically_normal();
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : canonical;
  };
  if (normal(a) == normal(b)) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

}  // namespace

BatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      BatchOptions help;
      help.help = true;
      return help;
    }
  }

  BatchOptions options;
  std::vector<std::string> files;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // A lone "-" is a file name; "-v" is an option (unknown), so that a
    // mistyped option never becomes the order file.
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const Option* option = FindOption(name);
    if (option == nullptr) throw BatchUsageError("Opción desconocida: " + name);
    if (option->given(options)) throw BatchUsageError("La opción " + name + " se dio dos veces");
    std::string value;
    if (option->takes_value) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw BatchUsageError("Falta el valor de " + name);
      }
    } else if (equals != std::string::npos) {
      throw BatchUsageError("La opción " + name + " no lleva valor");
    }
    option->apply(options, value);
  }

  if (!options.batch) throw BatchUsageError("Falta --batch");
  if (files.empty()) throw BatchUsageError("Falta el archivo de pedidos");
  if (files.size() > 1) throw BatchUsageError("Sobra el argumento: " + files[1]);
  options.order_file = files[0];
  CheckOutputFiles(options, options.settings);
  return options;
}

std::vector<BatchOptionName> BatchOptionTable() {
  std::vector<BatchOptionName> table;
  for (const Option& option : kOptions) table.push_back({option.name, option.takes_value});
  return table;
}

std::optional<Date> ParseIsoDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const std::string_view t(text);
  if (!AllDigits(t.substr(0, 4)) || !AllDigits(t.substr(5, 2)) || !AllDigits(t.substr(8, 2))) {
    return std::nullopt;
  }
  return Date::FromYmd(std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)),
                       std::stoi(text.substr(8, 2)));
}

std::string BatchUsage() { return kUsage; }

}  // namespace imp
