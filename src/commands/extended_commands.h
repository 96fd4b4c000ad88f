#pragma once
// The extended commands the integration manager sends the add-in by name:
// "openfile" (a file opened at a line and column) and "activate" (the IDE
// brought to the front).

#include <string>

#include "automation/object.h"

namespace zandrel::commands {

// What the commands need of the add-in.
class Host {
 public:
  // The IDE's root as the add-in holds it now: nothing once the add-in has
  // been disconnected, which any outgoing call may do.
  virtual const automation::Ref<automation::Object>& Ide() const = 0;
  // The same root read through the add-in's public DTE property, each read
  // logged as it is for the integration manager.
  virtual automation::Ref<automation::Object> DTE() = 0;

 protected:
  ~Host() = default;
};

// Carries the command out: an unknown command is logged; nothing fails to
// the caller.
void ExecuteExtendedCommand(const std::string& pstrCommand, const automation::VariantArray& pvarArgList, Host& host);

}  // namespace zandrel::commands
