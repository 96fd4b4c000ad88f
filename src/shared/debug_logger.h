#pragma once
// Module shared_DebugLogger: the add-in's only diagnostic channel.
//
// DebugLog appends one line to the log file when both the line's log id and
// its level are switched on in the debug mask. The configuration (mask, file,
// time stamps) is read from the registry once per process, on the first call.
// Every line opens, appends to and closes the file; a failed attempt is tried
// again after 100 ms, five attempts in all, and then the line is dropped. The
// logger never raises and never shows anything.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "shared/names.h"  // kSettingsKey: where the settings live, under HKEY_LOCAL_MACHINE

namespace zandrel::shared {

enum LogId : std::int32_t {
  UNKNOWN_LOGID = 0,
  CAT_LOGID = 1,
  CUT_LOGID = 2,
  MERGE_LOGID = 3,
  MAT_LOGID = 4,
  MUT_LOGID = 5,
  IM_LOGID = 6,
  ADDIN_LOGID = 7,
  APPSTART_LOGID = 8,
  MCHECK_LOGID = 9,
  SGEN_LOGID = 10,
  CODEVIEW_LOGID = 11,
  IDE_LOGID = 12,
  RES_LOGID = 13,
  REZIRUZ_LOGID = 14,
};

enum LogLevel : std::int32_t {
  CRITICAL_LOGLEVEL = 0,
  ERROR_LOGLEVEL = 1,
  WARNING_LOGLEVEL = 2,
  INFO_LOGLEVEL = 3,
  TRACE_LOGLEVEL = 4,
  TIMING_LOGLEVEL = 5,
  DEBUG_LOGLEVEL = 6,
};

inline constexpr char kDefaultLogFile[] = "C:\\qmsdebuglog.txt";

void DebugLog(std::string_view message, std::int32_t logId, std::int32_t level);
bool IsLogEnabled(std::int32_t logId, std::int32_t level);
bool IsLevelEnabled(std::int32_t level);
std::string LogIdName(std::int32_t logId);
std::string LogLevelName(std::int32_t level);

// An object's address as log lines show it: a signed 32-bit decimal number, 0
// for none. The 64-bit build shows the address's low 32 bits, so that its
// lines have the form of the 32-bit add-in's (the one users run) and compare
// with them line by line.
inline std::string LogAddress(std::intptr_t address) {
  const auto low = static_cast<std::uint32_t>(static_cast<std::uintptr_t>(address));
  return std::to_string(static_cast<std::int32_t>(low));
}

// Where the log file's name came from: DebugOutputFile, else InstallDir, else
// the default file.
enum class LogFileOrigin { DebugOutputFile, InstallDir, Default };

// The settings as the logger takes them from one registry: the mask (0 when
// Debug is missing or no number), the file and its origin, the time-stamp
// switch in lower case. The logger reads them once per process; the doctor
// reads them in each registry view.
struct LoggerSettings {
  std::int32_t mask = 0;
  std::string file = kDefaultLogFile;
  LogFileOrigin fileOrigin = LogFileOrigin::Default;
  std::string suppressTimeStamps;
};
LoggerSettings ReadLoggerSettings(platform::Registry& registry);

// Fills the logger state from the process's registry. Run by the first
// IsLogEnabled.
void InitDebugLogger();

// The logger's process-wide state.
struct LoggerState {
  bool m_blnLogInitialized = false;
  std::int32_t m_lDebugMask = 0;
  std::string m_strDebugOutputFile;
  std::string m_strSuppressTimeStamps;
};
const LoggerState& CurrentLoggerState();

// Back to "not configured", so that a test can read a new configuration in
// the same process.
void ResetDebugLoggerForTesting();

}  // namespace zandrel::shared
