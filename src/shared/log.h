#pragma once
// The add-in's log call: every line of the add-in is written under its own log
// id; the level is given with each line.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "automation/ref.h"
#include "shared/debug_logger.h"

namespace zandrel::shared {

// The add-in's library name, the title of its message boxes.
inline constexpr char kLibraryName[] = "zandrel";

inline void Log(std::string_view message, std::int32_t level = TRACE_LOGLEVEL) {
  DebugLog(message, REZIRUZ_LOGID, level);
}

// A line whose text is formatting alone (building it calls nothing outside
// the add-in, so no one can tell whether it was built): the text is built
// only when the line is written.
template <class Text>
  requires std::is_invocable_r_v<std::string, Text&>
void LogWhenWritten(Text&& text, std::int32_t level = TRACE_LOGLEVEL, std::int32_t logId = REZIRUZ_LOGID) {
  if (IsLogEnabled(logId, level)) DebugLog(text(), logId, level);
}

// An object's address as log lines show it.
template <class T>
std::string AddressOf(const automation::Ref<T>& ref) {
  return LogAddress(ref.Address());
}

}  // namespace zandrel::shared
