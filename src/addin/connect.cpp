// The add-in object's life: creation, the IDE's notifications, disconnection
// and destruction.

#include "addin/connect.h"

#include <atomic>

#include "addin/envdte.h"
#include "addin/log.h"
#include "events/event_subscription.h"
#include "events/timer_frm.h"
#include "platform/platform.h"

namespace zandrel::addin {

using automation::ResumeNext;

namespace {
std::atomic<int> g_alive{0};
}  // namespace

Connect::Connect(OutsideComponents* outside) : outside_(outside) { ++g_alive; }

Connect::~Connect() { --g_alive; }

int Connect::Alive() { return g_alive; }

Ref<Connect> Connect::Create(OutsideComponents* outside) {
  Ref<Connect> connect(new Connect(outside));
  connect->FinalConstruct();
  return connect;
}

std::uint32_t Connect::Retain() { return ++count_; }

std::uint32_t Connect::Drop() {
  const std::uint32_t left = --count_;
  if (left == 0) {
    // References taken and dropped while the destruction steps run must not
    // bring the count to zero a second time.
    count_ = 1u << 30;
    FinalRelease();
    delete this;
  }
  return left;
}

void Connect::FinalConstruct() {
  Log("FinalConstruct zandrel " + LogAddress(Identity()));
  mDTE = nullptr;
  m_IntgMgr = nullptr;
  m_RegMgr = nullptr;
  m_IntgMgrApp = nullptr;
  m_blnQueueInterrupt = m_blnInXeqEvent = m_blnRTEServer = m_blnNewWorkspace = false;
  m_lMSDEVPid = m_lMSDEVMainWnd = m_lSavedInterval = m_lAddEventCount = 0;
  m_lCurrentBuildErrors = m_lCurrentBuildWarnings = 0;
  m_sngNextFire = 0;
  if (platform::Clock* clock = platform::Services().clock) m_sngStartTime = clock->TimeOfDay();
  m_strActiveProject = "";
  mSolutionEvents.reset();
  mCommandEvents.reset();
  m_colEventQueue = std::make_unique<automation::KeyedList<Variant>>();
}

Status Connect::TerminateSteps() {
  // Releasing references cannot fail here, so the error path is only a guard
  // for what a step might raise in the future.
  StopTimer();
  mSolutionEvents.reset();
  mCommandEvents.reset();
  m_IntgMgr = nullptr;
  m_RegMgr = nullptr;
  m_IntgMgrApp = nullptr;
  m_colEventQueue.reset();
  mDTE = nullptr;
  return Status::Ok();
}

void Connect::FinalRelease() {
  Log("BEGIN zandrel.Terminate");
  if (Status s = TerminateSteps(); !s) Log("zandrel.Terminate: " + s.error().description, ERROR_LOGLEVEL);
  Log("    FinalRelease zandrel " + LogAddress(Identity()) + " PID=" + std::to_string(m_lMSDEVPid));
}

void Connect::OnConnection(const Ref<automation::Object>& Application, std::int32_t ConnectMode,
                           const Ref<automation::Object>& /*AddInInst*/, VariantArray& /*custom*/) {
  auto steps = [&]() -> Status {
    // The application must be the IDE's root (its _DTE); nothing provides no
    // interface at all.
    if (!Application) return automation::errors::ObjectNotSet();
    auto dte = Application->As(envdte::kDTE);
    if (!dte) return dte.error();
    mDTE = *dte;
    Log("  ENTER IDTExtensibility2_OnConnection: ConnectMode=" + std::to_string(ConnectMode));
    m_lMSDEVPid = platform::Services().process->CurrentProcessId();
    Variant event("OnConnection");
    DoInitialize(event);
    return Status::Ok();
  };
  if (Status s = steps(); !s) {
    Log("IDTExtensibility2.OnConnection:\r\n Error " + std::to_string(s.error().number) + " " + s.error().description,
        ERROR_LOGLEVEL);
  }
}

void Connect::OnDisconnection(std::int32_t /*RemoveMode*/, VariantArray& /*custom*/) {
  Log("  ENTER IDTExtensibility2_OnDisconnection");
  Variant unused("");
  DoDisconnect(unused);
}

void Connect::OnBeginShutdown(VariantArray& /*custom*/) {
  Log("  ENTER IDTExtensibility2_OnBeginShutdown");
  Variant unused("");
  DoDisconnect(unused);
}

void Connect::OnAddInsUpdate(VariantArray& /*custom*/) { Log("BEGIN IDTExtensibility2_OnAddInsUpdate"); }

void Connect::OnStartupComplete(VariantArray& /*custom*/) { Log("BEGIN IDTExtensibility2_OnStartupComplete"); }

void Connect::DoDisconnect(Variant& /*unused*/) {
  ResumeNext err;
  ++disconnections_;
  Log("  BEGIN DoDisconnect");
  m_blnQueueInterrupt = true;
  err.Do(ReleaseTimer());
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

}  // namespace zandrel::addin
