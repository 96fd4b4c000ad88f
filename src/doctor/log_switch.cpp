#include "doctor/log_switch.h"

#include <cctype>
#include <cstdio>
#include <tuple>
#include <vector>

#include "automation/text.h"
#include "doctor/logger_check.h"

namespace zandrel::doctor {

namespace {

constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kNotFound = 2;
constexpr std::uint32_t kTypeString = 1, kTypeExpandString = 2, kTypeDword = 4;

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

StoredValue StringValue(const std::string& utf8) {
  StoredValue value{kTypeString, {}};
  for (const char16_t unit : automation::Utf8ToUtf16(utf8) + u'\0') {
    value.bytes += static_cast<char>(unit & 0xFF);
    value.bytes += static_cast<char>(unit >> 8);
  }
  return value;
}

StoredValue DwordValue(std::uint32_t number) {
  StoredValue value{kTypeDword, {}};
  for (int shift = 0; shift < 32; shift += 8) value.bytes += static_cast<char>((number >> shift) & 0xFF);
  return value;
}

// UTF-16LE bytes up to the first NUL, as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::string& bytes) {
  std::vector<std::uint32_t> units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const std::uint32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (unit == 0) break;
    units.push_back(unit);
  }
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The first character of the path that the ANSI code page cannot spell (it
// does not come back from it as it went in), as "\"Д\" (U+0414)"; none when
// it spells them all.
std::optional<std::string> Unspellable(const std::string& path, platform::TextCodec& codec) {
  for (std::size_t at = 0; at < path.size();) {
    std::size_t next = at + 1;
    while (next < path.size() && (static_cast<unsigned char>(path[next]) & 0xC0) == 0x80) ++next;
    const std::string c = path.substr(at, next - at);
    at = next;
    if (codec.FromAnsi(codec.ToAnsi(c)) == c) continue;
    const std::u16string units = automation::Utf8ToUtf16(c);
    const std::uint32_t point = units.size() == 2 ? 0x10000 + ((units[0] - 0xD800u) << 10) + (units[1] - 0xDC00u)
                                                  : std::uint32_t{units.empty() ? 0u : units[0]};
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", point);
    return "\"" + c + "\" (" + code + ")";
  }
  return std::nullopt;
}

std::string Described(const std::optional<StoredValue>& value) { return value ? DescribeValue(*value) : "none"; }

// One setting as the doctor finds it: the value in the settings key, and its
// own record of what it wrote there and what it replaced.
struct Claim {
  std::string name;
  std::optional<StoredValue> current, written, before;
  bool Ours() const { return written && current == written; }
};

// What the switch changed, in order, so that a refusal can put it back.
class Changes {
 public:
  explicit Changes(SettingsWriter& registry) : registry_(registry) {}

  // Makes the value `value` (none: removes it) where it is `was` now.
  std::int32_t Set(Store store, const std::string& name, const std::optional<StoredValue>& value,
                   const std::optional<StoredValue>& was) {
    if (value == was) return 0;
    const std::int32_t error = Put(store, name, value);
    if (error == 0) done_.push_back({store, name, was});
    return error;
  }

  // Puts back every change, the last first; says how that went.
  std::string RollBack() {
    if (done_.empty()) return "Nothing was changed.";
    std::string failed;
    for (auto change = done_.rbegin(); change != done_.rend(); ++change) {
      if (const std::int32_t error = Put(change->store, change->name, change->was); error != 0) {
        failed += "\n  " + change->name + " under " + registry_.Where(change->store) + " should " +
                  (change->was ? "be " + DescribeValue(*change->was) : std::string("not be there")) + " (error " +
                  std::to_string(error) + ")";
      }
    }
    registry_.TidyDoctorKey();
    if (failed.empty()) return "What had been written before is put back: the settings are as they were.";
    return "What had been written before could not all be put back; set these by hand (regedit):" + failed;
  }

 private:
  // Writes the value, or removes it (none there already is no error).
  std::int32_t Put(Store store, const std::string& name, const std::optional<StoredValue>& value) {
    const std::int32_t error = value ? registry_.Write(store, name, *value) : registry_.Remove(store, name);
    return error == kNotFound && !value ? 0 : error;
  }

  struct Done {
    Store store;
    std::string name;
    std::optional<StoredValue> was;
  };
  SettingsWriter& registry_;
  std::vector<Done> done_;
};

// The registry's refusal, with what to do about it and what became of the
// changes made before it.
SwitchOutcome Refused(Changes& changes, const SettingsWriter& registry, const std::string& what, Store store,
                      std::int32_t error, bool writing = true) {
  std::string message = "zandrel-doctor: cannot " + what + " under " + registry.Where(store) + ": ";
  if (error == kAccessDenied) {
    message += writing ? "access denied. Writing HKLM needs an administrator: open a Command Prompt with "
                         "\"Run as administrator\" and run the same command there."
                       : "access denied.";
  } else {
    message += "error " + std::to_string(error) + ".";
  }
  return {1, message + "\n" + changes.RollBack()};
}

// None when the switch may write; else why it must not.
std::optional<SwitchOutcome> Virtualized(const SettingsWriter& registry) {
  if (!registry.Virtualized()) return std::nullopt;
  return SwitchOutcome{1, "zandrel-doctor: Windows runs this program with registry virtualization: what it wrote "
                          "under HKLM would go to your own VirtualStore, and the IDE would not see it. Nothing was "
                          "written. Open a Command Prompt with \"Run as administrator\" and run the same command there."};
}

// Reads the claim; none, or the refusal of a read.
std::optional<SwitchOutcome> ReadClaim(SettingsWriter& registry, Changes& changes, Claim& claim) {
  const std::tuple<Store, std::string, std::optional<StoredValue>*> reads[] = {
      {Store::Settings, claim.name, &claim.current},
      {Store::Doctor, claim.name + " written", &claim.written},
      {Store::Doctor, claim.name + " before", &claim.before}};
  for (const auto& [store, name, value] : reads) {
    if (const std::int32_t e = registry.Read(store, name, *value); e != 0)
      return Refused(changes, registry, "read \"" + name + "\"", store, e, false);
  }
  return std::nullopt;
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

std::string DescribeValue(const StoredValue& value) {
  if (value.type == kTypeDword && value.bytes.size() == 4) {
    const auto byte = [&](int i) { return std::uint32_t{static_cast<unsigned char>(value.bytes[i])} << 8 * i; };
    return "REG_DWORD " + Hex(byte(0) | byte(1) | byte(2) | byte(3));
  }
  static const char* const kNames[] = {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD"};
  const std::string type = value.type < std::size(kNames) ? kNames[value.type] : "type " + std::to_string(value.type);
  if (value.type == kTypeString || value.type == kTypeExpandString) return type + " \"" + Utf16ToUtf8(value.bytes) + "\"";
  return type + " (" + std::to_string(value.bytes.size()) + " bytes)";
}

SwitchOutcome LogOn(SettingsWriter& registry, const std::string& path, std::uint32_t mask, platform::TextCodec& ansi) {
  if (!IsAbsolute(path)) {
    return {2, "zandrel-doctor: the log file must be a full path, such as C:\\zandrel.log (\"" + path +
                   "\" is not): the IDE's working folder is not yours. Nothing was written."};
  }
  if (const auto c = Unspellable(path, ansi)) {
    return {2, "zandrel-doctor: the add-in reads the log file's path in this system's ANSI code page, which cannot "
                   "spell " + *c + " in \"" + path + "\": the add-in would log nowhere. Choose a path the code page spells, "
                   "such as one in ASCII (C:\\zandrel.log). Nothing was written."};
  }
  const bool addinLines = (mask >> 14) & 1u;
  if (!addinLines || ((mask >> 24) & 0x7Fu) == 0) {
    return {2, "zandrel-doctor: the mask " + Hex(mask) + " (" + DescribeMask(static_cast<std::int32_t>(mask)) +
                   ") switches on none of the add-in's lines; " + Hex(kSupportLogMask) +
                   " switches on all of them. Nothing was written."};
  }
  if (auto refused = Virtualized(registry)) return *refused;
  Changes changes(registry);
  std::string kept;
  // The file first: a mask without it would send the lines to the fallback.
  for (const auto& [name, value] : {std::pair{"DebugOutputFile", StringValue(path)}, {"Debug", DwordValue(mask)}}) {
    Claim claim{name, {}, {}, {}};
    if (auto refused = ReadClaim(registry, changes, claim)) return *refused;
    // Switched on again: what was there before the first time stays kept.
    // Otherwise the value there now is someone else's, even when the doctor
    // once wrote one there.
    const std::optional<StoredValue> before = claim.Ours() ? claim.before : claim.current;
    for (const auto& [record, now, was] : {std::tuple{claim.name + " before", before, claim.before},
                                           {claim.name + " written", std::optional(value), claim.written}}) {
      if (const std::int32_t e = changes.Set(Store::Doctor, record, now, was); e != 0)
        return Refused(changes, registry, (now ? "write \"" : "remove \"") + record + "\"", Store::Doctor, e);
    }
    if (const std::int32_t e = changes.Set(Store::Settings, claim.name, value, claim.current); e != 0)
      return Refused(changes, registry, "write " + claim.name, Store::Settings, e);
    if (before) kept += std::string(kept.empty() ? "" : ", ") + claim.name + " " + DescribeValue(*before);
  }
  std::string message = "zandrel-doctor: logging is on: Debug=" + Hex(mask) + ", DebugOutputFile=" + path +
                        " under " + registry.Where(Store::Settings) + ".\n";
  if (!kept.empty()) {
    message += "What was there before is kept under " + registry.Where(Store::Doctor) +
               ", and --log-off puts it back: " + kept + ".\n";
  }
  return {0, message + "The IDE reads them when it next starts: restart it, then reproduce the problem."};
}

SwitchOutcome LogOff(SettingsWriter& registry) {
  if (auto refused = Virtualized(registry)) return *refused;
  Changes changes(registry);
  std::string lines;
  // The mask first: without it nothing is written, wherever the file points.
  for (const char* name : {"Debug", "DebugOutputFile"}) {
    Claim claim{name, {}, {}, {}};
    if (auto refused = ReadClaim(registry, changes, claim)) return *refused;
    std::string line = "\n  " + claim.name + ": ";
    if (claim.Ours()) {
      if (const std::int32_t e = changes.Set(Store::Settings, claim.name, claim.before, claim.current); e != 0)
        return Refused(changes, registry, (claim.before ? "put back " : "remove ") + claim.name, Store::Settings, e);
      line += claim.before ? "put back to " + DescribeValue(*claim.before) + ", as it was before --log-on."
                           : "removed (there was none before --log-on).";
    } else if (claim.written) {
      line += "left as it is: it was changed since --log-on (it is " + Described(claim.current) + "; --log-on wrote " +
              DescribeValue(*claim.written) + "). Before --log-on it was " + Described(claim.before) + ".";
    } else {
      line += claim.current ? "left as it is (" + DescribeValue(*claim.current) + "): --log-on did not write it."
                            : "none there.";
    }
    lines += line;
    // The record goes with the value it was about.
    for (const auto& [record, was] :
         {std::pair{claim.name + " before", claim.before}, {claim.name + " written", claim.written}}) {
      if (const std::int32_t e = changes.Set(Store::Doctor, record, std::nullopt, was); e != 0)
        return Refused(changes, registry, "remove \"" + record + "\"", Store::Doctor, e);
    }
  }
  registry.TidyDoctorKey();
  return {0, "zandrel-doctor: logging switched back under " + registry.Where(Store::Settings) + ":" + lines +
                 "\nThe IDE reads the settings when it next starts."};
}

}  // namespace zandrel::doctor
