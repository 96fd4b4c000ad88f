#include "shared/debug_logger.h"

#include "automation/resume_next.h"
#include "automation/text.h"
#include "automation/variant.h"
#include "platform/platform.h"
#include "shared/registry_api.h"

namespace zandrel::shared {

using automation::ResumeNext;

namespace {

LoggerState g_state;

constexpr int kAttempts = 5;
constexpr std::uint32_t kRetryWaitMs = 100;

std::string Padded(std::string name) {
  if (name.size() < 8) name.resize(8, ' ');
  return name;
}

std::string TimeStamp(platform::Clock& clock) {
  if (g_state.m_strSuppressTimeStamps == "true") return std::string();
  const platform::Clock::LocalTime now = clock.ReadLocalTime();
  return now.generalDate + " (" + automation::FormatReal(now.secondsSinceMidnight, 7, clock.DecimalSeparator()) + ") ";
}

}  // namespace

std::string LogIdName(std::int32_t logId) {
  static constexpr const char* kNames[] = {"UNKNOWN", "CAT",      "CUT",  "MERGE",    "MAT",
                                           "MUT",     "IM",       "ADDIN", "APPSTART", "MCHECK",
                                           "SGEN",    "CODEVIEW", "IDE",  "RES",      "DIRUDEVU"};
  if (logId >= 0 && logId <= 14) return kNames[logId];
  return "LOGID" + std::to_string(logId);
}

std::string LogLevelName(std::int32_t level) {
  static constexpr const char* kNames[] = {"CRITICAL", "ERROR", "WARNING", "INFO", "TRACE", "TIMING", "DEBUG"};
  if (level >= 0 && level <= 6) return kNames[level];
  return "LEVEL" + std::to_string(level);
}

bool IsLevelEnabled(std::int32_t level) {
  const std::int32_t n = (level >= 0 && level <= 6) ? level : DEBUG_LOGLEVEL;
  return (static_cast<std::uint32_t>(g_state.m_lDebugMask) >> (24 + n)) & 1u;
}

bool IsLogEnabled(std::int32_t logId, std::int32_t level) {
  if (!g_state.m_blnLogInitialized) InitDebugLogger();
  const std::int32_t id = (logId >= 0 && logId <= 14) ? logId : 0;
  const bool idEnabled = (static_cast<std::uint32_t>(g_state.m_lDebugMask) >> id) & 1u;
  return idEnabled && id != 0 && IsLevelEnabled(level);
}

void DebugLog(std::string_view message, std::int32_t logId, std::int32_t level) {
  try {
    if (!IsLogEnabled(logId, level)) return;
    const platform::ServiceSet& os = platform::Services();
    if (!os.files || !os.clock || !os.process || !os.codec) return;
    const std::string idName = Padded(LogIdName(logId));
    const std::string levelName = Padded(LogLevelName(level));

    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
      bool failed = true;
      if (auto file = os.files->OpenForAppend(g_state.m_strDebugOutputFile)) {
        std::string line = TimeStamp(*os.clock);
        line += ' ';
        line += levelName;
        line += ' ';
        line += idName;
        line += "  ";
        line += message;
        line += "\r\n";
        const bool written = file->Write(os.codec->ToAnsi(line));
        const bool closed = file->Close();
        failed = !(written && closed);
      }
      if (!failed) return;
      os.process->Sleep(kRetryWaitMs);
    }
    // Five attempts failed: the line is dropped without a word.
  } catch (...) {
    // The logger never raises.
  }
}

LoggerSettings ReadLoggerSettings(platform::Registry& registry) {
  constexpr auto kHklm = platform::Registry::kLocalMachine;
  const auto value = [&](const char* name) { return GetRegValue(registry, kHklm, kSettingsKey, name); };
  LoggerSettings settings;
  ResumeNext err;
  err.Assign(settings.mask, automation::ToLong(value("Debug")));
  std::string file;
  err.Assign(file, automation::ToText(value("DebugOutputFile")));
  if (!file.empty()) {
    settings.fileOrigin = LogFileOrigin::DebugOutputFile;
  } else {
    err.Assign(file, automation::ToText(value("InstallDir")));
    if (!file.empty()) settings.fileOrigin = LogFileOrigin::InstallDir;
  }
  if (!file.empty()) settings.file = file;
  std::string suppress;
  if (err.Assign(suppress, automation::ToText(value("SuppressTimeStamps"))))
    settings.suppressTimeStamps = automation::LowerCase(suppress);
  return settings;
}

void InitDebugLogger() {
  g_state.m_blnLogInitialized = true;  // first, so that a failing read is never tried twice
  platform::Registry* registry = platform::Services().registry;
  const LoggerSettings settings = registry ? ReadLoggerSettings(*registry) : LoggerSettings{};
  g_state.m_lDebugMask = settings.mask;
  g_state.m_strDebugOutputFile = settings.file;
  g_state.m_strSuppressTimeStamps = settings.suppressTimeStamps;
}

const LoggerState& CurrentLoggerState() { return g_state; }

void ResetDebugLoggerForTesting() { g_state = LoggerState{}; }

}  // namespace zandrel::shared
