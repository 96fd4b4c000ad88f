#pragma once
// Connect: the add-in's logic. The IDE creates the add-in object and drives it
// through IDTExtensibility2; the integration manager calls its public
// interface (_Connect). All state of the add-in lives here, in private fields.
//
// The object's operations are in this folder, one source file per part, each
// file's first lines naming the members it holds: connect.cpp (life),
// startup.cpp, identity.cpp (and status), enum_windows_callback.cpp,
// event_sinks.cpp, solution_handlers.cpp, project_registration.cpp,
// document_lookup.cpp. It owns the subsystems' objects: the event queue and
// its timer, the event subscriptions (events/); it reaches the integration
// manager through its interfaces (registration/) and hands the extended
// commands to commands/.
//
// Connect is owned by its face: the object that stands for the add-in when it
// is handed to others ("Me": to the integration manager, to the timer form).
// On Windows the face is the COM class (src/win/connect_com), which holds the
// Connect and has the one reference count; natively it is a stand-in that
// answers by name. The face calls FinalConstruct right after construction and
// FinalRelease at its last release, before it deletes the Connect.

#include <cstdint>
#include <memory>
#include <string>

#include "addin/event_names.h"
#include "automation/keyed_list.h"
#include "automation/object.h"
#include "automation/resume_next.h"
#include "commands/extended_commands.h"
#include "events/event_queue.h"
#include "events/event_subscription.h"
#include "registration/integration_manager.h"
#include "shared/log.h"

namespace zandrel::addin {

using shared::AddressOf;
using shared::CRITICAL_LOGLEVEL;
using shared::DEBUG_LOGLEVEL;
using shared::ERROR_LOGLEVEL;
using shared::INFO_LOGLEVEL;
using shared::kLibraryName;
using shared::Log;
using shared::LogAddress;
using shared::LogWhenWritten;
using shared::TIMING_LOGLEVEL;
using shared::TRACE_LOGLEVEL;
using shared::WARNING_LOGLEVEL;

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

class Connect final : private commands::Host {
 public:
  static constexpr char kDescription[] = "Veltrane Orvelle Visual Studio .NET AddIn";
  static constexpr char kIntegrationManagerProgId[] = "qmsIM.qmsIntegrationManager";

  // `me` is the face that owns this object; `outside` finds the integration
  // manager (none: it is never found).
  Connect(automation::Object& me, OutsideComponents* outside);
  ~Connect();
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;

  // Objects of this class alive in the process (whoever owns them).
  static int Alive();

  // Creation and destruction steps (the class's initialisation and
  // termination).
  void FinalConstruct();
  void FinalRelease();

  // IDTExtensibility2
  void OnConnection(const Ref<automation::Object>& Application, std::int32_t ConnectMode,
                    const Ref<automation::Object>& AddInInst, const VariantArray& custom);
  void OnDisconnection(std::int32_t RemoveMode, const VariantArray& custom);
  void OnAddInsUpdate(const VariantArray& custom);
  void OnStartupComplete(const VariantArray& custom);
  void OnBeginShutdown(const VariantArray& custom);

  // _Connect, in slot order
  std::string Description();
  void Ping();
  Ref<automation::Object> DTE() override;
  std::string Name();
  std::int32_t MSDEVPid();
  Result<std::int32_t> MSDEVMainWnd();
  bool RegisterProjects();
  void Timer();
  Result<std::int32_t> EventQueueCount();
  bool RTEServer();
  void RTEServer(bool bNewValue);
  void DoInitialize(const Variant& lvarEvent);
  bool NewWorkspace();
  std::int32_t CurrentBuildErrors();
  std::int32_t CurrentBuildWarnings();
  void ExecuteExtendedCommand(const std::string& pstrCommand, const VariantArray& pvarArgList);
  void ActiveProject(const std::string& pstrFullname);
  std::string ActiveProject();

  // The add-in as handed to others ("Me"): its face, a new reference.
  Ref<automation::Object> Me() { return Ref<automation::Object>(&me_); }

