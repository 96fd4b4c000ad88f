// Start-up: attaching to (or creating) the integration manager, registering
// with it, finding the main window and subscribing to the solution events.
//
// Members of Connect: DoInitialize.

#include "addin/connect.h"
#include "automation/text.h"
#include "events/event_subscription.h"

namespace zandrel::addin {

void Connect::DoInitialize(const Variant& /*lvarEvent*/) {
  Log("BEGIN DoInitialize");
  bool success = true;
  m_IntgMgr = nullptr;
  std::string step;

  // Attaching and creating never raise: a failure only leaves m_IntgMgr null,
  // and the last attempt's error is reported below.
  automation::Error lastAttempt;
  auto attempt = [&](auto&& obtain) {
    auto manager = outside_ ? obtain() : Result<Ref<registration::QmsIntegrationManager>>(
                                             automation::errors::ClassNotRegistered());
    if (manager) m_IntgMgr = *manager;
    else lastAttempt = manager.error();
    Log("  RETURN=" + AddressOf(m_IntgMgr), DEBUG_LOGLEVEL);
  };
  step = "Call GetObject(qmsIM.qmsIntegrationManager)";
  Log(step, DEBUG_LOGLEVEL);
  attempt([&] { return outside_->GetRunningManager(kIntegrationManagerProgId); });
  if (!m_IntgMgr) {
    step = "Call CreateObject(qmsIM.qmsIntegrationManager)";
    Log(step, DEBUG_LOGLEVEL);
    attempt([&] { return outside_->CreateManager(kIntegrationManagerProgId); });
  }

  // From here on an error raised by a call ends start-up.
  auto steps = [&]() -> Status {
    if (!m_IntgMgr) {
      Log("  DoInitialize:  Failed to init IntegrationManager\r\nErr " + std::to_string(lastAttempt.number) + " " +
              lastAttempt.description,
          ERROR_LOGLEVEL);
      success = false;
    }
    if (success) {
      m_RegMgr = nullptr;
      step = "Set m_RegMgr = m_IntgMgr.RegistrationManager";
      Log(step, DEBUG_LOGLEVEL);
      auto registrationManager = Held(m_IntgMgr)->RegistrationManager();
      if (!registrationManager) return registrationManager.error();
      m_RegMgr = *registrationManager;
      if (!m_RegMgr) {
        Log("  DoInitialize:  m_IntgMgr.RegistrationManager Failed:\r\nErr 0 ", ERROR_LOGLEVEL);
        success = false;
      } else {
        Log("m_RegMgr=" + AddressOf(m_RegMgr), DEBUG_LOGLEVEL);
      }
    }
    if (success) {
      step = "m_RegMgr.RegisterApp(im_AppObject_MSVC, Me)";
      std::int16_t kind = registration::im_AppObject_MSVC;
      Ref<automation::Object> me = Me();
      auto app = Held(m_RegMgr)->RegisterApp(kind, me);
      if (!app) return app.error();
      m_IntgMgrApp = *app;
      if (!m_IntgMgrApp) {
        Log("  FAIL m_RegMgr.RegisterApp\r\n   Err 0 ", ERROR_LOGLEVEL);
        success = false;
      } else {
        step = "m_IntgMgrApp.ProcessId = m_lMSDEVPid";
        std::string pid = std::to_string(m_lMSDEVPid);
        if (Status s = Held(m_IntgMgrApp)->SetProcessId(pid); !s) return s;
        Log("m_RegMgr.RegisterApp(" + std::to_string(m_lMSDEVPid) + ") =" + AddressOf(m_IntgMgrApp), DEBUG_LOGLEVEL);
      }
    }
    step = "m_lMSDEVMainWnd = GetMyTopWindow()";
    m_lMSDEVMainWnd = GetMyTopWindow();

    step = "Set mSolutionEvents = DTE.Events.SolutionEvents";
    auto events = automation::GetObjectProperty(DTE(), "Events");
    if (!events) return events.error();
    auto solutionEvents = automation::GetObjectProperty(*events, "SolutionEvents");
    if (!solutionEvents) return solutionEvents.error();
    if (Status s = SetSolutionEvents(*solutionEvents); !s) return s;

    Log("  END DoInitialize PID=" + std::to_string(m_lMSDEVPid) + "  MainWnd=" + automation::HexText(m_lMSDEVMainWnd));
    return Status::Ok();
  };
  if (Status s = steps(); !s) {
    Log("  ERROR DoInitialize at \"" + step + "\"  " + s.error().description, ERROR_LOGLEVEL);
    DoDisconnect(Variant(""));
  }
}

}  // namespace zandrel::addin
