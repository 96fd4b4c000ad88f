// The identity members: Ping, DTE, Name, MSDEVPid, MSDEVMainWnd; and the
// status properties.
//
// Members of Connect: Ping, DTE, Name, MSDEVPid, MSDEVMainWnd, IdeDescription,
//   ReadIdeDescription, RTEServer, NewWorkspace, CurrentBuildErrors,
//   CurrentBuildWarnings.

#include "addin/connect.h"
#include "automation/text.h"
#include "platform/platform.h"

namespace zandrel::addin {

void Connect::Ping() {
  platform::Services().messageBoxes->Show("qmcIDEAddin zandrel.Ping", kLibraryName, platform::MessageBoxes::kOk);
}

Ref<automation::Object> Connect::DTE() {
  Log("Get MSDevApp:  Entering...");
  Ref<automation::Object> dte = mDTE;
  Log("Get DTE:  Successful Exiting...");
  return dte;
}

// "<" name " " version " PID=" pid [" HWND=" hex] ">", from the IDE's Name and
// Version; fails when either cannot be read.
Result<std::string> Connect::IdeDescription(bool withWindow) {
  auto name = automation::GetProperty(mDTE, "Name");
  if (!name) return name.error();
  auto nameText = automation::ToText(*name);
  if (!nameText) return nameText.error();
  auto version = automation::GetProperty(mDTE, "Version");
  if (!version) return version.error();
  auto versionText = automation::ToText(*version);
  if (!versionText) return versionText.error();
  std::string description = "<" + *nameText + " " + *versionText + " PID=" + std::to_string(m_lMSDEVPid);
  if (withWindow) description += " HWND=" + automation::HexText(m_lMSDEVMainWnd);
  return description + ">";
}

// The same reads and conversions, in the same order, without the text: a
// conversion is made only where it can fail (or call the value's default
// member); text converts to text as it is.
Status Connect::ReadIdeDescription() {
  auto name = automation::GetProperty(mDTE, "Name");
  if (!name) return name.error();
  if (!name->IsString()) {
    if (auto converted = automation::ToText(*name); !converted) return converted.error();
  }
  auto version = automation::GetProperty(mDTE, "Version");
  if (!version) return version.error();
  if (!version->IsString()) {
    if (auto converted = automation::ToText(*version); !converted) return converted.error();
  }
  return Status::Ok();
}

std::string Connect::Name() {
  std::string result;
  if (!mDTE) {
    result = "<zandrel - No Application>";
  } else {
    auto description = IdeDescription(false);
    result = description ? *description : "<zandrel - Unresponsive Application>";
  }
  Log("Get Name=" + result);
  return result;
}

std::int32_t Connect::MSDEVPid() {
  // The owner test of every document calls this twice: when the line is not
  // written, its text is not built (the IDE is read all the same).
  if (!shared::IsLogEnabled(shared::REZIRUZ_LOGID, TRACE_LOGLEVEL)) {
    (void)ReadIdeDescription();
    return m_lMSDEVPid;
  }
  auto description = IdeDescription(true);
  std::string text;
  if (description) text = *description;
  else text = mDTE ? "<TBD MSDEV Name mDTE is NOT NOTHING!>" : "<TBD MSDEV Name mDTE is NOTHING>";
  Log("qmcIDEAddIn Get MSDEVPid:  " + text);
  return m_lMSDEVPid;
}

Result<std::int32_t> Connect::MSDEVMainWnd() {
  auto description = IdeDescription(true);
  if (!description) return description.error();  // reaches the caller; nothing is logged
  Log("qmcIDEAddIn Get MSDEVMainWnd:  " + *description);
  return m_lMSDEVMainWnd;
}

bool Connect::RTEServer() { return m_blnRTEServer; }
void Connect::RTEServer(bool bNewValue) { m_blnRTEServer = bNewValue; }
bool Connect::NewWorkspace() { return m_blnNewWorkspace; }
std::int32_t Connect::CurrentBuildErrors() { return m_lCurrentBuildErrors; }
std::int32_t Connect::CurrentBuildWarnings() { return m_lCurrentBuildWarnings; }

}  // namespace zandrel::addin