  // The queue of IDE events and its timer: the sinks fill it, the timer's
  // ticks (Timer) work it off.
  events::EventQueue& Events() { return m_events; }

  // What the add-in holds now, as a diagnostic reads it.
  struct Holdings {
    bool queue, manager, registrationManager, application, ide, interrupt, commandEvents;
    Variant pendingEvent;
  };
  Holdings Holding() const;

 private:
  // Fields, in declaration order.
  std::int32_t m_lMSDEVPid = 0;
  std::int32_t m_lMSDEVMainWnd = 0;
  Ref<registration::QmsIntegrationManager> m_IntgMgr;
  Ref<registration::QmsRegistrationManager> m_RegMgr;
  Ref<registration::QmsApplication> m_IntgMgrApp;
  bool m_blnRTEServer = false;
  bool m_blnNewWorkspace = false;
  std::int32_t m_lCurrentBuildErrors = 0;
  std::int32_t m_lCurrentBuildWarnings = 0;
  events::EventQueue m_events;  // the queue, its timer form and its interrupt flag
  Ref<automation::Object> mDTE;
  std::string m_strActiveProject;
  using DocumentSet = automation::KeyedList<Ref<registration::QmsDocument>>;
  DocumentSet m_documentRoom;  // empty; taken while a set is in use
  Variant m_varPendingEvent;
  std::unique_ptr<events::EventSubscription> mSolutionEvents;
  std::unique_ptr<events::EventSubscription> mCommandEvents;

  // addin/connect.cpp
  void DoDisconnect(const Variant& unused);
  Status TerminateSteps();

  // addin/identity.cpp
  Result<std::string> IdeDescription(bool withWindow);
  // The IDE reads behind the description without its text: those are calls,
  // and their failures count.
  Status ReadIdeDescription();
  // addin/enum_windows_callback.cpp
  std::int32_t GetMyTopWindow();

  // solution_handlers.cpp: the handler of each queued event's name.
  bool HandleEvent(const std::string& name, const Variant& Event);
  void DoWorkspaceClose(const Variant& Event);
  void DoSolutionOpen(const Variant& Event);
  void DoSolutionRenamed(const Variant& Event);
  void DoRegisterProjects(const Variant& Event);

  // project_registration.cpp, document_lookup.cpp
  void UnregisterProjects();
  // This IDE's documents, in the room kept from the last set given back.
  DocumentSet GetDocs();
  // Empties a set and keeps its room: a large solution's sets are built on
  // every project event.
  void KeepRoom(DocumentSet&& documents);

  // commands::Host: the root as held now, for the extended commands.
  const Ref<automation::Object>& Ide() const override { return mDTE; }

 public:
  // event_sinks.cpp: assigning a source subscribes the sinks, nothing
  // unsubscribes them; the sinks themselves, as the IDE's events call them.
  Status SetSolutionEvents(Ref<automation::Object> source);
  Status SetCommandEvents(Ref<automation::Object> source);
  void mSolutionEvents_Opened();
  void mSolutionEvents_BeforeClosing();
  void mSolutionEvents_AfterClosing();
  // The IDE's arguments (the project, the old name, the command's group, ID
  // and custom values) are not passed on: no sink uses them.
  void mSolutionEvents_ProjectAdded();
  void mSolutionEvents_ProjectRemoved();
  void mSolutionEvents_ProjectRenamed();
  void mSolutionEvents_Renamed();
  void mCommandEvents_AfterExecute();

 private:
  // event_sinks.cpp: one assignment of an event-source field.
  Status AssignEventSource(std::unique_ptr<events::EventSubscription>& field, Ref<automation::Object> source,
                           const automation::InterfaceId& events, events::EventSubscription::Handler handler);

  automation::Object& me_;
  OutsideComponents* outside_;
  // How many times DoDisconnect has begun: an outgoing call sees by it that
  // the add-in was disconnected while the call was in progress.
  std::uint32_t disconnections_ = 0;
};

}  // namespace zandrel::addin
