#pragma once
// The logger's effective configuration in one registry view, read by the
// add-in's own logger code (not a copy of it): which lines the mask switches
// on, which file they go to and where that path came from, and whether the
// file can be appended to now.

#include <cstdint>
#include <functional>
#include <string>

#include "doctor/report.h"
#include "platform/platform.h"

namespace zandrel::doctor {

inline constexpr std::uint32_t kView64 = 0x0100;  // KEY_WOW64_64KEY
inline constexpr std::uint32_t kView32 = 0x0200;  // KEY_WOW64_32KEY

struct RegistryView {
  std::string name;     // "32-bit view"
  std::uint32_t flag;   // kView32 or kView64, added to every open's access
  std::string readers;  // who reads this view: "the x86 add-in, the one the IDE loads"
  bool primary;         // what the IDE's add-in reads: a problem here is a FAIL, elsewhere a WARN
};

// Whether a file can be appended to now, tried without leaving a trace:
// empty when it can, else the reason.
using AppendProbe = std::function<std::string(const std::string& path)>;

// The registry with a view flag added to the access of every open.
class ViewRegistry : public platform::Registry {
 public:
  ViewRegistry(platform::Registry& inner, std::uint32_t flag) : inner_(inner), flag_(flag) {}
  std::int32_t OpenKey(Key hive, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                       Key* opened) override {
    return inner_.OpenKey(hive, subKey, options, access | flag_, opened);
  }
  std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override {
    return inner_.QueryValue(key, valueName, type, data, size);
  }
  std::int32_t CloseKey(Key key) override { return inner_.CloseKey(key); }

 private:
  platform::Registry& inner_;
  std::uint32_t flag_;
};

// The log ids and levels a mask switches on: "ids DIRUDEVU; levels CRITICAL ERROR ...".
std::string DescribeMask(std::int32_t mask);

// Adds the findings about the logger's settings in one view. The process's
// platform services are used as they are, with the registry replaced by the
// view for the time of the reading; the logger's state is left unread.
void CheckLogger(Report& report, platform::Registry& registry, const RegistryView& view, const AppendProbe& probe);

}  // namespace zandrel::doctor
