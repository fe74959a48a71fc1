#pragma once
// The texts an import run shows the operator: its status, the closing
// message of each way a run ends, and the lines a failure's text is
// completed with. Kept together so that every ending reads alike.

#include <string>

namespace imp {

inline constexpr char kImportingText[] = "Importando pedidos. Espere un momento...";
inline constexpr char kNoLocationText[] = "Debe indicar antes el archivo con los datos a importar.";
inline constexpr char kNotFoundText[] = "No se encontró el archivo a importar.";
inline constexpr char kCannotOpenText[] =
    "Error al abrir el archivo, asegúrece que el nombre sea correcto y que no esté abierto en "
    "otra aplicación en este momento.";
inline constexpr char kFinishedText[] = "Importación finalizada.";
inline constexpr char kOrderNotWrittenText[] = "Pedido %s %s no grabado: %s";
inline constexpr char kCutOffLineText[] =
    "Línea %s: la última línea está incompleta (sin fin de línea y con menos campos que la "
    "anterior).";
inline constexpr char kAlreadyWrittenText[] =
    "Pedidos de esta importación ya grabados (quedan grabados): %s.";
inline constexpr char kWrittenInDryRunText[] =
    "Pedidos de esta importación grabados en la simulación (se deshacen): %s.";
inline constexpr char kGroupNotCommittedText[] =
    "no se confirmó la transacción de su grupo de pedidos (--pedidos-por-transaccion): %s";
inline constexpr char kStoppedText[] =
    "Importación detenida a pedido del usuario: la línea %s y las siguientes no se leyeron.";

// The failure's text as the error display would end it, so that the lines
// added after it read as separate sentences.
std::string EndWithPeriod(std::string text);

// Why the reader could not open `path`, as a line to add to the message
// (the reader only says that it could not).
std::string CannotOpenCause(const std::string& path);

}  // namespace imp
