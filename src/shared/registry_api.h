#pragma once
// Module shared_registryapi2: reads single registry values and hands them back
// as text (REG_SZ), as a 32-bit integer (REG_DWORD) or as Empty. It only
// reads; nothing in the add-in ever writes the registry.

#include <string>

#include "automation/variant.h"
#include "platform/platform.h"

namespace zandrel::shared {

// Access mask of every open: KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | READ_CONTROL.
inline constexpr std::uint32_t kRegistryReadAccess = 0x20009;

// Opens keyPath under hive, reads one value and closes the key again. Never
// fails: any failure gives Empty. Without a registry, the process's.
automation::Variant GetRegValue(platform::Registry& registry, platform::Registry::Key hive,
                                const std::string& keyPath, const std::string& valueName);
automation::Variant GetRegValue(platform::Registry::Key hive, const std::string& keyPath,
                                const std::string& valueName);

// Reads one value of a key that is already open. Used by GetRegValue.
automation::Variant QueryRegValue(platform::Registry& registry, platform::Registry::Key key,
                                  const std::string& valueName);
automation::Variant QueryRegValue(platform::Registry::Key key, const std::string& valueName);

}  // namespace zandrel::shared
