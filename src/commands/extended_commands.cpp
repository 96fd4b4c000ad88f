// The extended commands: "openfile" and "activate", as the integration
// manager sends them by name, carried out on the IDE through the add-in's
// host. Beside them: the main window brought forward where the IDE's root
// has no window properties of its own.

#include "commands/extended_commands.h"

#include <cstdint>

#include "automation/resume_next.h"
#include "automation/text.h"
#include "shared/envdte.h"
#include "shared/log.h"

namespace zandrel::commands {

using automation::Ref;
using automation::Result;
using automation::ResumeNext;
using automation::Variant;
using automation::VariantArray;
using shared::ERROR_LOGLEVEL;
using shared::Log;

namespace {
void DoOpenFile(const Ref<automation::Object>& ide, const std::string& path, std::int32_t line, std::int32_t column);
void DoActivate(Host& host);
}  // namespace

void ExecuteExtendedCommand(const std::string& pstrCommand, const VariantArray& pvarArgList, Host& host) {
  ResumeNext err;
  const std::int32_t lower = pvarArgList.lowerBound;
  const std::string word = automation::LowerCase(pstrCommand);  // nothing trimmed
  if (word == "activate") {
    DoActivate(host);
  } else if (word == "openfile") {
    // A missing or unconvertible element leaves "" or 0.
    std::string path;
    std::int32_t line = 0;
    std::int32_t column = 0;
    // The element at lower bound + k: an index past the Long range is an
    // Overflow, as the addition is, and that step fails.
    auto at = [&](std::int32_t k) -> Result<Variant> {
      const std::int64_t index = static_cast<std::int64_t>(lower) + k;
      if (index > INT32_MAX) return automation::errors::Overflow();
      return pvarArgList.At(static_cast<std::int32_t>(index));
    };
    Variant element;
    if (err.Assign(element, at(0))) err.Assign(path, automation::ToText(element));
    if (err.Assign(element, at(1))) err.Assign(line, automation::ToLong(element));
    if (err.Assign(element, at(2))) err.Assign(column, automation::ToLong(element));
    DoOpenFile(host.Ide(), path, line, column);
  } else {
    Log("UNKNOWN Extended Command\"" + pstrCommand + "\"", ERROR_LOGLEVEL);
  }
  err.Clear();  // nothing reaches the caller
}

namespace {

void DoOpenFile(const Ref<automation::Object>& ide, const std::string& path, std::int32_t line, std::int32_t column) {
  ResumeNext err;
  Log("    BEGIN DoOpenFile \"" + path + "\", " + std::to_string(line) + ", " + std::to_string(column));
  // A step that fails leaves the later ones without their objects, so they
  // fail too; nothing is reported.
  Ref<automation::Object> itemOperations;
  err.Assign(itemOperations, automation::GetObjectProperty(ide, "ItemOperations"));
  Ref<automation::Object> window;
  err.Assign(window, automation::ToObject(automation::CallMethod(itemOperations, "OpenFile", path,
                                                                 envdte::kViewKindPrimary)));
  Ref<automation::Object> windowObject;
  Ref<automation::Object> textWindow;
  if (err.Assign(windowObject, automation::GetObjectProperty(window, "Object")) && windowObject)
    err.Assign(textWindow, windowObject->As(envdte::kTextWindow));
  Ref<automation::Object> pane;
  err.Assign(pane, automation::GetObjectProperty(textWindow, "ActivePane"));
  Ref<automation::Object> startPoint;
  err.Assign(startPoint, automation::GetObjectProperty(pane, "StartPoint"));
  Ref<automation::Object> editPoint;
  err.Assign(editPoint, automation::ToObject(automation::CallMethod(startPoint, "CreateEditPoint")));
  err.Do(automation::CallMethod(editPoint, "MoveToLineAndOffset", line, column));
  err.Do(automation::CallMethod(pane, "TryToShow", Variant(editPoint), 0, std::int16_t{0}));
  Ref<automation::Object> document;
  err.Assign(document, automation::GetObjectProperty(window, "Document"));
  Ref<automation::Object> selectionObject;
  Ref<automation::Object> selection;
  if (err.Assign(selectionObject, automation::GetObjectProperty(document, "Selection")) && selectionObject)
    err.Assign(selection, selectionObject->As(envdte::kTextSelection));
  err.Do(automation::CallMethod(selection, "MoveToPoint", Variant(editPoint), false));
}

// An access that found no member of that name: the portable objects' error,
// or the one IDispatch's GetIDsOfNames answers (DISP_E_UNKNOWNNAME).
bool NoSuchMember(const automation::Error& error) {
  constexpr std::int32_t kUnknownName = static_cast<std::int32_t>(0x80020006);
  return error.number == automation::errors::kMemberNotFound || error.number == kUnknownName;
}

// The IDE's main window (EnvDTE _DTE.MainWindow, a Window) brought forward:
// restored when minimized (vsWindowStateMinimize 1 to vsWindowStateNormal 0),
// shown, activated. A maximized or normal window keeps its state. Every step
// runs even if an earlier one failed; nothing is logged. Each call may run a
// message loop in which the IDE disconnects the add-in: once `connected` says
// so, no further step touches the window.
template <class Connected>
void BringMainWindowForward(const Ref<automation::Object>& root, const Connected& connected) {
  constexpr std::int32_t kMinimized = 1;
  constexpr std::int32_t kNormal = 0;
  ResumeNext err;
  Ref<automation::Object> window;
  err.Assign(window, automation::GetObjectProperty(root, "MainWindow"));
  if (!connected()) return;
  Variant state;
  std::int32_t current = kNormal;
  const bool minimized = err.Assign(state, automation::GetProperty(window, "WindowState")) &&
                         err.Assign(current, automation::ToLong(state)) && current == kMinimized;
  if (!connected()) return;
  if (minimized) err.Do(automation::PutProperty(window, "WindowState", kNormal));
  if (!connected()) return;
  err.Do(automation::PutProperty(window, "Visible", true));
  if (!connected()) return;
  err.Do(automation::CallMethod(window, "Activate"));
}

void DoActivate(Host& host) {
  ResumeNext err;  // no error pending yet
  Log("    BEGIN DoActivate");
  // The real IDE's root has none of the three window properties by name (they
  // belong to its main window); a root that answers none of the five accesses
  // is such a root.
  int absent = 0;
  const auto noted = [&absent](auto outcome) {
    if (!outcome && NoSuchMember(outcome.error())) ++absent;
    return outcome;
  };
  std::int32_t saved = 0;
  Variant state;
  if (err.Assign(state, noted(automation::GetProperty(host.DTE(), "WindowState")))) err.Assign(saved, automation::ToLong(state));
  if (err.Number() != 0 || saved == 1) saved = 0;  // unreadable or minimized: normal
  err.Do(noted(automation::PutProperty(host.DTE(), "WindowState", std::int32_t{1})));
  err.Do(noted(automation::PutProperty(host.DTE(), "Active", true)));
  err.Do(noted(automation::PutProperty(host.DTE(), "Visible", true)));
  err.Do(noted(automation::PutProperty(host.DTE(), "WindowState", saved)));
  if (absent == 5) BringMainWindowForward(Held(host.Ide()), [&host] { return static_cast<bool>(host.Ide()); });
  Log("      END DoActivate()");
}

}  // namespace

}  // namespace zandrel::commands
