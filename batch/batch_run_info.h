#pragma once
// What names an unattended run in its summary and its report, so that runs
// appended to one log by a scheduler can be told apart: the order file, the
// company's database (never the password), the user, when it started and
// ended, and the signal that interrupted it, if one did.

#include <chrono>
#include <string>

namespace imp {

struct BatchRunInfo {
  std::string file;      // the order file as named on the command line
  std::string company;   // the company code of the settings file
  std::string database;  // its database string, without any password
  std::string user;
  std::string started;   // ISO 8601 with the time zone
  std::string ended;     // likewise; empty while the run goes on
  int signal = 0;        // the signal that interrupted the run; 0: none
};

// `when` in local time as ISO 8601 with the offset of the time zone, to the
// second: "2026-12-09T17:40:01-05:00".
std::string IsoTime(std::chrono::system_clock::time_point when);

// "SIGINT", "SIGTERM", "SIGHUP"; "señal N" for any other.
std::string SignalName(int signal);

// `database` with every occurrence of `password` (when not empty) replaced
// by "***": a database string never carries the password, but one typed by
// hand might.
std::string WithoutPassword(std::string database, const std::string& password);

}  // namespace imp
