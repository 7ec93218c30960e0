// The engine error log: the latest display-engine failure and its "VK.LOG" entry.
#include <ctime>

#include "core/errors.h"
#include "core/run_state.h"
#include "display/display.h"

void LogEngineError(const std::string& message) {
  g_lastEngineError = message.substr(0, 255);
  if (!g_runtime.debugMode) return;
  std::time_t t = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char key[96];
  std::snprintf(key, sizeof key, "ENGINEERROR ON %d/%d/%d AT %d:%d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900,
                utc.tm_hour, utc.tm_min);
  WriteDebugLog(ProgramSideFile("VK.LOG"), "ERRORLOG", key, g_lastEngineError);
}
