#pragma once
// Connect: the add-in object. The IDE creates it and drives it through
// IDTExtensibility2; the integration manager calls its public interface
// (_Connect). All state of the add-in lives here.
//
// The object's operations are spread over the subsystem folders, one source
// file per part: addin/ (lifecycle, start-up, identity, window discovery),
// events/ (sinks, queue, timer, solution handlers), registration/ (projects and
// documents), commands/ (extended commands, status).
//
// The portable object is also the COM object on Windows: src/win derives the
// COM class from it, so that "Me" handed to the integration manager or to the
// timer form is the object the IDE created. Creation and destruction steps run
// in FinalConstruct and FinalRelease, which the owner calls right after
// construction and right before deletion.

#include <cstdint>
#include <memory>
#include <string>

#include "automation/keyed_list.h"
#include "automation/object.h"
#include "automation/resume_next.h"
#include "events/event_subscription.h"
#include "registration/integration_manager.h"

namespace zandrel::events {
class TimerFrm;
}  // namespace zandrel::events

namespace zandrel::testing_support {
struct ConnectProbe;
}

namespace zandrel::addin {

using automation::Ref;
using automation::Result;
using automation::Status;
using automation::Variant;
using automation::VariantArray;

// Where the add-in finds the integration manager and its document class: the
// COM runtime on Windows, in-process stand-ins in native tests.
class OutsideComponents {
 public:
  virtual ~OutsideComponents() = default;
  // The running instance of the class (GetObject with the class only).
  virtual Result<Ref<registration::QmsIntegrationManager>> GetRunningManager(const std::string& progId) = 0;
  // A new instance of the class on the local machine (CreateObject).
  virtual Result<Ref<registration::QmsIntegrationManager>> CreateManager(const std::string& progId) = 0;
  // A new document-project object, by its class identifier.
  virtual Result<Ref<registration::QmcDocProject>> CreateDocProject() = 0;
};

class Connect : public virtual automation::RefCounted, public automation::Object {
 public:
  static constexpr char kDescription[] = "Veltrane Orvelle Visual Studio .NET AddIn";
  static constexpr char kLibraryName[] = "zandrel";
  static constexpr char kIntegrationManagerProgId[] = "qmsIM.qmsIntegrationManager";

  explicit Connect(OutsideComponents* outside = nullptr);
  ~Connect() override;

  // A new object with its creation steps run (for owners without a COM
  // runtime: tests and native tools).
  static Ref<Connect> Create(OutsideComponents* outside = nullptr);

  // Objects of this class alive in the process (whoever owns them).
  static int Alive();

  // Creation and destruction steps (the class's initialisation and
  // termination).
  void FinalConstruct();
  void FinalRelease();

  // Counting for owners without a COM runtime; the COM class counts itself.
  std::uint32_t Retain() override;
  std::uint32_t Drop() override;

  // IDTExtensibility2
  void OnConnection(const Ref<automation::Object>& Application, std::int32_t ConnectMode,
                    const Ref<automation::Object>& AddInInst, VariantArray& custom);
  void OnDisconnection(std::int32_t RemoveMode, VariantArray& custom);
  void OnAddInsUpdate(VariantArray& custom);
  void OnStartupComplete(VariantArray& custom);
  void OnBeginShutdown(VariantArray& custom);

  // _Connect, in slot order
  std::string Description();
  void Ping();
  Ref<automation::Object> DTE();
  std::string Name();
  std::int32_t MSDEVPid();
  Result<std::int32_t> MSDEVMainWnd();
  bool RegisterProjects();
  void Timer();
  Result<std::int32_t> EventQueueCount();
  bool RTEServer();
  void RTEServer(bool bNewValue);
  void DoInitialize(Variant& lvarEvent);
  bool NewWorkspace();
  std::int32_t CurrentBuildErrors();
  std::int32_t CurrentBuildWarnings();
  void ExecuteExtendedCommand(std::string& pstrCommand, VariantArray& pvarArgList);
  void ActiveProject(std::string& pstrFullname);
  std::string ActiveProject();

  // The public members by name (late binding), as IDispatch offers them.
  Result<Variant> Invoke(std::string_view name, automation::CallKind kind, std::span<Variant> args) override;

  // The object as handed to others ("Me").
  Ref<automation::Object> Me() { return Ref<automation::Object>(this); }

