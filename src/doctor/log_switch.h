#pragma once
// Switching the add-in's log on and off for a support case, without regedit:
// "Debug" (the mask) and "DebugOutputFile" (the file), written where the
// 32-bit IDE's add-in reads them. Nothing else of the key is ever touched:
// not "InstallDir", not "SuppressTimeStamps", not the key itself.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zandrel::doctor {

// The registry, as far as the switch writes it: values of the logger's
// settings key (created when missing). Each call gives 0 or the system's
// error code (5: access denied; 2: no such value).
class SettingsWriter {
 public:
  virtual ~SettingsWriter() = default;
  virtual std::int32_t SetDword(const std::string& name, std::uint32_t value) = 0;
  virtual std::int32_t SetString(const std::string& name, const std::string& value) = 0;
  virtual std::int32_t DeleteValue(const std::string& name) = 0;
  // Where the values go, as people read it: "HKLM\...\VisualStudio (32-bit view)".
  virtual std::string Where() const = 0;
};

inline constexpr std::uint32_t kSupportLogMask = 0x7F004000;  // every level of the add-in's lines

struct SwitchOutcome {
  int exitCode;         // 0 done, 1 the registry refused, 2 bad input (nothing written)
  std::string message;  // one or two lines for people
};

// "7F004000", "0x7f004000": the mask; anything else (no digits, more than 8,
// another character): none.
std::optional<std::uint32_t> ParseMask(std::string_view text);

// Writes the file, then the mask. The path must be absolute ("C:\..." or
// "\\server\share\..."): the IDE's working folder is not the user's.
SwitchOutcome LogOn(SettingsWriter& registry, const std::string& path, std::uint32_t mask);

// Removes exactly the two values; one already missing is not an error.
SwitchOutcome LogOff(SettingsWriter& registry);

}  // namespace zandrel::doctor
