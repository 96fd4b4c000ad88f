// The logger's configuration from any registry values (any type, any size,
// embedded NULs, non-ASCII text), then a line: the logger never raises, and
// it writes only where its settings point.

#include <cstdlib>

#include "fuzz_input.h"
#include "support/fakes.h"
#include "shared/debug_logger.h"
#include "shared/names.h"

using namespace zandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  platform::fake::FakeServices os;
  shared::ResetDebugLoggerForTesting();
  const std::string key = "HKEY_LOCAL_MACHINE\\" ZANDREL_SETTINGS_KEY;
  for (const char* name : {"Debug", "DebugOutputFile", "InstallDir", "SuppressTimeStamps"}) {
    const std::uint8_t present = in.Byte();
    if (present % 3 == 0) continue;
    const std::uint32_t type = present % 3 == 1 ? in.Byte() % 12 : in.Raw<std::uint32_t>();
    const std::string bytes = in.Text();
    os.registry.SetRaw(key, name, type, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }
  os.clock.decimalSeparator = in.Byte() % 2 ? "," : ".";
  const std::string message = in.Rest();
  shared::DebugLog(message, shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL);
  shared::DebugLog(message, in.Raw<std::int32_t>(), in.Raw<std::int32_t>());
  const auto& state = shared::CurrentLoggerState();
  if (!state.m_blnLogInitialized || state.m_strDebugOutputFile.empty()) std::abort();
  // Nothing is written anywhere but the configured file.
  for (const auto& [path, text] : os.files.files)
    if (path != state.m_strDebugOutputFile && !text.empty()) std::abort();
  shared::ResetDebugLoggerForTesting();
  return 0;
}
