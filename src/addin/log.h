#pragma once
// The add-in's log call: every line of the add-in is written under its own log
// id; the level is given with each line.

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/ref.h"
#include "shared/debug_logger.h"

namespace zandrel::addin {

using shared::CRITICAL_LOGLEVEL;
using shared::DEBUG_LOGLEVEL;
using shared::ERROR_LOGLEVEL;
using shared::INFO_LOGLEVEL;
using shared::TIMING_LOGLEVEL;
using shared::TRACE_LOGLEVEL;
using shared::WARNING_LOGLEVEL;

inline void Log(std::string_view message, std::int32_t level = TRACE_LOGLEVEL) {
  shared::DebugLog(message, shared::REZIRUZ_LOGID, level);
}

using shared::LogAddress;

// An object's address as log lines show it.
template <class T>
std::string AddressOf(const automation::Ref<T>& ref) {
  return LogAddress(ref.Address());
}

}  // namespace zandrel::addin
