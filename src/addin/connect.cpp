// The add-in object's life: creation, the IDE's notifications, disconnection
// and destruction.
//
// Members of Connect: constructor, Alive, FinalConstruct, FinalRelease,
//   TerminateSteps, OnConnection, OnDisconnection, OnAddInsUpdate,
//   OnStartupComplete, OnBeginShutdown, DoDisconnect, Description,
//   ExecuteExtendedCommand (carried out by commands/), Holding.

#include "addin/connect.h"

#include <atomic>

#include "events/event_subscription.h"
#include "events/timer_frm.h"
#include "platform/platform.h"
#include "shared/envdte.h"

namespace zandrel::addin {

using automation::ResumeNext;

namespace {
std::atomic<int> g_alive{0};
}  // namespace

Connect::Connect(automation::Object& me, OutsideComponents* outside)
    : m_events(me, [this](const std::string& name, const Variant& Event) { return HandleEvent(name, Event); }),
      me_(me),
      outside_(outside) {
  ++g_alive;
}

Connect::~Connect() { --g_alive; }

int Connect::Alive() { return g_alive; }

void Connect::FinalConstruct() {
  Log("FinalConstruct zandrel " + LogAddress(me_.Identity()));
  mDTE = nullptr;
  m_IntgMgr = nullptr;
  m_RegMgr = nullptr;
  m_IntgMgrApp = nullptr;
  m_blnRTEServer = m_blnNewWorkspace = false;
  m_lMSDEVPid = m_lMSDEVMainWnd = 0;
  m_lCurrentBuildErrors = m_lCurrentBuildWarnings = 0;
  m_strActiveProject = "";
  mSolutionEvents.reset();
  mCommandEvents.reset();
  m_events.Open();
}

Status Connect::TerminateSteps() {
  // Releasing references cannot fail here, so the error path is only a guard
  // for what a step might raise in the future.
  m_events.StopTimer();
  mSolutionEvents.reset();
  mCommandEvents.reset();
  m_IntgMgr = nullptr;
  m_RegMgr = nullptr;
  m_IntgMgrApp = nullptr;
  m_events.Close();
  mDTE = nullptr;
  return Status::Ok();
}

void Connect::FinalRelease() {
  Log("BEGIN zandrel.Terminate");
  if (Status s = TerminateSteps(); !s) Log("zandrel.Terminate: " + s.error().description, ERROR_LOGLEVEL);
  Log("    FinalRelease zandrel " + LogAddress(me_.Identity()) + " PID=" + std::to_string(m_lMSDEVPid));
}

void Connect::OnConnection(const Ref<automation::Object>& Application, std::int32_t ConnectMode,
                           const Ref<automation::Object>& /*AddInInst*/, const VariantArray& /*custom*/) {
  auto steps = [&]() -> Status {
    // The application must be the IDE's root (its _DTE); nothing provides no
    // interface at all.
    if (!Application) return automation::errors::ObjectNotSet();
    auto dte = Application->As(envdte::kDTE);
    if (!dte) return dte.error();
    mDTE = *dte;
    Log("  ENTER IDTExtensibility2_OnConnection: ConnectMode=" + std::to_string(ConnectMode));
    m_lMSDEVPid = platform::Services().process->CurrentProcessId();
    DoInitialize(Variant("OnConnection"));
    return Status::Ok();
  };
  if (Status s = steps(); !s) {
    Log("IDTExtensibility2.OnConnection:\r\n Error " + std::to_string(s.error().number) + " " + s.error().description,
        ERROR_LOGLEVEL);
  }
}

void Connect::OnDisconnection(std::int32_t /*RemoveMode*/, const VariantArray& /*custom*/) {
  Log("  ENTER IDTExtensibility2_OnDisconnection");
  DoDisconnect(Variant(""));
}

void Connect::OnBeginShutdown(const VariantArray& /*custom*/) {
  Log("  ENTER IDTExtensibility2_OnBeginShutdown");
  DoDisconnect(Variant(""));
}

void Connect::OnAddInsUpdate(const VariantArray& /*custom*/) { Log("BEGIN IDTExtensibility2_OnAddInsUpdate"); }

void Connect::OnStartupComplete(const VariantArray& /*custom*/) { Log("BEGIN IDTExtensibility2_OnStartupComplete"); }

void Connect::DoDisconnect(const Variant& /*unused*/) {
  ResumeNext err;
  ++disconnections_;
  Log("  BEGIN DoDisconnect");
  m_events.Interrupt();
  err.Do(m_events.ReleaseTimer());
  if (m_RegMgr) {
    std::int16_t kind = registration::im_AppObject_MSVC;
    err.Do(Held(m_RegMgr)->UnRegisterApp(m_IntgMgrApp, kind));  // may leave another reference in m_IntgMgrApp
    Ref<automation::Object> appObject;
    if (m_IntgMgrApp) err.Assign(appObject, Held(m_IntgMgrApp)->AppObject());
    else err.Record(automation::errors::ObjectNotSet());
    // The owner's default member takes nothing by reference; the add-in itself
    // has no default member, so this fails for it and is ignored.
    err.Do(automation::PutPropertyRef(appObject, "", Variant(Ref<automation::Object>())));
  }
  mCommandEvents.reset();
  mSolutionEvents.reset();
  m_IntgMgr = nullptr;
  m_RegMgr = nullptr;
  m_IntgMgrApp = nullptr;
  mDTE = nullptr;
  Log("  END DoDisconnect\r\n");
}

std::string Connect::Description() { return kDescription; }

void Connect::ExecuteExtendedCommand(const std::string& pstrCommand, const VariantArray& pvarArgList) {
  commands::ExecuteExtendedCommand(pstrCommand, pvarArgList, *this);
}

Connect::Holdings Connect::Holding() const {
  return {m_events.IsOpen(), static_cast<bool>(m_IntgMgr), static_cast<bool>(m_RegMgr),
          static_cast<bool>(m_IntgMgrApp), static_cast<bool>(mDTE), m_events.Interrupted(),
          mCommandEvents != nullptr, m_varPendingEvent};
}

}  // namespace zandrel::addin
