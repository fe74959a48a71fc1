#include "batch/batch_run_info.h"

#include <csignal>
#include <cstdio>
#include <ctime>

namespace imp {

std::string IsoTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  // %z gives "-0500"; ISO 8601's extended form wants "-05:00".
  const long offset = local.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char zone[48];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                minutes % 60);
  return std::string(text) + zone;
}

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: break;
  }
  return "señal " + std::to_string(signal);
}

std::string WithoutPassword(std::string database, const std::string& password) {
  if (password.empty()) return database;
  for (size_t at = database.find(password); at != std::string::npos;
       at = database.find(password, at + 3)) {
    database.replace(at, password.size(), "***");
  }
  return database;
}

}  // namespace imp
