#include "doctor/log_switch.h"

#include <cctype>
#include <cstdio>

#include "doctor/logger_check.h"

namespace zandrel::doctor {

namespace {

constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kNotFound = 2;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

bool IsAbsolute(const std::string& path) {
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 5 && path.starts_with("\\\\") && path.find('\\', 2) != std::string::npos &&
                   path.find('\\', 2) > 2;
  return drive || unc;
}

// The registry's refusal, with what to do about it.
SwitchOutcome Refused(const SettingsWriter& registry, const std::string& what, std::int32_t error) {
  std::string message = "zandrel-doctor: cannot " + what + " under " + registry.Where() + ": ";
  if (error == kAccessDenied) {
    message += "access denied. Writing HKLM needs an administrator: open a Command Prompt with "
               "\"Run as administrator\" and run the same command there.";
  } else {
    message += "error " + std::to_string(error) + ".";
  }
  return {1, message};
}

}  // namespace

std::optional<std::uint32_t> ParseMask(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

SwitchOutcome LogOn(SettingsWriter& registry, const std::string& path, std::uint32_t mask) {
  if (!IsAbsolute(path)) {
    return {2, "zandrel-doctor: the log file must be a full path, such as C:\\zandrel.log (\"" + path +
                   "\" is not): the IDE's working folder is not yours. Nothing was written."};
  }
  const bool addinLines = (mask >> 14) & 1u;
  if (!addinLines || ((mask >> 24) & 0x7Fu) == 0) {
    return {2, "zandrel-doctor: the mask " + Hex(mask) + " (" + DescribeMask(static_cast<std::int32_t>(mask)) +
                   ") switches on none of the add-in's lines; " + Hex(kSupportLogMask) +
                   " switches on all of them. Nothing was written."};
  }
  // The file first: a mask without it would send the lines to the fallback.
  if (const std::int32_t e = registry.SetString("DebugOutputFile", path); e != 0)
    return Refused(registry, "write DebugOutputFile", e);
  if (const std::int32_t e = registry.SetDword("Debug", mask); e != 0) return Refused(registry, "write Debug", e);
  return {0, "zandrel-doctor: logging is on: Debug=" + Hex(mask) + ", DebugOutputFile=" + path + " under " +
                 registry.Where() + ".\nThe IDE reads them when it next starts: restart it, then reproduce the problem."};
}

SwitchOutcome LogOff(SettingsWriter& registry) {
  // The mask first: without it nothing is written, wherever the file points.
  for (const char* name : {"Debug", "DebugOutputFile"}) {
    const std::int32_t e = registry.DeleteValue(name);
    if (e != 0 && e != kNotFound) return Refused(registry, std::string("remove ") + name, e);
  }
  return {0, "zandrel-doctor: logging is off: Debug and DebugOutputFile removed from " + registry.Where() +
                 ".\nThe IDE stops logging when it next starts."};
}

}  // namespace zandrel::doctor