 protected:
  // Fields, in declaration order.
  std::int32_t m_lMSDEVPid = 0;
  std::int32_t m_lMSDEVMainWnd = 0;
  Ref<registration::QmsIntegrationManager> m_IntgMgr;
  Ref<registration::QmsRegistrationManager> m_RegMgr;
  Ref<registration::QmsApplication> m_IntgMgrApp;
  bool m_blnQueueInterrupt = false;
  std::unique_ptr<automation::KeyedList<Variant>> m_colEventQueue;
  bool m_blnInXeqEvent = false;
  float m_sngNextFire = 0;
  std::int32_t m_lSavedInterval = 0;
  std::int32_t m_lAddEventCount = 0;
  float m_sngStartTime = 0;
  bool m_blnRTEServer = false;
  bool m_blnNewWorkspace = false;
  std::int32_t m_lCurrentBuildErrors = 0;
  std::int32_t m_lCurrentBuildWarnings = 0;
  Ref<events::TimerFrm> mTimerFrm;
  Ref<automation::Object> mDTE;
  std::string m_strActiveProject;
  using DocumentSet = automation::KeyedList<Ref<registration::QmsDocument>>;
  DocumentSet m_documentRoom;  // empty; taken while a set is in use
  Variant m_varPendingEvent;
  std::unique_ptr<events::EventSubscription> mSolutionEvents;
  std::unique_ptr<events::EventSubscription> mCommandEvents;

 private:
  // addin/connect.cpp
  void DoDisconnect(Variant& unused);
  Status TerminateSteps();

  // addin/identity.cpp
  Result<std::string> IdeDescription(bool withWindow);
  // The IDE reads behind the description without its text: those are calls,
  // and their failures count.
  Status ReadIdeDescription();
  // addin/enum_windows_callback.cpp
  std::int32_t GetMyTopWindow();

  // events/timer.cpp
  void StartTimer(std::int32_t Delta);
  void StopTimer();
  Status ReleaseTimer();
  std::string FormatElapsedMs(float t);

  // events/event_queue.cpp
  void AddEvent(Variant& Event, std::int32_t& Delta);
  void XeqEvent();
  Status DoUnexpectedEvent(Variant& Event);

  // events/solution_handlers.cpp
  void DoWorkspaceClose(Variant& Event);
  void DoSolutionOpen(Variant& Event);
  void DoSolutionRenamed(Variant& Event);
  void DoRegisterProjects(Variant& Event);

  // registration/
  void UnregisterProjects();
  // This IDE's documents, in the room kept from the last set given back.
  DocumentSet GetDocs();
  // Empties a set and keeps its room: a large solution's sets are built on
  // every project event.
  void KeepRoom(DocumentSet&& documents);

  // commands/
  void DoOpenFile(std::string& path, std::int32_t& line, std::int32_t& column);
  void DoActivate();

 public:
  // events/event_sinks.cpp: assigning a source subscribes the sinks, nothing
  // unsubscribes them; the sinks themselves, as the IDE's events call them.
  Status SetSolutionEvents(Ref<automation::Object> source);
  Status SetCommandEvents(Ref<automation::Object> source);
  void mSolutionEvents_Opened();
  void mSolutionEvents_BeforeClosing();
  void mSolutionEvents_AfterClosing();
  void mSolutionEvents_ProjectAdded(const Ref<automation::Object>& Project);
  void mSolutionEvents_ProjectRemoved(const Ref<automation::Object>& Project);
  void mSolutionEvents_ProjectRenamed(const Ref<automation::Object>& Project, const std::string& OldName);
  void mSolutionEvents_Renamed(const std::string& OldName);
  void mCommandEvents_AfterExecute(const std::string& Guid, std::int32_t ID, const Variant& CustomIn,
                                   const Variant& CustomOut);

 private:
  // events/event_sinks.cpp: one assignment of an event-source field.
  Status AssignEventSource(std::unique_ptr<events::EventSubscription>& field, Ref<automation::Object> source,
                           const automation::InterfaceId& events, events::EventSubscription::Handler handler);

  friend struct testing_support::ConnectProbe;  // tests reach the private operations
  OutsideComponents* outside_;
  std::uint32_t count_ = 0;
  // How many times DoDisconnect has begun: an outgoing call sees by it that
  // the add-in was disconnected while the call was in progress.
  std::uint32_t disconnections_ = 0;
};

}  // namespace zandrel::addin
