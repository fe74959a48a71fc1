#pragma once
// Runs of the real importer interrupted by a signal at random points of
// large imports, with their rejects file and report, and what each must
// leave: for SIGINT, SIGTERM and SIGHUP an exit status of 128 + the signal,
// every order of the file exactly once in the database or in the rejects
// file (never in both, never in neither), the report's written orders equal
// to the database's, a database that validates; and importing the rejects
// as they are (without --skip-existing) writes no order twice. For SIGKILL
// the report may lag, but never claims an order the database lacks, and
// importing the whole file again with --skip-existing completes it.

#include <cstdint>

#include "tests/stress/stress_bench.h"

namespace imp::testing {

struct InterruptionFigures {
  int puntos = 0;             // runs the signal interrupted
  int completas = 0;          // runs that ended on their own first
  int64_t pedidos_grabados = 0;   // orders written by the interrupted runs
  int64_t pedidos_rechazados = 0; // orders their rejects files held
};

// Makes `puntos` runs on files of `pedidos` orders, each sent `senal` once
// a random number of records is read (every fourth while it starts).
// Order numbers start at `primer_numero` (each run takes the next
// `pedidos` numbers, at most 2 * puntos + 2 runs); `esperados` holds the
// orders of the company's earlier files and takes those of these. Failures
// are reported through GoogleTest.
InterruptionFigures InterruptedRuns(const StressCompany& compania, ExpectedOrders& esperados,
                                    int senal, int puntos, int pedidos, int primer_numero,
                                    uint64_t semilla);

// The series of every signal over one company: SIGINT, SIGTERM, SIGHUP and
// SIGKILL in turn, `puntos` runs each on files of `pedidos` orders, their
// figures printed after `donde` ("embedded", "TCP").
void InterruptionSeries(const StressCompany& compania, const char* donde, int puntos,
                        int pedidos);

}  // namespace imp::testing
