#pragma once
// What an import run did, for whoever needs more than the window shows: the
// run reports each event to an observer as it happens (so an unattended run
// can write it out without holding it) and keeps the counts and the few
// details its closing message needs in a summary.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "import/lector_plano.h"
#include "values/currency.h"

namespace imp {

// An order written to the database.
struct PedidoGrabado {
  std::string prefijo;  // PREF_PRE as written
  std::string numero;   // PEDI_NUMERO as written
  std::string pedi_id;  // the identifier drawn for it
  int32_t lineas = 0;
  std::optional<Currency> iva;    // PEDI_IVAMONTO; none when no line had one
  std::optional<Currency> total;  // PEDI_TOTAL; likewise
  std::vector<TPosicionLinea> registros;  // the file lines it came from
};

// An order the database refused (or the file's own state made
// unwritable): nothing of it was written.
struct PedidoDescartado {
  std::string prefijo;
  std::string numero;
  std::string motivo;  // the database's failure text
  std::vector<TPosicionLinea> registros;  // the file lines it came from
  std::string pedi_id;  // the identifier drawn for it (given up)
  int32_t lineas = 0;
  std::optional<Currency> iva;
  std::optional<Currency> total;
  // Refused before the database saw it, for what the file holds (a last
  // line cut off), not by the database.
  bool por_el_archivo = false;
};

// An order not written because one with its document type, prefix and
// number was already in the database (runs that skip existing orders).
struct PedidoExistente {
  std::string prefijo;
  std::string numero;
  std::string pedi_id;  // the identifier of the order already written
  int32_t lineas = 0;   // lines this run read for it
  std::optional<Currency> iva;
  std::optional<Currency> total;
  std::vector<TPosicionLinea> registros;
};

// A record whose line was left out of its order (article not valid).
struct LineaDescartada {
  TPosicionLinea posicion;
  std::string motivo;
};

// Receives the events of a run; every method does nothing by default.
class ObservadorImportacion {
 public:
  virtual ~ObservadorImportacion() = default;
  virtual void AlGrabarPedido(const PedidoGrabado&) {}
  virtual void AlDescartarPedido(const PedidoDescartado&) {}
  virtual void AlDescartarLinea(const LineaDescartada&) {}
  virtual void AlOmitirPedido(const PedidoExistente&) {}
  // A failure ended the run: its text and the file lines of the order it
  // cut off (not written), the record that failed last.
  virtual void AlInterrumpirse(const std::string& /*falla*/,
                            const std::vector<TPosicionLinea>& /*registros*/) {}
  // The run was asked to stop and did, between two orders: every order
  // before `primera_sin_leer` was settled (written, refused or skipped);
  // that record and everything after it in the file was not read.
  virtual void AlDetenerse(const TPosicionLinea& /*primera_sin_leer*/) {}
};

// Counts and outcome of the last run.
struct ResumenImportacion {
  enum class Fin {
    kEnCurso,           // not ended (or never started)
    kCompleta,          // the whole file was read
    kSinUbicacion,      // no file location given
    kNoEncontrado,      // no file at the location
    kNoSePudoAbrir,     // the reader could not open the file
    kFalla,             // a failure ended the run part-way
    kDetenida,          // asked to stop, it stopped between two orders
  };

  Fin fin = Fin::kEnCurso;
  int64_t registros = 0;            // records delivered by the reader
  int64_t pedidos_grabados = 0;
  int64_t lineas_grabadas = 0;      // lines of the written orders
  int64_t lineas_descartadas = 0;
  int64_t pedidos_existentes = 0;   // skipped: already in the database
  int64_t lineas_omitidas = 0;      // empty lines, or with every field empty
  std::vector<PedidoDescartado> pedidos_descartados;
  std::string falla;                           // the failure's own text
  std::vector<TPosicionLinea> registros_interrumpidos;  // of the order cut off
  // kDetenida: the first record not read (numero 0 when the stop came
  // before the first record of a file that had none).
  TPosicionLinea primera_sin_leer;
};

}  // namespace imp
