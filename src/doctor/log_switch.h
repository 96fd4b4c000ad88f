#pragma once
// Switching the add-in's log on and off for a support case, without regedit:
// "Debug" (the mask) and "DebugOutputFile" (the file), written where the
// 32-bit IDE's add-in reads them. Nothing else of the settings key is ever
// touched: not "InstallDir", not "SuppressTimeStamps", not the key itself.
//
// The switch takes back only what it did. A value someone else wrote (an
// administrator, the modeling tool, the installer's support option) is kept,
// with its type, under the doctor's own key before --log-on replaces it, and
// put back by --log-off; --log-off removes a value only when the doctor
// wrote it there, and touches none that someone changed since. A refusal
// half way puts back what the switch had written by then.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "shared/names.h"

namespace zandrel::doctor {

// A registry value as it is stored: its type and its bytes (a string's are
// UTF-16LE with the terminator as it was written).
struct StoredValue {
  std::uint32_t type = 0;  // 1 REG_SZ, 2 REG_EXPAND_SZ, 3 REG_BINARY, 4 REG_DWORD, 7 REG_MULTI_SZ, 11 REG_QWORD
  std::string bytes;
  friend bool operator==(const StoredValue&, const StoredValue&) = default;
};

// The two keys the switch uses: the logger's settings, and the doctor's own
// key, where it keeps what it wrote and what it replaced.
enum class Store { Settings, Doctor };

// The registry, as far as the switch reads and writes it. Each call gives 0
// or the system's error code (5: access denied; 2: no such value). A key is
// created when a value is written to it.
class SettingsWriter {
 public:
  virtual ~SettingsWriter() = default;
  // 0 with the value, 0 with none when the value (or the key) is missing.
  virtual std::int32_t Read(Store store, const std::string& name, std::optional<StoredValue>& value) = 0;
  virtual std::int32_t Write(Store store, const std::string& name, const StoredValue& value) = 0;
  virtual std::int32_t Remove(Store store, const std::string& name) = 0;
  // Removes the doctor's key when it holds no value any more.
  virtual void TidyDoctorKey() = 0;
  // Whether Windows virtualizes this process's registry writes (an
  // unelevated 32-bit program without requestedExecutionLevel, or one
  // switched to it): they would go to the user's VirtualStore, which the IDE
  // of another user, or one run elevated, never reads.
  virtual bool Virtualized() const = 0;
  // Where the values go, as people read it: "HKLM\...\VisualStudio (32-bit view)".
  virtual std::string Where(Store store) const = 0;
};

using shared::kSupportLogMask;  // every level of the add-in's lines

// The doctor's own key (in the same view as the settings), beside the
// installer's marks under SOFTWARE\zandrel; its values are named
// "<setting> written" and "<setting> before".
inline constexpr char kDoctorKey[] = "SOFTWARE\\zandrel\\LogSwitch";

struct SwitchOutcome {
  int exitCode;         // 0 done, 1 the registry refused, 2 bad input (nothing written)
  std::string message;  // lines for people
};

// "7F004000", "0x7f004000": the mask; anything else (no digits, more than 8,
// another character): none.
std::optional<std::uint32_t> ParseMask(std::string_view text);

// Writes the file, then the mask, each after keeping the value it replaces
// (once: switching on again keeps the first). The path must be absolute
// ("C:\..." or "\\server\share\..."): the IDE's working folder is not the
// user's. The add-in reads it in the ANSI code page, so `ansi` (which must
// not put a look-alike in place of a character the code page lacks) must
// spell each of its characters, as it comes back from the code page.
SwitchOutcome LogOn(SettingsWriter& registry, const std::string& path, std::uint32_t mask, platform::TextCodec& ansi);

// For each of the mask and the file the doctor wrote and that is still as it
// wrote it: puts back what it replaced, or removes it when there was none.
SwitchOutcome LogOff(SettingsWriter& registry);

// "REG_DWORD 0x00000001", "REG_SZ \"C:\\old.log\"", "REG_BINARY (3 bytes)".
std::string DescribeValue(const StoredValue& value);

}  // namespace zandrel::doctor
