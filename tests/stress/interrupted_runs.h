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
  int points = 0;               // runs the signal interrupted
  int completed = 0;            // runs that ended on their own first
  int64_t orders_written = 0;   // orders written by the interrupted runs
  int64_t orders_rejected = 0;  // orders their rejects files held
};

// Makes `points` runs on files of `orders` orders, each sent `signal_number` once
// a random number of records is read (every fourth while it starts).
// Order numbers start at `first_number` (each run takes the next
// `orders` numbers, at most 2 * points + 2 runs); `expected` holds the
// orders of the company's earlier files and takes those of these. Failures
// are reported through GoogleTest.
InterruptionFigures InterruptedRuns(const StressCompany& company, ExpectedOrders& expected,
                                    int signal_number, int points, int orders, int first_number,
                                    uint64_t seed);

// The series of every signal over one company: SIGINT, SIGTERM, SIGHUP and
// SIGKILL in turn, `points` runs each on files of `orders` orders, their
// figures printed after `where` ("embedded", "TCP").
void InterruptionSeries(const StressCompany& company, const char* where, int points, int orders);

}  // namespace imp::testing
