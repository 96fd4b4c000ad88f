#include "shared/registry_api.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zandrel::shared {

using automation::Variant;
using platform::Registry;

Variant QueryRegValue(Registry& registry, Registry::Key key, const std::string& valueName) {
  const platform::ServiceSet& os = platform::Services();
  std::uint32_t type = 0;
  std::uint32_t size = 0;  // a read without a buffer only sets it
  if (registry.QueryValue(key, valueName, &type, nullptr, &size) != 0) return {};

  if (type == Registry::kTypeString) {
    std::vector<std::uint8_t> buffer(size, 0);
    if (registry.QueryValue(key, valueName, &type, buffer.data(), &size) != 0) return {};
    // A value written anew between the two reads may report a larger size
    // than the buffer holds (a read without a buffer succeeds): only what the
    // buffer holds is taken.
    const std::size_t held = std::min<std::size_t>(size, buffer.size());
    if (held < 2) return std::string();
    // The size counts the terminating zero: the text is what comes before it.
    std::string ansi(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(held - 1));
    return os.codec ? os.codec->FromAnsi(ansi) : ansi;
  }
  if (type == Registry::kTypeDword) {
    std::uint8_t bytes[4] = {};
    size = sizeof bytes;
    if (registry.QueryValue(key, valueName, &type, bytes, &size) != 0) return {};
    std::int32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  return {};
}

Variant QueryRegValue(Registry::Key key, const std::string& valueName) {
  Registry* registry = platform::Services().registry;
  return registry ? QueryRegValue(*registry, key, valueName) : Variant();
}

Variant GetRegValue(Registry& registry, Registry::Key hive, const std::string& keyPath,
                    const std::string& valueName) {
  Registry::Key key;  // set when the key opens, read only then
  if (registry.OpenKey(hive, keyPath, 0, kRegistryReadAccess, &key) != 0) return {};
  Variant value = QueryRegValue(registry, key, valueName);
  registry.CloseKey(key);
  return value;
}

Variant GetRegValue(Registry::Key hive, const std::string& keyPath, const std::string& valueName) {
  Registry* registry = platform::Services().registry;
  return registry ? GetRegValue(*registry, hive, keyPath, valueName) : Variant();
}

}  // namespace zandrel::shared
