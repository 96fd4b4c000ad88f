#include "doctor/logger_check.h"

#include <cstdio>

#include "automation/variant.h"
#include "shared/debug_logger.h"
#include "shared/registry_api.h"

namespace zandrel::doctor {

namespace {

constexpr std::int32_t kAddinLogId = shared::REZIRUZ_LOGID;  // the add-in's own lines
// The levels of the lines the add-in writes; CRITICAL, INFO and TIMING are
// in the mask's table but no line of the add-in has them.
constexpr std::uint32_t kAddinLevels = (1u << shared::ERROR_LOGLEVEL) | (1u << shared::WARNING_LOGLEVEL) |
                                       (1u << shared::TRACE_LOGLEVEL) | (1u << shared::DEBUG_LOGLEVEL);

std::string Hex(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace

std::string DescribeMask(std::int32_t mask) {
  const auto bits = static_cast<std::uint32_t>(mask);
  std::string ids, levels;
  for (std::int32_t id = 1; id <= 14; ++id)
    if ((bits >> id) & 1u) ids += (ids.empty() ? "" : " ") + shared::LogIdName(id);
  for (std::int32_t level = 0; level <= 6; ++level)
    if ((bits >> (24 + level)) & 1u) levels += (levels.empty() ? "" : " ") + shared::LogLevelName(level);
  return "ids " + (ids.empty() ? std::string("(none)") : ids) + "; levels " +
         (levels.empty() ? std::string("(none)") : levels);
}

void CheckLogger(Report& report, platform::Registry& registry, const RegistryView& view, const AppendProbe& probe) {
  const std::string where = std::string("HKLM\\") + shared::kSettingsKey + " (" + view.name + ", read by " +
                            view.readers + ")";
  const Level problem = view.primary ? Level::Fail : Level::Warn;
  ViewRegistry viewed(registry, view.flag);

  platform::Registry::Key key = 0;
  if (viewed.OpenKey(platform::Registry::kLocalMachine, shared::kSettingsKey, 0, shared::kRegistryReadAccess, &key) !=
      0) {
    report.Add(Level::Ok, "logger", where, "no settings: nothing is logged (the default)");
    return;
  }
  viewed.CloseKey(key);

  const shared::LoggerSettings settings = shared::ReadLoggerSettings(viewed);
  std::string debugText;  // Debug as text, when it is text that is no number
  const automation::Variant debug =
      shared::GetRegValue(viewed, platform::Registry::kLocalMachine, shared::kSettingsKey, "Debug");
  if (debug.IsString() && !automation::ToLong(debug)) debugText = debug.AsString();
  const char* source = settings.fileOrigin == shared::LogFileOrigin::DebugOutputFile ? "from DebugOutputFile"
                       : settings.fileOrigin == shared::LogFileOrigin::InstallDir
                           ? "from InstallDir, DebugOutputFile being empty"
                           : "the default, DebugOutputFile and InstallDir being empty";

  const std::int32_t mask = settings.mask;
  const std::string described = "Debug=" + Hex(mask) + ": " + DescribeMask(mask);
  const bool addinLines = (static_cast<std::uint32_t>(mask) >> kAddinLogId) & 1u;
  const std::uint32_t levels = (static_cast<std::uint32_t>(mask) >> 24) & 0x7Fu;
  const std::string fixMask = "set Debug (REG_DWORD) under " + where.substr(0, where.find(" (")) +
                              " in the " + view.name + ", for example 0x7F004000: every level of the add-in's lines (" +
                              shared::LogIdName(kAddinLogId) + ")";
  if (!debugText.empty()) {
    report.Add(problem, "logger", where, "Debug is \"" + debugText + "\", which is no number: nothing is logged", fixMask);
  } else if (mask == 0) {
    // The state of a machine that was never asked to log: not a fault.
    report.Add(Level::Ok, "logger", where, "Debug is 0 or missing: nothing is logged (the default)",
               "to log, " + fixMask);
  } else if (!addinLines || levels == 0) {
    report.Add(problem, "logger", where, described + ": none of the add-in's lines is switched on", fixMask);
  } else if ((levels & kAddinLevels) == 0) {
    report.Add(Level::Warn, "logger", where,
               described + ": the add-in writes no line of these levels (its lines are ERROR, WARNING, TRACE and "
                           "DEBUG): nothing will be logged",
               fixMask);
  } else {
    report.Add(Level::Ok, "logger", where, described);
  }

  const std::string file = "log file " + settings.file + " (" + source + ")";
  if (mask == 0) {
    report.Add(Level::Ok, "logger", file, "not used while the mask is 0");
    return;
  }
  const std::string why = probe ? probe(settings.file) : std::string();
  if (why.empty()) {
    report.Add(Level::Ok, "logger", file, "can be appended to" + std::string(settings.suppressTimeStamps == "true"
                                                                                 ? "; lines without time stamps"
                                                                                 : ""));
  } else {
    report.Add(problem, "logger", file, "cannot be opened for appending: " + why + "; every line is lost in silence",
               "set DebugOutputFile (REG_SZ) to a file in a folder that exists and that the IDE's user may write");
  }
}

}  // namespace zandrel::doctor
