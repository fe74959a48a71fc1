#include "app/batch_options.h"

#include <cstring>
#include <string_view>

namespace imp {
namespace {

struct Option {
  const char* name;
  bool takes_value;
  // Whether the option was already given (repeating one is a mistake worth
  // stopping for: which of two settings files was meant?).
  bool (*given)(const BatchOptions&);
  void (*apply)(BatchOptions&, const std::string& value);
};

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
    {"--fecha", true, [](const BatchOptions& o) { return o.fecha.has_value(); },
     [](BatchOptions& o, const std::string& v) {
       o.fecha = ParseIsoDate(v);
       if (!o.fecha) {
         throw BatchUsageError("Fecha no válida en --fecha: '" + v + "' (se espera AAAA-MM-DD)");
       }
     }},
};

const Option* FindOption(std::string_view name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

}  // namespace

bool IsBatchInvocation(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--batch") == 0 || std::strcmp(argv[i], "--help") == 0) return true;
  }
  return false;
}

BatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help") {
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
    if (options_ended || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
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
  return options;
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

std::string BatchUsage() {
  return R"(Uso: importa-pedidos --batch [--settings ARCHIVO] [--fecha AAAA-MM-DD] PEDIDOS
       importa-pedidos --help
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
  --help                muestra esta ayuda

La base de datos es servidor + "/datos/" + compañía + "/norvela.fdb": una ruta
local abre el archivo sin servidor; "equipo:/carpeta" va al servidor Firebird
de ese equipo.

Los mensajes que la ventana mostraría en un cuadro salen por la salida de
errores, uno por línea, con las mismas palabras. Si la salida de errores es
una terminal, se dibuja allí una barra de progreso con el porcentaje y las
líneas por segundo. Al terminar, la salida estándar recibe un resumen: pedidos
grabados, pedidos descartados (prefijo, número y motivo), líneas grabadas,
líneas descartadas (número de línea del archivo y motivo), tiempo transcurrido
y líneas por segundo.

Números y fechas del archivo se leen con la configuración regional (LANG,
LC_ALL); sin ella (locale C) el separador decimal es "." y las fechas son
mes/día/año con "/".

Estado de salida:
  0  todos los pedidos y líneas quedaron grabados
  1  una falla terminó la importación (su texto va a la salida de errores);
     los pedidos grabados antes de ella quedan grabados
  2  uso incorrecto, configuración ilegible o sin conexión posible
  3  la importación terminó, pero algo no se importó (un pedido descartado o
     una línea descartada)
)";
}

}  // namespace imp
